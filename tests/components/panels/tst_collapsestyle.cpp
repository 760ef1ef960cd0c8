// The collapse styles: the standard geometry at 100 %, the header's growth while expanding, the
// style registry and the holder's choice by name, the painting pixel by pixel, including that
// every pixel is painted exactly once, the colours following the application's palette, the
// caption's size, and sharp pieces at 200 %.

#include "components/appservices/xprocs_display.h"
#include "components/appservices/zc_thread.h"
#include "components/appservices/zelk_registry.h"
#include "components/panels/collapsepanel.h"
#include "components/panels/collapsestyle_standard.h"
#include "components/panels/xgraphic_cache.h"
#include "components/scaling/zc_scale.h"
#include "platform/numbers.h"
#include "platform/settingsstore.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr int W = 200;

// A standard style whose protected settings a row may change.
class TTunedStyle : public TCollapsStyleStandard
{
public:
    void SetHeaderHeightExpandOffset(int v) { fHeaderHeightExpandOffset = v; }
};

QImage paint(TCollapsePanel &panel, TCollapsStyle &style,
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver,
    QRgb background = qRgb(255, 0, 255), const QRegion &clip = QRegion())
{
    QImage image(panel.size(), QImage::Format_RGB32);
    image.fill(background);
    QPainter painter(&image);
    if (!clip.isEmpty())
        painter.setClipRegion(clip);
    painter.setCompositionMode(mode);
    style.Paint(&panel, painter);
    return image;
}

QRgb rgbOf(TColor c)
{
    return ToQColor(c).rgb();
}

bool darker(QRgb a, QRgb b)
{
    return qRed(a) + qGreen(a) + qBlue(a) < qRed(b) + qGreen(b) + qBlue(b);
}

// Pictures at 200 %: a piece composed at 1x and scaled up shows as 2 x 2 blocks of equal pixels;
// a sharp one has edges inside the blocks.
constexpr qreal Ratio = 2.0;

// A picture of ASize logical pixels at 200 %, on a background of AColor.
QImage scaledCanvas(const QSize &ASize, const QColor &AColor)
{
    QImage image(ASize * Ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(Ratio);
    image.fill(AColor);
    return image;
}

// The share of the aligned 2 x 2 blocks of ARect (logical pixels) whose four pixels are not all
// alike, among those that show something: with a valid ABlank, blocks of only that colour do not
// count.
double unevenShare(const QImage &AImage, const QRect &ARect, const QColor &ABlank = QColor())
{
    const QRect device(ARect.topLeft() * Ratio, ARect.size() * Ratio);
    int counted = 0;
    int uneven = 0;
    for (int y = device.top(); y + 1 <= device.bottom(); y += 2) {
        for (int x = device.left(); x + 1 <= device.right(); x += 2) {
            const QRgb p[4] = { AImage.pixel(x, y), AImage.pixel(x + 1, y), AImage.pixel(x, y + 1),
                AImage.pixel(x + 1, y + 1) };
            const bool alike = p[0] == p[1] && p[0] == p[2] && p[0] == p[3];
            if (alike && ABlank.isValid() && p[0] == ABlank.rgb())
                continue;
            ++counted;
            uneven += !alike;
        }
    }
    return counted == 0 ? 0.0 : double(uneven) / counted;
}

} // namespace

class TestCollapseStyle : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settings;
    std::optional<TUnitRun> m_units;
    QWidget m_parent;

    TCollapsePanel *newPanel(int height, bool collapsed = false)
    {
        auto *panel = new TCollapsePanel(&m_parent);
        panel->SetExpandSteps(0);
        panel->setGeometry(0, 0, W, height);
        auto *child = new QWidget(panel);
        child->setGeometry(10, 30, 50, height - 41);
        panel->SetCollapse(collapsed);
        panel->setFixedSize(W, height);
        return panel;
    }

private Q_SLOTS:
    void initTestCase()
    {
        SetSettingsFolder(m_settings.path());
        static const TUnit *const units[]
            = { &XGraphicUnit, &Zelk_RegistryUnit, &zc_ScaleUnit, &zc_ThreadUnit, &CollapsePanelUnit };
        m_units.emplace(units);
        QCOMPARE(GetCollapsePanelScaler()->ScalePercentActual(), 100);
    }
    void cleanupTestCase()
    {
        qDeleteAll(m_parent.findChildren<TCollapsePanel *>(Qt::FindDirectChildrenOnly));
        m_units.reset();
        SetSettingsFolder(QString());
    }

    void standardGeometryAtFullScale()
    {
        TCollapsStyleStandard style;
        TCollapsePanel *panel = newPanel(100);
        QCOMPARE(style.GetCollapsePanelCollapseHeight(panel), 30);
        QCOMPARE(style.GetCollapsePanelBottomSpace(panel), 10);
        QCOMPARE(style.GetCollapsePanelHeaderRect(panel), QRect(QPoint(6, 3), QPoint(W - 9 - 1, 23 - 1)));
        QCOMPARE(style.GetClientRect(panel), QRect(QPoint(9, 23), QPoint(W - 12 - 1, 100 - 10 - 1)));
        // The lowest child ends at y = 89: the panel fits it with 11 pixels to spare.
        QCOMPARE(panel->HeightExpanded(), 89 + 11);
        panel->SetAsPanel(true);
        QCOMPARE(style.GetCollapsePanelBottomSpace(panel), -2);
        delete panel;
    }

    void headerGrowsWhileExpanding_data()
    {
        QTest::addColumn<float>("progress");
        QTest::addColumn<int>("extra");
        QTest::newRow("a quarter expanded: 2.5 goes to 2") << 0.25f << 2;
        QTest::newRow("three quarters: 7.5 goes to 8") << 0.75f << 8;
        QTest::newRow("fully expanded") << 1.0f << 10;
    }
    void headerGrowsWhileExpanding()
    {
        QFETCH(float, progress);
        QFETCH(int, extra);
        TTunedStyle style;
        style.SetHeaderHeightExpandOffset(10);
        TCollapsePanel *panel = newPanel(100);
        panel->SetSizeing(true);
        panel->SetExpandProgress(progress);
        QCOMPARE(style.GetCollapsePanelHeaderHeight(panel), style.HeaderHeight() + extra);
        panel->SetSizeing(false);
        delete panel;
    }

    void registryFindsStylesByNameWithoutCase()
    {
        TCollapsStyles *styles = CollapsStyles();
        QVERIFY(styles);
        QCOMPARE(styles->Names(), QStringList { QStringLiteral("Standard") });
        RegisterCollapsStyle(QStringLiteral("Standard"), CollapsStyleClassOf<TCollapsStyleStandard>(), false);
        RegisterCollapsStyle(QStringLiteral("STANDARD"), CollapsStyleClassOf<TCollapsStyleInvert>(), true);
        QCOMPARE(styles->Count(), 1);
        const std::unique_ptr<TCollapsStyle> made = styles->CreateStyleObject(QStringLiteral("standard"));
        QVERIFY(typeid(*made) == typeid(TCollapsStyleStandard));
        QVERIFY_THROWS_EXCEPTION(EListError, styles->CreateStyleObject(QStringLiteral("Blue")));
    }

    void holderChoosesStylesByName()
    {
        TCollapseHolder *holder = CollapseHolder();
        // The initial style is an unregistered class: its name reads empty.
        QVERIFY(typeid(*holder->CollapsStyleObj()) == typeid(TCollapsStyleInvert));
        QCOMPARE(holder->CollapsStyle(), QString());
        TCollapsStyle *initial = holder->CollapsStyleObj();
        holder->SetCollapsStyle(QStringLiteral("No such style"));
        QCOMPARE(holder->CollapsStyleObj(), initial);
        holder->SetCollapsStyle(QStringLiteral("standard"));
        QCOMPARE(holder->CollapsStyle(), QStringLiteral("Standard"));
        TCollapsStyle *standard = holder->CollapsStyleObj();
        holder->InvalidateStyle();
        QVERIFY(holder->CollapsStyleObj() != standard);
        QCOMPARE(holder->RegisteredStyles(), QStringList { QStringLiteral("Standard") });
        holder->SetCollapsStyleObj(std::make_unique<TCollapsStyleInvert>());
        QCOMPARE(holder->CollapsStyle(), QString());
    }

    void aSkinStyleFollowsTheSkinName()
    {
        // A look-and-skin style is told of a new skin while the holder says it is loading one.
        struct TSkinStyle : TCollapsStyleStandard
        {
            bool IsLookAndSkin() const override { return true; }
            void SkinChanged() override { loadingSeen.append(CollapseHolder()->SkinLoading()); }
            QList<bool> loadingSeen;
        };
        TCollapseHolder *holder = CollapseHolder();
        auto owned = std::make_unique<TSkinStyle>();
        TSkinStyle *style = owned.get();
        holder->SetCollapsStyleObj(std::move(owned));
        holder->SetSkinName(QStringLiteral("Blue"));
        QCOMPARE(holder->SkinName(), QStringLiteral("Blue"));
        QCOMPARE(style->loadingSeen, QList<bool> { true });
        QVERIFY(!holder->SkinLoading());
        // A style that does not follow skins is not told.
        holder->SetCollapsStyleObj(std::make_unique<TCollapsStyleInvert>());
        holder->SetSkinName(QString());
        QVERIFY(!holder->SkinLoading());
    }

    void pixels_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("collapsed");
        QTest::addColumn<float>("progress"); // < 0: not sizing
        QTest::addColumn<int>("frameWidth");
        QTest::addColumn<int>("shadowWidth");
        QTest::addColumn<bool>("asPanel");
        QTest::addColumn<QPoint>("framePixel");
        QTest::addColumn<double>("frameWeight"); // < 0: the base colour there
        QTest::addColumn<QPoint>("shadowPixel");
        QTest::addColumn<bool>("shadowThere");
        const QPoint left(7, 50), bottom(100, 100 - 8), right(W - 10, 50), shadowRight(W - 2, 50);
        QTest::newRow("expanded: frame on the left")
            << 100 << false << -1.0f << 3 << 9 << false << left << 1.0 << shadowRight << true;
        QTest::newRow("expanded: frame below")
            << 100 << false << -1.0f << 3 << 9 << false << bottom << 1.0 << QPoint(100, 100 - 4) << true;
        QTest::newRow("expanded: frame on the right")
            << 100 << false << -1.0f << 3 << 9 << false << right << 1.0 << shadowRight << true;
        QTest::newRow("half-way: the frame is the mean of frame and base")
            << 100 << false << 0.5f << 3 << 9 << false << left << 0.5 << shadowRight << true;
        QTest::newRow("collapsed: no frame, the shadow hugs the header")
            << 30 << true << -1.0f << 3 << 9 << false << QPoint(3, 25) << -1.0 << QPoint(100, 25) << true;
        QTest::newRow("no frame width: no frame")
            << 100 << false << -1.0f << 0 << 9 << false << left << -1.0 << QPoint(100, 97) << true;
        QTest::newRow("no shadow width: no shadow")
            << 100 << false << -1.0f << 3 << 0 << false << left << 1.0 << QPoint(100, 98) << false;
        QTest::newRow("plain-panel mode: only the base colour")
            << 100 << false << -1.0f << 3 << 9 << true << left << -1.0 << shadowRight << false;
    }
    void pixels()
    {
        QFETCH(int, height);
        QFETCH(bool, collapsed);
        QFETCH(float, progress);
        QFETCH(int, frameWidth);
        QFETCH(int, shadowWidth);
        QFETCH(bool, asPanel);
        QFETCH(QPoint, framePixel);
        QFETCH(double, frameWeight);
        QFETCH(QPoint, shadowPixel);
        QFETCH(bool, shadowThere);
        TCollapsStyleStandard style;
        style.SetFrameWidth(quint8(frameWidth));
        style.SetShadowWidth(shadowWidth);
        TCollapsePanel *panel = newPanel(height, collapsed);
        panel->SetAsPanel(asPanel);
        panel->setFixedSize(W, height);
        if (progress >= 0) {
            panel->SetSizeing(true);
            panel->SetExpandProgress(progress);
        }
        const QImage image = paint(*panel, style);
        const QRgb base = rgbOf(style.BaseColor());
        const QRgb frame
            = frameWeight < 0 ? base : rgbOf(BlendColors(style.FrameColor(), style.BaseColor(), frameWeight));
        QCOMPARE(QColor(image.pixel(framePixel)), QColor(frame));
        if (shadowThere)
            QVERIFY(darker(image.pixel(shadowPixel), base));
        else
            QCOMPARE(QColor(image.pixel(shadowPixel)), QColor(base));
        if (shadowWidth == 0)
            QCOMPARE(style.ShadowIfMade(), nullptr);
        // Between the header and the shadow: the background.
        if (shadowWidth > 0)
            QCOMPARE(QColor(image.pixel(W - 6, 10)), QColor(base));
        if (!asPanel)
            QCOMPARE(QColor(image.pixel(50, 18)), QColor(rgbOf(style.FrameColor())));
        panel->SetSizeing(false);
        delete panel;
    }

    void everyPixelIsPaintedOnce_data()
    {
        QTest::addColumn<bool>("collapsed");
        QTest::addColumn<QRegion>("clip");
        QTest::newRow("expanded, whole panel") << false << QRegion();
        QTest::newRow("collapsed, whole panel") << true << QRegion();
        QTest::newRow("expanded, two clipped strips")
            << false << (QRegion(0, 10, W, 20) + QRegion(150, 0, 40, 120));
    }
    void everyPixelIsPaintedOnce()
    {
        QFETCH(bool, collapsed);
        QFETCH(QRegion, clip);
        TCollapsStyleStandard style;
        TCollapsePanel *panel = newPanel(collapsed ? 30 : 120, collapsed);
        panel->SetCaption(QStringLiteral("Filter & Sort"));
        // Added onto black, a pixel painted twice would come out brighter than painted once.
        const QImage added = paint(*panel, style, QPainter::CompositionMode_Plus, qRgb(0, 0, 0), clip);
        const QImage once
            = paint(*panel, style, QPainter::CompositionMode_SourceOver, qRgb(255, 0, 255), clip);
        const QRegion area = clip.isEmpty() ? QRegion(panel->rect()) : clip;
        for (int y = 0; y < panel->height(); ++y) {
            for (int x = 0; x < W; ++x) {
                if (!area.contains(QPoint(x, y)))
                    continue;
                QVERIFY2(once.pixel(x, y) != qRgb(255, 0, 255),
                    qPrintable(QStringLiteral("unpainted %1,%2").arg(x).arg(y)));
                QVERIFY2(added.pixel(x, y) == once.pixel(x, y),
                    qPrintable(QStringLiteral("painted twice %1,%2").arg(x).arg(y)));
            }
        }
        delete panel;
    }

    void captionShadow_data()
    {
        QTest::addColumn<TColor>("shadowColor");
        QTest::addColumn<bool>("blackPixels");
        QTest::newRow("black shadow drawn") << TColor(clBlack) << true;
        QTest::newRow("no shadow with clNone") << TColor(clNone) << false;
    }
    void captionShadow()
    {
        QFETCH(TColor, shadowColor);
        QFETCH(bool, blackPixels);
        TCollapsStyleStandard style;
        style.SetFontShadowColor(shadowColor);
        TCollapsePanel *panel = newPanel(100);
        panel->SetCaption(QStringLiteral("WWW"));
        const QImage image = paint(*panel, style);
        int black = 0;
        for (int y = 3; y < 23; ++y)
            for (int x = 6; x < W - 9; ++x)
                black += image.pixel(x, y) == qRgb(0, 0, 0);
        QCOMPARE(black > 0, blackPixels);
        // Without a caption only the gradient: no white text either.
        panel->SetCaption(QString());
        const QImage plain = paint(*panel, style);
        QVERIFY(plain != image);
        delete panel;
    }

    void systemColoursFollowThePalette_data()
    {
        QTest::addColumn<bool>("setByProgram");
        QTest::newRow("colours taken from the palette follow it") << false;
        QTest::newRow("a base colour the program set stays") << true;
    }
    void systemColoursFollowThePalette()
    {
        QFETCH(bool, setByProgram);
        CollapseHolder()->SetCollapsStyleClass(CollapsStyleClassOf<TCollapsStyleInvert>());
        TCollapsePanel *panel = newPanel(100);
        auto *style = static_cast<TCollapsStyleStandard *>(CollapseHolder()->CollapsStyleObj());
        const TColor own = RGB(1, 2, 3);
        if (setByProgram)
            style->SetBaseColor(own);
        const QPalette before = QApplication::palette();
        const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
        QPalette changed = before;
        const QColor button(10, 120, 30);
        const QColor highlight(200, 40, 40);
        changed.setColor(QPalette::Button, button);
        changed.setColor(QPalette::Highlight, highlight);
        QApplication::setPalette(changed);
        QTRY_COMPARE(style->BaseColor(), setByProgram ? own : FromQColor(button));
        QCOMPARE(style->FrameColor(), DarkenColor(FromQColor(highlight), 0.33));
        QCOMPARE(style->FrameColorTop(), BlendColors(FromQColor(highlight), clWhite, 0.4));
        // Painted so: the background between the header and the shadow.
        QCOMPARE(QColor(paint(*panel, *style).pixel(W - 6, 10)), ToQColor(style->BaseColor()));
        delete panel;
    }

    void captionFontIsScaledOnce_data()
    {
        QTest::addColumn<int>("percent");
        QTest::newRow("the panels at 100 %") << 100;
        QTest::newRow("the panels at 150 %") << 150;
        QTest::newRow("the panels at 200 %") << 200;
    }
    void captionFontIsScaledOnce()
    {
        QFETCH(int, percent);
        const auto restore = qScopeGuard([] { CollapsePanelScaler()->SetScalePercent(100); });
        CollapsePanelScaler()->SetScalePercent(percent);
        TCollapsStyleStandard style;
        QCOMPARE(style.FontSize(), MulDiv(9, percent, 100));
        TCollapsePanel *panel = newPanel(MulDiv(100, percent, 100));
        panel->setFixedWidth(MulDiv(W, percent, 100));
        const QString caption = QStringLiteral("Zahlungen");
        panel->SetCaption(caption);
        const QImage image = paint(*panel, style);
        // The white ink of the caption, row by row.
        const QRect header = style.GetCollapsePanelHeaderRect(panel);
        int top = -1;
        int bottom = -1;
        for (int y = header.top(); y <= header.bottom(); ++y) {
            for (int x = header.left(); x <= header.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (std::min({ c.red(), c.green(), c.blue() }) >= 240) {
                    top = top < 0 ? y : top;
                    bottom = y;
                    break;
                }
            }
        }
        QVERIFY(top >= 0);
        QFont font = panel->font();
        font.setFamily(style.FontName().isEmpty() ? GetMenuFontName() : style.FontName());
        font.setBold(true);
        font.setPointSize(style.FontSize());
        const int inkHeight = QFontMetrics(font, &image).tightBoundingRect(caption).height();
        QVERIFY2(std::abs(bottom - top + 1 - inkHeight) <= 2,
            qPrintable(
                QStringLiteral("caption %1 pixels high, its font %2").arg(bottom - top + 1).arg(inkHeight)));
        // Whole inside the header, not cut at its lower edge.
        QVERIFY(bottom < header.bottom());
        delete panel;
    }

    void piecesAreSharpAtTwiceTheScale_data()
    {
        QTest::addColumn<QString>("piece");
        QTest::newRow("the header's caption") << u"caption"_s;
        QTest::newRow("the header's gradient") << u"gradient"_s;
        QTest::newRow("the shadow's corner") << u"shadow"_s;
        QTest::newRow("a turned caption") << u"turned caption"_s;
        QTest::newRow("a title band's gradient") << u"band"_s;
    }
    void piecesAreSharpAtTwiceTheScale()
    {
        QFETCH(QString, piece);
        TCollapsStyleStandard style;
        auto *panel = new TCollapsePanel(&m_parent);
        panel->SetExpandSteps(0);
        panel->setFixedSize(240, 100);
        panel->SetCaption(piece == u"caption"_s ? u"Zahlungen"_s : QString());
        const QColor base = ToQColor(style.BaseColor());
        QImage image = scaledCanvas(panel->size(), base);
        QRect area;
        QColor blank;
        if (piece == u"band"_s) {
            // A title band at the top, light at its outer edge.
            area = QRect(5, 5, 200, 17);
            QPainter p(&image);
            FillGradientRect(p, area, RGB(220, 235, 250), RGB(40, 120, 200), false);
        } else if (piece == u"turned caption"_s) {
            // A title band at the left, 17 pixels wide, its caption read from bottom to top.
            area = QRect(5, 5, 17, 90);
            QPainter p(&image);
            p.setPen(Qt::black);
            DrawRotatedText(
                p, area, 0, u"Zahlungen"_s, txaCenter, false, false, 0, 0, 0, 0, false, false, 1, clNone);
            blank = base;
        } else {
            QPainter p(&image);
            style.Paint(panel, p);
            const QRect header = style.GetCollapsePanelHeaderRect(panel);
            if (piece == u"caption"_s) {
                // The lower half of the header is one colour, so what differs there is the text.
                area = QRect(
                    header.left(), header.center().y() + 1, header.width() / 2, header.height() / 2 - 1);
                blank = ToQColor(style.FrameColor());
            } else if (piece == u"gradient"_s) {
                area = QRect(header.left(), header.top(), header.width(), header.height() / 2);
                // Sharp, and alike from left to right over the whole header.
                for (int y = int(area.top() * Ratio); y < int((area.top() + area.height()) * Ratio); ++y) {
                    for (int x = int(area.left() * Ratio); x < int((area.left() + area.width()) * Ratio); ++x)
                        QCOMPARE(image.pixel(x, y), image.pixel(int(area.left() * Ratio), y));
                }
            } else {
                // The shadow's bottom-left corner: below the frame, left of where the shadow's
                // rectangle begins.
                const QRect client = style.GetClientRect(panel);
                const int bottom = client.y() + client.height() + style.FrameWidth();
                area = QRect(style.OuterBevel().Left, bottom, style.ShadowWidth(), style.ShadowWidth())
                    & panel->rect();
            }
        }
        const double share = unevenShare(image, area, blank);
        QVERIFY2(share >= 0.25,
            qPrintable(u"%1: %2 % of its 2 x 2 blocks have an edge inside; a 1x picture scaled up has none"_s
                           .arg(piece)
                           .arg(share * 100, 0, 'f', 1)));
        delete panel;
    }
    void invertPaintsAsStandard()
    {
        TCollapsStyleStandard standard;
        TCollapsStyleInvert invert;
        TCollapsePanel *panel = newPanel(100);
        panel->SetCaption(QStringLiteral("Zahlungen"));
        QCOMPARE(paint(*panel, invert), paint(*panel, standard));
        delete panel;
    }
};

QTEST_MAIN(TestCollapseStyle)
#include "tst_collapsestyle.moc"

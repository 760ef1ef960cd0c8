// The collapse styles: the standard geometry at 100 %, the header's growth while expanding, the
// style registry and the holder's choice by name, and the painting pixel by pixel, including that
// every pixel is painted exactly once.

#include "components/appservices/zc_thread.h"
#include "components/appservices/zelk_registry.h"
#include "components/panels/collapsepanel.h"
#include "components/panels/collapsestyle_standard.h"
#include "components/panels/xgraphic_cache.h"
#include "components/scaling/zc_scale.h"
#include "platform/settingsstore.h"

#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

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

// The title panel: band and children's area for every edge and style, its colours with and without
// a skinned collapse style, its painting pixel by pixel, change notification, and how the focus hook
// tells panels that the focus crossed their border.

#include "components/appservices/zc_thread.h"
#include "components/appservices/zelk_registry.h"
#include "components/panels/collapsepanel.h"
#include "components/panels/collapsestyle_standard.h"
#include "components/panels/titlepanel.h"
#include "components/panels/xgraphic_cache.h"
#include "components/scaling/zc_hooks.h"
#include "components/scaling/zc_scale.h"
#include "platform/widgets/application.h"

#include "../../support/sharpfont.h"
#include "../../support/unitsmain.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLineEdit>
#include <QPainter>
#include <QScopeGuard>
#include <QTest>
#include <QVBoxLayout>

#include <functional>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

using testsupport::sharpFont;

const TUnit *const g_units[] = { &zc_HooksUnit, &TitlePanelUnit };

// A rectangle given by its exclusive edges, as the platform writes rectangles.
QRect edges(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

// Counts what the panel is told and how often it repaints; answers TracksFocus as told.
class TCountingPanel : public TCustomTitlePanel
{
public:
    using TCustomTitlePanel::TCustomTitlePanel;

    bool tracks = false;
    bool raises = false;
    int notifications = 0;
    int invalidations = 0;

    bool TracksFocus() const override { return tracks; }
    void Invalidate() override
    {
        ++invalidations;
        TCustomTitlePanel::Invalidate();
    }
    void FocusMoved(QWidget *AOther, QWidget *AWindow) override
    {
        ++notifications;
        if (raises)
            throw std::runtime_error("panel failed");
        TCustomTitlePanel::FocusMoved(AOther, AWindow);
    }
    void reset()
    {
        notifications = 0;
        invalidations = 0;
    }
};

QImage render(QWidget &w)
{
    QImage image = w.grab().toImage();
    // Logical pixels, whatever the test's scale factor.
    if (image.devicePixelRatio() != 1.0)
        image = image.scaled(w.size());
    return image.convertToFormat(QImage::Format_RGB32);
}

TColor pixel(const QImage &image, int x, int y)
{
    return FromQColor(image.pixelColor(x, y));
}

int distance(TColor a, TColor b)
{
    a = ColorToRGB(a);
    b = ColorToRGB(b);
    return std::max({ std::abs(GetRValue(a) - GetRValue(b)), std::abs(GetGValue(a) - GetGValue(b)),
        std::abs(GetBValue(a) - GetBValue(b)) });
}

constexpr TColor red = RGB(255, 0, 0);
constexpr TColor skinInner = RGB(0x40, 0x80, 0xC0);

std::optional<TColor> lookAndSkinStyle()
{
    return skinInner;
}
std::optional<TColor> plainStyle()
{
    return std::nullopt;
}

// Installs a skin-colour procedure for one test.
class TSkinGuard
{
public:
    explicit TSkinGuard(TTitlePanelSkinColorProc proc)
        : m_saved(SetTitlePanelSkinColor(proc))
    {
    }
    ~TSkinGuard() { SetTitlePanelSkinColor(m_saved); }
    TSkinGuard(const TSkinGuard &) = delete;
    TSkinGuard &operator=(const TSkinGuard &) = delete;

private:
    TTitlePanelSkinColorProc m_saved;
};

using TTitleStep = std::function<void(TCountingPanel &)>;

} // namespace

Q_DECLARE_METATYPE(TTitleStep)
Q_DECLARE_METATYPE(TTitlePanelStyle)
Q_DECLARE_METATYPE(TTitlePanelTitlePosition)

class TestTitlePanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void defaults()
    {
        QWidget parent;
        parent.setFont(sharpFont());
        TCustomTitlePanel panel(&parent);
        const TCustomTitlePanelTitle *title = panel.Title();
        QVERIFY(qobject_cast<const TBasicTitlePanelTitle *>(title));
        QCOMPARE(title->Panel(), &panel);
        QCOMPARE(title->Height(), 17);
        QCOMPARE(title->Position(), tpLeft);
        QCOMPARE(title->Alignment(), txaCenter);
        QVERIFY(title->EndEllipsis());
        QVERIFY(!title->Multiline());
        QVERIFY(title->Gradient());
        QVERIFY(title->DefaultDrawing());
        QCOMPARE(title->Color(), clHighlight);
        QCOMPARE(title->FontColor(), clHighlightText);
        QCOMPARE(title->ActiveColor(), clActiveCaption);
        QCOMPARE(title->InactiveColor(), clInactiveCaption);
        QCOMPARE(title->Font(), panel.font());
        QCOMPARE(title->UpdateCount(), 0);
        QCOMPARE(title->Margins()->Left() + title->Margins()->Right() + title->Margins()->Top()
                + title->Margins()->Bottom(),
            0);
        QCOMPARE(panel.Style(), psFramed);
        QCOMPARE(panel.FrameWidth(), 1);
        QVERIFY(!panel.AsPanel());
        QVERIFY(panel.NativeStyle());
        QVERIFY(!panel.TracksFocus());
        QCOMPARE(panel.ActiveFrameColor(), clActiveCaption);
        QCOMPARE(panel.InactiveFrameColor(), clInactiveCaption);
        QCOMPARE(panel.GetTitleColor(), clActiveCaption);

        // Frame of one pixel in the title colour, band at the left from light at the panel's edge to
        // the title colour, caption centred and turned to read from bottom to top.
        panel.resize(60, 200);
        panel.SetCaption(u"Titel"_s);
        const QImage image = render(panel);
        const TColor c = ColorToRGB(clActiveCaption);
        QCOMPARE(pixel(image, 0, 0), c);
        QCOMPARE(pixel(image, 59, 199), c);
        QCOMPARE(panel.GetTitleRect(), edges(1, 1, 18, 199));
        QCOMPARE(pixel(image, 1, 5), BlendColors(c, clWhite, 0.2));
        QVERIFY2(
            distance(pixel(image, 17, 5), c) <= 12, qPrintable(QString::number(pixel(image, 17, 5), 16)));
        // Text in the highlight-text colour with a halo in the title colour, around the middle.
        const TColor text = ColorToRGB(clHighlightText);
        int top = 200;
        int bottom = -1;
        bool halo = false;
        for (int y = 0; y < 200; ++y)
            for (int x = 1; x < 18; ++x) {
                if (pixel(image, x, y) == text) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
                halo = halo || pixel(image, x, y) == c;
            }
        QVERIFY(bottom > top);
        QVERIFY(halo);
        QVERIFY2(std::abs((top + bottom) / 2 - 100) <= 3,
            qPrintable(u"text from %1 to %2"_s.arg(top).arg(bottom)));
    }

    void bandAndChildren_data()
    {
        QTest::addColumn<TTitlePanelTitlePosition>("position");
        QTest::addColumn<TTitlePanelStyle>("style");
        QTest::addColumn<int>("frameWidth");
        QTest::addColumn<bool>("asPanel");
        QTest::addColumn<QRect>("band");
        QTest::addColumn<QRect>("children");

        QTest::newRow("top, framed, frame width 2")
            << tpTop << psFramed << 2 << false << edges(2, 2, 98, 19) << edges(4, 21, 96, 76);
        QTest::newRow("bottom, framed, frame width 2")
            << tpBottom << psFramed << 2 << false << edges(2, 61, 98, 78) << edges(4, 4, 96, 59);
        QTest::newRow("left, framed, frame width 2")
            << tpLeft << psFramed << 2 << false << edges(2, 2, 19, 78) << edges(21, 4, 96, 76);
        QTest::newRow("right, framed, frame width 2")
            << tpRight << psFramed << 2 << false << edges(81, 2, 98, 78) << edges(4, 4, 79, 76);
        QTest::newRow("top, simple") << tpTop << psSimple << 2 << false << edges(0, 0, 100, 17)
                                     << edges(0, 17, 100, 80);
        QTest::newRow("bottom, simple")
            << tpBottom << psSimple << 1 << false << edges(0, 63, 100, 80) << edges(0, 0, 100, 63);
        QTest::newRow("left, 3-D title")
            << tpLeft << ps3DTitle << 1 << false << edges(0, 0, 17, 80) << edges(17, 0, 100, 80);
        QTest::newRow("right, 3-D title")
            << tpRight << ps3DTitle << 3 << false << edges(83, 0, 100, 80) << edges(0, 0, 83, 80);
        QTest::newRow("plain panel keeps its whole area for the children")
            << tpTop << psFramed << 2 << true << edges(2, 2, 98, 19) << edges(0, 0, 100, 80);
    }

    void bandAndChildren()
    {
        QFETCH(TTitlePanelTitlePosition, position);
        QFETCH(TTitlePanelStyle, style);
        QFETCH(int, frameWidth);
        QFETCH(bool, asPanel);
        QFETCH(QRect, band);
        QFETCH(QRect, children);

        TCustomTitlePanel panel;
        auto *layout = new QVBoxLayout(&panel);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *child = new QWidget;
        child->setMinimumSize(1, 1);
        layout->addWidget(child);
        panel.Title()->SetPosition(position);
        panel.SetStyle(style);
        panel.SetFrameWidth(frameWidth);
        panel.SetAsPanel(asPanel);
        panel.resize(100, 80);
        layout->activate();

        QCOMPARE(panel.GetTitleRect(), band);
        QCOMPARE(panel.contentsRect(), children);
        QCOMPARE(child->geometry(), children);
    }

    void thinBand_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("drawn");

        QTest::newRow("below twice the frame width") << 9 << false;
        QTest::newRow("twice the frame width") << 10 << true;
    }

    void thinBand()
    {
        QFETCH(int, height);
        QFETCH(bool, drawn);

        TCustomTitlePanel panel;
        panel.SetFrameWidth(5);
        panel.Title()->SetPosition(tpTop);
        panel.Title()->SetHeight(height);
        panel.resize(100, 80);
        const QImage image = render(panel);
        const TColor background = FromQColor(panel.palette().color(panel.backgroundRole()));
        const TColor light = BlendColors(ColorToRGB(clActiveCaption), clWhite, 0.2);

        // The frame is there either way; the band only when it is thick enough.
        QCOMPARE(pixel(image, 0, 40), ColorToRGB(clActiveCaption));
        QCOMPARE(pixel(image, 50, 5), drawn ? light : background);
        QCOMPARE(pixel(image, 50, 8) != background, drawn);
        // The children lose the band's height all the same.
        QCOMPARE(panel.contentsRect().top(), height + 2 * 5);
    }

    void gradientDirection_data()
    {
        QTest::addColumn<TTitlePanelTitlePosition>("position");
        QTest::addColumn<QPoint>("outer");
        QTest::addColumn<QPoint>("inner");

        QTest::newRow("top") << tpTop << QPoint(50, 0) << QPoint(50, 16);
        QTest::newRow("bottom") << tpBottom << QPoint(50, 79) << QPoint(50, 63);
        QTest::newRow("left") << tpLeft << QPoint(0, 40) << QPoint(16, 40);
        QTest::newRow("right") << tpRight << QPoint(99, 40) << QPoint(83, 40);
    }

    void gradientDirection()
    {
        QFETCH(TTitlePanelTitlePosition, position);
        QFETCH(QPoint, outer);
        QFETCH(QPoint, inner);

        TCustomTitlePanel panel;
        panel.SetStyle(psSimple);
        panel.Title()->SetPosition(position);
        panel.resize(100, 80);
        const QImage image = render(panel);
        const TColor c = ColorToRGB(clActiveCaption);
        const TColor light = BlendColors(c, clWhite, 0.2);

        // The first line has the start colour, the last one is a step short of the end colour.
        const int step = distance(light, c) / 17 + 1;
        const TColor atOuter = pixel(image, outer.x(), outer.y());
        const TColor atInner = pixel(image, inner.x(), inner.y());
        QVERIFY2(distance(atOuter, light) <= step, qPrintable(QString::number(atOuter, 16)));
        QVERIFY2(distance(atInner, c) <= step, qPrintable(QString::number(atInner, 16)));
        QVERIFY(ColorBrightness(atOuter) > ColorBrightness(atInner));
        QVERIFY(atOuter == light || atInner == c);
    }

    void solidBand_data()
    {
        QTest::addColumn<TTitlePanelTitlePosition>("position");
        QTest::addColumn<TTitlePanelStyle>("style");
        QTest::addColumn<bool>("gradient");
        QTest::addColumn<QRect>("band");
        QTest::addColumn<bool>("lightColour");

        // The 3-D title fills with the gradient's end colour, which lies at the inner edge for a band
        // at the top and at the outer edge for a band at the bottom.
        QTest::newRow("3-D title at the bottom with gradient")
            << tpBottom << ps3DTitle << true << edges(1, 63, 99, 80) << true;
        QTest::newRow("3-D title at the top with gradient")
            << tpTop << ps3DTitle << true << edges(1, 1, 99, 17) << false;
        QTest::newRow("no gradient at the bottom")
            << tpBottom << psSimple << false << edges(0, 63, 100, 80) << false;
    }

    void solidBand()
    {
        QFETCH(TTitlePanelTitlePosition, position);
        QFETCH(TTitlePanelStyle, style);
        QFETCH(bool, gradient);
        QFETCH(QRect, band);
        QFETCH(bool, lightColour);

        TCustomTitlePanel panel;
        panel.SetStyle(style);
        panel.Title()->SetPosition(position);
        panel.Title()->SetGradient(gradient);
        panel.resize(100, 80);
        const QImage image = render(panel);
        const TColor c = ColorToRGB(clActiveCaption);
        const TColor expected = lightColour ? BlendColors(c, clWhite, 0.2) : c;
        for (int y = band.top(); y <= band.bottom(); ++y)
            for (int x = band.left(); x <= band.right(); ++x)
                if (pixel(image, x, y) != expected)
                    QFAIL(qPrintable(u"(%1, %2) is %3"_s.arg(x).arg(y).arg(pixel(image, x, y), 6, 16)));
        if (style == ps3DTitle)
            QCOMPARE(pixel(image, 0, 40), ColorToRGB(clBtnHighlight));
    }

    void captionDirection_data()
    {
        QTest::addColumn<TTitlePanelTitlePosition>("position");
        QTest::addColumn<bool>("turned");
        QTest::addColumn<bool>("startsLow");

        // The caption is aligned to its own start: where that lands shows the way it reads.
        QTest::newRow("top reads left to right") << tpTop << false << false;
        QTest::newRow("bottom reads left to right") << tpBottom << false << false;
        QTest::newRow("left reads bottom to top") << tpLeft << true << true;
        QTest::newRow("right reads top to bottom") << tpRight << true << false;
    }

    void captionDirection()
    {
        QFETCH(TTitlePanelTitlePosition, position);
        QFETCH(bool, turned);
        QFETCH(bool, startsLow);

        TCustomTitlePanel panel;
        panel.SetStyle(psSimple);
        panel.SetCaption(u"TTTTT"_s);
        TCustomTitlePanelTitle *title = panel.Title();
        title->SetPosition(position);
        title->SetHeight(20);
        title->SetFont(sharpFont());
        title->SetFontColor(RGB(255, 0, 0));
        title->SetAlignment(txaCenterLeft);
        panel.resize(200, 200);
        const QImage image = render(panel);

        QRect text;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (pixel(image, x, y) == RGB(255, 0, 0))
                    text |= QRect(x, y, 1, 1);
        QVERIFY(!text.isEmpty());
        QVERIFY(panel.GetTitleRect().contains(text));
        QCOMPARE(text.height() > text.width(), turned);
        if (turned)
            QCOMPARE(text.center().y() > 100, startsLow);
        else
            QVERIFY(text.center().x() < 100);
        if (turned) {
            // The bars of the "T"s face the panel's outer edge for a band at the left (turned
            // counter-clockwise) and its inner edge for a band at the right (turned clockwise).
            const int footX = position == tpLeft ? text.right() : text.left();
            const int headX = position == tpLeft ? text.left() : text.right();
            int foot = 0;
            int head = 0;
            for (int y = text.top(); y <= text.bottom(); ++y) {
                foot += pixel(image, footX, y) == RGB(255, 0, 0);
                head += pixel(image, headX, y) == RGB(255, 0, 0);
            }
            QVERIFY2(foot < head, qPrintable(u"foot %1, head %2"_s.arg(foot).arg(head)));
        }
    }

    void colours_data()
    {
        QTest::addColumn<bool>("native");
        QTest::addColumn<int>("skin"); // 0 none connected, 1 a style without skin, 2 a look-and-skin style
        QTest::addColumn<bool>("tracks");
        QTest::addColumn<TColor>("title");
        QTest::addColumn<TColor>("background");

        const TColor parentColour = RGB(0x11, 0x22, 0x33);
        QTest::newRow("native style ignores the skin")
            << true << 2 << false << clActiveCaption << parentColour;
        QTest::newRow("not native, nothing connected")
            << false << 0 << false << clActiveCaption << parentColour;
        QTest::newRow("not native, a style without skin")
            << false << 1 << false << clActiveCaption << parentColour;
        QTest::newRow("not native with a skin, not tracking")
            << false << 2 << false << DarkenColor(skinInner, 0.2) << DarkenColor(skinInner, 0.15);
        QTest::newRow("not native with a skin, tracking, focus elsewhere")
            << false << 2 << true << DarkenColor(skinInner, 0.15) << DarkenColor(skinInner, 0.15);
        QTest::newRow("native, tracking, focus elsewhere")
            << true << 0 << true << clInactiveCaption << parentColour;
    }

    void colours()
    {
        QFETCH(bool, native);
        QFETCH(int, skin);
        QFETCH(bool, tracks);
        QFETCH(TColor, title);
        QFETCH(TColor, background);

        const TTitlePanelSkinColorProc procs[] = { nullptr, plainStyle, lookAndSkinStyle };
        const TSkinGuard guard(procs[skin]);
        QWidget parent;
        QPalette palette = parent.palette();
        palette.setColor(QPalette::Window, ToQColor(RGB(0x11, 0x22, 0x33)));
        parent.setPalette(palette);
        auto *panel = new TCountingPanel(&parent);
        panel->tracks = tracks;
        panel->SetNativeStyle(native);
        QCOMPARE(panel->GetTitleColor(), title);
        QCOMPARE(panel->GetBackgroundColor(), background);

        // The children's area shows that colour once the panel paints its own background.
        panel->SetParentBackground(false);
        panel->setGeometry(0, 0, 100, 80);
        const QImage image = render(*panel);
        QCOMPARE(pixel(image, 50, 40), ColorToRGB(background) & 0xFFFFFF);
        QCOMPARE(pixel(image, 99, 0), ColorToRGB(title) & 0xFFFFFF);
    }

    // Unless a procedure answers instead, the skin colour is the collapse panels' installed style's.
    void skinColourComesFromTheCollapseStyle()
    {
        class TSkinStyle : public TCollapsStyleStandard
        {
        public:
            TColor ReadInnerColor() const override { return skinInner; }
            bool IsLookAndSkin() const override { return true; }
        };

        QVERIFY(!TitlePanelSkinColor()); // no collapse panels, no skin
        static const TUnit *const units[]
            = { &XGraphicUnit, &Zelk_RegistryUnit, &zc_ScaleUnit, &zc_ThreadUnit, &CollapsePanelUnit };
        TUnitRun run(units);
        QVERIFY(!TitlePanelSkinColor()); // the initial style is not a skin
        CollapseHolder()->SetCollapsStyleObj(std::make_unique<TSkinStyle>());
        QCOMPARE(TitlePanelSkinColor(), std::optional<TColor>(skinInner));

        QWidget parent;
        auto *panel = new TCountingPanel(&parent);
        panel->SetNativeStyle(false);
        QCOMPARE(panel->GetTitleColor(), DarkenColor(skinInner, 0.2));
        QCOMPARE(panel->GetBackgroundColor(), DarkenColor(skinInner, 0.15));
        panel->SetNativeStyle(true);
        QCOMPARE(panel->GetTitleColor(), clActiveCaption);
    }

    void ownerDrawing_data()
    {
        QTest::addColumn<bool>("defaultDrawing");
        QTest::addColumn<bool>("handler");
        QTest::addColumn<bool>("ownerDrawn");

        QTest::newRow("handler with default drawing off") << false << true << true;
        QTest::newRow("handler ignored while drawing by default") << true << true << false;
        QTest::newRow("default drawing off without handler") << false << false << false;
    }

    void ownerDrawing()
    {
        QFETCH(bool, defaultDrawing);
        QFETCH(bool, handler);
        QFETCH(bool, ownerDrawn);

        TCustomTitlePanel panel;
        panel.Title()->SetPosition(tpTop);
        panel.Title()->SetDefaultDrawing(defaultDrawing);
        QRect drawnRect;
        if (handler) {
            panel.SetOnDrawTitle([&](TCustomTitlePanel *Sender, QPainter &Canvas, const QRect &Rect) {
                QCOMPARE(Sender, &panel);
                drawnRect = Rect;
                Canvas.fillRect(Rect, Qt::red);
            });
        }
        panel.resize(100, 80);
        const QImage image = render(panel);
        QCOMPARE(drawnRect, ownerDrawn ? panel.GetTitleRect() : QRect());
        QCOMPARE(pixel(image, 50, 5) == RGB(255, 0, 0), ownerDrawn);
        if (!ownerDrawn)
            QCOMPARE(pixel(image, 50, 1), BlendColors(ColorToRGB(clActiveCaption), clWhite, 0.2));
    }

    // The draw handler runs inside a paint event: its error reaches the application's handler
    // once the event loop runs again, and never crosses the paint.
    void aFailingDrawHandlerReachesTheHandler()
    {
        QStringList handled;
        TApplication::SetExceptionSink([&](const QString &m) { handled.append(m); });
        const auto restore = qScopeGuard([] { TApplication::SetExceptionSink({}); });
        TCustomTitlePanel panel;
        panel.Title()->SetPosition(tpTop);
        panel.Title()->SetDefaultDrawing(false);
        panel.SetOnDrawTitle([](TCustomTitlePanel *, QPainter &, const QRect &) {
            throw Exception(u"Titel nicht zeichenbar"_s);
        });
        panel.resize(100, 80);
        render(panel);
        QVERIFY(handled.isEmpty());
        QTRY_COMPARE(handled, QStringList { u"Titel nicht zeichenbar"_s });
    }

    void changeNotification_data()
    {
        QTest::addColumn<TTitleStep>("step");
        QTest::addColumn<int>("refreshes");
        QTest::addColumn<int>("updateCount");

        QTest::newRow("unchanged height")
            << TTitleStep([](TCountingPanel &p) { p.Title()->SetHeight(17); }) << 0 << 0;
        QTest::newRow("changed height")
            << TTitleStep([](TCountingPanel &p) { p.Title()->SetHeight(20); }) << 1 << 0;
        QTest::newRow("several changes inside one update") << TTitleStep([](TCountingPanel &p) {
            p.Title()->BeginUpdate();
            p.Title()->SetHeight(20);
            p.Title()->SetPosition(tpTop);
            p.Title()->SetGradient(false);
            p.Title()->EndUpdate();
        }) << 1 << 0;
        QTest::newRow("an open update holds the change back") << TTitleStep([](TCountingPanel &p) {
            p.Title()->BeginUpdate();
            p.Title()->SetHeight(20);
        }) << 0 << 1;
        QTest::newRow("font assigned without comparing")
            << TTitleStep([](TCountingPanel &p) { p.Title()->SetFont(p.Title()->Font()); }) << 1 << 0;
        QTest::newRow("margin written with its own value")
            << TTitleStep([](TCountingPanel &p) { p.Title()->Margins()->SetLeft(0); }) << 1 << 0;
        QTest::newRow("colour under the text")
            << TTitleStep([](TCountingPanel &p) { p.Title()->SetColor(red); }) << 1 << 0;
        QTest::newRow("EndUpdate more often than BeginUpdate") << TTitleStep([](TCountingPanel &p) {
            p.Title()->EndUpdate();
            p.Title()->EndUpdate();
        }) << 2 << -2;
        QTest::newRow("a change after too many EndUpdates still refreshes") << TTitleStep(
            [](TCountingPanel &p) {
                p.Title()->EndUpdate();
                p.reset();
                p.Title()->SetHeight(20);
                p.Title()->SetAlignment(txaTopLeft);
            }) << 2 << -1;
        QTest::newRow("active frame colour")
            << TTitleStep([](TCountingPanel &p) { p.SetActiveFrameColor(red); }) << 2 << 0;
    }

    void changeNotification()
    {
        QFETCH(TTitleStep, step);
        QFETCH(int, refreshes);
        QFETCH(int, updateCount);

        TCountingPanel panel;
        panel.reset();
        step(panel);
        QCOMPARE(panel.invalidations, refreshes);
        QCOMPARE(panel.Title()->UpdateCount(), updateCount);
    }

    void marginsAssign()
    {
        TCustomTitlePanel from;
        TCountingPanel to;
        TTitleMargins *source = from.Title()->Margins();
        source->SetLeft(1);
        source->SetRight(2);
        source->SetTop(3);
        source->SetBottom(4);
        to.reset();
        to.Title()->Margins()->Assign(source);
        const TTitleMargins *m = to.Title()->Margins();
        QCOMPARE(QList<int>({ m->Left(), m->Right(), m->Top(), m->Bottom() }), QList<int>({ 1, 2, 0, 0 }));
        // Each of the two setters is a change of its own.
        QCOMPARE(to.invalidations, 2);

        QVERIFY_THROWS_EXCEPTION(EConvertError, to.Title()->Margins()->Assign(from.Title()));
        try {
            to.Title()->Margins()->Assign(nullptr);
            QFAIL("nil was assigned");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), u"Cannot assign a nil to a TTitleMargins"_s);
        }
    }

    void titleAssign()
    {
        TCustomTitlePanel from;
        TCustomTitlePanelTitle *source = from.Title();
        source->Margins()->SetLeft(5);
        source->Margins()->SetTop(6);
        QFont font = sharpFont();
        font.setBold(true);
        source->SetFont(font);
        source->SetFontColor(RGB(1, 2, 3));
        source->SetColor(RGB(4, 5, 6));
        source->SetHeight(30);
        source->SetAlignment(txaBottomRight);
        source->SetPosition(tpRight);
        source->SetEndEllipsis(false);
        source->SetMultiline(true);
        source->SetGradient(false);
        source->SetDefaultDrawing(false);

        TCountingPanel to;
        to.reset();
        TCustomTitlePanelTitle *title = to.Title();
        title->Assign(source);
        QCOMPARE(to.invalidations, 1);
        QCOMPARE(title->Margins()->Left(), 5);
        QCOMPARE(title->Margins()->Top(), 0);
        QCOMPARE(title->Font(), font);
        QCOMPARE(title->FontColor(), RGB(1, 2, 3));
        QCOMPARE(title->Color(), RGB(4, 5, 6));
        QCOMPARE(title->ActiveColor(), RGB(4, 5, 6));
        QCOMPARE(title->InactiveColor(), RGB(4, 5, 6));
        QCOMPARE(title->Height(), 30);
        QCOMPARE(title->Alignment(), txaBottomRight);
        QCOMPARE(title->Position(), tpRight);
        // Not part of an assignment.
        QVERIFY(title->EndEllipsis());
        QVERIFY(!title->Multiline());
        QVERIFY(title->Gradient());
        QVERIFY(title->DefaultDrawing());
        QCOMPARE(title->UpdateCount(), 0);

        try {
            title->Assign(source->Margins());
            QFAIL("margins were assigned to a title");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), u"Cannot assign a TTitleMargins to a TBasicTitlePanelTitle"_s);
        }
        QCOMPARE(title->UpdateCount(), 0);
    }

    void loadedScalesTheBand()
    {
        auto old = ReplaceMainScaler(std::make_unique<Tzc_ScalerWork>(true, 144));
        TCustomTitlePanel panel;
        QFont font = panel.Title()->Font();
        font.setPointSize(10);
        panel.Title()->SetFont(font);
        panel.Loaded();
        ReplaceMainScaler(std::move(old));
        QCOMPARE(panel.Title()->Height(), 26);
        QCOMPARE(panel.Title()->Font().pointSize(), 15);
    }

    void enclosingPanel()
    {
        QWidget window;
        auto *outer = new TCustomTitlePanel(&window);
        auto *inner = new TCustomTitlePanel(outer);
        auto *edit = new QLineEdit(inner);
        auto *beside = new QLineEdit(outer);
        QWidget popup(edit, Qt::Window);

        QCOMPARE(FindEnclosingTitlePanel(edit), inner);
        QCOMPARE(FindEnclosingTitlePanel(inner), outer);
        QCOMPARE(FindEnclosingTitlePanel(beside), outer);
        QCOMPARE(FindEnclosingTitlePanel(outer), nullptr);
        QCOMPARE(FindEnclosingTitlePanel(nullptr), nullptr);
        // A window of its own is not inside the panel that owns it.
        QCOMPARE(FindEnclosingTitlePanel(&popup), nullptr);
        QVERIFY(outer->ContainsWindow(edit));
        QVERIFY(!outer->ContainsWindow(outer));
        QVERIFY(!inner->ContainsWindow(beside));
        QVERIFY(!inner->ContainsWindow(&popup));
        QVERIFY(!inner->ContainsWindow(nullptr));
    }

    void focusMoves_data()
    {
        QTest::addColumn<bool>("tracks");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("outerNotified");
        QTest::addColumn<int>("outerRepaints");
        QTest::addColumn<int>("innerNotified");
        QTest::addColumn<int>("innerRepaints");

        // Each move is a FocusOut and a FocusIn; every panel around either widget hears of each.
        QTest::newRow("between two controls inside one panel")
            << true << u"outerEdit"_s << u"outerEdit2"_s << 4 << 0 << 0 << 0;
        QTest::newRow("from inside the panel to outside")
            << true << u"outerEdit"_s << u"outside"_s << 2 << 2 << 0 << 0;
        QTest::newRow("from outside into the panel")
            << true << u"outside"_s << u"outerEdit"_s << 2 << 2 << 0 << 0;
        QTest::newRow("into a nested panel") << true << u"outerEdit"_s << u"innerEdit"_s << 4 << 0 << 2 << 2;
        QTest::newRow("out across both borders")
            << true << u"innerEdit"_s << u"outside"_s << 2 << 2 << 2 << 2;
        QTest::newRow("not tracking the focus")
            << false << u"innerEdit"_s << u"outside"_s << 2 << 0 << 2 << 0;
    }

    void focusMoves()
    {
        QFETCH(bool, tracks);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(int, outerNotified);
        QFETCH(int, outerRepaints);
        QFETCH(int, innerNotified);
        QFETCH(int, innerRepaints);

        QVERIFY(!TitlePanelFocusHookGUID().isNull());
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *outside = new QLineEdit;
        outside->setObjectName(u"outside"_s);
        layout->addWidget(outside);
        auto *outer = new TCountingPanel;
        outer->tracks = tracks;
        layout->addWidget(outer);
        auto *outerLayout = new QVBoxLayout(outer);
        for (const QString &name : { u"outerEdit"_s, u"outerEdit2"_s }) {
            auto *edit = new QLineEdit;
            edit->setObjectName(name);
            outerLayout->addWidget(edit);
        }
        auto *inner = new TCountingPanel;
        inner->tracks = tracks;
        outerLayout->addWidget(inner);
        auto *innerEdit = new QLineEdit(inner);
        innerEdit->setObjectName(u"innerEdit"_s);
        (new QVBoxLayout(inner))->addWidget(innerEdit);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        auto *fromEdit = window.findChild<QLineEdit *>(from);
        auto *toEdit = window.findChild<QLineEdit *>(to);
        fromEdit->setFocus();
        QTRY_VERIFY(fromEdit->hasFocus());
        outer->reset();
        inner->reset();
        toEdit->setFocus();
        QTRY_VERIFY(toEdit->hasFocus());

        QCOMPARE(outer->notifications, outerNotified);
        QCOMPARE(outer->invalidations, outerRepaints);
        QCOMPARE(inner->notifications, innerNotified);
        QCOMPARE(inner->invalidations, innerRepaints);
        // A panel that tracks the focus has the active colour exactly while the focus is inside.
        const bool inside = outer->isAncestorOf(toEdit);
        QCOMPARE(outer->GetTitleColor(), !tracks || inside ? clActiveCaption : clInactiveCaption);
    }

    void destroyingFocusedControlsInsideATrackingPanel()
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *outside = new QLineEdit;
        layout->addWidget(outside);
        auto *panel = new TCountingPanel;
        panel->tracks = true;
        layout->addWidget(panel);
        auto *first = new QLineEdit;
        auto *second = new QLineEdit;
        auto *inside = new QVBoxLayout(panel);
        inside->addWidget(first);
        inside->addWidget(second);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        // The focus leaves a control while it is destroyed; the next move must not reach it.
        first->setFocus();
        QTRY_VERIFY(first->hasFocus());
        delete first;
        second->setFocus();
        QTRY_VERIFY(second->hasFocus());
        QCOMPARE(panel->GetTitleColor(), clActiveCaption);
        // And the panel itself goes while a control inside it has the focus.
        delete panel;
        outside->setFocus();
        QTRY_VERIFY(outside->hasFocus());
    }

    void aFailingPanelStopsNoOther()
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *outside = new QLineEdit;
        layout->addWidget(outside);
        auto *outer = new TCountingPanel;
        outer->tracks = true;
        layout->addWidget(outer);
        auto *inner = new TCountingPanel;
        (new QVBoxLayout(outer))->addWidget(inner);
        auto *edit = new QLineEdit;
        (new QVBoxLayout(inner))->addWidget(edit);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        outside->setFocus();
        QTRY_VERIFY(outside->hasFocus());
        outer->reset();
        inner->reset();
        inner->raises = true;

        QTest::ignoreMessage(QtWarningMsg, "A title panel failed to follow the focus: panel failed");
        QTest::ignoreMessage(QtWarningMsg, "A title panel failed to follow the focus: panel failed");
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        QCOMPARE(inner->notifications, 2);
        QCOMPARE(outer->notifications, 2);
        QCOMPARE(outer->invalidations, 2);
        inner->raises = false;
    }
};

PRAVIK_TEST_MAIN(TestTitlePanel, g_units)
#include "tst_titlepanel.moc"

// The checker window's own start-up (RunPravik: the library's units, then the application) on a
// private X server of 144 dots per inch: the library sees the real screen, and a collapse panel
// placed in the program is drawn in the application's colours at the screen's scale. ctest runs it
// twice: with Qt leaving the scaling to the library, and with Qt scaling by a device pixel ratio;
// the whole scale (the library's times Qt's) must come out as the screen's either way.

#include "pravik_startup.h"
#include "xvfbserver.h"

#include "components/panels/collapsepanel.h"
#include "components/panels/collapsestyle_standard.h"
#include "components/scaling/zc_scale.h"
#include "platform/numbers.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>

#include <cstdio>

namespace {

constexpr int ScreenDpi = 144;

qreal deviceRatio()
{
    return QGuiApplication::primaryScreen()->devicePixelRatio();
}

// A size of the library times what Qt adds: the size on the screen, in device pixels.
int onScreen(int librarySize)
{
    return qRound(librarySize * deviceRatio());
}

} // namespace

class TestProgramStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theScreenHasItsResolution()
    {
        // The setting of the test itself: Qt reads 144 dpi, as logical resolution or as a ratio.
        QCOMPARE(onScreen(RoundHalfEven(QGuiApplication::primaryScreen()->logicalDotsPerInchY())), ScreenDpi);
    }

    void mainScalerFollowsTheScreen()
    {
        QCOMPARE(onScreen(MainScaler()->ScalePercent()), MulDiv(ScreenDpi, 100, 96));
    }

    void panelIsDrawnInTheApplicationsColoursAtTheScreensScale()
    {
        QWidget window;
        window.resize(320, 240);
        auto *panel = new TCollapsePanel(&window);
        panel->SetCaption(QStringLiteral("Zahlungen"));
        panel->SetExpandSteps(0);
        panel->setGeometry(10, 10, 300, 60);
        auto *label = new QLabel(QStringLiteral("Zeile"), panel);
        label->setGeometry(20, 70, 60, 20);
        panel->Loaded();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        auto *style = dynamic_cast<TCollapsStyleStandard *>(CollapseHolder()->CollapsStyleObj());
        QVERIFY(style);
        // A header designed 20 pixels high, at 150 % on this screen.
        QCOMPARE(onScreen(style->GetCollapsePanelHeaderHeight(panel)),
            MulDiv(20, MulDiv(ScreenDpi, 100, 96), 100));

        const QImage image = panel->grab().toImage();
        const auto pixel
            = [&](const QPoint &p) { return image.pixelColor(onScreen(p.x()), onScreen(p.y())); };
        // The body, right of the label inside the frame: the application's button face.
        const QRect client = style->GetClientRect(panel);
        QCOMPARE(pixel(QPoint(client.right() - 4, client.center().y())),
            QApplication::palette().color(QPalette::Active, QPalette::Button));
        // The lower half of the header: the frame colour, a darker shade of the highlight colour.
        const QRect header = style->GetCollapsePanelHeaderRect(panel);
        QCOMPARE(pixel(QPoint(header.right() - 2, header.bottom() - 1)),
            ToQColor(DarkenColor(
                FromQColor(QApplication::palette().color(QPalette::Active, QPalette::Highlight)), 0.33)));
    }
};

int main(int argc, char *argv[])
{
    XvfbServer xvfb;
    if (!useOwnXServer(xvfb, ScreenDpi))
        return 1;
    return RunPravik(argc, argv, [&] {
        TestProgramStartup test;
        return QTest::qExec(&test, argc, argv);
    });
}

#include "tst_e2e_startup.moc"

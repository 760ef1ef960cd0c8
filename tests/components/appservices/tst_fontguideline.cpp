// The font guideline on a small form, its choice of font, the text-height cache, the metrics
// snapshot's colour depth, and the placement of forms on fake monitors.

#include "components/appservices/xprocs_display.h"
#include "components/appservices/xprocs_params.h"

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

TFontGuidelineEnvironment environment(const QStringList &installed, const QString &menu, bool vista = true)
{
    return { installed, menu, vista };
}

} // namespace

class TestFontGuideline : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TUnitRun> m_units;
    std::unique_ptr<TApplicationParamList> m_params;

    void parameters(const QStringList &arguments)
    {
        m_params.reset();
        m_params = std::make_unique<TApplicationParamList>(arguments, m_dir.filePath(u"tool"_s));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("TMP", QFile::encodeName(m_dir.path()));
        qunsetenv("ORIGIN_TEMP");
        TApplicationParamList::InitializeClass();
        m_units = std::make_unique<TUnitRun>(std::initializer_list<const TUnit *> { &xProcsDisplayUnit });
    }

    void cleanupTestCase()
    {
        m_params.reset();
        m_units.reset();
        TApplicationParamList::FinalizeClass();
    }

    void init()
    {
        SetFontGuidelineState(-1);
        parameters({});
    }

    void chooseFont_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<bool>("vista");
        QTest::addColumn<QString>("expected");
        const QStringList common { u"Noto Sans"_s, u"Consolas"_s, u"Tahoma"_s, u"Segoe UI"_s, u"Arial"_s };
        QTest::newRow("menu font without parameters") << QStringList {} << common << true << u"Noto Sans"_s;
        QTest::newRow("FONT parameter of an installed font")
            << QStringList { u"/FONT:Consolas"_s } << common << true << u"Consolas"_s;
        QTest::newRow("hidden $FONT parameter")
            << QStringList { u"/$FONT:Arial"_s } << common << true << u"Arial"_s;
        QTest::newRow("font not installed falls to the menu font")
            << QStringList { u"/FONT:No Such Font"_s } << common << true << u"Noto Sans"_s;
        QTest::newRow("name kept as written, not as installed")
            << QStringList { u"/FONT:CONSOLAS"_s } << common << true << u"CONSOLAS"_s;
        QTest::newRow("Segoe UI before 6.0 becomes Tahoma")
            << QStringList { u"/FONT:segoe ui"_s } << common << false << u"Tahoma"_s;
        QTest::newRow("Segoe UI only from 6.0")
            << QStringList {} << QStringList { u"Segoe UI"_s, u"Tahoma"_s } << true << u"Segoe UI"_s;
        QTest::newRow("Tahoma before 6.0")
            << QStringList {} << QStringList { u"Segoe UI"_s, u"Tahoma"_s } << false << u"Tahoma"_s;
        QTest::newRow("last resort Arial")
            << QStringList {} << QStringList { u"arial"_s } << true << u"Arial"_s;
        QTest::newRow("nothing installed")
            << QStringList {} << QStringList { u"Wingdings"_s } << true << QString();
    }

    void chooseFont()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, installed);
        QFETCH(bool, vista);
        QFETCH(QString, expected);
        parameters(arguments);
        QCOMPARE(ChooseGuidelineFont(QString(), environment(installed, u"Noto Sans"_s, vista)), expected);
    }

    // fontconfig lists its generic names among the families; none of them is a font to choose.
    void aliasesAreNoFonts_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("expected");
        const QStringList aliases { u"Sans Serif"_s, u"Serif"_s, u"Monospace"_s };
        QTest::newRow("menu font an alias, no real family")
            << QStringList {} << aliases << u"Sans Serif"_s << QString();
        QTest::newRow("menu font an alias, Arial installed")
            << QStringList {} << aliases + QStringList { u"Arial"_s } << u"Sans Serif"_s << u"Arial"_s;
        QTest::newRow("FONT parameter naming an alias falls to the menu font")
            << QStringList { u"/FONT:monospace"_s } << aliases + QStringList { u"DejaVu Sans"_s }
            << u"DejaVu Sans"_s << u"DejaVu Sans"_s;
    }

    void aliasesAreNoFonts()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, installed);
        QFETCH(QString, menu);
        QFETCH(QString, expected);
        parameters(arguments);
        QCOMPARE(ChooseGuidelineFont(QString(), environment(installed, menu)), expected);
    }

    void onlyAliasesChangeNothing()
    {
        const QFont before = QApplication::font();
        QWidget form;
        ApplyFontGuideline(
            &form, QString(), -1, environment({ u"Sans Serif"_s, u"Serif"_s }, u"Sans Serif"_s));
        QCOMPARE(QApplication::font(), before);
    }

    // On the running system the guideline's choice is a family that draws itself, not a name
    // fontconfig substitutes another family for.
    void liveChoiceIsARealFamily()
    {
        const QFont menuFont = QApplication::font("QMenu");
        if (QFontInfo(menuFont).family().compare(menuFont.family(), Qt::CaseInsensitive) == 0)
            QSKIP("the menu font is named by its family here, not by an alias");
        const QString chosen = ChooseGuidelineFont(QString(), TFontGuidelineEnvironment::Live());
        QVERIFY(!chosen.isEmpty());
        QCOMPARE(QFontInfo(QFont(chosen)).family(), chosen);
    }

    void noInstalledFontChangesNothing()
    {
        const QFont before = QApplication::font();
        QWidget form;
        ApplyFontGuideline(&form, QString(), -1, environment({}, u"Noto Sans"_s));
        QCOMPARE(QApplication::font(), before);
        QCOMPARE(FontGuidelineState(), -1);
    }

    void guidelineOnASmallForm()
    {
        parameters({ u"-FORCE_FONT_GUIDELINE"_s });
        QWidget form;
        form.resize(300, 200);
        auto *label = new QLabel(u"Betrag"_s, &form);
        label->setGeometry(10, 10, 100, 10);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setFont(QFont(u"Arial"_s, 8));
        auto *courier = new QLineEdit(&form);
        courier->setGeometry(10, 30, 100, 21);
        courier->setFont(QFont(u"Courier New"_s, 8));
        auto *kept = new QLineEdit(&form);
        kept->setGeometry(10, 60, 100, 21);
        kept->setProperty("Tag", -1);
        kept->setFont(QFont(u"Arial"_s, 8));
        auto *small = new QLabel(u"klein"_s, &form);
        small->setGeometry(10, 90, 100, 14);
        small->setProperty("Tag", -1);
        small->setFont(QFont(u"Arial"_s, 8));

        ApplyFontGuideline(&form, QString(), -1, environment({ u"Noto Sans"_s }, u"Noto Sans"_s));
        QCOMPARE(FontGuidelineState(), 1);
        QCOMPARE(QApplication::font().family(), u"Noto Sans"_s);
        QCOMPARE(QApplication::font().pixelSize(), 12);

        QCOMPARE(label->font().family(), u"Noto Sans"_s);
        QCOMPARE(label->font().pointSize(), 9);
        QCOMPARE(label->font().styleStrategy(), QFont::PreferAntialias);
        QCOMPARE(label->height(), std::max(10, TDefaultFontSizes::TextHeight(label->font())));

        QCOMPARE(courier->font().family(), u"Courier New"_s);
        QCOMPARE(courier->font().pointSize(), 9);
        QCOMPARE(courier->font().styleStrategy(), QFont::PreferAntialias);

        QCOMPARE(kept->font().family(), u"Arial"_s);
        QCOMPARE(kept->font().pointSize(), 8);
        QCOMPARE(kept->font().styleStrategy(), QFont::PreferDefault);

        QCOMPARE(small->font().family(), u"Noto Sans"_s);
        QCOMPARE(small->font().pointSize(), 9);

        // Decided once for the process: a later call without the switch keeps it on.
        parameters({});
        ApplyFontGuideline(nullptr, QString(), -1, environment({ u"Noto Sans"_s }, u"Noto Sans"_s));
        QCOMPARE(FontGuidelineState(), 1);
    }

    void guidelineOff()
    {
        parameters({ u"/$FONTQUALITY:3"_s });
        QWidget form;
        auto *label = new QLabel(u"Betrag"_s, &form);
        label->setGeometry(10, 10, 100, 10);
        label->setAlignment(Qt::AlignTop);
        label->setFont(QFont(u"Arial"_s, 8));
        ApplyFontGuideline(&form, u"Arial"_s, -1, environment({ u"Arial"_s }, u"Noto Sans"_s));
        QCOMPARE(FontGuidelineState(), 0);
        QCOMPARE(QApplication::font().pixelSize(), 11);
        QCOMPARE(label->font().pointSize(), 8); // no upsizing
        QCOMPARE(label->font().styleStrategy(), QFont::NoAntialias);
        QCOMPARE(label->height(), 10);
    }

    void characterSetAboveARangeRaises()
    {
        parameters({ u"/$FONTCHARSET:300"_s });
        QWidget form;
        QVERIFY_THROWS_EXCEPTION(EArgumentOutOfRangeException,
            ApplyFontGuideline(&form, QString(), -1, environment({ u"Arial"_s }, QString())));
        parameters({ u"/$FONTCHARSET:x"_s });
        ApplyFontGuideline(&form, QString(), -1, environment({ u"Arial"_s }, QString()));
        QCOMPARE(DefaultFontCharset(), 1);
    }

    void textHeightMeasuredOncePerFaceAndSize()
    {
        const int before = TDefaultFontSizes::Measurements();
        const int a = TDefaultFontSizes::TextHeight(QFont(u"Pravik Test Face"_s, 11));
        const int b = TDefaultFontSizes::TextHeight(QFont(u"PRAVIK TEST FACE"_s, 11, QFont::Bold));
        QCOMPARE(a, b);
        QCOMPARE(TDefaultFontSizes::Measurements(), before + 1);
        QVERIFY(a > 0);
        TDefaultFontSizes::TextHeight(QFont(u"Pravik Test Face"_s, 12));
        QCOMPARE(TDefaultFontSizes::Measurements(), before + 2);
    }

    void colourDepth_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("depth");
        QTest::newRow("8 bits") << 8 << 256;
        QTest::newRow("16 bits") << 16 << 65536;
        QTest::newRow("24 bits") << 24 << 16777216;
        QTest::newRow("32 bits wrap to 1") << 32 << 1;
    }

    void colourDepth()
    {
        QFETCH(int, bits);
        QFETCH(int, depth);
        TSystemMetricSource source;
        source.BitsPerPixel = bits;
        QCOMPARE(TSystemMetric(source).ColorDepth(), depth);
    }

    void liveSnapshotOnce()
    {
        const TSystemMetric *metric = SystemMetric();
        QVERIFY(metric);
        QCOMPARE(SystemMetric(), metric);
        QVERIFY(metric->VScroll().x() > 0);
        QVERIFY(metric->FullScreen().x() > 0);
        QVERIFY(metric->MenuHeight() > 0);
    }

    void visibleBounds_data()
    {
        QTest::addColumn<QRect>("bounds");
        QTest::addColumn<bool>("onlyIfOffScreen");
        QTest::addColumn<QRect>("expected"); // null: left alone
        // Two monitors side by side; the work areas leave room for a panel at the bottom.
        QTest::newRow("centre on a monitor, parts off-screen")
            << QRect(1800, 100, 300, 200) << true << QRect();
        QTest::newRow("50 pixels beyond the work area's right edge")
            << QRect(1670, 100, 300, 200) << false << QRect(1620, 100, 300, 200);
        QTest::newRow("below the work area")
            << QRect(100, 900, 300, 200) << false << QRect(100, 840, 300, 200);
        QTest::newRow("larger than the work area ends at its top left")
            << QRect(-50, -50, 2500, 1500) << false << QRect(0, 0, 2500, 1500);
        QTest::newRow("on a monitor that is gone")
            << QRect(5000, 300, 400, 300) << true << QRect(2800, 300, 400, 300);
        QTest::newRow("centre on the second monitor") << QRect(2000, 700, 300, 600) << true << QRect();
        QTest::newRow("centre just past the last column")
            << QRect(3200, 0, 160, 100) << true << QRect(3040, 0, 160, 100);
        QTest::newRow("inside already") << QRect(100, 100, 300, 200) << false << QRect(100, 100, 300, 200);
    }

    void visibleBounds()
    {
        QFETCH(QRect, bounds);
        QFETCH(bool, onlyIfOffScreen);
        QFETCH(QRect, expected);
        const QList<TMonitor> monitors { { QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040) },
            { QRect(1920, 0, 1280, 1024), QRect(1920, 0, 1280, 1000) } };
        const std::optional<QRect> result = VisibleBounds(bounds, monitors, onlyIfOffScreen);
        QCOMPARE(result.value_or(QRect()), expected);
    }

    void formOffTheScreenComesBack()
    {
        QWidget form;
        form.setGeometry(5000, 5000, 200, 100);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        EnsureFormVisible(&form, true);
        QVERIFY2(area.contains(form.frameGeometry()), qPrintable(u"%1,%2"_s.arg(form.x()).arg(form.y())));
        QCOMPARE(form.size(), QSize(200, 100));
    }
};

QTEST_MAIN(TestFontGuideline)

#include "tst_fontguideline.moc"

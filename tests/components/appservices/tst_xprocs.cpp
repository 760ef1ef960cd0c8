// Start-up facts: the language table, the Windows 11 thresholds fed version numbers, environment
// expansion in paths, and the file version of a module's version resource.

#include "components/appservices/xprocs.h"
#include "components/appservices/xprocs_params.h"
#include "platform/versionresource.h"
#include "tests/platform/elfwriter.h"

#include "../../support/testfiles.h"

#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

class TestXProcs : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString moduleWithResource(const QString &name, const QByteArray &resource)
    {
        const QString path = m_dir.filePath(name);
        if (!testsupport::writeAll(path, makeElf({ { VersionResourceSection, resource } })))
            return {};
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("PRAVIK_T_DIR", "/tmp/pravik t");
    }

    void languageTable_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("languageId");
        QTest::addColumn<int>("userLanguage");
        QTest::addColumn<int>("languageNumber");
        QTest::newRow("German in Germany") << u"de_DE"_s << 0x0407 << 7 << 70000;
        QTest::newRow("Swiss German keeps only the primary language") << u"de_CH"_s << 0x0807 << 7 << 70000;
        QTest::newRow("US English") << u"en_US"_s << 0x0409 << 9 << 71000;
        QTest::newRow("Spanish") << u"es_ES"_s << 0x040A << 10 << 72000;
        QTest::newRow("Russian") << u"ru_RU"_s << 0x0419 << 25 << 73000;
        QTest::newRow("Italian") << u"it_IT"_s << 0x0410 << 16 << 74000;
        QTest::newRow("French") << u"fr_FR"_s << 0x040C << 12 << 75000;
        QTest::newRow("Brazilian Portuguese") << u"pt_BR"_s << 0x0416 << 22 << 76000;
        QTest::newRow("Portuguese in Portugal") << u"pt_PT"_s << 0x0816 << 22 << 76000;
        QTest::newRow("Dutch falls back to English") << u"nl_NL"_s << 0x0413 << 19 << 71000;
        QTest::newRow("language without an id") << u"sw_KE"_s << 0 << 0 << 71000;
    }

    void languageTable()
    {
        QFETCH(QString, locale);
        QFETCH(int, languageId);
        QFETCH(int, userLanguage);
        QFETCH(int, languageNumber);
        QCOMPARE(LanguageIdOf(QLocale(locale)), languageId);
        QCOMPARE(PrimaryLanguageOf(languageId), userLanguage);
        QCOMPARE(LanguageNumberOf(userLanguage), languageNumber);
    }

    void windows11Thresholds_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("build");
        QTest::addColumn<bool>("windows11");
        QTest::addColumn<bool>("windows11OrLater");
        QTest::newRow("Windows 11 22H2") << 10 << 0 << 22621 << true << true;
        QTest::newRow("first Windows 11 build") << 10 << 0 << 22000 << true << true;
        QTest::newRow("build just below the threshold") << 10 << 0 << 21999 << false << false;
        QTest::newRow("Windows 10 22H2") << 10 << 0 << 19045 << false << false;
        QTest::newRow("a later minor version of 10") << 10 << 1 << 100 << false << true;
        QTest::newRow("major 12 with minor 0") << 12 << 0 << 30000 << false << false;
        QTest::newRow("major 12 with minor 1") << 12 << 1 << 0 << false << true;
        QTest::newRow("major 11 with minor 1 needs major above 11") << 11 << 1 << 0 << false << false;
        QTest::newRow("no version resource") << 0 << 0 << 0 << false << false;
    }

    void windows11Thresholds()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, build);
        QFETCH(bool, windows11);
        QFETCH(bool, windows11OrLater);
        const TWindows11Flags flags = Windows11FlagsOf({ major, minor, build, 0 });
        QCOMPARE(flags.IsWindows11, windows11);
        QCOMPARE(flags.IsWindows11OrLater, windows11OrLater);
    }

    void versionPredicates_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<bool>("vista");
        QTest::addColumn<bool>("windows10");
        // Every Linux system has what the first flag stands for, whatever its release number.
        QTest::newRow("distribution numbered 3.19") << 3 << 19 << true << false;
        QTest::newRow("kernel release 5.1") << 5 << 1 << true << false;
        QTest::newRow("no number known") << 0 << 0 << true << false;
        QTest::newRow("10.0") << 10 << 0 << true << true;
        QTest::newRow("Debian 12") << 12 << 0 << true << true;
    }

    void versionPredicates()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(bool, vista);
        QFETCH(bool, windows10);
        QCOMPARE(IsVistaOrLater(TOSVersion { major, minor }), vista);
        QCOMPARE(IsWindows10OrLater(TOSVersion { major, minor }), windows10);
    }

    void expandEnvironmentPath_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("variable in double quotes") << u"\"%PRAVIK_T_DIR%\""_s << u"/tmp/pravik t"_s;
        QTest::newRow("blanks and control characters around")
            << u" \t%PRAVIK_T_DIR%/x\r\n"_s << u"/tmp/pravik t/x"_s;
        QTest::newRow("a single double quote") << u"\""_s << u"\""_s;
        QTest::newRow("undefined variable") << u"%NO_SUCH_VARIABLE%"_s << u"%NO_SUCH_VARIABLE%"_s;
        QTest::newRow("undefined variable before a defined one")
            << u"a%NO_SUCH%PRAVIK_T_DIR%b"_s << u"a%NO_SUCH/tmp/pravik tb"_s;
        QTest::newRow("name in another case") << u"%pravik_t_dir%"_s << u"/tmp/pravik t"_s;
        QTest::newRow("a lone percent sign") << u"50% off"_s << u"50% off"_s;
        QTest::newRow("two percent signs") << u"%%"_s << u"%%"_s;
        QTest::newRow("no variable at all") << u"/usr/share"_s << u"/usr/share"_s;
    }

    void expandEnvironmentPath()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(ExpandEnvironmentPath(text), expected);
    }

    void fileVersionNumbers()
    {
        TVersionResourceBuilder builder;
        builder.SetFileVersion(*TModuleVersion::Parse(u"10.0.22621.2506"_s));
        const QString module = moduleWithResource(u"explorer"_s, builder.Build());
        QVERIFY(!module.isEmpty());
        qputenv("PRAVIK_T_MODULES", QFile::encodeName(m_dir.path()));
        const TFileVersionNumbers v = GetFileVersionNumbers(u"%PRAVIK_T_MODULES%/explorer"_s);
        QCOMPARE(v.Major, 10);
        QCOMPARE(v.Minor, 0);
        QCOMPARE(v.Build, 22621);
        QCOMPARE(v.Revision, 2506);
        QVERIFY(Windows11FlagsOf(v).IsWindows11);
    }

    void fileWithoutVersionGivesZeros_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("missing file") << u"/no/such/module"_s;
        QTest::newRow("text file") << QStringLiteral(PRAVIK_SOURCE_DIR "/README.md");
        QTest::newRow("Windows path with an undefined variable") << u"%windir%\\explorer.exe"_s;
    }

    void fileWithoutVersionGivesZeros()
    {
        QFETCH(QString, fileName);
        const TFileVersionNumbers v = GetFileVersionNumbers(fileName);
        QCOMPARE(v.Major + v.Minor + v.Build + v.Revision, 0);
    }

    void resourceWithoutFixedInformationRaises()
    {
        QByteArray resource = TVersionResourceBuilder().Build();
        resource[40] = 0; // the signature of the fixed file information
        const QString module = moduleWithResource(u"broken"_s, resource);
        QVERIFY_THROWS_EXCEPTION(EConvertError, GetFileVersionNumbers(module));
    }

    void unitCapturesFactsAndReleasesThem()
    {
        {
            const TUnitRun run { &xProcsUnit };
            QVERIFY(IsNTPlatform());
            QCOMPARE(UserLanguage(), PrimaryLanguageOf(LanguageIdOf(QLocale::system())));
            QCOMPARE(LanguageNumber(), LanguageNumberOf(UserLanguage()));
            QCOMPARE(StartupFormatSettings().DecimalSeparator,
                FormatSettingsOf(QLocale::system()).DecimalSeparator);
            // No explorer.exe on this system.
            QVERIFY(!IsWindows11());
            QVERIFY(!IsWindows11OrLater());
            QVERIFY(!TApplicationParamList::RunGUID().isNull());
            QVERIFY(qEnvironmentVariableIsSet("ORIGIN_TEMP"));
        }
        QVERIFY(!IsNTPlatform());
        QVERIFY(TApplicationParamList::RunGUID().isNull());
    }
};

QTEST_GUILESS_MAIN(TestXProcs)

#include "tst_xprocs.moc"

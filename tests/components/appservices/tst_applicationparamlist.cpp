// Start parameters: the look-up rules row by row, the INI section, the report of requested names,
// and the temporary folder with its probe and the private "DS_" folder per run.

#include "components/appservices/xprocs_params.h"

#include "../../support/testfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <memory>

using namespace Qt::StringLiterals;

class TestApplicationParamList : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_tmp; // the user's temporary folder in these tests
    QHash<QByteArray, QByteArray> m_saved;

    QString program(const QString &name = u"tool"_s) const { return m_dir->filePath(u"bin/"_s + name); }

    std::unique_ptr<TApplicationParamList> make(const QStringList &arguments, const QString &name = u"tool"_s)
    {
        return std::make_unique<TApplicationParamList>(arguments, program(name));
    }

private Q_SLOTS:
    void init()
    {
        for (const char *name : { "TEMP", "TMP", "TMPDIR", "ORIGIN_TEMP" })
            m_saved.insert(name, qgetenv(name));
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir().mkpath(m_dir->filePath(u"bin"_s)));
        m_tmp = m_dir->filePath(u"usertmp"_s);
        QVERIFY(QDir().mkpath(m_tmp));
        qputenv("TMP", QFile::encodeName(m_tmp));
        qunsetenv("ORIGIN_TEMP");
        TApplicationParamList::InitializeClass();
    }

    void cleanup()
    {
        TApplicationParamList::FinalizeClass();
        for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it) {
            if (it.value().isNull())
                qunsetenv(it.key().constData());
            else
                qputenv(it.key().constData(), it.value());
        }
        m_dir.reset();
    }

    void checkParam_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("expected");
        QTest::newRow("dash switch") << QStringList { u"-debug"_s } << u"debug"_s << true;
        QTest::newRow("slash and a value after an equals sign")
            << QStringList { u"/Debug=1"_s } << u"debug"_s << true;
        QTest::newRow("backslash and a value after a colon")
            << QStringList { u"\\DEBUG:x"_s } << u"debug"_s << true;
        QTest::newRow("bare name") << QStringList { u"Debug"_s } << u"DEBUG"_s << true;
        QTest::newRow("longer name is another switch")
            << QStringList { u"/debugger"_s } << u"debug"_s << false;
        QTest::newRow("empty argument before the match")
            << QStringList { QString(), u"-debug"_s } << u"debug"_s << true;
        QTest::newRow("value form is also a switch") << QStringList { u"-FONT:Arial"_s } << u"font"_s << true;
        QTest::newRow("only one leading dash is removed")
            << QStringList { u"--debug"_s } << u"debug"_s << false;
        QTest::newRow("no arguments") << QStringList {} << u"debug"_s << false;
        QTest::newRow("absolute path of an existing folder is no switch")
            << QStringList { u"/tmp"_s } << u"tmp"_s << false;
        QTest::newRow("switch among absolute paths") << QStringList { u"/tmp"_s, u"/home/anna/report.xml"_s,
            u"-debug"_s, u"/usr"_s } << u"debug"_s << true;
        QTest::newRow("path below the root is no switch")
            << QStringList { u"/tmp/debug"_s } << u"tmp/debug"_s << false;
        QTest::newRow("slash name that names nothing on disk is a switch")
            << QStringList { u"/no-such-folder-here"_s } << u"no-such-folder-here"_s << true;
        QTest::newRow("slash name with a value is a switch though it exists")
            << QStringList { u"/tmp:1"_s } << u"tmp"_s << true;
    }

    void checkParam()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, name);
        QFETCH(bool, expected);
        QCOMPARE(make(arguments)->GetCheckParam(name), expected);
    }

    void paramValue_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("index");
        QTest::newRow("value with a blank")
            << QStringList { u"/FONT:Segoe UI"_s } << u"font"_s << u"Segoe UI"_s << 1;
        QTest::newRow("empty value") << QStringList { u"/font:"_s } << u"FONT"_s << QString() << 1;
        QTest::newRow("dash form carries no value")
            << QStringList { u"-FONT:Arial"_s } << u"font"_s << QString() << -1;
        QTest::newRow("value keeps its case")
            << QStringList { u"/name:MiXed Case"_s } << u"NAME"_s << u"MiXed Case"_s << 1;
        QTest::newRow("first of two entries")
            << QStringList { u"/A:1"_s, u"/A:2"_s } << u"a"_s << u"1"_s << 1;
        QTest::newRow("longer value cut to 255 characters")
            << QStringList { u"/LONG:"_s + QString(300, u'x') } << u"long"_s << QString(255, u'x') << 1;
        QTest::newRow("key further inside an entry is no value")
            << QStringList { u"x/FONT:Arial"_s } << u"font"_s << QString() << -1;
        QTest::newRow("no such parameter") << QStringList { u"/B:1"_s } << u"A"_s << QString() << -1;
    }

    void paramValue()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QFETCH(int, index);
        const auto list = make(arguments);
        QCOMPARE(list->GetParamValue(name), expected);
        QCOMPARE(list->GetParamIndex(name), index);
    }

    void paramValueInt_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("valueInt"); // INT_MIN: raises
        QTest::addColumn<int>("integer");
        QTest::newRow("number with blanks") << u"/N: 42 "_s << 42 << 42;
        QTest::newRow("empty value") << u"/N:"_s << -1 << -1;
        QTest::newRow("missing") << u"/M:3"_s << -1 << -1;
        QTest::newRow("not a number") << u"/N:4x"_s << INT_MIN << -1;
    }

    void paramValueInt()
    {
        QFETCH(QString, argument);
        QFETCH(int, valueInt);
        QFETCH(int, integer);
        const auto list = make({ argument });
        if (valueInt == INT_MIN)
            QVERIFY_THROWS_EXCEPTION(EConvertError, list->GetParamValueInt(u"N"_s));
        else
            QCOMPARE(list->GetParamValueInt(u"N"_s), valueInt);
        // Through the accessor, which finds this list as the instance.
        QCOMPARE(&ApplicationParamList(), list.get());
        QCOMPARE(GetParamInteger(u"N"_s), integer);
    }

    void setAndDeleteParam()
    {
        const auto list = make({ u"-v"_s });
        list->SetParamValue(u" x "_s, u" 5 "_s);
        QCOMPARE(list->Strings().last(), u"/X:5"_s);
        const int count = list->Count();
        list->SetParamValue(u"x"_s, u"6"_s);
        QCOMPARE(list->Count(), count);
        QCOMPARE(list->GetParamValue(u"x"_s), u"6"_s);
        list->DeleteParam(u"X"_s);
        QCOMPARE(list->GetParamIndex(u"X"_s), -1);
    }

    void deleteNeverRemovesTheFirstEntry()
    {
        // Without command-line arguments the first entry is the first INI parameter.
        QVERIFY(testsupport::writeAll(program() + u".ini"_s, "[STARTPARAMS]\n/A:1\n/B:2\n"));
        const auto list = make({});
        QCOMPARE(list->Strings(), (QStringList { u"/A:1"_s, u"/B:2"_s }));
        list->DeleteParam(u"A"_s);
        list->DeleteParam(u"B"_s);
        QCOMPARE(list->Strings(), (QStringList { u"/A:1"_s }));
    }

    void iniSection()
    {
        QVERIFY(testsupport::writeAll(program() + u".INI"_s,
            "/BEFORE:1\n"
            "[Other]\n"
            "/OTHER:1\n"
            "[startparams]\n"
            "  /FONT:Consolas  \n"
            "\n"
            "; a comment\n"
            "[More]\n"
            "/MORE:1\n"));
        const auto list = make({ u"-x"_s });
        QCOMPARE(
            list->Strings(), (QStringList { program(), u"-x"_s, u"/FONT:Consolas"_s, u"; a comment"_s }));
    }

    void iniFileNamedByParameter()
    {
        const QString other = m_dir->filePath(u"other.ini"_s);
        QVERIFY(testsupport::writeAll(other, "[STARTPARAMS]\r\n/FROM:other\r\n"));
        QVERIFY(testsupport::writeAll(program() + u".ini"_s, "[STARTPARAMS]\n/FROM:beside\n"));
        QCOMPARE(make({ u"/INIFILE:"_s + other })->GetParamValue(u"FROM"_s), u"other"_s);
        QCOMPARE(make({ u"/INIFILE:/no/such.ini"_s })->GetParamValue(u"FROM"_s), u"beside"_s);
    }

    void requestedNames()
    {
        const auto list = make({ u"/$FONT:Arial"_s });
        // Creation itself asks for these.
        QCOMPARE(list->RequestedNames(), (QStringList { u"INIFILE"_s, u"TEMP"_s, u"PROCESSAFFINITYMASK"_s }));
        QVERIFY(list->GetParamValue(u"$FONT"_s) == u"Arial"_s);
        list->GetCheckParam(u"--Verbose="_s);
        const QStringList report = list->RequestedParams(true);
        QCOMPARE(report,
            (QStringList { u"Gesetzte abgefragte Parameter:"_s, QString(),
                u"Nicht angegebene abgefragte Parameter:"_s, u"   INIFILE"_s, u"   PROCESSAFFINITYMASK"_s,
                u"   TEMP"_s, u"   VERBOSE"_s }));
    }

    void creationOrderOfRequests()
    {
        make({ u"/Z:1"_s })->GetCheckParam(u"Z"_s);
        // A second list in the same process does not set the folder up again, so it never asks for TEMP.
        const auto again = make({ u"/TEMP:x"_s, u"/INIFILE:x"_s, u"/PROCESSAFFINITYMASK:0"_s });
        QCOMPARE(again->RequestedNames(), (QStringList { u"INIFILE"_s, u"PROCESSAFFINITYMASK"_s }));
        QCOMPARE(again->RequestedParams(false),
            (QStringList { u"Gesetzte abgefragte Parameter:"_s, u"   INIFILE         x"_s,
                u"   PROCESSAFFINITYMASK         0"_s, QString(),
                u"Nicht angegebene abgefragte Parameter:"_s }));
    }

    void requestedParamsReport()
    {
        const auto list = make({ u"/USER:Anna "_s, u"-VERBOSE"_s, u"/PASSWORD:geheim"_s, u"/$SECRET:x"_s });
        for (const QString &name : { u"user"_s, u"verbose"_s, u"password"_s, u"missing"_s })
            list->GetCheckParam(name);
        list->GetParamValue(u"$SECRET"_s);
        const QStringList expected { u"Gesetzte abgefragte Parameter:"_s, u"   PASSWORD         *********"_s,
            u"   USER         Anna "_s, u"   VERBOSE         Flag ist gesetzt"_s, QString(),
            u"Nicht angegebene abgefragte Parameter:"_s, u"   INIFILE"_s, u"   MISSING"_s,
            u"   PROCESSAFFINITYMASK"_s, u"   TEMP"_s };
        QCOMPARE(list->RequestedParams(false), expected);
    }

    void temporaryFolder_data()
    {
        QTest::addColumn<QString>("programName");
        QTest::addColumn<bool>("privateFolder");
        QTest::newRow("ordinary program uses the folder itself") << u"tool"_s << false;
        QTest::newRow("DS_ program gets a folder per run") << u"DS_Tool"_s << true;
        QTest::newRow("ds_ in lower case too") << u"ds_tool"_s << true;
    }

    void temporaryFolder()
    {
        QFETCH(QString, programName);
        QFETCH(bool, privateFolder);
        const QString guid = TApplicationParamList::RunGUID().toString(QUuid::WithBraces).toUpper();
        const QString base = m_tmp + u'/';
        QString folder;
        {
            const auto list = make({}, programName);
            folder = list->TempFolderSetUp();
            QCOMPARE(folder, privateFolder ? base + guid + u'/' : base);
            QVERIFY(QFileInfo(folder).isDir());
            QCOMPARE(qEnvironmentVariable("TEMP"), folder);
            QCOMPARE(qEnvironmentVariable("TMP"), folder);
            QCOMPARE(qEnvironmentVariable("TMPDIR"), folder);
            if (privateFolder)
                QCOMPARE(QFileInfo(folder).permissions() & 0x0077, QFileDevice::Permissions());
            // The probe is gone.
            QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList());
            QVERIFY(testsupport::writeAll(folder + u"work.tmp"_s, "x"));
        }
        QCOMPARE(QFileInfo::exists(folder), !privateFolder);
        QVERIFY(QFileInfo(base).isDir());
    }

    void unusableTempParameterFallsBack()
    {
        QVERIFY(testsupport::writeAll(m_dir->filePath(u"afile"_s), "x"));
        const auto list = make({ u"/TEMP:"_s + m_dir->filePath(u"afile/sub"_s) });
        QCOMPARE(list->TempFolderSetUp(), m_tmp + u'/');
    }

    void usableTempParameter()
    {
        const QString chosen = m_dir->filePath(u"chosen \"quoted\""_s);
        const auto list = make({ u"/TEMP:"_s + chosen });
        QCOMPARE(list->TempFolderSetUp(), m_dir->filePath(u"chosen quoted/"_s));
    }

    void writingTempFolder()
    {
        const auto list = make({});
        const QString before = list->TempFolder();
        try {
            list->SetTempFolder(m_dir->filePath(u"missing"_s));
            QFAIL("a missing folder was accepted");
        } catch (const Exception &e) {
            QCOMPARE(
                e.message(), u"Verzeichnis "_s + m_dir->filePath(u"missing/"_s) + u" ist nicht vorhanden"_s);
        }
        QCOMPARE(list->TempFolder(), before);
        list->SetTempFolder(m_dir->filePath(u"bin"_s));
        QCOMPARE(list->TempFolder(), m_dir->filePath(u"bin/"_s));
        QCOMPARE(qEnvironmentVariable("TMP"), m_dir->filePath(u"bin/"_s));
        QCOMPARE(list->TempFolderOrigin(), m_tmp);
    }

    void originTempComesFromTheParent()
    {
        TApplicationParamList::FinalizeClass();
        qputenv("ORIGIN_TEMP", QFile::encodeName(m_dir->filePath(u"bin"_s)));
        TApplicationParamList::InitializeClass();
        QCOMPARE(TApplicationParamList::OriginTempFolder(), m_dir->filePath(u"bin"_s));
        QCOMPARE(qEnvironmentVariable("TMP"), m_dir->filePath(u"bin"_s));
    }

    // The mask reaches a thread that already runs when the list is made, and a thread that one
    // starts afterwards; the process is given back all its processors at the end.
    void affinityMaskBindsEveryThread()
    {
        cpu_set_t before;
        QCOMPARE(::sched_getaffinity(0, sizeof before, &before), 0);
        int first = -1;
        quint32 all = 0;
        for (int cpu = 0; cpu < 32; ++cpu) {
            if (CPU_ISSET(cpu, &before)) {
                all |= quint32(1) << cpu;
                if (first < 0)
                    first = cpu;
            }
        }
        if (CPU_COUNT(&before) < 2 || first < 0)
            QSKIP("one processor: no mask narrows the process");
        const auto restore = qScopeGuard([all] { SetProcessAffinityMask(all); });

        std::mutex lock;
        std::condition_variable changed;
        pid_t runningTid = 0;
        bool startLater = false;
        cpu_set_t later;
        CPU_ZERO(&later);
        std::thread running([&] {
            std::unique_lock guard(lock);
            runningTid = ::gettid();
            changed.notify_all();
            changed.wait(guard, [&] { return startLater; });
            std::thread([&] { ::sched_getaffinity(0, sizeof later, &later); }).join();
        });
        {
            std::unique_lock guard(lock);
            changed.wait(guard, [&] { return runningTid != 0; });
        }

        const auto list = make({ u"/PROCESSAFFINITYMASK:"_s + QString::number(1u << first) });
        cpu_set_t only;
        CPU_ZERO(&only);
        CPU_SET(first, &only);
        cpu_set_t ofRunning;
        QCOMPARE(::sched_getaffinity(runningTid, sizeof ofRunning, &ofRunning), 0);
        cpu_set_t ofThis;
        QCOMPARE(::sched_getaffinity(0, sizeof ofThis, &ofThis), 0);
        {
            const std::lock_guard guard(lock);
            startLater = true;
        }
        changed.notify_all();
        running.join();
        QVERIFY(CPU_EQUAL(&ofThis, &only));
        QVERIFY2(CPU_EQUAL(&ofRunning, &only), "a thread that already ran kept its processors");
        QVERIFY2(CPU_EQUAL(&later, &only), "a thread started later by it kept all processors");
    }

    void systemTempFolderWithoutTmpOrTemp()
    {
        qunsetenv("TMP");
        qunsetenv("TEMP");
        qputenv("TMPDIR", QFile::encodeName(m_tmp));
        QCOMPARE(SystemTempFolder(), m_tmp);
        qunsetenv("TMPDIR");
        QCOMPARE(SystemTempFolder(), u"/tmp"_s);
        TApplicationParamList::FinalizeClass();
        qunsetenv("ORIGIN_TEMP");
        TApplicationParamList::InitializeClass();
        QCOMPARE(TApplicationParamList::OriginTempFolder(), u"/tmp"_s);
        QCOMPARE(qEnvironmentVariable("ORIGIN_TEMP"), u"/tmp"_s);
    }
};

QTEST_GUILESS_MAIN(TestApplicationParamList)

#include "tst_applicationparamlist.moc"

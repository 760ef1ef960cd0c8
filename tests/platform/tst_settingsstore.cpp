// The per-user settings store: values round-trip by key and name without regard to case, integers as
// decimal text; a damaged file is set aside with a warning, never emptied in place; processes
// writing at once lose none of each other's values.

#include "platform/settingsstore.h"

#include "../support/testfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString WriterSwitch = u"--settings-writer"_s;

// The child's part of the stress test: Count values named "<Id>-<n>" into one shared key, and one
// shared counter value that everybody overwrites.
int runWriter(const QString &folder, const QString &id, int count)
{
    SetSettingsFolder(folder);
    try {
        TRegistry reg;
        reg.OpenKey(u"Software\\Zelk Software\\Stress"_s, true);
        for (int n = 0; n < count; ++n) {
            reg.WriteInteger(id + u'-' + QString::number(n), n);
            reg.WriteString(u"last"_s, id);
        }
    } catch (const Exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

// The unprivileged user and group of the system.
constexpr uid_t NobodyId = 65534;
constexpr int DropFailed = 99;

int modeOf(const QString &path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QStringList damagedFiles(const QString &folder)
{
    return QDir(folder).entryList({ u"settings.json.damaged-*"_s }, QDir::Files);
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        SetSettingsFolder(m_dir.path() + u"/store"_s);
        QDir(SettingsFolder()).removeRecursively();
    }

    void cleanupTestCase() { SetSettingsFolder({}); }

    void folderFollowsOverrideAndEnvironment()
    {
        QCOMPARE(SettingsFileName(), m_dir.path() + u"/store/settings.json"_s);
        SetSettingsFolder({});
        const QByteArray before = qgetenv("PRAVIK_SETTINGS_DIR");
        qputenv("PRAVIK_SETTINGS_DIR", QFile::encodeName(m_dir.path() + u"/env/"_s));
        QCOMPARE(SettingsFolder(), m_dir.path() + u"/env"_s);
        qputenv("PRAVIK_SETTINGS_DIR", before);
        SetSettingsFolder(m_dir.path() + u"/store"_s);
    }

    void roundTrip()
    {
        {
            TRegistry reg;
            QVERIFY(!reg.OpenKey(u"Software\\Zelk Software\\Scaling"_s, false));
            QVERIFY(reg.OpenKey(u"Software\\Zelk Software\\Scaling\\"_s, true));
            QCOMPARE(reg.CurrentPath(), u"Software\\Zelk Software\\Scaling"_s);
            reg.WriteInteger(u"{5DBF3177-2536-4093-BDDF-CAB96415D72E}"_s, 100);
            reg.WriteString(QString(), u"default value"_s);
            reg.WriteString(u"Text"_s, u"Grüße, \"quoted\"\\"_s);
        }
        // A second cursor, as another program would open it: case does not matter for keys or names.
        TRegistry reg;
        QVERIFY(reg.KeyExists(u"\\SOFTWARE\\zelk software"_s));
        QVERIFY(reg.OpenKey(u"software\\ZELK SOFTWARE\\scaling"_s, false));
        QCOMPARE(reg.ReadString(u"{5dbf3177-2536-4093-bddf-cab96415d72e}"_s), u"100"_s);
        QCOMPARE(reg.ReadInteger(u"{5DBF3177-2536-4093-BDDF-CAB96415D72E}"_s, -1), 100);
        QCOMPARE(reg.ReadString(QString()), u"default value"_s);
        QCOMPARE(reg.ReadString(u"text"_s), u"Grüße, \"quoted\"\\"_s);
        QCOMPARE(reg.GetValueNames(),
            (QStringList { u"{5DBF3177-2536-4093-BDDF-CAB96415D72E}"_s, QString(), u"Text"_s }));
        QCOMPARE(reg.GetKeyInfo().NumValues, 3);
        QCOMPARE(reg.GetKeyInfo().NumSubKeys, 0);
        QVERIFY(reg.DeleteValue(u"TEXT"_s));
        QVERIFY(!reg.DeleteValue(u"Text"_s));
        QVERIFY(!reg.ValueExists(u"Text"_s));
        QCOMPARE(reg.GetKeyInfo().NumValues, 2);

        // Relative paths go below the key now open.
        QVERIFY(reg.OpenKey(u"Sub"_s, true));
        // The path keeps the spelling it was opened with.
        QCOMPARE(reg.CurrentPath(), u"software\\ZELK SOFTWARE\\scaling\\Sub"_s);
        QVERIFY(reg.OpenKey(u"\\Software\\Zelk Software"_s, false));
        QCOMPARE(reg.GetKeyInfo().NumSubKeys, 1);
        QVERIFY(reg.DeleteKey(u"\\Software\\Zelk Software\\Scaling"_s));
        QVERIFY(!reg.KeyExists(u"\\Software\\Zelk Software\\Scaling\\Sub"_s));
        QVERIFY(reg.KeyExists(u"\\Software\\Zelk Software"_s));
    }

    void readInteger_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal number") << u"130"_s << 130;
        QTest::newRow("negative number") << u"-4"_s << -4;
        QTest::newRow("blanks around the number") << u" 42 "_s << 42;
        QTest::newRow("not a number") << u"12a"_s << -1;
        QTest::newRow("empty text") << QString() << -1;
        QTest::newRow("beyond 32 bits") << u"4294967296"_s << -1;
    }

    void readInteger()
    {
        QFETCH(QString, stored);
        QFETCH(int, expected);
        TRegistry reg;
        QVERIFY(reg.OpenKey(u"Software\\Test"_s, true));
        reg.WriteString(u"v"_s, stored);
        QCOMPARE(reg.ReadInteger(u"v"_s, -1), expected);
        QCOMPARE(reg.ReadInteger(u"missing"_s, 7), 7);
    }

    void valuesNeedAnOpenKey()
    {
        TRegistry reg;
        QVERIFY_THROWS_EXCEPTION(ERegistryException, reg.WriteString(u"v"_s, u"x"_s));
        QVERIFY_THROWS_EXCEPTION(ERegistryException, reg.ReadString(u"v"_s));
    }

    void damagedFileIsSetAside_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("cut in the middle")
            << QByteArray("{\"format\": \"pravik-settings\", \"keys\": [{\"pa");
        QTest::newRow("other JSON") << QByteArray("{\"colour\": \"blue\"}");
        QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe garbage", 12);
        QTest::newRow("value that is no text") << QByteArray(
            "{\"format\":\"pravik-settings\",\"keys\":[{\"path\":\"A\",\"values\":[[\"v\",5]]}]}");
        QTest::newRow("empty file") << QByteArray();
    }

    void damagedFileIsSetAside()
    {
        QFETCH(QByteArray, content);
        QVERIFY(QDir().mkpath(SettingsFolder()));
        QVERIFY(testsupport::writeAll(SettingsFileName(), content));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Settings file .* is damaged"_s));
        TRegistry reg;
        QVERIFY(!reg.KeyExists(u"A"_s));
        const QStringList aside = damagedFiles(SettingsFolder());
        QCOMPARE(aside.size(), 1);
        QCOMPARE(testsupport::readAll(SettingsFolder() + u'/' + aside.first()), content);

        // The store goes on, empty, and writing makes a sound file again.
        QVERIFY(reg.OpenKey(u"A"_s, true));
        reg.WriteInteger(u"v"_s, 1);
        QCOMPARE(reg.ReadInteger(u"v"_s, -1), 1);
        QCOMPARE(damagedFiles(SettingsFolder()).size(), 1);
    }

    void damagedFileFoundWhileWriting()
    {
        QVERIFY(QDir().mkpath(SettingsFolder()));
        QVERIFY(testsupport::writeAll(SettingsFileName(), "not settings"));
        TRegistry reg;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^Settings file .* is damaged"_s));
        QVERIFY(reg.OpenKey(u"B"_s, true));
        QCOMPARE(damagedFiles(SettingsFolder()).size(), 1);
        QVERIFY(reg.KeyExists(u"\\B"_s));
    }

    // The folder's mode is the user's choice; writing must not change it.
    void existingFolderKeepsItsMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("shared folder with the sticky bit") << 01777;
        QTest::newRow("own folder readable by all") << 0755;
        QTest::newRow("own read-only folder") << 0500;
    }

    void existingFolderKeepsItsMode()
    {
        QFETCH(int, mode);
        const QByteArray folder = QFile::encodeName(SettingsFolder());
        QCOMPARE(::mkdir(folder.constData(), 0700), 0);
        QCOMPARE(::chmod(folder.constData(), mode_t(mode)), 0);
        try {
            TRegistry reg;
            reg.OpenKey(u"Software\\Mode"_s, true);
            reg.WriteInteger(u"v"_s, 1);
        } catch (const ERegistryException &) {
            // Without root a read-only folder cannot be written: the mode is what counts here.
        }
        const int after = modeOf(SettingsFolder());
        ::chmod(folder.constData(), 0700);
        QCOMPARE(after, mode);
    }

    void madeFolderIsOwnerOnly_data()
    {
        QTest::addColumn<QString>("below");
        QTest::newRow("only the folder missing") << QString();
        QTest::newRow("the folder and one above it missing") << u"/config"_s;
    }

    void madeFolderIsOwnerOnly()
    {
        QFETCH(QString, below);
        const QString top = m_dir.path() + u"/made"_s;
        QDir(top).removeRecursively();
        const QString folder = below.isEmpty() ? top : top + below + u"/store"_s;
        SetSettingsFolder(folder);
        TRegistry reg;
        QVERIFY(reg.OpenKey(u"Software\\Made"_s, true));
        QCOMPARE(modeOf(top), 0700);
        QCOMPARE(modeOf(folder), 0700);
    }

    // Root writes into any folder, so then a child process tries it as the unprivileged user.
    void unwritableFolderSaysSo()
    {
        QVERIFY(QDir().mkpath(SettingsFolder()));
        QCOMPARE(::chmod(QFile::encodeName(m_dir.path()).constData(), 0711), 0);
        QCOMPARE(::chmod(QFile::encodeName(SettingsFolder()).constData(), 0555), 0);
        QProcess child;
        child.setChildProcessModifier([] {
            if (::geteuid() == 0 && (::setgid(NobodyId) != 0 || ::setuid(NobodyId) != 0))
                ::_exit(DropFailed);
        });
        child.start(
            QCoreApplication::applicationFilePath(), { WriterSwitch, SettingsFolder(), u"w"_s, u"1"_s });
        QVERIFY(child.waitForFinished(60000));
        ::chmod(QFile::encodeName(SettingsFolder()).constData(), 0700);
        const QString message = QString::fromLocal8Bit(child.readAllStandardError());
        QCOMPARE(child.exitCode(), 1);
        QVERIFY2(message.contains(
                     u"Der Ordner %1 der Einstellungen ist nicht beschreibbar"_s.arg(SettingsFolder())),
            qPrintable(message));
        QVERIFY2(!message.contains(u"gesperrt"_s), qPrintable(message));
        QVERIFY(!QFileInfo::exists(SettingsFileName()));
    }

    void folderThatCannotBeMadeRaises()
    {
        // A file where the folder should be: also root cannot make it.
        QVERIFY(testsupport::writeAll(m_dir.filePath(u"file"_s), "x"));
        SetSettingsFolder(m_dir.filePath(u"file/store"_s));
        TRegistry reg;
        QVERIFY(!reg.OpenKey(u"C"_s, false));
        bool raised = false;
        try {
            reg.OpenKey(u"C"_s, true);
        } catch (const ERegistryException &e) {
            raised = e.message().contains(m_dir.filePath(u"file/store"_s));
        }
        QVERIFY(raised);
        QCOMPARE(reg.CurrentPath(), QString());
    }

    // Three processes (this one and two children) write into one key at once; every value of each
    // must be there afterwards.
    void processesWritingAtOnceLoseNothing()
    {
        const int count = 100;
        const QStringList ids { u"first"_s, u"second"_s };
        QList<QProcess *> children;
        QElapsedTimer timer;
        timer.start();
        for (const QString &id : ids) {
            auto *child = new QProcess(this);
            child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child->start(QCoreApplication::applicationFilePath(),
                { WriterSwitch, SettingsFolder(), id, QString::number(count) });
            children.append(child);
        }
        for (QProcess *child : children)
            QVERIFY(child->waitForStarted());
        QCOMPARE(runWriter(SettingsFolder(), u"parent"_s, count), 0);
        for (QProcess *child : children) {
            QVERIFY(child->waitForFinished(120000));
            QCOMPARE(child->exitStatus(), QProcess::NormalExit);
            QCOMPARE(child->exitCode(), 0);
        }
        const qint64 elapsed = timer.elapsed();

        TRegistry reg;
        QVERIFY(reg.OpenKey(u"Software\\Zelk Software\\Stress"_s, false));
        const QStringList names = reg.GetValueNames();
        QCOMPARE(names.size(), 3 * count + 1);
        for (const QString &id : ids + QStringList { u"parent"_s }) {
            for (int n = 0; n < count; ++n)
                QCOMPARE(reg.ReadInteger(id + u'-' + QString::number(n), -1), n);
        }
        QVERIFY((ids + QStringList { u"parent"_s }).contains(reg.ReadString(u"last"_s)));
        QVERIFY(damagedFiles(SettingsFolder()).isEmpty());
        qInfo("3 processes wrote %d values each (%d writes in all) in %lld ms: %.1f writes/s", count,
            3 * count * 2, elapsed, 3 * count * 2 * 1000.0 / double(std::max<qint64>(elapsed, 1)));
    }
};

int main(int argc, char *argv[])
{
    if (argc == 5 && QString::fromLocal8Bit(argv[1]) == WriterSwitch)
        return runWriter(
            QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), std::atoi(argv[4]));
    QCoreApplication app(argc, argv);
    TestSettingsStore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settingsstore.moc"

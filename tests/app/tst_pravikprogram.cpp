// The pravik program itself where it needs no window: help, version, and a start without a display.

#include "tests/support/programrun.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

using testsupport::Run;

// Without any display the toolkit could reach, as on a server or in a plain ssh session.
Run runWithoutDisplay(const QStringList &arguments)
{
    testsupport::RunOptions options;
    options.unset
        = { QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("QT_QPA_PLATFORM") };
    options.timeoutMs = 60000;
    return testsupport::runProgram(QStringLiteral(PRAVIK_EXE), arguments, options);
}

} // namespace

class TestPravikProgram : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersWithoutADisplay_data();
    void answersWithoutADisplay();
    void startsWithHugePagesForLargeBlocks();
};

void TestPravikProgram::answersWithoutADisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out"); // how standard output begins
    QTest::addColumn<QByteArray>("err"); // what standard error holds

    QTest::newRow("--help") << QStringList { QStringLiteral("--help") } << 0 << QByteArray("Usage: pravik ")
                            << QByteArray();
    QTest::newRow("-h after a toolkit option")
        << QStringList { QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("-h") } << 0
        << QByteArray("Usage: pravik ") << QByteArray();
    QTest::newRow("--version") << QStringList { QStringLiteral("--version") } << 0
                               << QByteArray("pravik " PRAVIK_VERSION "\n") << QByteArray();
    QTest::newRow("--help as a file name after --")
        << QStringList { QStringLiteral("--"), QStringLiteral("--help") } << 1 << QByteArray()
        << QByteArray("pravik: the window cannot be started");
    QTest::newRow("no display to open the window on")
        << QStringList() << 1 << QByteArray() << QByteArray("pravik: the window cannot be started");
}

void TestPravikProgram::answersWithoutADisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    const Run run = runWithoutDisplay(arguments);
    QCOMPARE(run.status, status);
    QVERIFY2(run.out.startsWith(out), run.out.constData());
    if (err.isEmpty())
        QCOMPARE(run.err, QByteArray());
    else
        QVERIFY2(run.err.contains(err), run.err.constData());
    if (status == 0 && out.startsWith("Usage:")) {
        // The help names every option, "--" among them, and the page of the rules.
        for (const char *option : { "--help", "--version", "  --  ", "SEPA-Regeln" })
            QVERIFY2(run.out.contains(option), option);
    }
}

// The window starts once more with glibc told to back large blocks with huge pages; seen in the
// environment of the running window (glibc shows only the first of several settings there).
void TestPravikProgram::startsWithHugePagesForLargeBlocks()
{
#if !defined(__linux__) || !defined(__GLIBC__)
    QSKIP("glibc on Linux only");
#endif
    QTemporaryDir settings;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("PRAVIK_SETTINGS_DIR"), settings.path());
    env.insert(QStringLiteral("PRAVIK_NO_HISTORY"), QStringLiteral("1"));
    env.remove(QStringLiteral("GLIBC_TUNABLES"));
    QProcess window;
    window.setProcessEnvironment(env);
    window.start(QStringLiteral(PRAVIK_EXE), {});
    QVERIFY(window.waitForStarted());
    const auto tunables = [&] {
        QFile environ(QStringLiteral("/proc/%1/environ").arg(window.processId()));
        if (!environ.open(QIODevice::ReadOnly))
            return QByteArray();
        for (const QByteArray &entry : environ.readAll().split('\0')) {
            if (entry.startsWith("GLIBC_TUNABLES="))
                return entry.mid(15);
        }
        return QByteArray();
    };
    QTRY_COMPARE(tunables(), QByteArray("glibc.malloc.hugetlb=1"));
    window.kill();
    window.waitForFinished();
}

QTEST_GUILESS_MAIN(TestPravikProgram)
#include "tst_pravikprogram.moc"

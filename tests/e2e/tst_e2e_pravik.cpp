// The program itself on a real X server (a private Xvfb), driven from outside as a user would:
// `pravik` started with an invalid payment file shows its window and, over the report, the verdict
// window "Error"; Return answers it, the verdict goes and the program goes on with its report.
// The windows are found by their X titles with xdotool; screenshots go to the build folder.

#include "xvfbserver.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Runs xdotool and returns what it printed; an empty list when nothing matched.
QStringList xdotool(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), arguments);
    if (!p.waitForFinished(10000))
        return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

// The mapped top-level windows whose title matches a regular expression.
QStringList windowsNamed(const QString &pattern)
{
    return xdotool(
        { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), pattern });
}

QImage grab(const QString &window)
{
    return QGuiApplication::primaryScreen()->grabWindow(window.toULongLong()).toImage();
}

// A window that has painted shows more than its background.
int colours(const QImage &image)
{
    QSet<QRgb> seen;
    for (int y = 0; y < image.height() && seen.size() < 64; y += 2) {
        for (int x = 0; x < image.width() && seen.size() < 64; x += 2)
            seen.insert(image.pixel(x, y));
    }
    return int(seen.size());
}

void keep(const QImage &image, const QString &name)
{
    QDir().mkpath(QStringLiteral(PRAVIK_E2E_SCREENSHOTS));
    QVERIFY2(image.save(QStringLiteral(PRAVIK_E2E_SCREENSHOTS "/") + name), qPrintable(name));
}

} // namespace

class TestEndToEndProgram : public QObject
{
    Q_OBJECT

    QTemporaryDir home { QDir::tempPath() + QStringLiteral("/payments-XXXXXX") };
    QProcess pravik;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty(),
            "xdotool is missing; scripts/setup.sh installs it");
        QVERIFY(home.isValid());
    }

    void cleanupTestCase()
    {
        if (pravik.state() != QProcess::NotRunning) {
            pravik.terminate();
            if (!pravik.waitForFinished(5000)) {
                pravik.kill();
                pravik.waitForFinished(5000);
            }
        }
        const QByteArray errors = pravik.readAllStandardError();
        if (!errors.isEmpty())
            qInfo("pravik wrote:\n%s", errors.constData());
    }

    void startsWithTheVerdictOverTheReport()
    {
        const QString file = home.filePath(QStringLiteral("invalid-credit-transfer.xml"));
        QVERIFY(QFile::copy(QStringLiteral(PRAVIK_SOURCE_DIR "/examples/invalid-credit-transfer.xml"), file));

        // The program's settings and caches stay in the test's folder.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        const QString runtime = home.filePath(QStringLiteral("runtime"));
        QVERIFY(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        pravik.setProcessEnvironment(env);
        pravik.start(QStringLiteral(PRAVIK_EXE), { file });
        QVERIFY2(pravik.waitForStarted(10000), qPrintable(pravik.errorString()));

        QTRY_VERIFY_WITH_TIMEOUT(!windowsNamed(QStringLiteral("^Error$")).isEmpty(), 20000);
        const QStringList verdicts = windowsNamed(QStringLiteral("^Error$"));
        const QStringList mains = windowsNamed(QStringLiteral("^Pravik$"));
        QCOMPARE(verdicts.size(), 1);
        QCOMPARE(mains.size(), 1);
        QTRY_VERIFY(colours(grab(verdicts[0])) > 4);
        QTRY_VERIFY(colours(grab(mains[0])) > 8);
        keep(
            QGuiApplication::primaryScreen()->grabWindow(0).toImage(), QStringLiteral("program-verdict.png"));

        // Return presses the verdict's only button, OK.
        xdotool({ QStringLiteral("windowfocus"), QStringLiteral("--sync"), verdicts[0] });
        xdotool({ QStringLiteral("key"), QStringLiteral("Return") });
        QTRY_VERIFY_WITH_TIMEOUT(windowsNamed(QStringLiteral("^Error$")).isEmpty(), 10000);
        QCOMPARE(pravik.state(), QProcess::Running);
        QCOMPARE(windowsNamed(QStringLiteral("^Pravik$")), mains);
        QTRY_VERIFY(colours(grab(mains[0])) > 8);
        keep(grab(mains[0]), QStringLiteral("program-report.png"));
    }
};

int main(int argc, char *argv[])
{
    XvfbServer xvfb;
    if (!useOwnXServer(xvfb))
        return 1;
    QGuiApplication app(argc, argv);
    TestEndToEndProgram test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e_pravik.moc"

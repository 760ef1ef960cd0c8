// Every test runs with a home, XDG folders and a settings folder inside the build tree, and with a
// home of its own: nothing it or Qt writes for the user (Qt's test mode writes below HOME whatever
// the XDG variables say) reaches the real home.

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

bool isBelow(const QString &path, const QString &folder)
{
    const QString clean = QDir::cleanPath(path);
    return clean.startsWith(QDir::cleanPath(folder) + u'/');
}

} // namespace

class TestTestEnvironment : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void foldersInsideTheBuildTree_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("home") << qEnvironmentVariable("HOME");
        QTest::newRow("XDG config") << qEnvironmentVariable("XDG_CONFIG_HOME");
        QTest::newRow("XDG cache") << qEnvironmentVariable("XDG_CACHE_HOME");
        QTest::newRow("XDG data") << qEnvironmentVariable("XDG_DATA_HOME");
        QTest::newRow("XDG state") << qEnvironmentVariable("XDG_STATE_HOME");
        QTest::newRow("settings store") << qEnvironmentVariable("PRAVIK_SETTINGS_DIR");
        QTest::newRow("user's config folder")
            << QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QStandardPaths::setTestModeEnabled(true);
        QTest::newRow("config folder of Qt's test mode")
            << QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QTest::newRow("cache folder of Qt's test mode")
            << QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
        QStandardPaths::setTestModeEnabled(false);
    }

    void foldersInsideTheBuildTree()
    {
        QFETCH(QString, folder);
        QVERIFY2(isBelow(folder, QStringLiteral(PRAVIK_BUILD_DIR)), qPrintable(folder));
    }

    // Tests running at once must not share Qt's files below the home.
    void homeOfItsOwn() { QCOMPARE(QDir(qEnvironmentVariable("HOME")).dirName(), u"tst_testenvironment"_s); }

    // However a test was registered, ctest gives it that environment.
    void everyTestHasIt()
    {
        QProcess ctest;
        ctest.setWorkingDirectory(QStringLiteral(PRAVIK_BUILD_DIR));
        ctest.start(QStringLiteral(PRAVIK_CTEST), { u"--show-only=json-v1"_s });
        QVERIFY(ctest.waitForFinished(60000));
        QCOMPARE(ctest.exitCode(), 0);
        const QJsonArray tests
            = QJsonDocument::fromJson(ctest.readAllStandardOutput()).object().value(u"tests"_s).toArray();
        QVERIFY(!tests.isEmpty());
        const QString build = QStringLiteral(PRAVIK_BUILD_DIR);
        for (const QJsonValue &test : tests) {
            const QString name = test[u"name"_s].toString();
            QStringList environment;
            for (const QJsonValue &property : test[u"properties"_s].toArray()) {
                if (property[u"name"_s].toString() == u"ENVIRONMENT"_s) {
                    for (const QJsonValue &entry : property[u"value"_s].toArray())
                        environment.append(entry.toString());
                }
            }
            for (const QString &wanted : { u"HOME=%1/test-home/home/%2"_s.arg(build, name),
                     u"XDG_CONFIG_HOME=%1/test-home/config"_s.arg(build),
                     u"XDG_CACHE_HOME=%1/test-home/cache"_s.arg(build),
                     u"XDG_DATA_HOME=%1/test-home/data"_s.arg(build),
                     u"XDG_STATE_HOME=%1/test-home/state"_s.arg(build),
                     u"PRAVIK_SETTINGS_DIR=%1/test-settings"_s.arg(build) }) {
                QVERIFY2(environment.contains(wanted), qPrintable(name + u" lacks "_s + wanted));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestTestEnvironment)

#include "tst_testenvironment.moc"

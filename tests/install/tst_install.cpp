// Pravik as installed: `cmake --install` into a temporary prefix, the installed programs run from
// there, the desktop entry and AppStream data through the desktop's own validators, the manual page
// against --help, and the Debian package's file list and dependencies.

#include "tests/support/programrun.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

using testsupport::Run;

Run run(const QString &program, const QStringList &arguments,
    const QString &folder = QStringLiteral(PRAVIK_SOURCE_DIR))
{
    testsupport::RunOptions options;
    options.workingDirectory = folder;
    options.timeoutMs = 120000;
    return testsupport::runProgram(program, arguments, options);
}

QString details(const Run &r)
{
    return QString::fromUtf8(r.out + r.err);
}

// Width and height from a PNG's header.
QSize pngSize(const QByteArray &bytes)
{
    if (bytes.size() < 24 || !bytes.startsWith("\x89PNG\r\n\x1a\n") || bytes.mid(12, 4) != "IHDR")
        return {};
    auto be32 = [&](int at) {
        return int((uchar(bytes[at]) << 24) | (uchar(bytes[at + 1]) << 16) | (uchar(bytes[at + 2]) << 8)
            | uchar(bytes[at + 3]));
    };
    return { be32(16), be32(20) };
}

// The installed files below a prefix, as paths relative to it.
QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

const QString kAppId = QStringLiteral("de.zelk.Pravik");

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void installsTheFile_data();
    void installsTheFile();
    void installsNothingElse();
    void installedCheckerRuns_data();
    void installedCheckerRuns();
    void desktopEntryOpensXmlFiles();
    void desktopEntryPassesItsValidator();
    void appStreamDataPassesItsValidator();
    void manualPageNamesEveryOption();
    void packageHoldsTheInstalledFiles();

private:
    QTemporaryDir fDir;
    QString fPrefix;
};

void TestInstall::initTestCase()
{
    QVERIFY(fDir.isValid());
    fPrefix = fDir.filePath(QStringLiteral("prefix"));
    const Run r = run(QStringLiteral(PRAVIK_CMAKE),
        { QStringLiteral("--install"), QStringLiteral(PRAVIK_BUILD_DIR), QStringLiteral("--prefix"),
            fPrefix });
    QVERIFY2(r.status == 0, qPrintable(details(r)));
}

void TestInstall::installsTheFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("iconSize"); // 0: not an icon of a size

    QTest::newRow("the window") << QStringLiteral("bin/pravik") << 0;
    QTest::newRow("the checker") << QStringLiteral("bin/pravik-check") << 0;
    QTest::newRow("desktop entry") << QStringLiteral("share/applications/%1.desktop").arg(kAppId) << 0;
    QTest::newRow("AppStream data") << QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId) << 0;
    QTest::newRow("scalable icon") << QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(kAppId)
                                   << 0;
    for (const int size : { 16, 22, 24, 32, 48, 64, 128, 256 }) {
        QTest::addRow("%d px icon", size)
            << QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kAppId) << size;
    }
    QTest::newRow("manual page of pravik") << QStringLiteral("share/man/man1/pravik.1.gz") << 0;
    QTest::newRow("manual page of pravik-check") << QStringLiteral("share/man/man1/pravik-check.1.gz") << 0;
    QTest::newRow("copyright") << QStringLiteral("share/doc/pravik/copyright") << 0;
    QTest::newRow("Debian changelog") << QStringLiteral("share/doc/pravik/changelog.Debian.gz") << 0;
}

void TestInstall::installsTheFile()
{
    QFETCH(QString, path);
    QFETCH(int, iconSize);
    QFile file(QDir(fPrefix).filePath(path));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
    const QByteArray bytes = file.readAll();
    QVERIFY(!bytes.isEmpty());
    if (iconSize > 0)
        QCOMPARE(pngSize(bytes), QSize(iconSize, iconSize));
    if (path.startsWith(u"bin/"))
        QVERIFY(file.permissions() & QFileDevice::ExeOther);
}

// The schemas travel only inside the executables: no schema file, nothing of the build's own.
void TestInstall::installsNothingElse()
{
    const QStringList files = filesBelow(fPrefix);
    QCOMPARE(files.size(), 17);
    for (const QString &f : files) {
        QVERIFY2(!f.endsWith(u".xsd", Qt::CaseInsensitive), qPrintable(f));
        QVERIFY2(!f.contains(u"test", Qt::CaseInsensitive), qPrintable(f));
    }
}

void TestInstall::installedCheckerRuns_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("outStart");

    QTest::newRow("valid example") << QStringList { QStringLiteral("examples/valid-direct-debit.xml") } << 0
                                   << QByteArray("XML is valid according the schema.\n");
    QTest::newRow("invalid example")
        << QStringList { QStringLiteral("examples/invalid-credit-transfer.xml") } << 1
        << QByteArray("----------------------------------------------------------------------\n"
                      "ErrorCode: 1832\n");
    QTest::newRow("version") << QStringList { QStringLiteral("--version") } << 0
                             << QByteArray("pravik-check " PRAVIK_VERSION "\n");
}

// Run from a folder outside the build, so that nothing but the installed program can answer.
void TestInstall::installedCheckerRuns()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QByteArray, outStart);
    for (QString &a : arguments) {
        if (a.startsWith(u"examples/"))
            a = QDir(QStringLiteral(PRAVIK_SOURCE_DIR)).filePath(a);
    }
    const Run r = run(QDir(fPrefix).filePath(QStringLiteral("bin/pravik-check")), arguments, fDir.path());
    QCOMPARE(r.status, status);
    QVERIFY2(r.out.startsWith(outStart), r.out.left(300).constData());
}

void TestInstall::desktopEntryOpensXmlFiles()
{
    QFile file(QDir(fPrefix).filePath(QStringLiteral("share/applications/%1.desktop").arg(kAppId)));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QMap<QString, QString> keys;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            keys.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    QCOMPARE(keys.value(QStringLiteral("Exec")), QStringLiteral("pravik %f"));
    QCOMPARE(keys.value(QStringLiteral("Icon")), kAppId);
    const QStringList types = keys.value(QStringLiteral("MimeType")).split(u';', Qt::SkipEmptyParts);
    QVERIFY(types.contains(QStringLiteral("application/xml")));
    QVERIFY(types.contains(QStringLiteral("text/xml")));
    QVERIFY(!keys.value(QStringLiteral("Name")).isEmpty());
    QVERIFY(!keys.value(QStringLiteral("Comment")).isEmpty());
    QVERIFY(!keys.value(QStringLiteral("Comment[de]")).isEmpty());
    QVERIFY(keys.value(QStringLiteral("Comment[de]")) != keys.value(QStringLiteral("Comment")));
}

void TestInstall::desktopEntryPassesItsValidator()
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (tool.isEmpty())
        QSKIP("desktop-file-validate is not installed (Debian package desktop-file-utils; scripts/setup.sh)");
    const Run r
        = run(tool, { QDir(fPrefix).filePath(QStringLiteral("share/applications/%1.desktop").arg(kAppId)) });
    QVERIFY2(r.status == 0, qPrintable(details(r)));
    QVERIFY2(!r.out.contains("error") && !r.out.contains("warning"), qPrintable(details(r)));
}

void TestInstall::appStreamDataPassesItsValidator()
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("appstreamcli"));
    if (tool.isEmpty())
        QSKIP("appstreamcli is not installed (Debian package appstream; scripts/setup.sh)");
    const Run r = run(tool,
        { QStringLiteral("validate"), QStringLiteral("--no-net"),
            QDir(fPrefix).filePath(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(kAppId)) });
    QVERIFY2(r.status == 0, qPrintable(details(r)));
    QVERIFY2(!r.out.contains("W:") && !r.out.contains("E:"), qPrintable(details(r)));
}

// Every option --help lists is described in the manual page, and the page names no other.
void TestInstall::manualPageNamesEveryOption()
{
    const Run help = run(QStringLiteral(PRAVIK_CHECK_EXE), { QStringLiteral("--help") });
    QCOMPARE(help.status, 0);
    const Run page = run(QStringLiteral("gzip"),
        { QStringLiteral("-dc"),
            QDir(fPrefix).filePath(QStringLiteral("share/man/man1/pravik-check.1.gz")) });
    QCOMPARE(page.status, 0);
    // roff writes a dash as "\-".
    const QString roff = QString::fromUtf8(page.out).replace(QStringLiteral("\\-"), QStringLiteral("-"));

    QStringList inHelp;
    static const QRegularExpression option(QStringLiteral("^\\s+(-\\w)?(?:, )?(--[\\w-]+)"));
    for (const QByteArray &line : help.out.split('\n')) {
        const QRegularExpressionMatch m = option.match(QString::fromUtf8(line));
        if (m.hasMatch())
            inHelp << m.captured(1) << m.captured(2);
    }
    inHelp.removeAll(QString());
    QVERIFY(inHelp.contains(QStringLiteral("--junit")));
    for (const QString &o : std::as_const(inHelp)) {
        // As a word of a roff request line (".B --json", ".BR -j \", \" --jobs").
        const QRegularExpression word(
            QStringLiteral("^\\.(?:B|BI|BR) (?:.* )?%1(?: |$)").arg(QRegularExpression::escape(o)),
            QRegularExpression::MultilineOption);
        QVERIFY2(word.match(roff).hasMatch(), qPrintable(o));
    }
    static const QRegularExpression tagged(
        QStringLiteral("^\\.(?:B|BI|BR) (--?[a-z][\\w-]*)"), QRegularExpression::MultilineOption);
    for (QRegularExpressionMatchIterator it = tagged.globalMatch(roff); it.hasNext();) {
        const QString o = it.next().captured(1);
        QVERIFY2(inHelp.contains(o) || o == u"--" || o == u"-platform", qPrintable(o));
    }
}

// The package as dpkg sees it: the installed files below /usr, dependencies from the binaries.
void TestInstall::packageHoldsTheInstalledFiles()
{
    const QString dpkgDeb = QStandardPaths::findExecutable(QStringLiteral("dpkg-deb"));
    if (dpkgDeb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("dpkg-shlibdeps")).isEmpty())
        QSKIP("dpkg-deb or dpkg-shlibdeps is not installed (Debian package dpkg-dev; scripts/setup.sh)");
    const QString out = fDir.filePath(QStringLiteral("package"));
    const Run pack = run(QStringLiteral(PRAVIK_CPACK),
        { QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
            QStringLiteral(PRAVIK_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"), out },
        fDir.path());
    QVERIFY2(pack.status == 0, qPrintable(details(pack)));
    const QStringList debs = QDir(out).entryList({ QStringLiteral("pravik_*.deb") });
    QCOMPARE(debs.size(), 1);
    const QString deb = QDir(out).filePath(debs.first());

    const Run contents = run(dpkgDeb, { QStringLiteral("-c"), deb });
    QCOMPARE(contents.status, 0);
    QStringList inPackage;
    for (const QByteArray &line : contents.out.split('\n')) {
        if (line.startsWith('-')) // files only, not folders
            inPackage << QString::fromUtf8(line.mid(line.indexOf("./usr/") + 6));
        if (!line.isEmpty())
            QVERIFY2(line.contains(" root/root "), line.constData());
    }
    inPackage.sort();
    QCOMPARE(inPackage, filesBelow(fPrefix));

    const Run fields = run(dpkgDeb,
        { QStringLiteral("-f"), deb, QStringLiteral("Package"), QStringLiteral("Version"),
            QStringLiteral("Depends") });
    QCOMPARE(fields.status, 0);
    const QString f = QString::fromUtf8(fields.out);
    QVERIFY2(f.contains(QStringLiteral("Package: pravik\n")), qPrintable(f));
    QVERIFY2(f.contains(QStringLiteral("Version: " PRAVIK_VERSION "-1\n")), qPrintable(f));
    for (const char *dependency : { "libqt6widgets6", "libqt6core6", "libxml2", "libqscintilla2-qt6" })
        QVERIFY2(f.contains(QLatin1StringView(dependency)), dependency);
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"

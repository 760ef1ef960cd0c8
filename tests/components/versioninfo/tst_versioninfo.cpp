// TVersionInfo: the walk over the string entries of a version resource, the items it serves, its
// XML summary, and its failures, on modules written by the tests and on this executable itself.

#include "components/versioninfo/zc_versioninfo.h"
#include "platform/syserror.h"
#include "platform/versionresource.h"
#include "tests/platform/elfwriter.h"
#include "tests/support/unitsmain.h"

#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

namespace {

using Strings = QList<QPair<QString, QString>>;

QByteArray resourceOf(const Strings &strings)
{
    TVersionResourceBuilder builder;
    for (const auto &[key, value] : strings)
        builder.AddString(key, value);
    return builder.Build();
}

const Strings eightEntries = {
    { QStringLiteral("CompanyName"), QStringLiteral("Zelk Software") },
    { QStringLiteral("FileDescription"), QStringLiteral("SEPA checker") },
    { QStringLiteral("FileVersion"), QStringLiteral("1.0.0.1") },
    { QStringLiteral("LegalCopyright"), QStringLiteral("Copyright Zelk Software") },
    { QStringLiteral("OriginalFilename"), QStringLiteral("Pravik.exe") },
    { QStringLiteral("ProgramID"), QStringLiteral("Zelk.Pravik") },
    { QStringLiteral("ProductName"), QStringLiteral("Pravik") },
    { QStringLiteral("ProductVersion"), QStringLiteral("1.0") },
};

// Patches the 16-bit word at a byte offset of a resource.
QByteArray withWord(QByteArray bytes, qsizetype at, quint16 value)
{
    qToLittleEndian(value, bytes.data() + at);
    return bytes;
}

// Where the blocks of a resource written by the builder lie, read from their own length fields:
// StringFileInfo at 92, its string table at 128, the entries from 152 on.
struct Layout
{
    qsizetype stringFileInfoEnd = 0;
    QList<qsizetype> entries;
};

Layout layoutOf(const QByteArray &resource)
{
    const auto word = [&](qsizetype at) { return qFromLittleEndian<quint16>(resource.constData() + at); };
    Layout layout;
    layout.stringFileInfoEnd = 92 + word(92);
    const qsizetype tableEnd = 128 + word(128);
    for (qsizetype p = VersionResourceFirstStringOffset; p < tableEnd; p = (p + word(p) + 3) & ~qsizetype(3))
        layout.entries.append(p);
    return layout;
}

// A resource as the Windows resource compiler also writes it: no VarFileInfo behind the strings,
// the root's length saying so.
QByteArray withoutVarFileInfo(const QByteArray &resource)
{
    const qsizetype end = layoutOf(resource).stringFileInfoEnd;
    return withWord(resource.left(end), 0, quint16(end));
}

} // namespace

class tst_VersionInfo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void eightEntryModule();
    void itemByName_data();
    void itemByName();
    void storedValues_data();
    void storedValues();
    void secondModuleKeepsEntriesItLacks();
    void moduleWithoutResource();
    void longEntriesAreReadWhole_data();
    void longEntriesAreReadWhole();
    void brokenResources_data();
    void brokenResources();
    void rootLengthBoundsTheWalk_data();
    void rootLengthBoundsTheWalk();
    void failedReadLeftEarlierEntriesHalfReplaced();
    void asXml();
    void asXmlInReadOrder();
    void asXmlSameInEveryProcess();
    void asXmlReadsTheFileAgain();
    void unloadableFiles_data();
    void unloadableFiles();
    void keysIgnoreTurkishCasing();
    void ownExecutable();
    void sharedReaders();

private:
    QString module(const QString &name, const QByteArray &resource)
    {
        const QString path = m_dir.filePath(name);
        if (!writeModule(path, resource))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    QTemporaryDir m_dir;
};

void tst_VersionInfo::init()
{
    QLocale::setDefault(QLocale::c());
}

void tst_VersionInfo::eightEntryModule()
{
    TVersionInfo info(module(QStringLiteral("eight.so"), resourceOf(eightEntries)));
    QStringList keys;
    for (auto it = info.Entries().begin(); it != info.Entries().end(); ++it)
        keys.append(it.key());
    keys.sort();
    QCOMPARE(keys,
        (QStringList { QStringLiteral("COMPANYNAME"), QStringLiteral("FILEDESCRIPTION"),
            QStringLiteral("FILEVERSION"), QStringLiteral("LEGALCOPYRIGHT"),
            QStringLiteral("ORIGINALFILENAME"), QStringLiteral("PRODUCTNAME"),
            QStringLiteral("PRODUCTVERSION"), QStringLiteral("PROGRAMID") }));
    QCOMPARE(info.CompanyName(), QStringLiteral("Zelk Software"));
    QCOMPARE(info.FileDescription(), QStringLiteral("SEPA checker"));
    QCOMPARE(info.FileVersion(), QStringLiteral("1.0.0.1"));
    QCOMPARE(info.LegalCopyright(), QStringLiteral("Copyright Zelk Software"));
    QCOMPARE(info.OriginalFilename(), QStringLiteral("Pravik.exe"));
    QCOMPARE(info.ProductName(), QStringLiteral("Pravik"));
    QCOMPARE(info.ProductVersion(), QStringLiteral("1.0"));
    QCOMPARE(info.InternalName(), QString());
    QCOMPARE(info.LegalTrademarks(), QString());
    QCOMPARE(info.Comments(), QString());
}

void tst_VersionInfo::itemByName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value"); // null: raises

    QTest::newRow("lower case between blanks")
        << QStringLiteral("  fileversion ") << QStringLiteral("1.0.0.1");
    QTest::newRow("control characters around")
        << QStringLiteral("\tProductName\r\n") << QStringLiteral("Pravik");
    QTest::newRow("entry without standard item")
        << QStringLiteral("ProgramID") << QStringLiteral("Zelk.Pravik");
    QTest::newRow("name not present") << QStringLiteral("Comments") << QString();
    QTest::newRow("blank name") << QStringLiteral("   ") << QString();
}

void tst_VersionInfo::itemByName()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    TVersionInfo info(module(QStringLiteral("eight.so"), resourceOf(eightEntries)));
    if (value.isNull())
        QVERIFY_THROWS_EXCEPTION(EListError, info.VersionInfoItemByName(name));
    else
        QCOMPARE(info.VersionInfoItemByName(name), value);
}

void tst_VersionInfo::storedValues_data()
{
    QTest::addColumn<Strings>("strings");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value"); // null: not stored

    QTest::newRow("trailing blanks kept")
        << Strings { { QStringLiteral("Comments"), QStringLiteral("beta  ") } } << QStringLiteral("COMMENTS")
        << QStringLiteral("beta  ");
    QTest::newRow("leading blanks kept")
        << Strings { { QStringLiteral("Comments"), QStringLiteral(" beta") } } << QStringLiteral("COMMENTS")
        << QStringLiteral(" beta");
    QTest::newRow("blank-only value not stored")
        << Strings { { QStringLiteral("Comments"), QStringLiteral("   ") } } << QStringLiteral("COMMENTS")
        << QString();
    QTest::newRow("control-only value not stored")
        << Strings { { QStringLiteral("Comments"), QStringLiteral("\t\r\n") } } << QStringLiteral("COMMENTS")
        << QString();
    QTest::newRow("empty value not stored, next entry read") << Strings {
        { QStringLiteral("Comments"), QString() }, { QStringLiteral("FileVersion"), QStringLiteral("2") }
    } << QStringLiteral("FILEVERSION") << QStringLiteral("2");
    QTest::newRow("later duplicate replaces earlier")
        << Strings { { QStringLiteral("FileVersion"), QStringLiteral("1") },
               { QStringLiteral("FILEVERSION"), QStringLiteral("2") } }
        << QStringLiteral("FILEVERSION") << QStringLiteral("2");
    QTest::newRow("non-ASCII key upper-cased") << Strings { { QStringLiteral("Größe"), QStringLiteral("x") } }
                                               << QStringLiteral("GRÖSSE") << QStringLiteral("x");
}

void tst_VersionInfo::storedValues()
{
    QFETCH(Strings, strings);
    QFETCH(QString, key);
    QFETCH(QString, value);
    TVersionInfo info(module(QStringLiteral("values.so"), resourceOf(strings)));
    QString actual;
    QCOMPARE(info.Entries().TryGetValue(key, actual), !value.isNull());
    if (!value.isNull())
        QCOMPARE(actual, value);
}

void tst_VersionInfo::secondModuleKeepsEntriesItLacks()
{
    Strings first = eightEntries;
    first.append({ QStringLiteral("Comments"), QStringLiteral("first module") });
    TVersionInfo info(module(QStringLiteral("first.so"), resourceOf(first)));
    const QString second = module(QStringLiteral("second.so"),
        resourceOf({ { QStringLiteral("FileVersion"), QStringLiteral("9.9.9.9") } }));
    info.SetLibraryName(second);
    QCOMPARE(info.LibraryName(), second);
    QCOMPARE(info.FileVersion(), QStringLiteral("9.9.9.9"));
    QCOMPARE(info.Comments(), QStringLiteral("first module"));
    QCOMPARE(info.ProductName(), QStringLiteral("Pravik"));
}

void tst_VersionInfo::moduleWithoutResource()
{
    const QString path = module(QStringLiteral("plain.so"), QByteArray());
    TVersionInfo info(path);
    QCOMPARE(info.Entries().Count(), 0);
    for (int i = 1; i <= 10; ++i)
        QCOMPARE(info.Entries().ContainsKey(TVersionInfo::InfoItemKey(i)), false);
    QCOMPARE(info.FileVersion(), QString());
    QCOMPARE(info.AsXML(),
        QStringLiteral("<MODUL>\r\n\t<MODUL_FILE>%1</MODUL_FILE>\r\n\t<VERSIONINFO/>\r\n</MODUL>").arg(path));
}

void tst_VersionInfo::longEntriesAreReadWhole_data()
{
    QTest::addColumn<int>("valueChars");

    // Entry length = 6 header + 18 ("Comments" and NUL, already aligned) + 2 (chars + NUL).
    QTest::newRow("entry of 404 bytes, fits the buffer") << 189;
    QTest::newRow("entry of 406 bytes, the largest that fits") << 190;
    QTest::newRow("entry of 408 bytes, one character too long") << 191;
    QTest::newRow("entry of 6026 bytes") << 3000;
}

void tst_VersionInfo::longEntriesAreReadWhole()
{
    QFETCH(int, valueChars);
    QString value;
    for (int i = 0; i < valueChars; ++i)
        value.append(QChar(u'a' + i % 26));
    const QByteArray resource = resourceOf(
        { { QStringLiteral("Comments"), value }, { QStringLiteral("FileVersion"), QStringLiteral("3.1") } });
    QCOMPARE(qFromLittleEndian<quint16>(resource.constData() + VersionResourceFirstStringOffset),
        6 + 18 + 2 * (valueChars + 1));
    TVersionInfo info(module(QStringLiteral("long.so"), resource));
    QCOMPARE(info.Comments(), value);
    QCOMPARE(info.FileVersion(), QStringLiteral("3.1")); // the walk goes on behind it
}

void tst_VersionInfo::brokenResources_data()
{
    QTest::addColumn<QByteArray>("resource");

    const QByteArray good = resourceOf(eightEntries);
    const int first = VersionResourceFirstStringOffset;
    QTest::newRow("cut inside the first entry's header") << good.left(first + 3);
    QTest::newRow("cut inside the first entry's value") << good.left(first + 40);
    QTest::newRow("cut inside a later entry") << good.left(good.size() - 150);
    QTest::newRow("entry length of 0") << withWord(good, first, 0);
    QTest::newRow("value longer than its entry") << withWord(good, first + 2, 200);
    QTest::newRow("entry length beyond the resource") << withWord(good, first, 0xFFFE);
}

void tst_VersionInfo::brokenResources()
{
    QFETCH(QByteArray, resource);
    const QString path = module(QStringLiteral("broken.so"), resource);
    QVERIFY_THROWS_EXCEPTION(EReadError, TVersionInfo info(path));

    // A reader that held entries keeps them when a broken module fails to read.
    TVersionInfo info(module(QStringLiteral("good.so"), resourceOf(eightEntries)));
    QVERIFY_THROWS_EXCEPTION(EReadError, info.SetLibraryName(path));
    QCOMPARE(info.FileVersion(), QStringLiteral("1.0.0.1"));
}

void tst_VersionInfo::rootLengthBoundsTheWalk_data()
{
    QTest::addColumn<QByteArray>("resource");
    QTest::addColumn<int>("entries"); // -1: raises EReadError

    const QByteArray good = resourceOf(eightEntries);
    const Layout layout = layoutOf(good);
    QCOMPARE(layout.entries.size(), 8);
    const qsizetype third = layout.entries[2];

    QTest::newRow("whole resource") << good << 8;
    QTest::newRow("whole resource, padding behind it") << good + QByteArray(8, '\0') << 8;
    QTest::newRow("cut inside an entry") << good.left(third + 10) << -1;
    QTest::newRow("cut between entries") << good.left(third) << -1;
    QTest::newRow("cut after the last entry") << good.left(layout.stringFileInfoEnd) << -1;
    QTest::newRow("cut inside VarFileInfo") << good.left(good.size() - 4) << -1;
    QTest::newRow("cut before the first entry") << good.left(100) << -1;
    QTest::newRow("cut inside the root header") << good.left(4) << -1;
    QTest::newRow("resource without bytes") << QByteArray("") << -1;
    QTest::newRow("root length larger than the data") << withWord(good, 0, quint16(good.size() + 4)) << -1;
    QTest::newRow("root length smaller than its header") << withWord(good, 0, 4) << -1;
    QTest::newRow("entry running past the root block") << withWord(good, 0, quint16(third + 10)) << -1;
    QTest::newRow("legal resource without VarFileInfo") << withoutVarFileInfo(good) << 8;
    // Garbage behind the root block must not be walked into.
    QTest::newRow("legal resource without VarFileInfo, bytes behind it")
        << withoutVarFileInfo(good) + QByteArray(16, 'x') << 8;
    QTest::newRow("legal resource with one entry, without VarFileInfo")
        << withoutVarFileInfo(resourceOf({ { QStringLiteral("FileVersion"), QStringLiteral("7.0") } })) << 1;
    QTest::newRow("legal resource of fixed information only") << withWord(good.left(92), 0, 92) << 0;
}

void tst_VersionInfo::rootLengthBoundsTheWalk()
{
    QFETCH(QByteArray, resource);
    QFETCH(int, entries);
    QVERIFY(!resource.isNull()); // null would write a module without the section
    const QString path = module(QStringLiteral("bounded.so"), resource);
    if (entries < 0) {
        QVERIFY_THROWS_EXCEPTION(EReadError, TVersionInfo info(path));
        return;
    }
    TVersionInfo info(path);
    QCOMPARE(info.Entries().Count(), entries);
    if (entries == 8)
        QCOMPARE(info.ProductVersion(), QStringLiteral("1.0")); // the last entry
    else if (entries == 1)
        QCOMPARE(info.FileVersion(), QStringLiteral("7.0"));
}

void tst_VersionInfo::failedReadLeftEarlierEntriesHalfReplaced()
{
    TVersionInfo info(module(QStringLiteral("good.so"), resourceOf(eightEntries)));
    // Its first two entries are sound, the third runs past the resource.
    const QByteArray newer = resourceOf({ { QStringLiteral("FileVersion"), QStringLiteral("2.0") },
        { QStringLiteral("Comments"), QStringLiteral("newer") },
        { QStringLiteral("ProductName"), QStringLiteral("Other") } });
    const QString broken
        = module(QStringLiteral("broken.so"), withWord(newer, layoutOf(newer).entries[2], 0xFFFE));
    QVERIFY_THROWS_EXCEPTION(EReadError, info.SetLibraryName(broken));
    QCOMPARE(info.FileVersion(), QStringLiteral("1.0.0.1"));
    QCOMPARE(info.Comments(), QString());
    QCOMPARE(info.Entries().Count(), 8);
}

void tst_VersionInfo::asXml()
{
    const QString path = module(QStringLiteral("xml.so"),
        resourceOf({ { QStringLiteral("Comments"), QStringLiteral("A & B <c>") } }));
    TVersionInfo info(path);
    QCOMPARE(info.AsXML(),
        QStringLiteral("<MODUL>\r\n\t<MODUL_FILE>%1</MODUL_FILE>\r\n\t<VERSIONINFO>"
                       "\r\n\t\t<COMMENTS>A & B <c></COMMENTS>\r\n\t</VERSIONINFO>\r\n</MODUL>")
            .arg(path));
}

void tst_VersionInfo::asXmlReadsTheFileAgain()
{
    const QString path = module(QStringLiteral("changing.so"),
        resourceOf({ { QStringLiteral("FileVersion"), QStringLiteral("1") } }));
    TVersionInfo info(path);
    module(QStringLiteral("changing.so"),
        resourceOf({ { QStringLiteral("FileVersion"), QStringLiteral("2") } }));
    QCOMPARE(info.FileVersion(), QStringLiteral("1")); // items do not read again
    QVERIFY(info.AsXML().contains(QLatin1String("<FILEVERSION>2</FILEVERSION>")));
    QCOMPARE(info.FileVersion(), QStringLiteral("2"));
}

void tst_VersionInfo::asXmlInReadOrder()
{
    TVersionInfo info(module(QStringLiteral("eight.so"), resourceOf(eightEntries)));
    // A second module: a known key keeps its place with the new value, a new key comes last.
    info.SetLibraryName(module(QStringLiteral("second.so"),
        resourceOf({ { QStringLiteral("Zzz"), QStringLiteral("new") },
            { QStringLiteral("FileVersion"), QStringLiteral("2.0") } })));
    QString items;
    for (const auto &[key, value] : eightEntries) {
        const QString upper = key.toUpper();
        items += QStringLiteral("\r\n\t\t<%1>%2</%1>")
                     .arg(upper, upper == QLatin1String("FILEVERSION") ? QStringLiteral("2.0") : value);
    }
    items += QStringLiteral("\r\n\t\t<ZZZ>new</ZZZ>");
    QCOMPARE(info.AsXML(),
        QStringLiteral(
            "<MODUL>\r\n\t<MODUL_FILE>%1</MODUL_FILE>\r\n\t<VERSIONINFO>%2\r\n\t</VERSIONINFO>\r\n</MODUL>")
            .arg(info.LibraryName(), items));
}

void tst_VersionInfo::asXmlSameInEveryProcess()
{
    // Enough entries that an order taken from a per-process hash seed would differ between runs.
    Strings strings;
    for (int i = 0; i < 40; ++i)
        strings.append({ QStringLiteral("Entry%1").arg((i * 17) % 40), QStringLiteral("value %1").arg(i) });
    const QString path = module(QStringLiteral("many.so"), resourceOf(strings));
    const QByteArray here = TVersionInfo(path).AsXML().toUtf8();

    for (int run = 0; run < 2; ++run) {
        QProcess process;
        process.start(QStringLiteral(PRAVIK_VERSIONINFO_XML), { path });
        QVERIFY2(process.waitForFinished(30000), qPrintable(process.errorString()));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(process.readAllStandardOutput(), here);
    }
}

void tst_VersionInfo::unloadableFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // null: the file does not exist
    QTest::addColumn<int>("error");

    QTest::newRow("missing file") << QStringLiteral("missing.so") << QByteArray() << ENOENT;
    QTest::newRow("not a module") << QStringLiteral("text.txt") << QByteArray(100, 'x') << ENOEXEC;
}

void tst_VersionInfo::unloadableFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(int, error);
    const QString path = m_dir.filePath(name);
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    try {
        TVersionInfo info(path);
        QFAIL("no exception");
    } catch (const Exception &e) {
        QCOMPARE(e.message(), SysErrorMessage(error));
    }
    TVersionInfo info(module(QStringLiteral("good.so"), resourceOf(eightEntries)));
    QVERIFY_THROWS_EXCEPTION(Exception, info.SetLibraryName(path));
    QCOMPARE(info.ProductName(), QStringLiteral("Pravik"));
}

void tst_VersionInfo::keysIgnoreTurkishCasing()
{
    // In a Turkish locale the locale's upper case of "i" is a dotted capital; keys must not get one.
    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    TVersionInfo info(module(QStringLiteral("eight.so"), resourceOf(eightEntries)));
    QCOMPARE(info.FileVersion(), QStringLiteral("1.0.0.1"));
    QCOMPARE(info.VersionInfoItemByName(QStringLiteral("fileversion")), QStringLiteral("1.0.0.1"));
}

void tst_VersionInfo::ownExecutable()
{
    TVersionInfo info;
    QCOMPARE(info.LibraryName(), ApplicationFileName());
    QCOMPARE(info.FileVersion(), QStringLiteral(PRAVIK_EXPECTED_FILE_VERSION));
    QCOMPARE(info.ProductVersion(), QStringLiteral(PRAVIK_EXPECTED_FILE_VERSION));
    QCOMPARE(info.CompanyName(), QStringLiteral("Zelk Software"));
    QCOMPARE(info.ProductName(), QStringLiteral("Pravik"));
    QCOMPARE(info.OriginalFilename(), QFileInfo(ApplicationFileName()).fileName());
    QCOMPARE(info.InternalName(), QStringLiteral("tst_versioninfo"));
}

void tst_VersionInfo::sharedReaders()
{
    QCOMPARE(VersionInfoApp().FileVersion(), QStringLiteral(PRAVIK_EXPECTED_FILE_VERSION));
    // Statically linked, this code lives in the executable: one reader serves both.
    QCOMPARE(&VersionInfoLib(), &VersionInfoApp());
}

namespace {
const TUnit *const units[] = { &zc_VersionInfoUnit };
}
PRAVIK_TEST_GUILESS_MAIN(tst_VersionInfo, units)
#include "tst_versioninfo.moc"

// The version resource: the builder's output against the documented VS_VERSIONINFO layout, module
// files opened as data, and the resource the build puts into our own executables.

#include "platform/datamodule.h"
#include "platform/exception.h"
#include "platform/syserror.h"
#include "platform/versionresource.h"
#include "tests/platform/elfwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

namespace {

quint16 u16(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

// An independent reading of the documented block format: header, key, padding, value, children.
struct ParsedBlock
{
    qsizetype offset = 0;
    quint16 length = 0, valueLength = 0, type = 0;
    QString key;
    QByteArray value;
    QList<ParsedBlock> children;
};

ParsedBlock parseBlock(const QByteArray &b, qsizetype at, qsizetype limit, bool textValue)
{
    ParsedBlock block;
    block.offset = at;
    if (at % 4 != 0 || at + 6 > limit) {
        QTest::qFail("block misaligned or beyond its parent", __FILE__, __LINE__);
        return block;
    }
    block.length = u16(b, at);
    block.valueLength = u16(b, at + 2);
    block.type = u16(b, at + 4);
    const qsizetype end = at + block.length;
    if (end > limit) {
        QTest::qFail("block length runs past its parent", __FILE__, __LINE__);
        return block;
    }
    qsizetype p = at + 6;
    while (p + 1 < end && u16(b, p) != 0)
        block.key.append(QChar(u16(b, p))), p += 2;
    p += 2;
    p = (p + 3) & ~qsizetype(3);
    const qsizetype valueBytes = textValue ? 2 * block.valueLength : block.valueLength;
    block.value = b.mid(p, valueBytes);
    p += valueBytes;
    while (true) {
        p = (p + 3) & ~qsizetype(3);
        if (p >= end)
            break;
        // Children of the root and of StringFileInfo/StringTable/VarFileInfo: strings hold text, Var binary.
        const bool childText = block.key != QLatin1String("VarFileInfo");
        block.children.append(parseBlock(b, p, end, childText));
        if (block.children.last().length == 0)
            break;
        p += block.children.last().length;
    }
    return block;
}

QString textOf(const QByteArray &utf16z)
{
    QString s;
    for (qsizetype i = 0; i + 1 < utf16z.size(); i += 2)
        s.append(QChar(u16(utf16z, i)));
    return s;
}

QByteArray readHexFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray hex;
    for (QByteArray line : file.readAll().split('\n')) {
        const qsizetype comment = line.indexOf('#');
        if (comment >= 0)
            line.truncate(comment);
        hex += line.simplified().replace(" ", "");
    }
    return QByteArray::fromHex(hex);
}

using Strings = QList<QPair<QString, QString>>;

} // namespace

class tst_VersionResource : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void builderMatchesDocumentedBytes();
    void builderLayout_data();
    void builderLayout();
    void builderRefuses_data();
    void builderRefuses();
    void moduleVersionParse_data();
    void moduleVersionParse();
    void loadFailures_data();
    void loadFailures();
    void sectionLookup_data();
    void sectionLookup();
    void ownExecutableCarriesGeneratedResource();
    void resourceSurvivesStripping();
    void moduleFileNames();
};

void tst_VersionResource::builderMatchesDocumentedBytes()
{
    const QByteArray expected
        = readHexFile(QStringLiteral(PRAVIK_TEST_DATA "/versioninfo/minimal-resource.hex"));
    QCOMPARE(expected.size(), 236);
    TVersionResourceBuilder builder;
    builder.SetFileVersion(*TModuleVersion::Parse(QStringLiteral("1.2.3.4")));
    builder.SetProductVersion(*TModuleVersion::Parse(QStringLiteral("5.6.7.8")));
    builder.AddString(QStringLiteral("A"), QStringLiteral("b"));
    const QByteArray actual = builder.Build();
    for (qsizetype i = 0; i < qMin(actual.size(), expected.size()); ++i) {
        if (actual[i] != expected[i])
            QFAIL(qPrintable(QStringLiteral("first difference at byte %1: %2 instead of %3")
                                 .arg(i)
                                 .arg(uchar(actual[i]), 2, 16, QLatin1Char('0'))
                                 .arg(uchar(expected[i]), 2, 16, QLatin1Char('0'))));
    }
    QCOMPARE(actual.size(), expected.size());
}

void tst_VersionResource::builderLayout_data()
{
    QTest::addColumn<Strings>("strings");
    QTest::addColumn<quint16>("language");
    QTest::addColumn<quint16>("codePage");
    QTest::addColumn<QString>("tableKey");

    QTest::newRow("no string entries")
        << Strings {} << quint16(0x0409) << quint16(1200) << QStringLiteral("040904B0");
    QTest::newRow("entries of odd and even lengths")
        << Strings { { QStringLiteral("CompanyName"), QStringLiteral("Zelk Software") },
               { QStringLiteral("FileVersion"), QStringLiteral("1.0.0.1") },
               { QStringLiteral("X"), QStringLiteral("ab") } }
        << quint16(0x0407) << quint16(1200) << QStringLiteral("040704B0");
    QTest::newRow("empty value") << Strings { { QStringLiteral("Comments"), QString() },
        { QStringLiteral("B"), QStringLiteral("c") } }
                                 << quint16(0x0409) << quint16(1252) << QStringLiteral("040904E4");
    QTest::newRow("non-ASCII text") << Strings { { QStringLiteral("LegalCopyright"),
        QStringLiteral("Copyright © 2025 Zelk Software – Grüße") } }
                                    << quint16(0x0409) << quint16(1200) << QStringLiteral("040904B0");
    QTest::newRow("value of 3000 characters")
        << Strings { { QStringLiteral("Comments"), QString(3000, QLatin1Char('x')) },
               { QStringLiteral("Z"), QStringLiteral("z") } }
        << quint16(0x0409) << quint16(1200) << QStringLiteral("040904B0");
}

void tst_VersionResource::builderLayout()
{
    QFETCH(Strings, strings);
    QFETCH(quint16, language);
    QFETCH(quint16, codePage);
    QFETCH(QString, tableKey);

    TVersionResourceBuilder builder;
    builder.SetLanguage(language, codePage);
    builder.SetFileVersion(*TModuleVersion::Parse(QStringLiteral("1.0.0.1")));
    for (const auto &[key, value] : strings)
        builder.AddString(key, value);
    const QByteArray bytes = builder.Build();

    const ParsedBlock root = parseBlock(bytes, 0, bytes.size(), false);
    QCOMPARE(root.length, bytes.size());
    QCOMPARE(root.key, QStringLiteral("VS_VERSION_INFO"));
    QCOMPARE(root.type, 0);
    QCOMPARE(root.valueLength, 52);
    QCOMPARE(qFromLittleEndian<quint32>(root.value.constData()), 0xFEEF04BDu);
    QCOMPARE(qFromLittleEndian<quint32>(root.value.constData() + 8), 0x00010000u); // file version 1.0
    QCOMPARE(qFromLittleEndian<quint32>(root.value.constData() + 12), 0x00000001u); // .0.1
    QCOMPARE(root.children.size(), 2);

    const ParsedBlock &fileInfo = root.children[0];
    QCOMPARE(fileInfo.key, QStringLiteral("StringFileInfo"));
    QCOMPARE(fileInfo.offset, 92);
    QCOMPARE(fileInfo.children.size(), 1);
    const ParsedBlock &table = fileInfo.children[0];
    QCOMPARE(table.key, tableKey);
    QCOMPARE(table.offset, 128);
    QCOMPARE(table.children.size(), strings.size());
    for (int i = 0; i < strings.size(); ++i) {
        const ParsedBlock &entry = table.children[i];
        if (i == 0)
            QCOMPARE(entry.offset, qsizetype(VersionResourceFirstStringOffset));
        QCOMPARE(entry.type, 1);
        QCOMPARE(entry.key, strings[i].first);
        QCOMPARE(entry.valueLength, strings[i].second.size() + 1); // with the terminating NUL
        QCOMPARE(textOf(entry.value), strings[i].second + QChar(0));
        // The value ends the entry (its length leaves out the padding that follows), which is where
        // readers that walk the entries look for it.
        const qsizetype valueBytes = 2 * entry.valueLength;
        QCOMPARE(textOf(bytes.mid(entry.offset + entry.length - valueBytes, valueBytes)),
            strings[i].second + QChar(0));
    }

    const ParsedBlock &vars = root.children[1];
    QCOMPARE(vars.key, QStringLiteral("VarFileInfo"));
    QCOMPARE(vars.children.size(), 1);
    QCOMPARE(vars.children[0].key, QStringLiteral("Translation"));
    QCOMPARE(vars.children[0].type, 0);
    QCOMPARE(vars.children[0].valueLength, 4);
    QCOMPARE(u16(vars.children[0].value, 0), language);
    QCOMPARE(u16(vars.children[0].value, 2), codePage);
    QCOMPARE(vars.offset + vars.length, qsizetype(bytes.size()));
}

void tst_VersionResource::builderRefuses_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("NUL inside a key") << QStringLiteral("Comp\0any") << QStringLiteral("x");
    QTest::newRow("NUL inside a value") << QStringLiteral("Comments") << QStringLiteral("a\0b");
    QTest::newRow("empty key") << QString() << QStringLiteral("x");
    QTest::newRow("value beyond the 16-bit length")
        << QStringLiteral("Comments") << QString(33000, QLatin1Char('x'));
}

void tst_VersionResource::builderRefuses()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    TVersionResourceBuilder builder;
    builder.AddString(key, value);
    QVERIFY_THROWS_EXCEPTION(EArgumentOutOfRangeException, builder.Build());
}

void tst_VersionResource::moduleVersionParse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("normalised");

    QTest::newRow("four parts") << QStringLiteral("1.0.0.1") << true << QStringLiteral("1.0.0.1");
    QTest::newRow("two parts are filled up") << QStringLiteral("3.7") << true << QStringLiteral("3.7.0.0");
    QTest::newRow("largest part") << QStringLiteral("65535.0.0.65535") << true
                                  << QStringLiteral("65535.0.0.65535");
    QTest::newRow("part too large") << QStringLiteral("65536.0") << false << QString();
    QTest::newRow("five parts") << QStringLiteral("1.2.3.4.5") << false << QString();
    QTest::newRow("empty") << QString() << false << QString();
    QTest::newRow("negative part") << QStringLiteral("1.-2") << false << QString();
    QTest::newRow("letters") << QStringLiteral("1.0beta") << false << QString();
    QTest::newRow("empty part") << QStringLiteral("1..2") << false << QString();
}

void tst_VersionResource::moduleVersionParse()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, normalised);
    const auto version = TModuleVersion::Parse(text);
    QCOMPARE(version.has_value(), valid);
    if (valid)
        QCOMPARE(version->ToString(), normalised);
}

void tst_VersionResource::loadFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // null: do not create the file
    QTest::addColumn<int>("error");

    QByteArray elf = makeElf({ { ".pravik_version", "abcd" } });
    QByteArray badTableOffset = elf;
    badTableOffset[0x28 + 3] = 0x70; // section table far beyond the end of the file
    QByteArray badSection = makeElf({ { ".pravik_version", "abcd" } });
    const qsizetype shoff = qFromLittleEndian<quint64>(badSection.constData() + 0x28);
    qToLittleEndian<quint64>(1u << 30, badSection.data() + shoff + 64 + 24); // section 1's offset

    QTest::newRow("missing file") << QStringLiteral("missing.so") << QByteArray() << ENOENT;
    QTest::newRow("directory") << QStringLiteral("folder") << QByteArray() << EISDIR;
    QTest::newRow("text file") << QStringLiteral(
        "notes.txt") << QByteArray("just some text, more than sixty-four bytes long ......................")
                               << ENOEXEC;
    QTest::newRow("empty file") << QStringLiteral("empty") << QByteArray("") << ENOEXEC;
    QTest::newRow("ELF cut off inside its section table")
        << QStringLiteral("cut.so") << elf.left(elf.size() - 10) << ENOEXEC;
    QTest::newRow("section table beyond the file") << QStringLiteral("far.so") << badTableOffset << ENOEXEC;
    QTest::newRow("section beyond the file") << QStringLiteral("badsection.so") << badSection << ENOEXEC;
}

void tst_VersionResource::loadFailures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(int, error);

    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (name == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(name));
    } else if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    int actual = -1;
    QVERIFY(!TDataModule::Load(path, &actual));
    QCOMPARE(actual, error);
    QVERIFY(!SysErrorMessage(actual).isEmpty());
}

void tst_VersionResource::sectionLookup_data()
{
    QTest::addColumn<QList<TestElfSection>>("sections");
    QTest::addColumn<bool>("is64");
    QTest::addColumn<QByteArray>("expected"); // null: no resource

    const QByteArray resource = QByteArray("\x01\x02\x03\x04resource bytes", 18);
    QTest::newRow("64-bit module with resource")
        << QList<TestElfSection> { { ".text", "code" }, { ".pravik_version", resource } } << true << resource;
    QTest::newRow("32-bit module with resource")
        << QList<TestElfSection> { { ".pravik_version", resource }, { ".data", "x" } } << false << resource;
    QTest::newRow("module without resource")
        << QList<TestElfSection> { { ".text", "code" } } << true << QByteArray();
    QTest::newRow("section with a longer name only")
        << QList<TestElfSection> { { ".pravik_version2", resource } } << true << QByteArray();
    QTest::newRow("section without bytes in the file")
        << QList<TestElfSection> { { ".pravik_version", resource, true } } << true << QByteArray();
    QTest::newRow("empty resource section")
        << QList<TestElfSection> { { ".pravik_version", QByteArray("") } } << true << QByteArray("");
}

void tst_VersionResource::sectionLookup()
{
    QFETCH(QList<TestElfSection>, sections);
    QFETCH(bool, is64);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("module.so"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(makeElf(sections, is64));
    file.close();

    int error = -1;
    const auto module = TDataModule::Load(path, &error);
    QVERIFY2(module, qPrintable(SysErrorMessage(error)));
    QCOMPARE(error, 0);
    const auto found = FindVersionResource(*module);
    QCOMPARE(found.has_value(), !expected.isNull());
    if (found)
        QCOMPARE(*found, expected);
}

void tst_VersionResource::ownExecutableCarriesGeneratedResource()
{
    QFile generated(QStringLiteral(PRAVIK_TEST_VERSION_BIN));
    QVERIFY(generated.open(QIODevice::ReadOnly));
    const QByteArray expected = generated.readAll();

    const QString exe = ApplicationFileName();
    QCOMPARE(QFileInfo(exe).fileName(), QStringLiteral("tst_versionresource"));
    int error = -1;
    const auto module = TDataModule::Load(exe, &error);
    QVERIFY(module);
    const auto found = FindVersionResource(*module);
    QVERIFY(found);
    QCOMPARE(*found, expected);
}

void tst_VersionResource::resourceSurvivesStripping()
{
    const QString strip = QStandardPaths::findExecutable(QStringLiteral("strip"));
    if (strip.isEmpty())
        QSKIP("no strip program on this machine");
    QFile generated(QStringLiteral(PRAVIK_SAMPLE_VERSION_BIN));
    QVERIFY(generated.open(QIODevice::ReadOnly));
    const QByteArray expected = generated.readAll();

    // The sample is linked with --gc-sections, which drops unreferenced data unless it is retained.
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("stripped"));
    QVERIFY(QFile::copy(QStringLiteral(PRAVIK_SAMPLE_MODULE), copy));
    QProcess process;
    process.start(strip, { QStringLiteral("--strip-all"), copy });
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(QFileInfo(copy).size() < QFileInfo(QStringLiteral(PRAVIK_SAMPLE_MODULE)).size());

    int error = -1;
    const auto module = TDataModule::Load(copy, &error);
    QVERIFY(module);
    const auto found = FindVersionResource(*module);
    QVERIFY(found);
    QCOMPARE(*found, expected);
}

void tst_VersionResource::moduleFileNames()
{
    const QString exe = ApplicationFileName();
    QVERIFY(QFileInfo(exe).isAbsolute());
    QCOMPARE(ModuleFileNameOf(reinterpret_cast<const void *>(&ApplicationFileName)), exe);
    const QString qtCore = ModuleFileNameOf(reinterpret_cast<const void *>(&qVersion));
    QVERIFY2(QFileInfo(qtCore).fileName().startsWith(QLatin1String("libQt6Core.so")), qPrintable(qtCore));
}

QTEST_GUILESS_MAIN(tst_VersionResource)
#include "tst_versionresource.moc"

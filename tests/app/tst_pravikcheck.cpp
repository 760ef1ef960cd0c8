// pravik-check as its users run it: a process with arguments, an exit status, stdout and stderr.

#include "platform/textfile.h"
#include "tests/support/programrun.h"
#include "tests/support/rawtempdir.h"
#include "tests/support/testfiles.h"
#include "validation/validationengine.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <cstdio>
#include <sys/stat.h>

using testsupport::writeAll;

namespace {

using testsupport::Run;
using testsupport::RunOptions;

// Paths in the tests are relative to the source folder, so that outputs do not depend on where it is.
Run runCheck(
    const QStringList &arguments, const QString &workingDirectory = QStringLiteral(PRAVIK_SOURCE_DIR))
{
    RunOptions options;
    options.workingDirectory = workingDirectory;
    return testsupport::runCheck(arguments, options);
}

// runCheck with input on standard input, written and closed before the run is awaited.
Run runCheckWithInput(const QStringList &arguments, const QByteArray &input)
{
    RunOptions options;
    options.workingDirectory = QStringLiteral(PRAVIK_SOURCE_DIR);
    options.input = input;
    return testsupport::runCheck(arguments, options);
}

QString sourcePath(const QString &relative)
{
    return QDir(QStringLiteral(PRAVIK_SOURCE_DIR)).filePath(relative);
}

// What the window shows for a file: its decoded text through the engine's UTF-16 entry, as report lines.
QByteArray windowReport(const QString &relative)
{
    const DecodedText decoded = decodeText(readFileBytes(sourcePath(relative)));
    std::unique_ptr<TXMLParseErrors> errors;
    ValidationEngine::ValidateXML(decoded.text, errors);
    TTaggedLines lines;
    (errors ? *errors : TXMLParseErrors()).ToStrings(lines);
    QByteArray out;
    for (const TTaggedLine &line : std::as_const(lines))
        out += line.text.toUtf8() + '\n';
    return out;
}

QList<QJsonObject> jsonRecords(const QByteArray &out)
{
    QList<QJsonObject> records;
    for (const QByteArray &line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject())
            return {};
        records.append(doc.object());
    }
    return records;
}

// Runs pravik-check in folder with arguments, then one more: a file name made of raw bytes, which
// QProcess could not pass (it encodes arguments as UTF-8), so a shell builds it with printf.
Run runWithRawName(const QString &folder, const QStringList &arguments, const QByteArray &rawName)
{
    QByteArray format;
    for (const char c : rawName)
        format += QByteArray("\\") + QByteArray::number(uchar(c), 8).rightJustified(3, '0');
    RunOptions options;
    options.workingDirectory = folder;
    options.environment = { { QStringLiteral("RAW_NAME_FORMAT"), QString::fromLatin1(format) } };
    options.timeoutMs = 60000;
    return testsupport::runProgram(QStringLiteral("/bin/sh"),
        QStringList { QStringLiteral("-c"),
            QStringLiteral("exec \"$0\" \"$@\" \"$(printf \"$RAW_NAME_FORMAT\")\""),
            QStringLiteral(PRAVIK_CHECK_EXE) }
            + arguments,
        options);
}

const QString kValid = QStringLiteral("examples/valid-credit-transfer.xml");
const QString kInvalid = QStringLiteral("examples/invalid-credit-transfer.xml");
const QString kNotPayment = QStringLiteral("tests/data/checker/not-payment.xml");
const QString kRefusedMessage
    = QStringLiteral(": The file cannot be validated! This file may not be a valid SEPA XML file.");

} // namespace

class TestPravikCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void exitStatus_data();
    void exitStatus();
    void refusesFifoWithoutWaitingForAWriter();
    void saysWhereTheParserStopped_data();
    void saysWhereTheParserStopped();
    void printsHelpAndVersion();
    void printsTheWindowsReport_data();
    void printsTheWindowsReport();
    void headsEachReportWithItsFile();
    void writesJsonRecords();
    void parallelOutputKeepsArgumentOrder_data();
    void parallelOutputKeepsArgumentOrder();
    void sameTextInAnyEncodingGivesSameReport_data();
    void sameTextInAnyEncodingGivesSameReport();
    void declaredEncodingPlaysNoPart_data();
    void declaredEncodingPlaysNoPart();
    void fileNamesThatAreNotUtf8_data();
    void fileNamesThatAreNotUtf8();
    void readsStandardInput_data();
    void readsStandardInput();
    void endlessStandardInputIsRefusedAtTheLimit();
    void writesJUnitReport_data();
    void writesJUnitReport();
    void junitFileBesideTheReport();
    void junitFileThatCannotBeWritten();
    void rulesChangeTheExitStatusOnlyWhenStrict_data();
    void rulesChangeTheExitStatusOnlyWhenStrict();
    void rulesReportFollowsTheSchemaReport();
    void rulesInJsonOnlyWhenAskedFor();
    void rulesSayWhenTheyStoppedAtTheirLimit();
    void warningsBeyondTheLimitHideNoError();
    void junitCarriesRuleFindings_data();
    void junitCarriesRuleFindings();
    void rulesReportKeepsEachFieldOnItsLine();
    void filesCheckedBeforeAreNamed_data();
    void filesCheckedBeforeAreNamed();
};

void TestPravikCheck::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("stderrLine"); // empty: nothing on stderr

    const QString bin = QStringLiteral("pravik-check: ");
    QTest::newRow("valid credit transfer") << QStringList { kValid } << 0 << QString();
    QTest::newRow("valid instant credit transfer")
        << QStringList { QStringLiteral("examples/valid-instant-credit-transfer.xml") } << 0 << QString();
    QTest::newRow("valid direct debit")
        << QStringList { QStringLiteral("examples/valid-direct-debit.xml") } << 0 << QString();
    QTest::newRow("invalid credit transfer") << QStringList { kInvalid } << 1 << QString();
    QTest::newRow("XML of another vocabulary")
        << QStringList { kNotPayment } << 2 << bin + kNotPayment + kRefusedMessage;
    QTest::newRow("older pain version")
        << QStringList { QStringLiteral("tests/data/checker/old-version.xml") } << 2
        << bin + QStringLiteral("tests/data/checker/old-version.xml") + kRefusedMessage;
    QTest::newRow("file cut off at its end")
        << QStringList { QStringLiteral("tests/data/checker/cut-off.xml") } << 2
        << bin + QStringLiteral("tests/data/checker/cut-off.xml") + kRefusedMessage;
    QTest::newRow("missing file") << QStringList { QStringLiteral("missing.xml") } << 2
                                  << bin
            + QStringLiteral("Cannot read \"missing.xml\": the file does not exist.");
    QTest::newRow("folder") << QStringList { QStringLiteral("examples") } << 2
                            << bin + QStringLiteral("Cannot read \"examples\": it is a folder, not a file.");
    QTest::newRow("valid and invalid") << QStringList { kValid, kInvalid } << 1 << QString();
    QTest::newRow("invalid and refused")
        << QStringList { kInvalid, kNotPayment } << 2 << bin + kNotPayment + kRefusedMessage;
    QTest::newRow("missing and valid") << QStringList { QStringLiteral("missing.xml"),
        kValid } << 2 << bin + QStringLiteral("Cannot read \"missing.xml\": the file does not exist.");
    QTest::newRow("no file given") << QStringList { QStringLiteral("--json") } << 2
                                   << bin + QStringLiteral("no file given");
    QTest::newRow("unknown option") << QStringList { QStringLiteral("--strict"), kValid } << 2
                                    << bin + QStringLiteral("unknown option '--strict'");
    QTest::newRow("jobs not a number") << QStringList { QStringLiteral("-j"), QStringLiteral("many"),
        kValid } << 2 << bin + QStringLiteral("'many' is not a number of jobs (1 or more)");
    QTest::newRow("file named like an option after --")
        << QStringList { QStringLiteral("--"), QStringLiteral("--json") } << 2
        << bin + QStringLiteral("Cannot read \"--json\": the file does not exist.");
}

void TestPravikCheck::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, stderrLine);

    const Run run = runCheck(arguments);
    QCOMPARE(run.status, status);
    if (stderrLine.isEmpty())
        QCOMPARE(run.err, QByteArray());
    else
        QCOMPARE(run.err.split('\n').first(), stderrLine.toUtf8());
}

void TestPravikCheck::refusesFifoWithoutWaitingForAWriter()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("payment.xml"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const Run run = runCheck({ fifo });
    QCOMPARE(run.status, 2);
    QCOMPARE(run.err,
        QStringLiteral("pravik-check: Cannot read \"%1\": it is a pipe or socket, not a regular file.\n")
            .arg(fifo)
            .toUtf8());
}

void TestPravikCheck::printsHelpAndVersion()
{
    const Run help = runCheck({ QStringLiteral("--help") });
    QCOMPARE(help.status, 0);
    QVERIFY(help.out.startsWith("Usage: pravik-check [OPTION]... FILE...\n"));
    const Run version = runCheck({ QStringLiteral("--version") });
    QCOMPARE(version.status, 0);
    QCOMPARE(version.out, QByteArray("pravik-check " PRAVIK_VERSION "\n"));
}

void TestPravikCheck::printsTheWindowsReport_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("valid credit transfer") << kValid;
    QTest::newRow("valid direct debit") << QStringLiteral("examples/valid-direct-debit.xml");
    QTest::newRow("invalid credit transfer") << kInvalid;
    QTest::newRow("invalid file in Windows-1252")
        << QStringLiteral("tests/data/checker/encodings/windows-1252.xml");
    QTest::newRow("invalid file in UTF-16 BE") << QStringLiteral("tests/data/checker/encodings/utf16be.xml");
}

void TestPravikCheck::printsTheWindowsReport()
{
    QFETCH(QString, file);
    const Run run = runCheck({ file });
    QCOMPARE(run.out, windowReport(file));
    QCOMPARE(run.err, QByteArray());
}

// The whole output of a run over several files, against a golden file (tests/data/checker/regenerate.sh).
void TestPravikCheck::headsEachReportWithItsFile()
{
    const Run run = runCheck({ kValid, kInvalid, kNotPayment, QStringLiteral("missing.xml"),
        QStringLiteral("examples/valid-direct-debit.xml") });
    QFile golden(sourcePath(QStringLiteral("tests/data/checker/expected/several-files.txt")));
    QVERIFY(golden.open(QIODevice::ReadOnly));
    const QByteArray expected = golden.readAll();
    if (run.out != expected) {
        const QList<QByteArray> got = run.out.split('\n'), want = expected.split('\n');
        for (qsizetype i = 0; i < qMax(got.size(), want.size()); ++i) {
            const QByteArray g = got.value(i, "<end>"), w = want.value(i, "<end>");
            if (g != w)
                QFAIL(qPrintable(QStringLiteral("line %1 differs:\n  got:      %2\n  expected: %3")
                                     .arg(i + 1)
                                     .arg(QString::fromUtf8(g), QString::fromUtf8(w))));
        }
    }
    QCOMPARE(run.status, 2);
    QCOMPARE(run.err,
        QByteArray("pravik-check: ") + kNotPayment.toUtf8() + kRefusedMessage.toUtf8() + '\n'
            + "pravik-check: Cannot read \"missing.xml\": the file does not exist.\n");
}

void TestPravikCheck::writesJsonRecords()
{
    const QString win1252 = QStringLiteral("tests/data/checker/encodings/windows-1252.xml");
    const Run run = runCheck(
        { QStringLiteral("--json"), kValid, kInvalid, kNotPayment, QStringLiteral("missing.xml"), win1252 });
    QCOMPARE(run.status, 2);
    const QList<QJsonObject> records = jsonRecords(run.out);
    QCOMPARE(records.size(), 5);
    QCOMPARE(run.out.count('\n'), 5);

    QCOMPARE(records[0][u"file"].toString(), kValid);
    QCOMPARE(records[0][u"verdict"].toString(), QStringLiteral("valid"));
    QCOMPARE(records[0][u"encoding"].toString(), QStringLiteral("UTF-8"));
    QVERIFY(!records[0].contains(u"message"));
    QCOMPARE(records[0][u"errors"].toArray().size(), 0);

    QCOMPARE(records[2][u"verdict"].toString(), QStringLiteral("refused"));
    QCOMPARE(records[2][u"message"].toString(), kRefusedMessage.mid(2));
    QCOMPARE(records[3][u"verdict"].toString(), QStringLiteral("unreadable"));
    QCOMPARE(records[3][u"message"].toString(),
        QStringLiteral("Cannot read \"missing.xml\": the file does not exist."));
    QVERIFY(!records[3].contains(u"encoding"));
    QCOMPARE(records[4][u"encoding"].toString(), QStringLiteral("Windows-1252"));

    // Every field of every error, against the engine's own list.
    for (const int r : { 1, 4 }) {
        const QString file = records[r][u"file"].toString();
        QCOMPARE(records[r][u"verdict"].toString(), QStringLiteral("invalid"));
        std::unique_ptr<TXMLParseErrors> errors;
        QVERIFY(!ValidationEngine::ValidateXML(decodeText(readFileBytes(sourcePath(file))).text, errors));
        const QJsonArray got = records[r][u"errors"].toArray();
        QCOMPARE(got.size(), errors->size());
        for (qsizetype i = 0; i < got.size(); ++i) {
            const QJsonObject e = got[i].toObject();
            const TXMLParseErrorItem &want = errors->at(i);
            QCOMPARE(e[u"code"].toInteger(), qint64(want.FErrorCode));
            QCOMPARE(e[u"reason"].toString(), want.FReason);
            QCOMPARE(e[u"line"].toInteger(), qint64(want.FLine));
            QCOMPARE(e[u"linepos"].toInteger(), qint64(want.FLinePos));
            QCOMPARE(e[u"filepos"].toInteger(), qint64(want.FFilePos));
            QCOMPARE(e[u"xpath"].toString(), want.FXPath);
            QCOMPARE(e[u"srcText"].toString(), want.FSrcText);
        }
    }
}

void TestPravikCheck::parallelOutputKeepsArgumentOrder_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("report") << QString();
    QTest::newRow("JSON") << QStringLiteral("--json");
}

// Files of very different sizes so that later files finish first when checked in parallel.
void TestPravikCheck::parallelOutputKeepsArgumentOrder()
{
    QFETCH(QString, format);
    QTemporaryDir dir;
    const QByteArray invalid = readFileBytes(sourcePath(kInvalid));
    const qsizetype txStart = invalid.indexOf("<CdtTrfTxInf>"), txEnd = invalid.lastIndexOf("</PmtInf>");
    const QByteArray large
        = invalid.left(txStart) + invalid.mid(txStart, txEnd - txStart).repeated(300) + invalid.mid(txEnd);
    const QByteArray sources[]
        = { large, readFileBytes(sourcePath(kValid)), invalid, readFileBytes(sourcePath(kNotPayment)),
              readFileBytes(sourcePath(QStringLiteral("examples/valid-direct-debit.xml"))) };
    QStringList files;
    for (int i = 0; i < 30; ++i) {
        const QString name = QStringLiteral("file-%1.xml").arg(i, 2, 10, QLatin1Char('0'));
        if (i % 7 == 6) {
            files << QStringLiteral("missing-%1.xml").arg(i); // unreadable, between the others
            continue;
        }
        QVERIFY(writeAll(dir.filePath(name), sources[i % 5]));
        files << name;
    }
    const QStringList base = format.isEmpty() ? QStringList() : QStringList { format };

    const Run serial
        = runCheck(base + QStringList { QStringLiteral("-j"), QStringLiteral("1") } + files, dir.path());
    const Run parallel
        = runCheck(base + QStringList { QStringLiteral("-j"), QStringLiteral("4") } + files, dir.path());
    QCOMPARE(serial.status, 2);
    QCOMPARE(parallel.status, serial.status);
    QVERIFY(parallel.out == serial.out);
    QCOMPARE(parallel.err, serial.err);
    QCOMPARE(serial.out.count(format.isEmpty() ? "==> " : "{\"file\""), qsizetype(files.size()));
}

void TestPravikCheck::sameTextInAnyEncodingGivesSameReport_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("encoding");
    QTest::newRow("UTF-8 with byte-order mark")
        << QStringLiteral("utf8-bom.xml") << QStringLiteral("UTF-8 with BOM");
    QTest::newRow("UTF-16 LE") << QStringLiteral("utf16le.xml") << QStringLiteral("UTF-16 LE");
    QTest::newRow("UTF-16 BE") << QStringLiteral("utf16be.xml") << QStringLiteral("UTF-16 BE");
    QTest::newRow("Windows-1252 with umlauts, dash and euro")
        << QStringLiteral("windows-1252.xml") << QStringLiteral("Windows-1252");
    QTest::newRow("UTF-8 with CR LF line ends") << QStringLiteral("utf8-crlf.xml") << QStringLiteral("UTF-8");
}

void TestPravikCheck::sameTextInAnyEncodingGivesSameReport()
{
    QFETCH(QString, file);
    QFETCH(QString, encoding);
    const QString folder = QStringLiteral("tests/data/checker/encodings/");
    const Run reference = runCheck({ folder + QStringLiteral("utf8.xml") });
    QCOMPARE(reference.status, 1);
    QVERIFY(reference.out.contains("Bäckerei Größer – Brot &amp; Brötchen, Konditorei"));

    const Run run = runCheck({ folder + file });
    QCOMPARE(run.status, reference.status);
    QCOMPARE(QString::fromUtf8(run.out), QString::fromUtf8(reference.out));
    const QList<QJsonObject> records = jsonRecords(runCheck({ QStringLiteral("--json"), folder + file }).out);
    QCOMPARE(records.size(), 1);
    QCOMPARE(records[0][u"encoding"].toString(), encoding);
}

void TestPravikCheck::declaredEncodingPlaysNoPart_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("Windows-1252 declared as such") << QStringLiteral("declared-windows-1252.xml");
    QTest::newRow("UTF-16 declared as such") << QStringLiteral("declared-utf16le.xml");
}

// The declaration line differs in length, so only the verdict and the errors' lines are compared.
void TestPravikCheck::declaredEncodingPlaysNoPart()
{
    QFETCH(QString, file);
    const QString folder = QStringLiteral("tests/data/checker/encodings/");
    const QList<QJsonObject> reference
        = jsonRecords(runCheck({ QStringLiteral("--json"), folder + QStringLiteral("utf8.xml") }).out);
    const QList<QJsonObject> records = jsonRecords(runCheck({ QStringLiteral("--json"), folder + file }).out);
    QCOMPARE(reference.size(), 1);
    QCOMPARE(records.size(), 1);
    QCOMPARE(records[0][u"verdict"].toString(), reference[0][u"verdict"].toString());
    const QJsonArray got = records[0][u"errors"].toArray(), want = reference[0][u"errors"].toArray();
    QCOMPARE(got.size(), want.size());
    for (qsizetype i = 0; i < got.size(); ++i) {
        QCOMPARE(got[i][u"line"].toInt(), want[i][u"line"].toInt());
        QCOMPARE(got[i][u"reason"].toString(), want[i][u"reason"].toString());
    }
}

void TestPravikCheck::fileNamesThatAreNotUtf8_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out"); // expected in stdout, with NAME for the raw name
    QTest::addColumn<QByteArray>("err"); // expected in stderr, with NAME for the raw name
    QTest::newRow("checked and named in the header as given")
        << QStringList { sourcePath(kValid) } << true << 0 << QByteArray("\n==> NAME <==\nXML is valid")
        << QByteArray();
    QTest::newRow("missing file named as given")
        << QStringList() << false << 2 << QByteArray()
        << QByteArray("Cannot read \"NAME\": the file does not exist.");
    QTest::newRow("JSON gives the name's bytes")
        << QStringList { QStringLiteral("--json") } << true << 0
        << QByteArray("\"file\":\"\xC3\x9C\xEF\xBF\xBD"
                      "berweisung.xml\",\"fileBytes\":\"w5zcYmVyd2Vpc3VuZy54bWw=\"")
        << QByteArray();
}

void TestPravikCheck::fileNamesThatAreNotUtf8()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, exists);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    // "Ü" in UTF-8, then "Ü" in Latin-1 (0xDC), which is no UTF-8.
    const QByteArray rawName = "\xC3\x9C\xDC"
                               "berweisung.xml";
    testsupport::RawTemporaryDir dir;
    if (exists) {
        std::FILE *f = std::fopen((QFile::encodeName(dir.path()) + '/' + rawName).constData(), "wb");
        QVERIFY(f);
        const QByteArray text = readFileBytes(sourcePath(kValid));
        std::fwrite(text.constData(), 1, size_t(text.size()), f);
        std::fclose(f);
    }
    const Run run = runWithRawName(dir.path(), arguments, rawName);
    QCOMPARE(run.status, status);
    QVERIFY2(run.out.contains(QByteArray(out).replace("NAME", rawName)), run.out.constData());
    QVERIFY2(run.err.contains(QByteArray(err).replace("NAME", rawName)), run.err.constData());
}

void TestPravikCheck::readsStandardInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("input"); // a file whose bytes go to standard input; empty: none
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out"); // "<report>": the window's report of input
    QTest::addColumn<QByteArray>("err");

    const QByteArray refused = "pravik-check: <stdin>" + kRefusedMessage.toUtf8() + '\n';
    QTest::newRow("valid document") << QStringList { QStringLiteral("-") } << kValid << 0
                                    << QByteArray("<report>") << QByteArray();
    QTest::newRow("invalid document")
        << QStringList { QStringLiteral("-") } << kInvalid << 1 << QByteArray("<report>") << QByteArray();
    QTest::newRow("invalid document in UTF-16 BE")
        << QStringList { QStringLiteral("-") } << QStringLiteral("tests/data/checker/encodings/utf16be.xml")
        << 1 << QByteArray("<report>") << QByteArray();
    QTest::newRow("XML of another vocabulary")
        << QStringList { QStringLiteral("-") } << kNotPayment << 2 << QByteArray("") << refused;
    QTest::newRow("document cut off at its end")
        << QStringList { QStringLiteral("-") } << QStringLiteral("tests/data/checker/cut-off.xml") << 2
        << QByteArray("")
        << refused
            + "pravik-check: <stdin>: line 5, position 21: Premature end of data in tag MsgId line 5\n";
    QTest::newRow("no input at all") << QStringList { QStringLiteral("-") } << QString() << 2
                                     << QByteArray("") << refused;
    QTest::newRow("beside a file, headed <stdin>")
        << QStringList { kValid, QStringLiteral("-") } << kNotPayment << 2
        << QByteArray("==> examples/valid-credit-transfer.xml <==\nXML is valid according the schema.\n\n"
                      "==> <stdin> <==\n")
        << refused;
    QTest::newRow("JSON names it <stdin>")
        << QStringList { QStringLiteral("--json"), QStringLiteral("-") } << kValid << 0
        << QByteArray("{\"file\":\"<stdin>\",\"verdict\":\"valid\",\"encoding\":\"UTF-8\",\"errors\":[]}\n")
        << QByteArray();
    QTest::newRow("a file named - after ./")
        << QStringList { QStringLiteral("./-") } << kValid << 2 << QByteArray("")
        << QByteArray("pravik-check: Cannot read \"./-\": the file does not exist.\n");
}

void TestPravikCheck::readsStandardInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, input);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);

    const QByteArray bytes = input.isEmpty() ? QByteArray() : readFileBytes(sourcePath(input));
    const Run run = runCheckWithInput(arguments, bytes);
    QCOMPARE(run.err, err);
    QCOMPARE(run.status, status);
    QCOMPARE(run.out, out == "<report>" ? windowReport(input) : out);
}

// An endless pipe is read only up to the size limit of files, then refused: the run ends.
void TestPravikCheck::endlessStandardInputIsRefusedAtTheLimit()
{
    RunOptions options;
    options.timeoutMs = 120000;
    const Run run = testsupport::runProgram(QStringLiteral("/bin/sh"),
        { QStringLiteral("-c"), QStringLiteral("yes '<Document/>' | \"$0\" -"),
            QStringLiteral(PRAVIK_CHECK_EXE) },
        options);
    QCOMPARE(run.status, 2);
    QCOMPARE(run.err,
        QStringLiteral(
            "pravik-check: Cannot read \"<stdin>\": the input is too large (at most %1 bytes can be read).\n")
            .arg(MaxTextFileBytes)
            .toUtf8());
    QCOMPARE(run.out, QByteArray());
}

namespace {

// A JUnit report read back: the suite's counts and, per test case, its name and children.
struct JUnitCase
{
    QString name;
    QStringList failures; // type and message of each
    QStringList errors;
    QString output; // of <system-out>
};

struct JUnitRead
{
    QString error; // the parser's, or a shape that is not JUnit's
    QMap<QString, QString> suites; // testsuites' counts
    QMap<QString, QString> suite; // testsuite's counts
    QList<JUnitCase> cases;
};

JUnitRead readJUnit(const QByteArray &xml)
{
    JUnitRead read;
    QXmlStreamReader r(xml);
    auto counts = [&](QMap<QString, QString> &into) {
        for (const char *key : { "tests", "failures", "errors", "name" })
            into[QString::fromLatin1(key)] = r.attributes().value(QLatin1StringView(key)).toString();
    };
    if (!r.readNextStartElement() || r.name() != u"testsuites")
        return { QStringLiteral("no <testsuites> root"), {}, {}, {} };
    counts(read.suites);
    if (!r.readNextStartElement() || r.name() != u"testsuite")
        return { QStringLiteral("no <testsuite> in <testsuites>"), {}, {}, {} };
    counts(read.suite);
    while (r.readNextStartElement()) {
        if (r.name() != u"testcase")
            return { QStringLiteral("<%1> in <testsuite>").arg(r.name()), {}, {}, {} };
        JUnitCase c;
        c.name = r.attributes().value(QLatin1StringView("name")).toString();
        if (r.attributes().value(QLatin1StringView("classname")).isEmpty()
            || r.attributes().value(QLatin1StringView("time")).isEmpty())
            return { QStringLiteral("test case without classname or time"), {}, {}, {} };
        // The common JUnit schema (Jenkins, GitLab) allows these attributes of a test case and no other.
        for (const QXmlStreamAttribute &a : r.attributes()) {
            static const QStringList allowed = { QStringLiteral("name"), QStringLiteral("classname"),
                QStringLiteral("time"), QStringLiteral("assertions"), QStringLiteral("status") };
            if (!allowed.contains(a.name().toString()))
                return { QStringLiteral("test case with the attribute %1").arg(a.name()), {}, {}, {} };
        }
        while (r.readNextStartElement()) {
            const QString entry = r.attributes().value(QLatin1StringView("type")).toString() + u' '
                + r.attributes().value(QLatin1StringView("message")).toString();
            if (r.name() == u"failure")
                c.failures << entry;
            else if (r.name() == u"error")
                c.errors << entry;
            else if (r.name() != u"system-out")
                return { QStringLiteral("<%1> in <testcase>").arg(r.name()), {}, {}, {} };
            if (r.name() == u"system-out") {
                c.output = r.readElementText();
                continue;
            }
            // In the schema's sequence failures and errors come before the output.
            if (!c.output.isEmpty())
                return { QStringLiteral("<%1> after <system-out>").arg(r.name()), {}, {}, {} };
            r.skipCurrentElement();
        }
        read.cases << c;
    }
    if (r.hasError())
        read.error = r.errorString();
    return read;
}

} // namespace

void TestPravikCheck::saysWhereTheParserStopped_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line"); // 0: the refusal has no place
    QTest::addColumn<int>("linePos");
    QTest::addColumn<QString>("words"); // a part of the parser's message

    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\">\n"
                            "  <CstmrCdtTrfInitn>\n";
    QTest::newRow("end tag with a typo") << head
            + "    <GrpHdr>\n      <MsgId>M-1</MsgIdd>\n    </GrpHdr>\n  </CstmrCdtTrfInitn>\n</Document>\n"
                                         << 5 << 26 << QStringLiteral("MsgIdd");
    QTest::newRow("file cut off inside an element")
        << head + "    <GrpHdr>\n      <MsgId>CUT" << 5 << 17 << QStringLiteral("MsgId");
    // Refused by the look for the namespace, before the parser that reports places starts.
    QTest::newRow("document type declaration, refused unread")
        << QByteArray("<?xml version=\"1.0\"?>\n<!DOCTYPE Document [<!ENTITY n \"x\">]>\n") + head.mid(22)
            + "  </CstmrCdtTrfInitn>\n</Document>\n"
        << 0 << 0 << QString();
    QTest::newRow("one line with a typo")
        << QByteArray("<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\"><CstmrCdtTrfInitn>"
                      "</CstmrCdtTrfInitm></Document>")
        << 1 << 103 << QStringLiteral("CstmrCdtTrfInitm");
    QTest::newRow("no namespace") << QByteArray("<Document><A></B></Document>") << 0 << 0 << QString();
}

// The refusal line stays as it is; the parser's words and place follow it on stderr, and go into the
// JSON record and the JUnit error.
void TestPravikCheck::saysWhereTheParserStopped()
{
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QFETCH(int, linePos);
    QFETCH(QString, words);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("broken.xml"));
    QVERIFY(writeAll(file, text));
    const QString refusal = QStringLiteral("pravik-check: ") + file + kRefusedMessage;

    const Run run = runCheck({ file });
    QCOMPARE(run.status, 2);
    const QList<QByteArray> err = run.err.split('\n');
    QCOMPARE(err.first(), refusal.toUtf8());
    const QJsonObject record = jsonRecords(runCheck({ QStringLiteral("--json"), file }).out).value(0);
    QCOMPARE(record[u"verdict"].toString(), QStringLiteral("refused"));
    QCOMPARE(record[u"message"].toString(), kRefusedMessage.mid(2));
    const Run junit = runCheck({ QStringLiteral("--format"), QStringLiteral("junit"), file });
    const QString junitError = readJUnit(junit.out).cases.value(0).errors.value(0);
    if (line == 0) {
        QCOMPARE(err.size(), 2); // the refusal and the final line break
        QVERIFY(!record.contains(u"stop"));
        QCOMPARE(junitError, QStringLiteral("refused ") + kRefusedMessage.mid(2));
        return;
    }

    QCOMPARE(err.size(), 3);
    const QString where = QStringLiteral("line %1, position %2: ").arg(line).arg(linePos);
    const QString detail = QString::fromUtf8(err.at(1));
    QVERIFY2(detail.startsWith(QStringLiteral("pravik-check: ") + file + QStringLiteral(": ") + where),
        qPrintable(detail));
    QVERIFY2(detail.contains(words), qPrintable(detail));

    const QJsonObject stop = record[u"stop"].toObject();
    QCOMPARE(stop[u"line"].toInt(), line);
    QCOMPARE(stop[u"linePos"].toInt(), linePos);
    const QString message = stop[u"message"].toString();
    QCOMPARE(detail.section(where, 1), message);
    // filePos counts the text joined by CR LF from 0, as the errors' positions do.
    const QList<QByteArray> lines = text.split('\n');
    qsizetype lineStart = 0;
    for (int i = 0; i < line - 1; ++i)
        lineStart += lines.at(i).size() + 2;
    QCOMPARE(stop[u"filePos"].toInt(), lineStart + linePos - 1);

    QCOMPARE(junitError,
        QStringLiteral("refused ") + kRefusedMessage.mid(2)
            + QStringLiteral(" Line %1, position %2: %3").arg(line).arg(linePos).arg(message));
}

void TestPravikCheck::writesJUnitReport_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("status");

    QTest::newRow("one valid file") << QStringList { kValid } << 0;
    QTest::newRow("one invalid file") << QStringList { kInvalid } << 1;
    QTest::newRow("valid, invalid, refused and missing") << QStringList { kValid, kInvalid, kNotPayment,
        QStringLiteral("missing.xml"), QStringLiteral("tests/data/checker/encodings/windows-1252.xml") }
                                                         << 2;
}

// Against the JSON records of the same files: one test case per file, one failure per error.
void TestPravikCheck::writesJUnitReport()
{
    QFETCH(QStringList, files);
    QFETCH(int, status);

    const Run run = runCheck(QStringList { QStringLiteral("--format"), QStringLiteral("junit") } + files);
    QCOMPARE(run.status, status);
    const JUnitRead junit = readJUnit(run.out);
    QVERIFY2(junit.error.isEmpty(), qPrintable(junit.error));
    const QList<QJsonObject> records
        = jsonRecords(runCheck(QStringList { QStringLiteral("--json") } + files).out);
    QCOMPARE(records.size(), files.size());
    QCOMPARE(junit.cases.size(), files.size());

    int failed = 0, broken = 0;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const JUnitCase &c = junit.cases[i];
        const QJsonObject &record = records[i];
        QCOMPARE(c.name, files[i]);
        const QString verdict = record[u"verdict"].toString();
        if (verdict == u"refused" || verdict == u"unreadable") {
            ++broken;
            QCOMPARE(c.errors, QStringList { verdict + u' ' + record[u"message"].toString() });
            QCOMPARE(c.failures, QStringList());
            continue;
        }
        QStringList expected;
        for (const QJsonValue &e : record[u"errors"].toArray()) {
            const QJsonObject o = e.toObject();
            expected << QStringLiteral("%1 Line %2, position %3: %4")
                            .arg(o[u"code"].toInteger())
                            .arg(o[u"line"].toInteger())
                            .arg(o[u"linepos"].toInteger())
                            .arg(o[u"reason"].toString());
        }
        failed += expected.isEmpty() ? 0 : 1;
        QCOMPARE(c.failures, expected);
        QCOMPARE(c.errors, QStringList());
    }
    for (const auto &counts : { junit.suites, junit.suite }) {
        QCOMPARE(counts[QStringLiteral("name")], QStringLiteral("pravik-check"));
        QCOMPARE(counts[QStringLiteral("tests")].toInt(), files.size());
        QCOMPARE(counts[QStringLiteral("failures")].toInt(), failed);
        QCOMPARE(counts[QStringLiteral("errors")].toInt(), broken);
    }
}

// The report goes to stdout unchanged and the same JUnit report to the file; standard input too.
void TestPravikCheck::junitFileBesideTheReport()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("junit.xml"));
    const Run run = runCheckWithInput({ QStringLiteral("--junit"), file, kInvalid, QStringLiteral("-") },
        readFileBytes(sourcePath(kValid)));
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.out,
        "==> " + kInvalid.toUtf8() + " <==\n" + windowReport(kInvalid) + "\n==> <stdin> <==\n"
            + windowReport(kValid));
    const JUnitRead junit = readJUnit(testsupport::readAll(file));
    QVERIFY2(junit.error.isEmpty(), qPrintable(junit.error));
    QCOMPARE(junit.cases.size(), 2);
    QCOMPARE(junit.cases[1].name, QStringLiteral("<stdin>"));
    QVERIFY(!junit.cases[0].failures.isEmpty());
    QVERIFY(junit.cases[1].failures.isEmpty() && junit.cases[1].errors.isEmpty());
}

void TestPravikCheck::junitFileThatCannotBeWritten()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("no-such-folder/junit.xml"));
    const Run run = runCheck({ QStringLiteral("--junit"), file, kValid });
    QCOMPARE(run.status, 2);
    QCOMPARE(run.out, windowReport(kValid)); // the report itself is still written
    QVERIFY2(run.err.startsWith("pravik-check: ") && run.err.contains(file.toUtf8()), run.err.constData());
    QVERIFY(!QFile::exists(file));
}

void TestPravikCheck::rulesChangeTheExitStatusOnlyWhenStrict_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    const QString ruleError = QStringLiteral("tests/data/sepa/ct-iban-mistyped.xml");
    const QString ruleWarning = QStringLiteral("tests/data/sepa/ct-end-to-end-twice.xml");
    const QString rules = QStringLiteral("--rules"), strict = QStringLiteral("--rules-strict");
    QTest::newRow("finding of severity error, rules not asked for") << QStringList { ruleError } << 0;
    QTest::newRow("finding of severity error with --rules") << QStringList { rules, ruleError } << 0;
    QTest::newRow("finding of severity error with --rules-strict") << QStringList { strict, ruleError } << 1;
    QTest::newRow("only a warning with --rules-strict") << QStringList { strict, ruleWarning } << 0;
    QTest::newRow("valid file without findings with --rules-strict") << QStringList { strict, kValid } << 0;
    QTest::newRow("refused file with --rules-strict") << QStringList { strict, ruleError, kNotPayment } << 2;
}

void TestPravikCheck::rulesChangeTheExitStatusOnlyWhenStrict()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QCOMPARE(runCheck(arguments).status, status);
}

void TestPravikCheck::rulesReportFollowsTheSchemaReport()
{
    const QString file = QStringLiteral("tests/data/sepa/ct-iban-mistyped.xml");
    const Run plain = runCheck({ file });
    QCOMPARE(plain.out, QByteArray("XML is valid according the schema.\n"));
    const Run run = runCheck({ QStringLiteral("--rules"), file });
    QCOMPARE(run.err, QByteArray());
    // Line 69, position 13: the IBAN's start tag; its offset counts every line break as CR LF.
    const QByteArray expected
        = "XML is valid according the schema.\n"
          "\n"
          "SEPA rules: 1 finding (1 error, 0 warnings)\n"
          "----------------------------------------------------------------------\n"
          "Rule: IBAN-CHECKDIGITS\n"
          "Severity: error\n"
          "Reason: IBAN DE19200500600098765423: the check digits are wrong (remainder modulo 97 "
          "is 49, not 1); it is probably mistyped.\n"
          "Grund: IBAN DE19200500600098765423: Die Prüfziffern stimmen nicht (Rest modulo 97 "
          "ist 49 statt 1); vermutlich ist sie vertippt.\n"
          "SrcText: <IBAN>DE19200500600098765423</IBAN>\n"
          "Line: 69\n"
          "LinePos: 13\n"
          "FilePos: 1901\n";
    QCOMPARE(run.out, expected);
    // Counted apart: UTF-16 units before the tag, one more per line break of this LF file.
    const QString text = QString::fromUtf8(testsupport::readAll(sourcePath(file)));
    const qsizetype at = text.indexOf(QStringLiteral("<IBAN>DE19200500600098765423"));
    QCOMPARE(text.left(at).count(u'\n') + 1, 69);
    QCOMPARE(at + text.left(at).count(u'\n'), 1901);

    const Run clean = runCheck({ QStringLiteral("--rules"), kValid });
    QCOMPARE(clean.out, QByteArray("XML is valid according the schema.\n\nSEPA rules: no findings.\n"));
}

void TestPravikCheck::rulesInJsonOnlyWhenAskedFor()
{
    const QString file = QStringLiteral("tests/data/sepa/ct-end-to-end-twice.xml");
    const QList<QJsonObject> plain
        = jsonRecords(runCheck({ QStringLiteral("--json"), file, kNotPayment }).out);
    QCOMPARE(plain.size(), 2);
    QVERIFY(!plain[0].contains(u"rules"));
    const QList<QJsonObject> records = jsonRecords(
        runCheck({ QStringLiteral("--json"), QStringLiteral("--rules"), file, kNotPayment }).out);
    QCOMPARE(records.size(), 2);
    QVERIFY(!records[1].contains(u"rules")); // a refused file reaches no rule
    const QJsonArray rules = records[0][u"rules"].toArray();
    QCOMPARE(rules.size(), 1);
    const QJsonObject f = rules[0].toObject();
    QCOMPARE(f[u"code"].toString(), QStringLiteral("DUPLICATE-ENDTOENDID"));
    QCOMPARE(f[u"severity"].toString(), QStringLiteral("warning"));
    QCOMPARE(f[u"line"].toInteger(), 79);
    QCOMPARE(f[u"linepos"].toInteger(), 11);
    QCOMPARE(f[u"filepos"].toInteger(), 2195);
    QCOMPARE(f[u"srcText"].toString(), QStringLiteral("<EndToEndId>RE-2026-4711</EndToEndId>"));
    QVERIFY(f[u"reason"].toString().contains(QStringLiteral("line 50")));
    QVERIFY(f[u"grund"].toString().contains(QStringLiteral("Zeile 50")));
}
void TestPravikCheck::rulesSayWhenTheyStoppedAtTheirLimit()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray text = "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09\">";
    for (int i = 0; i < 10001; ++i)
        text += "<Nm>under_score</Nm>\n";
    text += "</Document>";
    const QString file = dir.filePath(QStringLiteral("many-findings.xml"));
    QVERIFY(writeAll(file, text));

    const QList<QByteArray> lines = runCheck({ QStringLiteral("--rules"), file }).out.split('\n');
    QVERIFY(
        lines.contains("SEPA rules: 10001 findings (10001 errors, 0 warnings); 1 not listed, the list keeps "
                       "errors before warnings"));
    const QList<QJsonObject> records
        = jsonRecords(runCheck({ QStringLiteral("--json"), QStringLiteral("--rules"), file }).out);
    QCOMPARE(records.size(), 1);
    QCOMPARE(records[0][u"rules"].toArray().size(), 10000);
    QCOMPARE(records[0][u"rulesStoppedEarly"].toBool(), true);
    QCOMPARE(records[0][u"rulesUnlisted"].toInteger(), 1);
    QCOMPARE(records[0][u"rulesErrors"].toInteger(), 10001);
    // One finding fewer than the limit: nothing stopped.
    text.replace(text.lastIndexOf("<Nm>under_score</Nm>"), 20, "<Nm>fine</Nm>");
    text.replace(text.lastIndexOf("<Nm>under_score</Nm>"), 20, "<Nm>fine</Nm>");
    QVERIFY(writeAll(file, text));
    const QList<QJsonObject> fewer
        = jsonRecords(runCheck({ QStringLiteral("--json"), QStringLiteral("--rules"), file }).out);
    QCOMPARE(fewer[0][u"rules"].toArray().size(), 9999);
    QVERIFY(!fewer[0].contains(u"rulesStoppedEarly"));
}

// Many warnings before the one error of the file: the error still decides the exit status.
void TestPravikCheck::warningsBeyondTheLimitHideNoError()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray example = testsupport::readAll(sourcePath(kValid));
    const qsizetype txStart = example.indexOf("<CdtTrfTxInf>");
    const qsizetype txEnd = example.indexOf("</CdtTrfTxInf>") + qsizetype(sizeof("</CdtTrfTxInf>") - 1);
    const qsizetype lastEnd = example.lastIndexOf("</CdtTrfTxInf>") + qsizetype(sizeof("</CdtTrfTxInf>") - 1);
    const QByteArray transaction = example.mid(txStart, txEnd - txStart); // 2480.00, end-to-end RE-2026-4711
    const int count = 10002;
    QByteArray body;
    for (int i = 0; i < count; ++i)
        body += i + 1 < count
            ? transaction
            : QByteArray(transaction).replace("DE19200500600098765432", "DE19200500600098765423");
    QByteArray text = example.left(txStart) + body + example.mid(lastEnd);
    const QByteArray sum = QByteArray::number(2480 * count) + ".00";
    text.replace("<NbOfTxs>3</NbOfTxs>", "<NbOfTxs>" + QByteArray::number(count) + "</NbOfTxs>");
    text.replace("<CtrlSum>4321.55</CtrlSum>", "<CtrlSum>" + sum + "</CtrlSum>");
    const QString file = dir.filePath(QStringLiteral("many-warnings.xml"));
    QVERIFY(writeAll(file, text));

    const Run run = runCheck({ QStringLiteral("--rules-strict"), file });
    QCOMPARE(run.status, 1);
    QVERIFY2(run.out.startsWith("XML is valid according the schema.\n"), run.out.left(300).constData());
    // Each repetition of the end-to-end id is a warning, and the same payment made 10,001 times one more.
    const QByteArray expectedCount = "SEPA rules: " + QByteArray::number(count + 1) + " findings (1 error, "
        + QByteArray::number(count) + " warnings); 3 not listed, the list keeps errors before warnings\n";
    QVERIFY2(run.out.contains(expectedCount), run.out.left(400).constData());
    QVERIFY(run.out.contains("Rule: IBAN-CHECKDIGITS\n"));
}

void TestPravikCheck::junitCarriesRuleFindings_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("failures");
    QTest::addColumn<QString>("inOutput");
    const QString ruleError = QStringLiteral("tests/data/sepa/ct-iban-mistyped.xml");
    const QString ruleWarning = QStringLiteral("tests/data/sepa/ct-end-to-end-twice.xml");
    const QString junit = QStringLiteral("--format=junit");
    QTest::newRow("strict run with a rule error")
        << QStringList { QStringLiteral("--rules-strict"), junit, ruleError } << 1
        << QStringList { QStringLiteral(
               "IBAN-CHECKDIGITS Line 69, position 13: IBAN DE19200500600098765423: the "
               "check digits are wrong (remainder modulo 97 is 49, not 1); it is "
               "probably mistyped.") }
        << QStringLiteral("Rule: IBAN-CHECKDIGITS");
    QTest::newRow("rules without strict, a rule error") << QStringList { QStringLiteral("--rules"), junit,
        ruleError } << 0 << QStringList() << QStringLiteral("Rule: IBAN-CHECKDIGITS");
    QTest::newRow("strict run with only a warning") << QStringList { QStringLiteral("--rules-strict"), junit,
        ruleWarning } << 0 << QStringList() << QStringLiteral("Rule: DUPLICATE-ENDTOENDID");
    QTest::newRow("schema only") << QStringList { junit, ruleError } << 0 << QStringList() << QString();
}

void TestPravikCheck::junitCarriesRuleFindings()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QStringList, failures);
    QFETCH(QString, inOutput);
    const Run run = runCheck(arguments);
    QCOMPARE(run.status, status);
    const JUnitRead junit = readJUnit(run.out);
    QVERIFY2(junit.error.isEmpty(), qPrintable(junit.error));
    QCOMPARE(junit.cases.size(), 1);
    QCOMPARE(junit.cases[0].failures, failures);
    // The report fails exactly when the exit status does.
    QCOMPARE(junit.suite[QStringLiteral("failures")].toInt(), status);
    QCOMPARE(junit.suites[QStringLiteral("failures")].toInt(), status);
    if (inOutput.isEmpty())
        QCOMPARE(junit.cases[0].output, QString());
    else
        QVERIFY2(junit.cases[0].output.contains(inOutput), qPrintable(junit.cases[0].output));
}

// A line break in a value ends up in a finding's texts; the report still has nine lines per finding.
void TestPravikCheck::rulesReportKeepsEachFieldOnItsLine()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray text = testsupport::readAll(sourcePath(kValid));
    text.replace("<EndToEndId>KD-88213-2026-12", "<EndToEndId>RE-2026-4711");
    text.replace("<BICFI>BEISDEMMXXX</BICFI>", "<BICFI>BEIS\nDEMM\tXXX</BICFI>");
    const QString file = dir.filePath(QStringLiteral("break-in-bic.xml"));
    QVERIFY(writeAll(file, text));
    const Run run = runCheck({ QStringLiteral("--rules"), file });
    const QByteArray rules = run.out.mid(run.out.indexOf("SEPA rules:"));
    const QList<QByteArray> lines = rules.split('\n');
    const qsizetype findings = rules.count("Rule: ");
    QVERIFY2(findings >= 2, rules.constData());
    QCOMPARE(lines.size(), 1 + 9 * findings + 1); // the count's line, nine per finding, the last end
    QVERIFY2(rules.contains("Reason: BIC BEIS\\nDEMM\\tXXX is not made of"), rules.constData());
    QVERIFY2(rules.contains("Grund: BIC BEIS\\nDEMM\\tXXX ist nicht"), rules.constData());
}

void TestPravikCheck::filesCheckedBeforeAreNamed_data()
{
    QTest::addColumn<QStringList>("second");
    QTest::addColumn<bool>("warned");
    QTest::newRow("the same file checked again") << QStringList { QStringLiteral("--rules"), kValid } << true;
    QTest::newRow("the same file checked again without the history")
        << QStringList { QStringLiteral("--rules"), QStringLiteral("--no-history"), kValid } << false;
    QTest::newRow("another file") << QStringList { QStringLiteral("--rules"),
        QStringLiteral("examples/valid-direct-debit.xml") }
                                  << false;
}

void TestPravikCheck::filesCheckedBeforeAreNamed()
{
    QFETCH(QStringList, second);
    QFETCH(bool, warned);
    QTemporaryDir settings;
    QVERIFY(settings.isValid());
    auto check = [&](const QStringList &arguments) {
        RunOptions options;
        options.workingDirectory = QStringLiteral(PRAVIK_SOURCE_DIR);
        options.environment = { { QStringLiteral("PRAVIK_SETTINGS_DIR"), settings.path() } };
        options.unset = { QStringLiteral("PRAVIK_NO_HISTORY") };
        return testsupport::runCheck(arguments, options);
    };
    const Run first = check({ QStringLiteral("--rules"), kValid });
    QCOMPARE(first.status, 0);
    QCOMPARE(first.err, QByteArray());
    QVERIFY(first.out.endsWith("SEPA rules: no findings.\n"));
    QVERIFY(QFile::exists(settings.filePath(QStringLiteral("check-history.json"))));
    // Only the MsgId, a hash of the payments and the time are kept, nothing else of the file.
    const QByteArray stored = testsupport::readAll(settings.filePath(QStringLiteral("check-history.json")));
    QVERIFY(stored.contains("LINDENHOF-SCT-20261210-001"));
    QVERIFY(!stored.contains("DE19200500600098765432") && !stored.contains("Lindenhof"));

    const Run again = check(second);
    QCOMPARE(again.status, 0);
    QCOMPARE(again.out.contains("Rule: MSGID-CHECKED-BEFORE\n"), warned);
}

QTEST_GUILESS_MAIN(TestPravikCheck)
#include "tst_pravikcheck.moc"

// The checker's parts in-process: its command line, its ordered parallel runner and its JSON.

#include "checker.h"
#include "checkresult.h"
#include "junitreport.h"
#include "reporter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTest>
#include <QXmlStreamReader>

#include <atomic>
#include <chrono>
#include <thread>

using namespace checker;

Q_DECLARE_METATYPE(checker::FileCheck)

class TestChecker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsesArguments_data();
    void parsesArguments();
    void parsesRulesOptions_data();
    void parsesRulesOptions();
    void refusesBadArguments_data();
    void refusesBadArguments();
    void deliversInOrderWithBoundedLead_data();
    void deliversInOrderWithBoundedLead();
    void jsonKeepsEveryCharacter_data();
    void jsonKeepsEveryCharacter();
    void unlistedErrorsInBothForms();
    void parsesReportFormats_data();
    void parsesReportFormats();
    void junitKeepsEveryCharacter_data();
    void junitKeepsEveryCharacter();
    void junitCountsTestCasesByVerdict();
    void jsonRecordByteForByte_data();
    void jsonRecordByteForByte();
    void junitDocumentByteForByte();
};

void TestChecker::parsesArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("json");
    QTest::addColumn<int>("jobs");

    const QString a = QStringLiteral("a.xml"), b = QStringLiteral("b.xml");
    QTest::newRow("files only") << QStringList { a, b } << QStringList { a, b } << false << 0;
    QTest::newRow("JSON after the files")
        << QStringList { a, QStringLiteral("--json") } << QStringList { a } << true << 0;
    QTest::newRow("jobs as separate argument")
        << QStringList { QStringLiteral("-j"), QStringLiteral("3"), a } << QStringList { a } << false << 3;
    QTest::newRow("jobs joined to -j")
        << QStringList { QStringLiteral("-j12"), a } << QStringList { a } << false << 12;
    QTest::newRow("long jobs option with =")
        << QStringList { QStringLiteral("--jobs=2"), a } << QStringList { a } << false << 2;
    QTest::newRow("long jobs option separate") << QStringList { QStringLiteral("--jobs"), QStringLiteral("5"),
        a } << QStringList { a } << false << 5;
    QTest::newRow("file names after -- that look like options")
        << QStringList { a, QStringLiteral("--"), QStringLiteral("--json"), QStringLiteral("-j2") }
        << QStringList { a, QStringLiteral("--json"), QStringLiteral("-j2") } << false << 0;
    QTest::newRow("lone dash is a file name")
        << QStringList { QStringLiteral("-") } << QStringList { QStringLiteral("-") } << false << 0;
}

void TestChecker::parsesArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, files);
    QFETCH(bool, json);
    QFETCH(int, jobs);

    Options options;
    QString error;
    QVERIFY2(parseArguments(arguments, options, error), qPrintable(error));
    QCOMPARE(options.files, files);
    QCOMPARE(options.json, json);
    QCOMPARE(options.jobs, jobs);
}

void TestChecker::parsesRulesOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("rules");
    QTest::addColumn<bool>("strict");
    const QString a = QStringLiteral("a.xml");
    QTest::newRow("no rules by default") << QStringList { a } << false << false;
    QTest::newRow("rules") << QStringList { QStringLiteral("--rules"), a } << true << false;
    QTest::newRow("strict rules imply the rules")
        << QStringList { a, QStringLiteral("--rules-strict") } << true << true;
}

void TestChecker::parsesRulesOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, rules);
    QFETCH(bool, strict);
    Options options;
    QString error;
    QVERIFY2(parseArguments(arguments, options, error), qPrintable(error));
    QCOMPARE(options.rules, rules);
    QCOMPARE(options.rulesStrict, strict);
}

void TestChecker::refusesBadArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");

    const QString a = QStringLiteral("a.xml");
    QTest::newRow("no file") << QStringList() << QStringLiteral("no file given");
    QTest::newRow("zero jobs") << QStringList { QStringLiteral("-j"), QStringLiteral("0"), a }
                               << QStringLiteral("'0' is not a number of jobs (1 or more)");
    QTest::newRow("negative jobs") << QStringList { QStringLiteral("--jobs=-3"), a }
                                   << QStringLiteral("'-3' is not a number of jobs (1 or more)");
    QTest::newRow("jobs without number at the end")
        << QStringList { a, QStringLiteral("-j") } << QStringLiteral("option '-j' needs a number of jobs");
    QTest::newRow("unknown long option")
        << QStringList { QStringLiteral("--xml"), a } << QStringLiteral("unknown option '--xml'");
    QTest::newRow("unknown short option")
        << QStringList { QStringLiteral("-x"), a } << QStringLiteral("unknown option '-x'");
}

void TestChecker::refusesBadArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);

    Options options;
    QString got;
    QVERIFY(!parseArguments(arguments, options, got));
    QCOMPARE(got, error);
}

void TestChecker::deliversInOrderWithBoundedLead_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("jobs");

    QTest::newRow("nothing to do") << 0 << 4;
    QTest::newRow("one item on four threads") << 1 << 4;
    QTest::newRow("serial") << 25 << 1;
    QTest::newRow("two threads") << 40 << 2;
    QTest::newRow("more threads than items") << 5 << 16;
    QTest::newRow("eight threads") << 97 << 8;
}

// Early items take longest, so later ones finish first and must wait for their turn.
void TestChecker::deliversInOrderWithBoundedLead()
{
    QFETCH(int, count);
    QFETCH(int, jobs);

    std::atomic<qsizetype> delivered { 0 };
    std::atomic<qsizetype> worstLead { 0 };
    std::atomic<int> running { 0 }, mostRunning { 0 };
    QList<qsizetype> order;
    auto work = [&](qsizetype i) {
        const int now = ++running;
        int seen = mostRunning.load();
        while (now > seen && !mostRunning.compare_exchange_weak(seen, now)) { }
        const qsizetype lead = i - delivered.load();
        qsizetype worst = worstLead.load();
        while (lead > worst && !worstLead.compare_exchange_weak(worst, lead)) { }
        std::this_thread::sleep_for(std::chrono::microseconds(i % 5 == 0 ? 3000 : 100));
        --running;
        return QByteArray::number(i);
    };
    auto deliver = [&](qsizetype i, QByteArray &&result) {
        QCOMPARE(result, QByteArray::number(i));
        order.append(i);
        ++delivered;
    };
    runInOrder<QByteArray>(count, jobs, work, deliver);

    QList<qsizetype> expected;
    for (qsizetype i = 0; i < count; ++i)
        expected.append(i);
    QCOMPARE(order, expected);
    QVERIFY2(mostRunning.load() <= jobs, qPrintable(QString::number(mostRunning.load())));
    QVERIFY2(worstLead.load() < 2 * qMax(jobs, 1) + 1, qPrintable(QString::number(worstLead.load())));
}

void TestChecker::jsonKeepsEveryCharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("quotes and backslashes") << QStringLiteral(R"(Element '{urn:x}Nm': "a\b" \\ \")");
    QTest::newRow("line breaks and tab") << QStringLiteral("first\r\nsecond\nthird\tend");
    QTest::newRow("control characters") << QString::fromUtf16(u"\u0001\u001f\u007f|");
    QTest::newRow("umlauts, euro, emoji") << QStringLiteral(u"Müller – 5 € \U0001F4B6");
    QTest::newRow("line and paragraph separators") << QStringLiteral(u"a\u2028b\u2029c");
}

void TestChecker::jsonKeepsEveryCharacter()
{
    QFETCH(QString, text);
    FileCheck check;
    check.file = text + QStringLiteral(".xml");
    check.verdict = Verdict::Invalid;
    check.read = true;
    check.encoding = TextEncoding::Utf16BE;
    check.errors.append(
        TXMLParseErrorItem::New(QStringLiteral("<Nm>") + text, text, text, -1072897687, 3, 7, 120));

    const QByteArray record = jsonRecord(check);
    QVERIFY(record.endsWith('\n'));
    QCOMPARE(record.count('\n'), 1);
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(record, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(o[u"file"].toString(), check.file);
    QCOMPARE(o[u"verdict"].toString(), QStringLiteral("invalid"));
    QCOMPARE(o[u"encoding"].toString(), QStringLiteral("UTF-16 BE"));
    const QJsonObject e = o[u"errors"].toArray().at(0).toObject();
    QCOMPARE(e[u"reason"].toString(), check.errors[0].FReason);
    QCOMPARE(e[u"xpath"].toString(), text);
    QCOMPARE(e[u"srcText"].toString(), check.errors[0].FSrcText);
    QCOMPARE(e[u"code"].toInteger(), qint64(-1072897687));
    QCOMPARE(e[u"filepos"].toInteger(), qint64(120));
}

void TestChecker::unlistedErrorsInBothForms()
{
    FileCheck check;
    check.file = QStringLiteral("many.xml");
    check.verdict = Verdict::Invalid;
    check.read = true;
    check.errors.append(TXMLParseErrorItem::New(QStringLiteral("<Nm>"), QStringLiteral("r"), {}, 1, 2, 3, 4));
    QVERIFY(!jsonRecord(check).contains("unlisted"));
    QVERIFY(!textReport(check).contains("Not listed"));
    check.errors.FUnlisted = 5000000000;
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(jsonRecord(check), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(o[u"unlisted"].toInteger(), qint64(5000000000));
    const QList<QByteArray> lines = textReport(check).split('\n');
    QCOMPARE(lines.size(), 7 + 1 + 1); // seven lines, the count, and the last line's end
    QCOMPARE(lines[7], QByteArray("Not listed: 5000000000 further errors (the report stops at 1 errors)."));
}

void TestChecker::parsesReportFormats_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::addColumn<bool>("json");
    QTest::addColumn<bool>("junit");
    QTest::addColumn<QString>("junitFile");

    const QString a = QStringLiteral("a.xml");
    QTest::newRow("JUnit format separate")
        << QStringList { QStringLiteral("--format"), QStringLiteral("junit"), a } << QString() << false
        << true << QString();
    QTest::newRow("JSON format with =")
        << QStringList { QStringLiteral("--format=json"), a } << QString() << true << false << QString();
    QTest::newRow("the last format wins")
        << QStringList { QStringLiteral("--format=junit"), QStringLiteral("--json"), a } << QString() << true
        << false << QString();
    QTest::newRow("text format after JSON")
        << QStringList { QStringLiteral("--json"), QStringLiteral("--format=text"), a } << QString() << false
        << false << QString();
    QTest::newRow("JUnit file beside the text report")
        << QStringList { QStringLiteral("--junit"), QStringLiteral("report.xml"), a } << QString() << false
        << false << QStringLiteral("report.xml");
    QTest::newRow("JUnit file with =")
        << QStringList { QStringLiteral("--junit=r.xml"), QStringLiteral("--json"), a } << QString() << true
        << false << QStringLiteral("r.xml");
    QTest::newRow("standard input once")
        << QStringList { a, QStringLiteral("-") } << QString() << false << false << QString();
    QTest::newRow("unknown format") << QStringList { QStringLiteral("--format"), QStringLiteral("xml"), a }
                                    << QStringLiteral("'xml' is not a format (text, json or junit)") << false
                                    << false << QString();
    QTest::newRow("format missing at the end")
        << QStringList { a, QStringLiteral("--format") }
        << QStringLiteral("option '--format' needs a format (text, json or junit)") << false << false
        << QString();
    QTest::newRow("JUnit file missing at the end")
        << QStringList { a, QStringLiteral("--junit") }
        << QStringLiteral("option '--junit' needs a file name") << false << false << QString();
    QTest::newRow("JUnit file on standard output")
        << QStringList { QStringLiteral("--junit"), QStringLiteral("-"), a }
        << QStringLiteral("'-' is not a file for the JUnit report (use --format junit for standard output)")
        << false << false << QString();
    QTest::newRow("standard input twice")
        << QStringList { QStringLiteral("-"), a, QStringLiteral("-") }
        << QStringLiteral("standard input ('-') can be checked only once") << false << false << QString();
}

void TestChecker::parsesReportFormats()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(bool, json);
    QFETCH(bool, junit);
    QFETCH(QString, junitFile);

    Options options;
    QString got;
    QCOMPARE(parseArguments(arguments, options, got), error.isEmpty());
    QCOMPARE(got, error);
    if (error.isEmpty()) {
        QCOMPARE(options.json, json);
        QCOMPARE(options.junit, junit);
        QCOMPARE(options.junitFile, junitFile);
    }
}

void TestChecker::junitKeepsEveryCharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // what a parser gives back

    QTest::newRow("markup characters")
        << QStringLiteral(R"(<Nm a="x"> & 'y' ]]>)") << QStringLiteral(R"(<Nm a="x"> & 'y' ]]>)");
    QTest::newRow("line breaks and tab")
        << QStringLiteral("first\r\nsecond\nthird\tend") << QStringLiteral("first\r\nsecond\nthird\tend");
    QTest::newRow("characters XML cannot hold")
        << QString::fromUtf16(u"a\u0001b\u001f\uffff|") << QStringLiteral("a\\u0001b\\u001f\\uffff|");
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + QStringLiteral("x")
                                    << QStringLiteral("\\ud800x");
    QTest::newRow("umlauts, euro, emoji")
        << QStringLiteral(u"Müller – 5 € \U0001F4B6") << QStringLiteral(u"Müller – 5 € \U0001F4B6");
}

// A report from one test case, parsed back: the reason in the failure's message, the file as the name.
void TestChecker::junitKeepsEveryCharacter()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    FileCheck check;
    check.file = QStringLiteral("a&b<c>\"d\".xml");
    check.verdict = Verdict::Invalid;
    check.read = true;
    check.errors.append(TXMLParseErrorItem::New(text, text, {}, 1871, 3, 7, 120));

    JUnitReport report(QDateTime::currentDateTime());
    report.add(check.verdict, false, junitTestCase(check, 0.25));
    QXmlStreamReader xml(report.document(1.0));
    QString name, message, body;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"testcase")
            name = xml.attributes().value(QLatin1StringView("name")).toString();
        if (xml.name() == u"failure") {
            message = xml.attributes().value(QLatin1StringView("message")).toString();
            body = xml.readElementText();
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(name, check.file);
    QCOMPARE(message, QStringLiteral("Line 3, position 7: ") + expected);
    // The body is the report's lines, whose fields are escaped to stay on one line.
    QVERIFY2(body.startsWith(QStringLiteral("ErrorCode: 1871\nReason: ")), qPrintable(body));
    QCOMPARE(body.count(u'\n'), 6);
}

void TestChecker::junitCountsTestCasesByVerdict()
{
    JUnitReport report(QDateTime(QDate(2026, 3, 1), QTime(9, 30)));
    FileCheck invalid;
    invalid.file = QStringLiteral("invalid.xml");
    invalid.verdict = Verdict::Invalid;
    for (int i = 0; i < 3; ++i)
        invalid.errors.append(TXMLParseErrorItem::New({}, QStringLiteral("r"), {}, 1, i + 1, 1, i));
    invalid.errors.FUnlisted = 7;
    FileCheck refused;
    refused.file = QStringLiteral("refused.xml");
    refused.verdict = Verdict::Refused;
    refused.message = QStringLiteral("The file cannot be validated!");
    FileCheck valid;
    valid.file = QStringLiteral("valid.xml");
    valid.verdict = Verdict::Valid;
    for (const FileCheck *c : { &invalid, &refused, &valid })
        report.add(c->verdict, false, junitTestCase(*c, 0.25));

    QXmlStreamReader xml(report.document(2.5));
    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name().toString(), QStringLiteral("testsuites"));
    QCOMPARE(xml.attributes().value(QLatin1StringView("tests")).toString(), QStringLiteral("3"));
    QCOMPARE(xml.attributes().value(QLatin1StringView("failures")).toString(), QStringLiteral("1"));
    QCOMPARE(xml.attributes().value(QLatin1StringView("errors")).toString(), QStringLiteral("1"));
    QCOMPARE(xml.attributes().value(QLatin1StringView("time")).toString(), QStringLiteral("2.500"));
    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name().toString(), QStringLiteral("testsuite"));
    QCOMPARE(xml.attributes().value(QLatin1StringView("timestamp")).toString(),
        QStringLiteral("2026-03-01T09:30:00"));
    QStringList seen; // element names and key attributes in document order
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == u"testcase")
            seen << QStringLiteral("testcase ") + a.value(QLatin1StringView("name")).toString() + u' '
                    + a.value(QLatin1StringView("time")).toString();
        else if (xml.name() == u"failure")
            seen << QStringLiteral("failure ") + a.value(QLatin1StringView("type")).toString();
        else if (xml.name() == u"error")
            seen << QStringLiteral("error ") + a.value(QLatin1StringView("type")).toString() + u' '
                    + a.value(QLatin1StringView("message")).toString();
        else
            seen << xml.name().toString() + u' ' + xml.readElementText();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(seen,
        QStringList({ QStringLiteral("testcase invalid.xml 0.250"), QStringLiteral("failure 1"),
            QStringLiteral("failure 1"), QStringLiteral("failure 1"),
            QStringLiteral("system-out Not listed: 7 further errors (the report stops at 3 errors)."),
            QStringLiteral("testcase refused.xml 0.250"),
            QStringLiteral("error refused The file cannot be validated!"),
            QStringLiteral("testcase valid.xml 0.250") }));
}

namespace {

// Small checks of each kind a report writes differently, built by hand.
FileCheck invalidCheck()
{
    FileCheck check;
    check.file = QStringLiteral("a.xml");
    check.verdict = Verdict::Invalid;
    check.read = true;
    check.errors.append(TXMLParseErrorItem::New(QStringLiteral("<Nm>x</Nm>"), QStringLiteral("Nm: too long."),
        QStringLiteral("/Document/Nm"), 1871, 3, 7, 120));
    check.errors.FUnlisted = 2;
    return check;
}

FileCheck stoppedCheck()
{
    FileCheck check;
    check.file = QStringLiteral("cut.xml");
    check.verdict = Verdict::Refused;
    check.read = true;
    check.encoding = TextEncoding::Windows1252;
    check.message = QStringLiteral("Not well-formed.");
    check.stop = { QStringLiteral("Premature end of data"), 9, 4, 200 };
    return check;
}

FileCheck retiredCheck()
{
    FileCheck check;
    check.file = QStringLiteral("old.xml");
    check.verdict = Verdict::Refused;
    check.read = true;
    check.message = QStringLiteral("No schema.");
    check.namespaceUri = QStringLiteral("urn:iso:std:iso:20022:tech:xsd:pain.001.001.03");
    check.detail = QStringLiteral("Retired.");
    return check;
}

FileCheck rulesCheck()
{
    FileCheck check;
    check.file = QStringLiteral("r.xml");
    check.verdict = Verdict::Valid;
    check.read = true;
    check.rulesRun = true;
    check.findings.push_back(
        { QStringLiteral("IBAN-CHECK"), sepa::Severity::Error, QStringLiteral("Prüfziffer"),
            QStringLiteral("Check digits"), 5, 9, 80, QStringLiteral("<IBAN>DE00</IBAN>") });
    check.ruleErrors = 1;
    check.ruleWarnings = 3;
    check.rulesUnlisted = 3;
    return check;
}

} // namespace

void TestChecker::jsonRecordByteForByte_data()
{
    QTest::addColumn<FileCheck>("check");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("invalid, with errors left out")
        << invalidCheck()
        << QByteArray(R"({"file":"a.xml","verdict":"invalid","encoding":"UTF-8","errors":[{"code":1871,)"
                      R"("reason":"Nm: too long.","line":3,"linepos":7,"filepos":120,"xpath":"/Document/Nm",)"
                      R"("srcText":"<Nm>x</Nm>"}],"unlisted":2})"
                      "\n");
    QTest::newRow("refused where the parser stopped")
        << stoppedCheck()
        << QByteArray(R"({"file":"cut.xml","verdict":"refused","encoding":"Windows-1252",)"
                      R"("message":"Not well-formed.","stop":{"line":9,"linePos":4,"filePos":200,)"
                      R"("message":"Premature end of data"},"errors":[]})"
                      "\n");
    QTest::newRow("refused as a retired message")
        << retiredCheck()
        << QByteArray(
               R"({"file":"old.xml","verdict":"refused","encoding":"UTF-8","message":"No schema.",)"
               R"("detail":"Retired.","knownMessage":{"id":"pain.001.001.03","kind":"credit transfer",)"
               R"("status":"retired","upgradeTo":"pain.001.001.09"},"errors":[]})"
               "\n");
    QTest::newRow("rules that stopped early")
        << rulesCheck()
        << QByteArray(
               R"({"file":"r.xml","verdict":"valid","encoding":"UTF-8","errors":[],"rules":[)"
               R"({"code":"IBAN-CHECK","severity":"error","reason":"Check digits","grund":"Prüfziffer",)"
               R"("line":5,"linepos":9,"filepos":80,"srcText":"<IBAN>DE00</IBAN>"}],)"
               R"("rulesErrors":1,"rulesWarnings":3,"rulesStoppedEarly":true,"rulesUnlisted":3})"
               "\n");
}

// The keys, their order and their spelling are what programs read: pinned to the byte.
void TestChecker::jsonRecordByteForByte()
{
    QFETCH(FileCheck, check);
    QFETCH(QByteArray, expected);
    const QByteArray got = JsonReporter(false).part(FileOutcome { 0, check, 0.0, {} });
    QCOMPARE(QString::fromUtf8(got), QString::fromUtf8(expected));
}

// The whole document of a strict run over three files, in the order they are added; only the host
// name comes from the machine.
void TestChecker::junitDocumentByteForByte()
{
    JUnitReporter reporter(QDateTime(QDate(2026, 3, 1), QTime(9, 30)), true, false);
    qsizetype index = 0;
    for (const FileCheck &check : { invalidCheck(), stoppedCheck(), rulesCheck() }) {
        const FileOutcome outcome { index++, check, 0.25, {} };
        QCOMPARE(reporter.add(outcome, reporter.part(outcome)), QByteArray());
    }
    const QByteArray expected = R"(<?xml version="1.0" encoding="UTF-8"?>
<testsuites name="pravik-check" tests="3" failures="2" errors="1" time="1.500">
  <testsuite name="pravik-check" tests="3" failures="2" errors="1" skipped="0" time="1.500" timestamp="2026-03-01T09:30:00" hostname="HOST">
    <testcase name="a.xml" classname="pravik-check" time="0.250">
      <failure message="Line 3, position 7: Nm: too long." type="1871">ErrorCode: 1871
Reason: Nm: too long.
SrcText: &lt;Nm&gt;x&lt;/Nm&gt;
Line: 3
LinePos: 7
FilePos: 120
</failure>
      <system-out>Not listed: 2 further errors (the report stops at 1 errors).</system-out>
    </testcase>
    <testcase name="cut.xml" classname="pravik-check" time="0.250">
      <error type="refused" message="Not well-formed. Line 9, position 4: Premature end of data"/>
    </testcase>
    <testcase name="r.xml" classname="pravik-check" time="0.250">
      <failure message="Line 5, position 9: Check digits" type="IBAN-CHECK">Prüfziffer
SrcText: &lt;IBAN&gt;DE00&lt;/IBAN&gt;
</failure>
      <system-out>SEPA rules: 4 findings (1 error, 3 warnings); 3 not listed, the list keeps errors before warnings
----------------------------------------------------------------------
Rule: IBAN-CHECK
Severity: error
Reason: Check digits
Grund: Prüfziffer
SrcText: &lt;IBAN&gt;DE00&lt;/IBAN&gt;
Line: 5
LinePos: 9
FilePos: 80</system-out>
    </testcase>
  </testsuite>
</testsuites>
)";
    const QByteArray got = reporter.end(1.5).replace(
        "hostname=\"" + QSysInfo::machineHostName().toUtf8() + '"', "hostname=\"HOST\"");
    QCOMPARE(QString::fromUtf8(got), QString::fromUtf8(expected));
}

QTEST_GUILESS_MAIN(TestChecker)
#include "tst_checker.moc"

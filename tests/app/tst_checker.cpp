// The checker's parts in-process: its command line, its ordered parallel runner and its JSON.

#include "checker.h"
#include "checkresult.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

using namespace checker;

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
    runInOrder(count, jobs, work, deliver);

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

QTEST_GUILESS_MAIN(TestChecker)
#include "tst_checker.moc"

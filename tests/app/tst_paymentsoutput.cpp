// pravik-check --summary and --list, run as scripts run them: the list read back by Python's csv
// module, the summary in each format read back by a parser of that format.

#include "tests/support/programrun.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

using testsupport::Run;

// The clock without a zone: the run's local time.
Run check(const QStringList &arguments)
{
    testsupport::RunOptions options;
    options.environment = { { QStringLiteral("PRAVIK_NOW"), QStringLiteral("2026-12-11T12:00:00") } };
    options.timeoutMs = 60000;
    return testsupport::runCheck(arguments, options);
}

QString example(const char *name)
{
    return QStringLiteral(PRAVIK_SOURCE_DIR "/examples/") + QString::fromLatin1(name);
}

} // namespace

class TestPaymentsOutput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void listReadByPythonCsv();
    void summaryAsText();
    void summaryAsJson();
    void summaryAsJUnitProperties();
    void listRefusesOtherFormats();
};

void TestPaymentsOutput::listReadByPythonCsv()
{
    // A remittance text with the separator, a quote and an umlaut, which the CSV must carry through.
    QTemporaryDir dir;
    QFile source(example("valid-credit-transfer.xml"));
    QVERIFY(source.open(QIODevice::ReadOnly));
    QByteArray text = source.readAll();
    text.replace("Obstgehoelze", "Obst; \"Gehölze\"");
    const QString file = dir.filePath(QStringLiteral("quoted.xml"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(text);
    out.close();

    const Run run = check({ QStringLiteral("--list"), file, example("valid-direct-debit.xml") });
    QCOMPARE(run.status, 0);
    const QString csvFile = dir.filePath(QStringLiteral("list.csv"));
    QFile csv(csvFile);
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write(run.out);
    csv.close();

    QProcess python;
    python.start(QStringLiteral("python3"),
        { QStringLiteral("-c"),
            QStringLiteral("import csv, json, sys\n"
                           "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                           "    rows = list(csv.DictReader(f, delimiter=';'))\n"
                           "print(json.dumps(rows))\n"),
            csvFile });
    QVERIFY(python.waitForFinished(60000));
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    const QJsonArray rows = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    QCOMPARE(rows.size(), 6);
    const QJsonObject first = rows.at(0).toObject();
    QCOMPARE(first.value(QStringLiteral("Remittance")).toString(),
        QStringLiteral("Rechnung 4711 vom 01.12.2026, Obst; \"Gehölze\""));
    QCOMPARE(first.value(QStringLiteral("Name")).toString(), QStringLiteral("Baumschule Müller KG"));
    QCOMPARE(first.value(QStringLiteral("Amount")).toString(), QStringLiteral("2480.00"));
    QCOMPARE(first.value(QStringLiteral("Line")).toString(), QStringLiteral("48"));
    const QJsonObject debit = rows.at(3).toObject();
    QCOMPARE(debit.value(QStringLiteral("MandateId")).toString(), QStringLiteral("TSV-M0147"));
    QCOMPARE(debit.value(QStringLiteral("Amount")).toString(), QStringLiteral("72.00"));
    // Amounts with a decimal point and no thousands separator, whatever the locale.
    for (const QJsonValue &row : rows)
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d\\d$"))
                    .match(row.toObject().value(QStringLiteral("Amount")).toString())
                    .hasMatch());
}

void TestPaymentsOutput::summaryAsText()
{
    const Run run = check({ QStringLiteral("--summary"), example("valid-credit-transfer.xml") });
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.startsWith("XML is valid"), run.out.constData());
    QVERIFY2(run.out.contains(
                 "\nPayments:\n  block LINDENHOF-2026-KW50-LIEF, line 13, 2026-12-14: 3 transactions, "
                 "sum 4321.55 EUR (stated: 3, 4321.55)\n"),
        run.out.constData());
    QVERIFY2(
        run.out.endsWith("  file: 3 transactions, sum 4321.55 (stated: 3, 4321.55)\n"), run.out.constData());

    // A control sum a cent off is marked where it stands.
    QTemporaryDir dir;
    QFile source(example("valid-credit-transfer.xml"));
    QVERIFY(source.open(QIODevice::ReadOnly));
    QByteArray text = source.readAll();
    text.replace(text.lastIndexOf("<CtrlSum>4321.55"), 16, "<CtrlSum>4321.56");
    const QString file = dir.filePath(QStringLiteral("off.xml"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(text);
    out.close();
    const Run off = check({ QStringLiteral("--summary"), file });
    QVERIFY2(off.out.contains("(stated: 3, 4321.56 DIFFERS)\n"), off.out.constData());
    QVERIFY2(
        off.out.contains("  file: 3 transactions, sum 4321.55 (stated: 3, 4321.55)\n"), off.out.constData());
}

void TestPaymentsOutput::summaryAsJson()
{
    const Run run
        = check({ QStringLiteral("--json"), QStringLiteral("--summary"), example("valid-direct-debit.xml") });
    QCOMPARE(run.status, 0);
    QJsonParseError error;
    const QJsonObject record = QJsonDocument::fromJson(run.out, &error).object();
    QVERIFY2(error.error == QJsonParseError::NoError, run.out.constData());
    const QJsonObject summary = record.value(QStringLiteral("summary")).toObject();
    const QJsonObject file = summary.value(QStringLiteral("file")).toObject();
    QCOMPARE(file.value(QStringLiteral("count")).toInt(), 3);
    QCOMPARE(file.value(QStringLiteral("sum")).toString(), QStringLiteral("204.00"));
    QCOMPARE(file.value(QStringLiteral("sumDiffers")).toBool(true), false);
    const QJsonArray blocks = summary.value(QStringLiteral("blocks")).toArray();
    QCOMPARE(blocks.size(), 1);
    QCOMPARE(
        blocks.at(0).toObject().value(QStringLiteral("id")).toString(), QStringLiteral("TSV-2026-12-RCUR"));
    QCOMPARE(summary.value(QStringLiteral("currencies"))
                 .toArray()
                 .at(0)
                 .toObject()
                 .value(QStringLiteral("currency"))
                 .toString(),
        QStringLiteral("EUR"));
}

void TestPaymentsOutput::summaryAsJUnitProperties()
{
    const Run run = check({ QStringLiteral("--format"), QStringLiteral("junit"), QStringLiteral("--summary"),
        example("valid-credit-transfer.xml") });
    QCOMPARE(run.status, 0);
    QXmlStreamReader xml(run.out);
    QMap<QString, QString> properties;
    bool inTestCase = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"testcase")
            inTestCase = true;
        if (xml.isStartElement() && xml.name() == u"property" && inTestCase)
            properties.insert(xml.attributes().value(QLatin1StringView("name")).toString(),
                xml.attributes().value(QLatin1StringView("value")).toString());
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(properties.value(QStringLiteral("payments.count")), QStringLiteral("3"));
    QCOMPARE(properties.value(QStringLiteral("payments.sum")), QStringLiteral("4321.55"));
    QCOMPARE(
        properties.value(QStringLiteral("payments.block.1.id")), QStringLiteral("LINDENHOF-2026-KW50-LIEF"));
}

void TestPaymentsOutput::listRefusesOtherFormats()
{
    const Run run
        = check({ QStringLiteral("--list"), QStringLiteral("--json"), example("valid-credit-transfer.xml") });
    QVERIFY(run.status != 0);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains("--list"), run.err.constData());
}

QTEST_GUILESS_MAIN(TestPaymentsOutput)
#include "tst_paymentsoutput.moc"

// What the rules' pass collects of a payment file for the overview: the fields of blocks and
// transactions however the file is written and stored, the totals in exact decimal arithmetic, and
// that no file of the project looks as if it paid anything twice.

#include "platform/textformat.h"
#include "sepa/payments.h"
#include "sepa/rulespass.h"
#include "validation/validationengine.h"

#include "tests/support/oneline.h"
#include "tests/support/testfiles.h"
#include "tests/support/textplace.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTest>

using testsupport::exampleFile;
using testsupport::oneLine;
using testsupport::readAll;

namespace {

struct Replacement
{
    QByteArray from;
    QByteArray to;
};

QByteArray replaced(QByteArray text, const QList<Replacement> &replacements)
{
    for (const Replacement &r : replacements) {
        if (!text.contains(r.from))
            qFatal("fixture: '%s' does not occur", r.from.constData());
        text.replace(r.from, r.to);
    }
    return text;
}

enum class Storage
{
    Utf8,
    Utf16,
    Windows1252,
};

QByteArray stored(const QByteArray &utf8, Storage storage)
{
    const QString text = QString::fromUtf8(utf8);
    switch (storage) {
    case Storage::Utf8:
        return utf8;
    case Storage::Utf16: {
        QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
        return encoder.encode(text);
    }
    case Storage::Windows1252:
        return text.toLatin1(); // the fixtures' letters are the same in both
    }
    return {};
}

struct Collected
{
    sepa::Payments payments;
    std::vector<sepa::Finding> findings;
    QByteArray utf8;
};

// The file's bytes read as the checker reads them, validated with the rules beside.
Collected collect(const QByteArray &bytes)
{
    Collected c;
    TextEncoding encoding = TextEncoding::Utf8;
    c.utf8 = toUtf8Text(bytes, &encoding);
    sepa::RulesPass rules(c.utf8, encoding);
    rules.setNow(QDateTime(QDate(2026, 12, 11), QTime(12, 0)));
    std::unique_ptr<TXMLParseErrors> errors;
    ValidationEngine::ValidateXMLUtf8(c.utf8, errors, nullptr, &rules);
    c.findings = rules.finish();
    c.payments = rules.takePayments();
    return c;
}

QByteArrayList fieldsOf(const sepa::Payments &p, size_t transaction)
{
    QByteArray line = p.csvLine(transaction);
    line.chop(2);
    QByteArrayList fields = line.split(';');
    fields.removeLast(); // the line, checked apart
    return fields;
}

} // namespace

Q_DECLARE_METATYPE(QList<Replacement>)

class TestPayments : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void transactionFields_data();
    void transactionFields();
    void blockFields_data();
    void blockFields();
    void statedAndComputedTotals();
    void sumOfManyAmountsIsExact();
    void largestAmountsAddUp();
    void recordsStayCompact();
    void recordsFindTheirBlockPlaceAndCurrency_data();
    void recordsFindTheirBlockPlaceAndCurrency();
    void duplicateNamesEveryMember();
    void noFileOfTheProjectLooksPaidTwice();
};

void TestPayments::transactionFields_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QList<Replacement>>("changes");
    QTest::addColumn<int>("storage");
    QTest::addColumn<int>("transaction");
    QTest::addColumn<QByteArray>("marker"); // where the transaction starts
    QTest::addColumn<QByteArrayList>("fields");

    const QString ct = exampleFile(QStringLiteral("valid-credit-transfer.xml"));
    const QString dd = exampleFile(QStringLiteral("valid-direct-debit.xml"));
    const QByteArrayList transfer = { "LINDENHOF-2026-KW50-LIEF", "2026-12-14", "Baumschule Müller KG",
        "DE19200500600098765432", "BEISDEMMXXX", "2480.00", "EUR", "RE-2026-4711", "", "",
        "Rechnung 4711 vom 01.12.2026, Obstgehoelze", "", "" };
    const int utf8 = int(Storage::Utf8);
    QTest::newRow("transfer with a remittance text")
        << ct << QList<Replacement> {} << utf8 << 0 << QByteArray("<CdtTrfTxInf>") << transfer;
    QTest::newRow("transfer stored as UTF-16")
        << ct << QList<Replacement> {} << int(Storage::Utf16) << 0 << QByteArray("<CdtTrfTxInf>") << transfer;
    QTest::newRow("transfer stored as Windows-1252")
        << ct << QList<Replacement> {} << int(Storage::Windows1252) << 0 << QByteArray("<CdtTrfTxInf>")
        << transfer;
    QTest::newRow("transfer with a structured reference")
        << ct << QList<Replacement> {} << utf8 << 1 << QByteArray("<EndToEndId>KD-88213")
        << QByteArrayList { "LINDENHOF-2026-KW50-LIEF", "2026-12-14", "Erdenwerk Substrate AG",
               "DE85300400700044556677", "", "1653.30", "EUR", "KD-88213-2026-12", "", "", "", "RF2820264711",
               "" };
    QTest::newRow("transfer with a purpose code")
        << ct << QList<Replacement> {} << utf8 << 2 << QByteArray("<EndToEndId>NOTPROVIDED")
        << QByteArrayList { "LINDENHOF-2026-KW50-LIEF", "2026-12-14", "Werkzeughandel Petra Schmidt",
               "DE08400300800011223344", "", "188.25", "EUR", "NOTPROVIDED", "", "",
               "Kundennummer 20931, Lieferung vom 28.11.2026", "", "SUPP" };
    QTest::newRow("transfer without agent, remittance and purpose")
        << ct
        << QList<Replacement> { { "<Purp>\n          <Cd>SUPP</Cd>\n        </Purp>\n", "" },
               { "<RmtInf>\n          <Ustrd>Kundennummer 20931, Lieferung vom 28.11.2026</Ustrd>\n        "
                 "</RmtInf>\n",
                   "" } }
        << utf8 << 2 << QByteArray("<EndToEndId>NOTPROVIDED")
        << QByteArrayList { "LINDENHOF-2026-KW50-LIEF", "2026-12-14", "Werkzeughandel Petra Schmidt",
               "DE08400300800011223344", "", "188.25", "EUR", "NOTPROVIDED", "", "", "", "", "" };
    QTest::newRow("direct debit with a mandate, its debtor named beside an ultimate debtor")
        << dd << QList<Replacement> {} << utf8 << 2 << QByteArray("<EndToEndId>TSV-M0412")
        << QByteArrayList { "TSV-2026-12-RCUR", "2026-12-15", "Karl-Heinz Neumann", "DE08400300800011223344",
               "GENODEF1ABC", "96.00", "EUR", "TSV-M0412-2026-12", "TSV-M0412", "2021-01-11",
               "Beitrag Tennisabteilung 4. Quartal 2026, Mitglied 0412", "", "" };
    QTest::newRow("amount in another currency")
        << ct << QList<Replacement> { { "Ccy=\"EUR\">2480.00", "Ccy = 'CHF' >2480.00" } } << utf8 << 0
        << QByteArray("<CdtTrfTxInf>")
        << QByteArrayList { "LINDENHOF-2026-KW50-LIEF", "2026-12-14", "Baumschule Müller KG",
               "DE19200500600098765432", "BEISDEMMXXX", "2480.00", "CHF", "RE-2026-4711", "", "",
               "Rechnung 4711 vom 01.12.2026, Obstgehoelze", "", "" };
}

void TestPayments::transactionFields()
{
    QFETCH(QString, base);
    QFETCH(QList<Replacement>, changes);
    QFETCH(int, storage);
    QFETCH(int, transaction);
    QFETCH(QByteArray, marker);
    QFETCH(QByteArrayList, fields);

    const QByteArray pretty = replaced(readAll(base), changes);
    QByteArray crLf = pretty;
    crLf.replace("\n", "\r\n");
    QByteArray loneCr = pretty;
    loneCr.replace('\n', '\r');
    for (const QByteArray &text : { pretty, oneLine(pretty), crLf, loneCr }) {
        const Collected c = collect(stored(text, Storage(storage)));
        QVERIFY(size_t(transaction) < c.payments.transactions().size());
        QCOMPARE(fieldsOf(c.payments, size_t(transaction)), fields);
        // The place of the transaction's start tag: its byte offset and line.
        const sepa::Payments::Transaction &t = c.payments.transactions()[size_t(transaction)];
        const QByteArray txTag = c.payments.directDebit() ? "<DrctDbtTxInf>" : "<CdtTrfTxInf>";
        const qsizetype markerAt = c.utf8.indexOf(marker);
        QVERIFY(markerAt >= 0);
        const qsizetype tagAt = c.utf8.lastIndexOf(txTag, markerAt);
        const testsupport::TextPlace at
            = testsupport::locateText(c.utf8, txTag, int(c.utf8.first(tagAt + txTag.size()).count(txTag)));
        QCOMPARE(t.offset(), qint64(tagAt));
        QCOMPARE(t.line, at.line);
    }
}

void TestPayments::blockFields_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QList<Replacement>>("changes");
    QTest::addColumn<QByteArrayList>("fields"); // id, name, IBAN, BIC, date, sequence type, local instrument
    const QString ct = exampleFile(QStringLiteral("valid-credit-transfer.xml"));
    const QString dd = exampleFile(QStringLiteral("valid-direct-debit.xml"));
    QTest::newRow("transfer") << ct << QList<Replacement> {}
                              << QByteArrayList { "LINDENHOF-2026-KW50-LIEF", "Lindenhof Gartenbau GmbH",
                                     "DE27100200300012345678", "MUSTDEFFXXX", "2026-12-14", "", "" };
    QTest::newRow("transfer to execute at a time")
        << ct << QList<Replacement> { { "<Dt>2026-12-14</Dt>", "<DtTm>2026-12-14T10:00:00</DtTm>" } }
        << QByteArrayList { "LINDENHOF-2026-KW50-LIEF", "Lindenhof Gartenbau GmbH", "DE27100200300012345678",
               "MUSTDEFFXXX", "2026-12-14T10:00:00", "", "" };
    QTest::newRow("direct debit") << dd << QList<Replacement> {}
                                  << QByteArrayList { "TSV-2026-12-RCUR",
                                         "Turn- und Sportverein Musterstadt e.V.", "DE48800900300033221100",
                                         "MUSTDEFFXXX", "2026-12-15", "RCUR", "CORE" };
}

void TestPayments::blockFields()
{
    QFETCH(QString, base);
    QFETCH(QList<Replacement>, changes);
    QFETCH(QByteArrayList, fields);
    const QByteArray pretty = replaced(readAll(base), changes);
    for (const QByteArray &text : { pretty, oneLine(pretty) }) {
        const Collected c = collect(text);
        QCOMPARE(c.payments.blocks().size(), size_t(1));
        const sepa::Payments::Block &b = c.payments.blocks().front();
        QCOMPARE((QByteArrayList { b.id, b.name, b.iban, b.bic, b.date, b.sequenceType, b.localInstrument }),
            fields);
        QCOMPARE(b.first, size_t(0));
        QCOMPARE(b.count, size_t(3));
        QCOMPARE(b.line, testsupport::locateText(c.utf8, "<PmtInf>", 1).line);
    }
}

void TestPayments::statedAndComputedTotals()
{
    // The block states a cent too much and one transaction too few; the file states what it holds.
    const QByteArray text = replaced(readAll(exampleFile(QStringLiteral("valid-credit-transfer.xml"))), {});
    QByteArray changed = text;
    const qsizetype second = changed.indexOf("<NbOfTxs>3", changed.indexOf("<PmtInf>"));
    changed.replace(second, 10, "<NbOfTxs>2");
    const qsizetype sum = changed.indexOf("<CtrlSum>4321.55", changed.indexOf("<PmtInf>"));
    changed.replace(sum, 16, "<CtrlSum>4321.56");
    const Collected c = collect(changed);
    const sepa::Payments::Totals &block = c.payments.blocks().front().totals;
    QCOMPARE(block.statedCount, std::optional<qint64>(2));
    QCOMPARE(block.count, 3);
    QVERIFY(block.countDiffers());
    QCOMPARE(block.statedSumText, QByteArray("4321.56"));
    QCOMPARE(block.sum.toString(), QByteArray("4321.55"));
    QVERIFY(block.sumDiffers());
    const sepa::Payments::Totals &file = c.payments.fileTotals();
    QVERIFY(!file.countDiffers());
    QVERIFY(!file.sumDiffers());
    QCOMPARE(file.sum.toString(), QByteArray("4321.55"));
    const std::vector<sepa::Payments::CurrencyTotal> currencies = c.payments.currencyTotals();
    QCOMPARE(currencies.size(), size_t(1));
    QCOMPARE(currencies.front().currency, QByteArray("EUR"));
    QCOMPARE(currencies.front().count, 3);
}

namespace {

// A collection of amounts as the pass makes it, each amount parsed from its text.
sepa::Payments collectedAmounts(const std::vector<QByteArray> &amounts)
{
    sepa::Payments p;
    p.beginBlock(0);
    for (const QByteArray &a : amounts) {
        p.beginTransaction(0);
        const std::optional<sepa::Decimal> d = sepa::Decimal::parse(a);
        p.setAmount(d ? d->cents() : std::nullopt, "EUR");
        p.endTransaction();
    }
    p.endBlock({});
    p.finish({}, QByteArray(" "));
    return p;
}

// Cents written as an amount, apart from the library.
QByteArray amountOfCents(unsigned __int128 cents)
{
    QByteArray digits;
    do {
        digits.prepend(char('0' + int(cents % 10)));
        cents /= 10;
    } while (cents != 0);
    while (digits.size() < 3)
        digits.prepend('0');
    return digits.first(digits.size() - 2) + '.' + digits.last(2);
}

} // namespace

void TestPayments::sumOfManyAmountsIsExact()
{
    // 100,000 amounts whose cents a binary floating-point sum would lose.
    QRandomGenerator random(20261211);
    std::vector<QByteArray> amounts;
    unsigned __int128 expected = 0;
    for (int i = 0; i < 100000; ++i) {
        const quint64 cents = 1 + random.bounded(quint64(99999999)) * 10 + quint64(i % 10);
        expected += cents;
        amounts.push_back(amountOfCents(cents));
    }
    const sepa::Payments p = collectedAmounts(amounts);
    QCOMPARE(p.fileTotals().count, 100000);
    QCOMPARE(p.fileTotals().sum.toString(), amountOfCents(expected));
    QCOMPARE(p.blocks().front().totals.sum.toString(), amountOfCents(expected));
    QCOMPARE(p.currencyTotals().front().sum.toString(), amountOfCents(expected));
}

void TestPayments::largestAmountsAddUp()
{
    const std::vector<QByteArray> amounts(100000, QByteArray("999999999.99"));
    const sepa::Payments p = collectedAmounts(amounts);
    QCOMPARE(p.fileTotals().sum.toString(), QByteArray("99999999999000.00"));
    QCOMPARE(p.transactions().front().cents, 99999999999);
    QCOMPARE(sepa::Payments::amountText(p.transactions().front().cents), QByteArray("999999999.99"));
    // Beyond a transaction amount: unknown, and the sums say so.
    const sepa::Payments over = collectedAmounts({ "1.00", "1000000000.00" });
    QCOMPARE(over.transactions().back().cents, -1);
    QVERIFY(!over.fileTotals().sumKnown);
}

void TestPayments::recordsStayCompact()
{
    QVERIFY(sizeof(sepa::Payments::Transaction) <= 40);
}

void TestPayments::recordsFindTheirBlockPlaceAndCurrency_data()
{
    QTest::addColumn<QList<int>>("blockSizes"); // transactions in each block, in order
    QTest::addColumn<qint64>("stride"); // bytes from one start tag to the next
    QTest::newRow("an empty block between two") << QList<int> { 2, 0, 1 } << qint64(300);
    QTest::newRow("an empty block first and last") << QList<int> { 0, 3, 0 } << qint64(300);
    QTest::newRow("empty blocks in a row") << QList<int> { 1, 0, 0, 2 } << qint64(300);
    QTest::newRow("places beyond 4 GiB") << QList<int> { 2, 2 } << qint64(3) * 1024 * 1024 * 1024;
}

// The record keeps no block index and packs its place with its currency: both come back as given.
void TestPayments::recordsFindTheirBlockPlaceAndCurrency()
{
    QFETCH(QList<int>, blockSizes);
    QFETCH(qint64, stride);
    const QByteArray currencies[] = { "EUR", "CHF", "" };
    sepa::Payments p;
    qint64 at = 0;
    QList<int> blockOfTransaction;
    for (qsizetype b = 0; b < blockSizes.size(); ++b) {
        p.beginBlock(qsizetype(at += stride)).id = "B" + QByteArray::number(b);
        for (int k = 0; k < blockSizes[b]; ++k) {
            p.beginTransaction(qsizetype(at += stride));
            const QByteArray &currency = currencies[blockOfTransaction.size() % 3];
            if (!currency.isEmpty())
                p.setAmount(100, currency);
            p.endTransaction();
            blockOfTransaction.append(int(b));
        }
        p.endBlock({});
    }
    p.finish({}, QByteArray());
    QCOMPARE(p.transactions().size(), size_t(blockOfTransaction.size()));
    at = 0;
    for (size_t t = 0, b = 0; b < size_t(blockSizes.size()); ++b) {
        at += stride;
        for (int k = 0; k < blockSizes[qsizetype(b)]; ++k, ++t) {
            at += stride;
            QCOMPARE(p.blockOf(t).id, "B" + QByteArray::number(blockOfTransaction[qsizetype(t)]));
            QCOMPARE(p.transactions()[t].offset(), at);
            QCOMPARE(p.currency(p.transactions()[t]), currencies[t % 3]);
        }
    }
}

void TestPayments::duplicateNamesEveryMember()
{
    // The third transfer twice more, its copies renamed so no other rule speaks.
    QByteArray text = readAll(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
    const qsizetype from = text.lastIndexOf("<CdtTrfTxInf>");
    const qsizetype to = text.indexOf("</CdtTrfTxInf>", from) + 14;
    const QByteArray third = text.sliced(from, to - from);
    text.insert(to, "\n      " + third + "\n      " + third);
    text.replace("<NbOfTxs>3", "<NbOfTxs>5");
    text.replace("<CtrlSum>4321.55", "<CtrlSum>4698.05");
    const Collected c = collect(text);
    QCOMPARE(c.findings.size(), size_t(1));
    const sepa::Finding &f = c.findings.front();
    QCOMPARE(f.code, QStringLiteral("PAYMENT-DUPLICATE"));
    QStringList lines;
    for (int n = 3; n <= 5; ++n)
        lines.append(QString::number(testsupport::locateText(c.utf8, "<CdtTrfTxInf>", n).line));
    QCOMPARE(f.line, lines.at(1).toInt());
    QCOMPARE(f.english,
        QStringLiteral("The payment of 188.25 EUR (account DE08400300800011223344, \"Kundennummer 20931, "
                       "Lieferung vom 28.11.2026\") stands 3 times in the file, in lines %1; is it made more "
                       "than once?")
            .arg(lines.join(QStringLiteral(", "))));
    QVERIFY2(f.german.contains(lines.join(QStringLiteral(", "))), qPrintable(f.german));
}

void TestPayments::noFileOfTheProjectLooksPaidTwice()
{
    int files = 0;
    for (const QString &root :
        { QStringLiteral(PRAVIK_SOURCE_DIR "/tests/data"), QStringLiteral(PRAVIK_SOURCE_DIR "/examples") }) {
        QDirIterator it(root, { QStringLiteral("*.xml") }, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            QByteArray bytes = readAll(file);
            Collected c;
            try {
                c = collect(bytes);
            } catch (const Exception &) {
                continue; // refused before the rules: not a payment file the engine reads
            }
            ++files;
            for (const sepa::Finding &f : c.findings)
                QVERIFY2(!f.code.startsWith(QStringLiteral("PAYMENT-")),
                    qPrintable(QStringLiteral("%1: %2 at line %3").arg(file, f.english).arg(f.line)));
        }
    }
    QVERIFY(files > 10);
}

QTEST_GUILESS_MAIN(TestPayments)
#include "tst_payments.moc"

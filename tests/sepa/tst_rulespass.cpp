// The SEPA rules on whole documents, run in the validation engine's pass: one row per rule with a
// document that breaks it and one that passes, positions counted apart from the library, and files
// that must give no finding at all.

#include "platform/settingsstore.h"
#include "sepa/rulespass.h"
#include "validation/validationengine.h"

#include "tests/support/oneline.h"
#include "tests/support/testfiles.h"
#include "tests/support/textplace.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cstring>

using testsupport::dataFile;
using testsupport::exampleFile;
using testsupport::oneLine;
using testsupport::readAll;

namespace {

struct Replacement
{
    QByteArray from;
    QByteArray to;
    int occurrence = 1; // which one, from 1
};

QByteArray replaced(QByteArray text, const QList<Replacement> &replacements)
{
    for (const Replacement &r : replacements) {
        qsizetype at = -1;
        for (int i = 0; i < r.occurrence; ++i) {
            at = text.indexOf(r.from, at + 1);
            if (at < 0)
                qFatal("fixture: '%s' does not occur %d times", r.from.constData(), r.occurrence);
        }
        text.replace(at, r.from.size(), r.to);
    }
    return text;
}

using Expected = testsupport::TextPlace;

// Where the n-th marker stands, counted apart from the library; the line without its indentation.
Expected locate(const QByteArray &utf8, const QByteArray &marker, int occurrence)
{
    Expected place = testsupport::locateText(utf8, marker, occurrence);
    place.lineText = place.lineText.trimmed();
    return place;
}

// The day after the example files were made, as the rows are written for it.
QDateTime testNow()
{
    return QDateTime(QDate(2026, 12, 11), QTime(12, 0), QTimeZone::utc());
}

std::vector<sepa::Finding> findingsOf(const QByteArray &utf8, TextEncoding encoding = TextEncoding::Utf8,
    const sepa::History *history = nullptr, const QDateTime &ignoreSameSince = {})
{
    sepa::RulesPass rules(utf8, encoding);
    rules.setNow(testNow());
    rules.setHistory(history, ignoreSameSince);
    std::unique_ptr<TXMLParseErrors> errors;
    try {
        ValidationEngine::ValidateXMLUtf8(utf8, errors, nullptr, &rules);
    } catch (const Exception &e) {
        // A fixture the engine refuses is a fault of the fixture; say so instead of a finding.
        sepa::Finding refused;
        refused.code = QStringLiteral("REFUSED");
        refused.english = e.message();
        return { refused };
    }
    return rules.finish();
}

QString described(const std::vector<sepa::Finding> &findings)
{
    QStringList lines;
    for (const sepa::Finding &f : findings)
        lines.append(
            QStringLiteral("%1 at %2:%3 (%4)").arg(f.code).arg(f.line).arg(f.linePos).arg(f.english));
    return lines.isEmpty() ? QStringLiteral("no finding") : lines.join(QStringLiteral("; "));
}

} // namespace

Q_DECLARE_METATYPE(QList<Replacement>)

class TestRulesPass : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void oneRulePerRow_data();
    void oneRulePerRow();
    void everyRuleHasARow();
    void noFindingInGoodFiles_data();
    void noFindingInGoodFiles();
    void textsNameTheFirstOccurrence();
    void findingsComeInDocumentOrder();
    void findingsStopAtTheLimit();
    void warningsNeverPushOutErrors();
    void countsSpeakInTheRightNumber_data();
    void countsSpeakInTheRightNumber();
    void filesCheckedBefore_data();
    void filesCheckedBefore();
    void otherVocabulariesGetNoFinding();
    void passCutShortJudgesNoFileTotals();
};

namespace {

struct RuleRow
{
    const char *name;
    QString base;
    QList<Replacement> changes;
    QString code; // empty: no finding
    QByteArray marker; // where the finding points
    int occurrence;
    int encoding;
};

std::vector<RuleRow> ruleRows()
{
    std::vector<RuleRow> rows;

    const QString ct = exampleFile(QStringLiteral("valid-credit-transfer.xml"));
    const QString dd = exampleFile(QStringLiteral("valid-direct-debit.xml"));
    const QString ct2 = dataFile(QStringLiteral("sepa/sct-two-blocks.xml"));
    const QString dd2 = dataFile(QStringLiteral("sepa/sdd-two-blocks.xml"));
    const int utf8 = int(TextEncoding::Utf8);
    auto row = [&](const char *name, const QString &base, QList<Replacement> changes, const char *code,
                   const char *marker = "", int occurrence = 1, int encoding = int(TextEncoding::Utf8)) {
        rows.push_back({ name, base, std::move(changes), QString::fromLatin1(code), QByteArray(marker),
            occurrence, encoding });
    };

    row("stored as Windows-1252", ct, {}, "FILE-ENCODING", "<?xml", 1, int(TextEncoding::Windows1252));
    row("stored as UTF-16", ct, {}, "FILE-ENCODING", "<?xml", 1, int(TextEncoding::Utf16LE));
    row("stored as UTF-8 with byte-order mark", ct, {}, "FILE-BOM", "<?xml", 1, int(TextEncoding::Utf8Bom));
    row("stored as UTF-8", ct, {}, "", "", 1, utf8);
    row("declares ISO-8859-1 but holds UTF-8", ct, { { "encoding=\"UTF-8\"", "encoding=\"ISO-8859-1\"" } },
        "FILE-ENCODING-DECLARED", "<?xml");
    row("declares utf-8 in lower case", ct, { { "encoding=\"UTF-8\"", "encoding='utf-8'" } }, "");

    row("accented letter outside the German ones", ct, { { "Baumschule Müller", "Baumschule Mûller" } },
        "TEXT-CHARSET", "<Nm>Baumschule");
    row("underscore in a remittance text", ct, { { "Rechnung 4711 vom", "Rechnung_4711 vom" } },
        "TEXT-CHARSET", "<Ustrd>Rechnung_4711");
    row("line break inside a name", ct, { { "Erdenwerk Substrate", "Erdenwerk\nSubstrate" } }, "TEXT-CHARSET",
        "<Nm>Erdenwerk");
    row("'<' written as a character reference", ct, { { "Obstgehoelze", "Obst&lt;gehoelze" } },
        "TEXT-CHARSET", "<Ustrd>Rechnung");
    row("umlauts, sharp s and the DK's extended characters", ct,
        { { "Baumschule Müller KG", "Ä Ö Ü ä ö ü ß &amp; * $ % /-?:().,'+" } }, "");
    // Dates, amounts and indicators collapse their whitespace: the schema takes them padded.
    row("date on a line of its own", ct,
        { { "<Dt>2026-12-14</Dt>", "<Dt>\n          2026-12-14\n        </Dt>" } }, "");
    row("amount between blanks and a tab", ct, { { ">2480.00<", "> 2480.00\t<" } }, "");
    row("indicator on a line of its own", ct,
        { { "<BtchBookg>true", "<BtchBookg>\r\n        true\r\n      " } }, "");

    row("IBAN with a mistyped digit", ct, { { "DE19200500600098765432", "DE19200500600098765423" } },
        "IBAN-CHECKDIGITS", "<IBAN>DE19200500600098765423");
    row("IBAN of another registry country", ct, { { "DE08400300800011223344", "NL91ABNA0417164300" } }, "");
    row("German IBAN one digit short", ct, { { "DE08400300800011223344", "DE0840030080001122334" } },
        "IBAN-LENGTH", "<IBAN>DE0840030080001122334");
    row("Norwegian IBAN of 15 characters", ct, { { "DE08400300800011223344", "NO9386011117947" } }, "");
    row("IBAN of a country without IBAN", ct, { { "DE08400300800011223344", "ZZ08400300800011223344" } },
        "IBAN-COUNTRY", "<IBAN>ZZ08");
    row("IBAN of Kosovo, in the registry but outside SEPA", ct,
        { { "DE08400300800011223344", "XK051212012345678906" } }, "IBAN-NON-SEPA", "<IBAN>XK05");
    row("IBAN of Turkey", ct, { { "DE08400300800011223344", "TR330006100519786457841326" } }, "IBAN-NON-SEPA",
        "<IBAN>TR33");
    row("IBAN of Switzerland, outside the EU but in SEPA", ct,
        { { "DE08400300800011223344", "CH9300762011623852957" } }, "");
    row("IBAN with lower-case letters after the check digits", ct,
        { { "DE08400300800011223344", "NL91abna0417164300" } }, "IBAN-LOWERCASE", "<IBAN>NL91abna");

    row("BIC of ten characters", ct, { { "BEISDEMMXXX", "BEISDEMMXX" } }, "BIC-FORMAT", "<BICFI>BEISDEMMXX");
    row("BIC of eight characters", ct, { { "BEISDEMMXXX", "BEISDEMM" } }, "");
    row("Austrian BIC for a German IBAN", ct, { { "BEISDEMMXXX", "BEISATWWXXX" } }, "BIC-IBAN-COUNTRY",
        "<BICFI>BEISATWWXXX");
    row("Jersey BIC for a British IBAN", ct,
        { { "BEISDEMMXXX", "NWBKJESHXXX" }, { "DE19200500600098765432", "GB29NWBK60161331926819" } }, "");

    row("creditor identifier with wrong check digits", dd, { { "DE32ZZZ00000123456", "DE33ZZZ00000123456" } },
        "CI-CHECKDIGITS", "<Id>DE33ZZZ");
    row("creditor identifier with another business code", dd,
        { { "DE32ZZZ00000123456", "DE32ABC00000123456" } }, "");
    row("German creditor identifier of 17 characters", dd, { { "DE32ZZZ00000123456", "DE32ZZZ0000012345" } },
        "CI-LENGTH", "<Id>DE32ZZZ0000012345");
    row("Austrian creditor identifier of 17 characters", dd,
        { { "DE32ZZZ00000123456", "AT92ZZZ0000012345" } }, "");
    row("creditor identifier without check digits", dd, { { "DE32ZZZ00000123456", "DEXXZZZ00000123456" } },
        "CI-FORMAT", "<Id>DEXX");
    row("original creditor identifier of an amended mandate with wrong check digits", dd,
        { { "<OrgnlMndtId>TSV-M0388</OrgnlMndtId>",
            "<OrgnlMndtId>TSV-M0388</OrgnlMndtId><OrgnlCdtrSchmeId><Id><PrvtId><Othr><Id>DE31ZZZ00000123456</"
            "Id>"
            "<SchmeNm><Prtry>SEPA</Prtry></SchmeNm></Othr></PrvtId></Id></OrgnlCdtrSchmeId>" } },
        "CI-CHECKDIGITS", "<Id>DE31ZZZ");
    row("the Bundesbank's creditor identifier", dd, { { "DE32ZZZ00000123456", "DE98ZZZ09999999999" } }, "");

    row("creditor reference with wrong check digits", ct, { { "RF2820264711", "RF2920264711" } },
        "RF-CHECKDIGITS", "<Ref>RF29");
    row("creditor reference with letters", ct, { { "RF2820264711", "RF18539007547034" } }, "");
    const QByteArray lei = "</PstlAdr>\n        <Id><OrgId><LEI>%1</LEI></OrgId></Id>";
    row("LEI of the debtor with wrong check digits", ct,
        { { "</PstlAdr>", QByteArray(lei).replace("%1", "5299000J2N45DDNE4Y29") } }, "LEI-CHECKDIGITS",
        "<LEI>5299");
    row("LEI of the debtor", ct, { { "</PstlAdr>", QByteArray(lei).replace("%1", "5299000J2N45DDNE4Y28") } },
        "");

    row("group header counts one transaction too many", ct, { { "<NbOfTxs>3", "<NbOfTxs>4" } },
        "GRPHDR-NBOFTXS", "<NbOfTxs>4");
    row("group header count with a leading zero", ct, { { "<NbOfTxs>3", "<NbOfTxs>03" } }, "");
    row("group header sum a cent off", ct, { { "<CtrlSum>4321.55", "<CtrlSum>4321.56" } }, "GRPHDR-CTRLSUM",
        "<CtrlSum>4321.56");
    row("group header sum with a third fraction digit", ct, { { "<CtrlSum>4321.55", "<CtrlSum>4321.550" } },
        "");
    row("payment information counts one transaction too few", ct, { { "<NbOfTxs>3", "<NbOfTxs>2", 2 } },
        "PMTINF-NBOFTXS", "<NbOfTxs>2");
    row("payment information without control sum", ct, { { "<CtrlSum>4321.55</CtrlSum>", "", 2 } }, "");
    row("payment information sum ten cents off", ct, { { "<CtrlSum>4321.55", "<CtrlSum>4321.45", 2 } },
        "PMTINF-CTRLSUM", "<CtrlSum>4321.45");
    row("amount without fraction digits", ct, { { ">2480.00<", ">2480<" } }, "");
    // The schema refuses these amounts; the sums they would spoil say nothing more.
    row("amount with three decimals", ct, { { ">2480.00<", ">2480.005<" } }, "");
    row("amount over 999,999,999.99", ct, { { ">2480.00<", ">1000002480.00<" } }, "");

    row("payment information identifier twice", ct2, { { "PMT-00002", "PMT-00001" } }, "DUPLICATE-PMTINFID",
        "<PmtInfId>PMT-00001", 2);
    row("payment information identifier equal to the message identifier", ct2,
        { { "PMT-00002", "BENCH-SCT-4-0-7" } }, "");
    row("end-to-end reference twice", ct, { { "KD-88213-2026-12", "RE-2026-4711" } }, "DUPLICATE-ENDTOENDID",
        "<EndToEndId>RE-2026-4711", 2);
    row("NOTPROVIDED twice", ct, { { "KD-88213-2026-12", "NOTPROVIDED" } }, "");
    row("instruction identifier twice", ct,
        { { "<EndToEndId>RE-2026-4711", "<InstrId>LH-2026-0815</InstrId><EndToEndId>RE-2026-4711" } },
        "DUPLICATE-INSTRID", "<InstrId>LH-2026-0815", 2);
    row("two different instruction identifiers", ct,
        { { "<EndToEndId>RE-2026-4711", "<InstrId>LH-2026-0814</InstrId><EndToEndId>RE-2026-4711" } }, "");
    row("mandate collected twice in one payment information", dd,
        { { "TSV-M0412</MndtId>", "TSV-M0147</MndtId>" } }, "DUPLICATE-MNDTID", "<MndtId>TSV-M0147", 2);
    row("mandate collected in two payment information blocks", dd2, { { "M-3015985-3", "M-9486738-1" } }, "");

    // The first transfer made into a copy of the third (account, amount, remittance), the sums kept right.
    const QList<Replacement> paidTwice
        = { { "DE19200500600098765432", "DE08400300800011223344" }, { ">2480.00<", ">188.25<" },
              { "<CtrlSum>4321.55", "<CtrlSum>2029.80" }, { "<CtrlSum>4321.55", "<CtrlSum>2029.80" } };
    const Replacement sameRemittance { "Rechnung 4711 vom 01.12.2026, Obstgehoelze",
        "Kundennummer 20931, Lieferung vom 28.11.2026" };
    row("same account, amount and remittance twice", ct, paidTwice + QList { sameRemittance },
        "PAYMENT-DUPLICATE", "<CdtTrfTxInf>", 3);
    row("remittance differing only in blanks and letter case", ct,
        paidTwice
            + QList<Replacement> { { "Rechnung 4711 vom 01.12.2026, Obstgehoelze",
                "KUNDENNUMMER  20931, lieferung vom 28.11.2026 " } },
        "PAYMENT-DUPLICATE", "<CdtTrfTxInf>", 3);
    row("IBAN written in groups of four", ct,
        paidTwice + QList { sameRemittance }
            + QList<Replacement> { { "<IBAN>DE08400300800011223344", "<IBAN>DE08 4003 0080 0011 2233 44" } },
        "PAYMENT-DUPLICATE", "<CdtTrfTxInf>", 3);
    row("same account and amount, another remittance", ct, paidTwice, "");
    row("same account and remittance, another amount", ct,
        { { "DE19200500600098765432", "DE08400300800011223344" }, sameRemittance }, "");
    row("same amount and remittance, another account", ct,
        { { ">2480.00<", ">188.25<" }, { "<CtrlSum>4321.55", "<CtrlSum>2029.80" },
            { "<CtrlSum>4321.55", "<CtrlSum>2029.80" }, sameRemittance },
        "");
    row("remittance differing in one digit", ct,
        paidTwice
            + QList<Replacement> { { "Rechnung 4711 vom 01.12.2026, Obstgehoelze",
                "Kundennummer 20931, Lieferung vom 28.11.2025" } },
        "");
    // The second transfer's structured reference on the first, which then pays the second's account and
    // amount.
    const QList<Replacement> referenceTwice
        = { { "DE19200500600098765432", "DE85300400700044556677" }, { ">2480.00<", ">1653.30<" },
              { "<CtrlSum>4321.55", "<CtrlSum>3494.85" }, { "<CtrlSum>4321.55", "<CtrlSum>3494.85" } };
    const QByteArray reference
        = "<Strd><CdtrRefInf><Tp><CdOrPrtry><Cd>SCOR</Cd></CdOrPrtry></Tp><Ref>%1</Ref>"
          "</CdtrRefInf></Strd>";
    row("same account, amount and structured reference twice", ct,
        referenceTwice
            + QList<Replacement> { { "<Ustrd>Rechnung 4711 vom 01.12.2026, Obstgehoelze</Ustrd>",
                QByteArray(reference).replace("%1", "RF2820264711") } },
        "PAYMENT-DUPLICATE", "<CdtTrfTxInf>", 2);
    row("same account and amount, another structured reference", ct,
        referenceTwice
            + QList<Replacement> { { "<Ustrd>Rechnung 4711 vom 01.12.2026, Obstgehoelze</Ustrd>",
                QByteArray(reference).replace("%1", "RF18539007547034") } },
        "");
    row("same account and amount, one with a remittance text and one with a reference", ct, referenceTwice,
        "");

    // The first transfer's end-to-end id and account on the second: a correction beside the original.
    row("same end-to-end id and account with another amount", ct,
        { { "KD-88213-2026-12", "RE-2026-4711" }, { "DE85300400700044556677", "DE19200500600098765432" } },
        "PAYMENT-ENDTOENDID-AMOUNTS", "<CdtTrfTxInf>", 2);
    row("same end-to-end id and account with the same amount", ct,
        { { "KD-88213-2026-12", "RE-2026-4711" }, { "DE85300400700044556677", "DE19200500600098765432" },
            { ">1653.30<", ">2480.00<" }, { "<CtrlSum>4321.55", "<CtrlSum>5148.25" },
            { "<CtrlSum>4321.55", "<CtrlSum>5148.25" } },
        "DUPLICATE-ENDTOENDID", "<EndToEndId>RE-2026-4711", 2);

    row("execution date before the creation date", ct, { { "<Dt>2026-12-14", "<Dt>2026-12-09" } },
        "EXECUTION-DATE-PAST", "<Dt>2026-12-09");
    row("execution date 1999-01-01, as soon as possible", ct, { { "<Dt>2026-12-14", "<Dt>1999-01-01" } }, "");
    row("execution date 366 days ahead", ct, { { "<Dt>2026-12-14", "<Dt>2027-12-11" } }, "EXECUTION-DATE-FAR",
        "<Dt>2027-12-11");
    row("execution date 365 days ahead", ct, { { "<Dt>2026-12-14", "<Dt>2027-12-10" } }, "");
    row("collection date before the creation date", dd,
        { { "<ReqdColltnDt>2026-12-15", "<ReqdColltnDt>2026-12-09" } }, "COLLECTION-DATE-PAST",
        "<ReqdColltnDt>");
    row("collection date on the creation date", dd,
        { { "<ReqdColltnDt>2026-12-15", "<ReqdColltnDt>2026-12-10" } }, "");
    row("collection date 15 days ahead", dd,
        { { "<CreDtTm>2026-12-10", "<CreDtTm>2026-12-09" },
            { "<ReqdColltnDt>2026-12-15", "<ReqdColltnDt>2026-12-24" } },
        "COLLECTION-DATE-FAR", "<ReqdColltnDt>");
    row("collection date 14 days ahead", dd, { { "<ReqdColltnDt>2026-12-15", "<ReqdColltnDt>2026-12-24" } },
        "");
    row("mandate signed after the collection date", dd, { { "2026-09-20", "2026-12-16" } },
        "MANDATE-SIGNED-AFTER-COLLECTION", "<DtOfSgntr>2026-12-16");
    row("mandate signed on the collection date, which is the creation date", dd,
        { { "<CreDtTm>2026-12-10", "<CreDtTm>2026-12-11" },
            { "<ReqdColltnDt>2026-12-15", "<ReqdColltnDt>2026-12-11" }, { "2026-09-20", "2026-12-11" } },
        "");
    row("collection date 1999-01-01", dd, { { "<ReqdColltnDt>2026-12-15", "<ReqdColltnDt>1999-01-01" } },
        "COLLECTION-DATE-PAST", "<ReqdColltnDt>");
    row("collection date on a Saturday", dd, { { "<ReqdColltnDt>2026-12-15", "<ReqdColltnDt>2026-12-12" } },
        "COLLECTION-DATE-HOLIDAY", "<ReqdColltnDt>");
    row("collection date on Christmas Day", dd,
        { { "<CreDtTm>2026-12-10", "<CreDtTm>2026-12-11" },
            { "<ReqdColltnDt>2026-12-15", "<ReqdColltnDt>2026-12-25" } },
        "COLLECTION-DATE-HOLIDAY", "<ReqdColltnDt>");
    row("collection date on Christmas Eve", dd,
        { { "<CreDtTm>2026-12-10", "<CreDtTm>2026-12-11" },
            { "<ReqdColltnDt>2026-12-15", "<ReqdColltnDt>2026-12-24" } },
        "");
    row("mandate signed after the file was created", dd, { { "2026-09-20", "2026-12-11" } },
        "MANDATE-SIGNED-AFTER-CREATION", "<DtOfSgntr>2026-12-11");
    row("mandate signed on the day the file was created", dd, { { "2026-09-20", "2026-12-10" } }, "");
    row("debtor's IBAN is the creditor's", dd, { { "DE19200500600098765432", "DE48800900300033221100" } },
        "DEBTOR-IS-CREDITOR", "<IBAN>DE48800900300033221100", 2);
    row("credit transfer to the debtor's own IBAN", ct,
        { { "DE19200500600098765432", "DE27100200300012345678" } }, "");
    row("file created 31 days ago", ct, { { "<CreDtTm>2026-12-10", "<CreDtTm>2026-11-10" } },
        "CREATION-DATE-OLD", "<CreDtTm>");
    row("file created 30 days ago", ct, { { "<CreDtTm>2026-12-10", "<CreDtTm>2026-11-11" } }, "");
    row("file created two and a half hours from now", ct,
        { { "<CreDtTm>2026-12-10T09:30:00", "<CreDtTm>2026-12-11T14:30:00Z" } }, "CREATION-DATE-FUTURE",
        "<CreDtTm>");
    row("file created half an hour from now", ct,
        { { "<CreDtTm>2026-12-10T09:30:00", "<CreDtTm>2026-12-11T12:30:00Z" } }, "");
    return rows;
}

struct HistoryRow
{
    const char *name;
    QList<Replacement> changes; // of the file checked now, against the example checked before
    bool sameWindow; // the earlier check was this window's, since it opened
    QString code;
    QByteArray marker;
};

std::vector<HistoryRow> historyRows()
{
    const QByteArray msgId = "LINDENHOF-SCT-20261210-001";
    return {
        { "the same file checked three days ago", {}, false, QStringLiteral("MSGID-CHECKED-BEFORE"),
            "<MsgId>" },
        { "the same payments under a new MsgId", { { msgId, "LINDENHOF-SCT-20261210-002" } }, false,
            QStringLiteral("PAYMENTS-CHECKED-BEFORE"), "<PmtInf>" },
        { "the same MsgId for other payments", { { "KD-88213-2026-12", "KD-88213-2026-13" } }, false,
            QStringLiteral("MSGID-CHECKED-BEFORE"), "<MsgId>" },
        { "a new MsgId and other payments",
            { { msgId, "LINDENHOF-SCT-20261210-002" }, { "KD-88213-2026-12", "KD-88213-2026-13" } }, false,
            {}, {} },
        { "the same payments on another execution date",
            { { msgId, "LINDENHOF-SCT-20261210-002" }, { "<Dt>2026-12-14", "<Dt>2026-12-15" } }, false, {},
            {} },
        { "the window checking its own file again", {}, true, {}, {} },
    };
}

} // namespace

void TestRulesPass::oneRulePerRow_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QList<Replacement>>("changes");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QByteArray>("marker");
    QTest::addColumn<int>("occurrence");
    for (const RuleRow &r : ruleRows())
        QTest::newRow(r.name) << r.base << r.changes << r.encoding << r.code << r.marker << r.occurrence;
}

void TestRulesPass::oneRulePerRow()
{
    QFETCH(QString, base);
    QFETCH(QList<Replacement>, changes);
    QFETCH(int, encoding);
    QFETCH(QString, code);
    QFETCH(QByteArray, marker);
    QFETCH(int, occurrence);

    const QByteArray pretty = replaced(readAll(base), changes);
    // Positions as the schema report counts them, also in a file on one line.
    for (const QByteArray &text : { pretty, oneLine(pretty) }) {
        const std::vector<sepa::Finding> findings = findingsOf(text, TextEncoding(encoding));
        if (code.isEmpty()) {
            QVERIFY2(findings.empty(), qPrintable(described(findings)));
            continue;
        }
        QVERIFY2(findings.size() == 1, qPrintable(described(findings)));
        const sepa::Finding &f = findings.front();
        QCOMPARE(f.code, code);
        const Expected at = locate(text, marker, occurrence);
        QVERIFY2(at.line > 0, marker.constData());
        QCOMPARE(f.line, at.line);
        QCOMPARE(f.linePos, at.linePos);
        QCOMPARE(f.filePos, at.filePos);
        // A very long line is shown from the element on.
        if (at.lineText.size() <= 1000)
            QCOMPARE(f.srcText, at.lineText);
        else
            QVERIFY2(f.srcText.startsWith(QString::fromUtf8(marker)), qPrintable(f.srcText));
        QVERIFY(!f.german.isEmpty() && !f.english.isEmpty());
        QVERIFY2(!f.english.contains(u'%') || code == u"TEXT-CHARSET", qPrintable(f.english));
    }
}

void TestRulesPass::everyRuleHasARow()
{
    QSet<QString> codes;
    for (const sepa::Rule &r : sepa::rules())
        codes.insert(QString::fromLatin1(r.code));
    QSet<QString> broken;
    for (const RuleRow &r : ruleRows()) {
        if (!r.code.isEmpty())
            broken.insert(r.code);
    }
    for (const HistoryRow &r : historyRows()) {
        if (!r.code.isEmpty())
            broken.insert(r.code);
    }
    QCOMPARE(broken, codes);
}

void TestRulesPass::noFindingInGoodFiles_data()
{
    QTest::addColumn<QString>("file");
    for (const char *name : { "valid-credit-transfer.xml", "valid-direct-debit.xml",
             "valid-instant-credit-transfer.xml", "invalid-credit-transfer.xml" })
        QTest::newRow(name) << exampleFile(QString::fromLatin1(name));

    // The benchmark generator's valid files, as they come from it.
    static QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const struct
    {
        const char *name;
        QStringList arguments;
    } generated[] = {
        { "generated credit transfers", { QStringLiteral("--type"), QStringLiteral("sct") } },
        { "generated direct debits", { QStringLiteral("--type"), QStringLiteral("sdd") } },
        { "generated direct debits on one line",
            { QStringLiteral("--type"), QStringLiteral("sdd"), QStringLiteral("--single-line") } },
    };
    for (const auto &g : generated) {
        const QString out
            = dir.filePath(QString::fromLatin1(g.name).replace(u' ', u'-') + QStringLiteral(".xml"));
        QProcess python;
        python.start(QStringLiteral("python3"),
            QStringList { QStringLiteral(PRAVIK_SOURCE_DIR "/bench/generate_payments.py"),
                QStringLiteral("--transactions"), QStringLiteral("6000"),
                QStringLiteral("--per-payment-info"), QStringLiteral("2500") }
                + g.arguments + QStringList { out });
        QVERIFY2(python.waitForFinished(120000) && python.exitCode() == 0,
            python.readAllStandardError().constData());
        QTest::newRow(g.name) << out;
    }
}

void TestRulesPass::noFindingInGoodFiles()
{
    QFETCH(QString, file);
    const std::vector<sepa::Finding> findings = findingsOf(readAll(file));
    QVERIFY2(findings.empty(), qPrintable(described(findings)));
}

void TestRulesPass::textsNameTheFirstOccurrence()
{
    const QByteArray text = replaced(readAll(exampleFile(QStringLiteral("valid-credit-transfer.xml"))),
        { { "KD-88213-2026-12", "RE-2026-4711" } });
    const std::vector<sepa::Finding> findings = findingsOf(text);
    QCOMPARE(findings.size(), size_t(1));
    const int first = locate(text, "<EndToEndId>RE-2026-4711", 1).line;
    QCOMPARE(findings.front().english,
        QStringLiteral("EndToEndId RE-2026-4711 already stands in line %1; is the same payment made twice?")
            .arg(first));
    QCOMPARE(findings.front().german,
        QStringLiteral(
            "EndToEndId RE-2026-4711 steht schon in Zeile %1; wird dieselbe Zahlung doppelt ausgeführt?")
            .arg(first));
    QCOMPARE(findings.front().severity, sepa::Severity::Warning);
}

void TestRulesPass::findingsComeInDocumentOrder()
{
    // The group header's sum is judged at the end of the file but stands before everything else.
    const QByteArray text = replaced(readAll(exampleFile(QStringLiteral("valid-credit-transfer.xml"))),
        { { "<CtrlSum>4321.55", "<CtrlSum>1.00" }, { "DE19200500600098765432", "DE19200500600098765423" },
            { "<Dt>2026-12-14", "<Dt>2026-12-01" } });
    const std::vector<sepa::Finding> findings = findingsOf(text, TextEncoding::Utf8Bom);
    QStringList codes;
    for (const sepa::Finding &f : findings)
        codes.append(f.code);
    QCOMPARE(codes,
        QStringList({ QStringLiteral("FILE-BOM"), QStringLiteral("GRPHDR-CTRLSUM"),
            QStringLiteral("EXECUTION-DATE-PAST"), QStringLiteral("IBAN-CHECKDIGITS") }));
    QCOMPARE(findings[1].english,
        QStringLiteral(
            "CtrlSum of the group header says 1.00; the amounts of the transactions add up to 4321.55."));
}

namespace {
const char *const kPain001 = "urn:iso:std:iso:20022:tech:xsd:pain.001.001.09";

// One leaf element, as the engine hands it to the rules.
void leaf(sepa::RulesPass &rules, const char *name, const char *ns, const char *text, qsizetype offset = 0)
{
    rules.startElement(name, ns, offset);
    rules.characters(text, int(std::strlen(text)));
    rules.endElement();
}
} // namespace

void TestRulesPass::findingsStopAtTheLimit()
{
    const QByteArray text("<Document/>");
    sepa::RulesPass rules(text, TextEncoding::Utf8);
    rules.startElement("Document", kPain001, 0);
    for (qsizetype i = 0; i < sepa::RulesPass::kMaxFindings + 10; ++i)
        leaf(rules, "Nm", kPain001, "under_score");
    rules.endElement();
    const std::vector<sepa::Finding> findings = rules.finish();
    QCOMPARE(qsizetype(findings.size()), sepa::RulesPass::kMaxFindings);
    QVERIFY(rules.stoppedEarly());
}

void TestRulesPass::warningsNeverPushOutErrors()
{
    // More duplicate references than the list holds, then a mistyped IBAN and a wrong count.
    const QByteArray text("<Document/>");
    sepa::RulesPass rules(text, TextEncoding::Utf8);
    rules.startElement("Document", kPain001, 0);
    rules.startElement("CstmrCdtTrfInitn", kPain001, 0);
    rules.startElement("GrpHdr", kPain001, 0);
    leaf(rules, "NbOfTxs", kPain001, "1");
    rules.endElement();
    rules.startElement("PmtInf", kPain001, 0);
    const qsizetype transactions = sepa::RulesPass::kMaxFindings + 5;
    for (qsizetype i = 0; i < transactions; ++i) {
        rules.startElement("CdtTrfTxInf", kPain001, 0);
        rules.startElement("PmtId", kPain001, 0);
        leaf(rules, "EndToEndId", kPain001, "SAME");
        rules.endElement();
        if (i + 1 == transactions)
            leaf(rules, "IBAN", kPain001, "DE19200500600098765423");
        rules.endElement();
    }
    rules.endElement();
    rules.endElement();
    rules.endElement();
    const std::vector<sepa::Finding> findings = rules.finish();

    QCOMPARE(rules.errorCount(), qsizetype(2));
    QCOMPARE(rules.warningCount(), transactions - 1);
    QCOMPARE(qsizetype(findings.size()), sepa::RulesPass::kMaxFindings);
    QCOMPARE(rules.unlisted(), rules.errorCount() + rules.warningCount() - sepa::RulesPass::kMaxFindings);
    QVERIFY(rules.stoppedEarly());
    QStringList errors;
    for (const sepa::Finding &f : findings) {
        if (f.severity == sepa::Severity::Error)
            errors.append(f.code);
    }
    errors.sort();
    QCOMPARE(errors, QStringList({ QStringLiteral("GRPHDR-NBOFTXS"), QStringLiteral("IBAN-CHECKDIGITS") }));
}

void TestRulesPass::countsSpeakInTheRightNumber_data()
{
    QTest::addColumn<QByteArray>("stated");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("german");
    QTest::newRow("one transaction stated")
        << QByteArray("1") << QStringLiteral("says 1 transaction;") << QStringLiteral("nennt 1 Transaktion;");
    QTest::newRow("four transactions stated") << QByteArray("4") << QStringLiteral("says 4 transactions;")
                                              << QStringLiteral("nennt 4 Transaktionen;");
    QTest::newRow("eleven transactions stated") << QByteArray("11") << QStringLiteral("says 11 transactions;")
                                                << QStringLiteral("nennt 11 Transaktionen;");
}

void TestRulesPass::countsSpeakInTheRightNumber()
{
    QFETCH(QByteArray, stated);
    QFETCH(QString, english);
    QFETCH(QString, german);
    const QByteArray text = replaced(readAll(exampleFile(QStringLiteral("valid-credit-transfer.xml"))),
        { { "<NbOfTxs>3", "<NbOfTxs>" + stated } });
    const std::vector<sepa::Finding> findings = findingsOf(text);
    QVERIFY2(findings.size() == 1, qPrintable(described(findings)));
    QVERIFY2(findings.front().english.contains(english), qPrintable(findings.front().english));
    QVERIFY2(findings.front().german.contains(german), qPrintable(findings.front().german));
}

void TestRulesPass::filesCheckedBefore_data()
{
    QTest::addColumn<QList<Replacement>>("changes");
    QTest::addColumn<bool>("sameWindow");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QByteArray>("marker");
    for (const HistoryRow &r : historyRows())
        QTest::newRow(r.name) << r.changes << r.sameWindow << r.code << r.marker;
}

void TestRulesPass::filesCheckedBefore()
{
    QFETCH(QList<Replacement>, changes);
    QFETCH(bool, sameWindow);
    QFETCH(QString, code);
    QFETCH(QByteArray, marker);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    SetSettingsFolder(dir.path());
    const auto restore = qScopeGuard([] { SetSettingsFolder(QString()); });

    // The example, checked three days ago.
    const QByteArray before = readAll(exampleFile(QStringLiteral("valid-credit-transfer.xml")));
    const QDateTime earlier = testNow().addDays(-3);
    {
        sepa::RulesPass rules(before, TextEncoding::Utf8);
        rules.setNow(earlier);
        std::unique_ptr<TXMLParseErrors> errors;
        ValidationEngine::ValidateXMLUtf8(before, errors, nullptr, &rules);
        rules.finish();
        QVERIFY(rules.historyEntry().has_value());
        QCOMPARE(sepa::History::record({ *rules.historyEntry() }), QString());
    }
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("check-history.json"))));

    const sepa::History past = sepa::History::load();
    const QByteArray text = replaced(before, changes);
    const std::vector<sepa::Finding> findings
        = findingsOf(text, TextEncoding::Utf8, &past, sameWindow ? earlier.addSecs(-60) : QDateTime());
    if (code.isEmpty()) {
        QVERIFY2(findings.empty(), qPrintable(described(findings)));
        return;
    }
    QVERIFY2(findings.size() == 1, qPrintable(described(findings)));
    QCOMPARE(findings.front().code, code);
    QCOMPARE(findings.front().severity, sepa::Severity::Warning);
    QCOMPARE(findings.front().line, locate(text, marker, 1).line);
    // Says when, in this computer's time.
    const QString when = earlier.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    QVERIFY2(findings.front().english.contains(when), qPrintable(findings.front().english));
    QVERIFY2(findings.front().german.contains(when), qPrintable(findings.front().german));
}

void TestRulesPass::otherVocabulariesGetNoFinding()
{
    const QByteArray text("<greeting/>");
    sepa::RulesPass rules(text, TextEncoding::Windows1252);
    rules.startElement("greeting", "urn:example:greeting", 0);
    leaf(rules, "IBAN", "urn:example:greeting", "DE00370400440532013000");
    leaf(rules, "text", "urn:example:greeting", "@ and _ and <");
    rules.endElement();
    QVERIFY2(rules.finish().empty(), "a document of another vocabulary got findings");
}

void TestRulesPass::passCutShortJudgesNoFileTotals()
{
    // The engine stops reading after too many schema errors; what the rules saw until then must not
    // be taken for the whole file.
    const QByteArray text("<Document/>");
    sepa::RulesPass rules(text, TextEncoding::Utf8);
    rules.startElement("Document", kPain001, 0);
    rules.startElement("CstmrCdtTrfInitn", kPain001, 0);
    rules.startElement("GrpHdr", kPain001, 0);
    leaf(rules, "NbOfTxs", kPain001, "5");
    leaf(rules, "CtrlSum", kPain001, "5.00");
    rules.endElement();
    rules.startElement("PmtInf", kPain001, 0);
    rules.startElement("CdtTrfTxInf", kPain001, 0);
    rules.startElement("Amt", kPain001, 0);
    leaf(rules, "InstdAmt", kPain001, "1.00");
    rules.endElement();
    rules.endElement();
    const std::vector<sepa::Finding> findings = rules.finish();
    QVERIFY2(findings.empty(), qPrintable(described(findings)));
    QVERIFY(!rules.stoppedEarly());
}

QTEST_GUILESS_MAIN(TestRulesPass)
#include "tst_rulespass.moc"

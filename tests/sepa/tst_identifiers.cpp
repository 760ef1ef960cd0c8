// Check digits and structure of IBAN, BIC and creditor identifier, the IBAN registry's lengths, the
// exact decimal sums of the control-sum rule and how amounts are written, the set of identifiers seen
// and the history's SHA-256.

#include "sepa/businessdays.h"
#include "sepa/decimal.h"
#include "sepa/identifiers.h"
#include "sepa/idset.h"
#include "sepa/sha256.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

namespace {

// ISO 13616's check, computed apart from the library: the rearranged IBAN as one long decimal number,
// divided by 97 nine digits at a time.
int remainderOfRearranged(const QByteArray &iban)
{
    const QByteArray rearranged = iban.mid(4) + iban.left(4);
    QByteArray digits;
    for (const char c : rearranged)
        digits += c >= 'A' && c <= 'Z' ? QByteArray::number(c - 'A' + 10) : QByteArray(1, c);
    qint64 remainder = 0;
    for (qsizetype i = 0; i < digits.size(); i += 9) {
        const QByteArray chunk = digits.mid(i, 9);
        remainder = (QByteArray::number(remainder) + chunk).toLongLong() % 97;
    }
    return int(remainder);
}

// Examples of the registry, one per country; each one's check digits were verified by hand (mod 97 = 1),
// and the test verifies them again, apart from the library.
const struct
{
    const char *country;
    const char *iban;
} kVerifiedIbans[] = {
    { "Andorra", "AD1200012030200359100100" },
    { "United Arab Emirates", "AE070331234567890123456" },
    { "Albania", "AL47212110090000000235698741" },
    { "Austria", "AT611904300234573201" },
    { "Azerbaijan", "AZ21NABZ00000000137010001944" },
    { "Bosnia and Herzegovina", "BA391290079401028494" },
    { "Belgium", "BE68539007547034" },
    { "Bulgaria", "BG80BNBG96611020345678" },
    { "Bahrain", "BH67BMAG00001299123456" },
    { "Brazil", "BR1800360305000010009795493C1" },
    { "Belarus", "BY13NBRB3600900000002Z00AB00" },
    { "Switzerland", "CH9300762011623852957" },
    { "Costa Rica", "CR05015202001026284066" },
    { "Cyprus", "CY17002001280000001200527600" },
    { "Czechia", "CZ6508000000192000145399" },
    { "Germany", "DE89370400440532013000" },
    { "Denmark", "DK5000400440116243" },
    { "Dominican Republic", "DO28BAGR00000001212453611324" },
    { "Estonia", "EE382200221020145685" },
    { "Egypt", "EG380019000500000000263180002" },
    { "Spain", "ES9121000418450200051332" },
    { "Finland", "FI2112345600000785" },
    { "Faroe Islands", "FO6264600001631634" },
    { "France", "FR1420041010050500013M02606" },
    { "United Kingdom", "GB29NWBK60161331926819" },
    { "Georgia", "GE29NB0000000101904917" },
    { "Gibraltar", "GI75NWBK000000007099453" },
    { "Greenland", "GL8964710001000206" },
    { "Greece", "GR1601101250000000012300695" },
    { "Guatemala", "GT82TRAJ01020000001210029690" },
    { "Croatia", "HR1210010051863000160" },
    { "Hungary", "HU42117730161111101800000000" },
    { "Ireland", "IE29AIBK93115212345678" },
    { "Israel", "IL620108000000099999999" },
    { "Iraq", "IQ98NBIQ850123456789012" },
    { "Iceland", "IS140159260076545510730339" },
    { "Italy", "IT60X0542811101000000123456" },
    { "Jordan", "JO94CBJO0010000000000131000302" },
    { "Kuwait", "KW81CBKU0000000000001234560101" },
    { "Kazakhstan", "KZ86125KZT5004100100" },
    { "Lebanon", "LB62099900000001001901229114" },
    { "Saint Lucia", "LC55HEMM000100010012001200023015" },
    { "Liechtenstein", "LI21088100002324013AA" },
    { "Lithuania", "LT121000011101001000" },
    { "Luxembourg", "LU280019400644750000" },
    { "Latvia", "LV80BANK0000435195001" },
    { "Monaco", "MC5811222000010123456789030" },
    { "Moldova", "MD24AG000225100013104168" },
    { "Montenegro", "ME25505000012345678951" },
    { "North Macedonia", "MK07250120000058984" },
    { "Mauritania", "MR1300020001010000123456753" },
    { "Malta", "MT84MALT011000012345MTLCAST001S" },
    { "Mauritius", "MU17BOMM0101101030300200000MUR" },
    { "Netherlands", "NL91ABNA0417164300" },
    { "Norway", "NO9386011117947" },
    { "Pakistan", "PK36SCBL0000001123456702" },
    { "Poland", "PL61109010140000071219812874" },
    { "Palestine", "PS92PALS000000000400123456702" },
    { "Portugal", "PT50000201231234567890154" },
    { "Qatar", "QA58DOHB00001234567890ABCDEFG" },
    { "Romania", "RO49AAAA1B31007593840000" },
    { "Serbia", "RS35260005601001611379" },
    { "Saudi Arabia", "SA0380000000608010167519" },
    { "Seychelles", "SC18SSCB11010000000000001497USD" },
    { "Sweden", "SE4550000000058398257466" },
    { "Slovenia", "SI56263300012039086" },
    { "Slovakia", "SK3112000000198742637541" },
    { "San Marino", "SM86U0322509800000000270100" },
    { "Sao Tome and Principe", "ST68000100010051845310112" },
    { "El Salvador", "SV62CENR00000000000000700025" },
    { "Timor-Leste", "TL380080012345678910157" },
    { "Tunisia", "TN5910006035183598478831" },
    { "Turkey", "TR330006100519786457841326" },
    { "Ukraine", "UA213223130000026007233566001" },
    { "Vatican City", "VA59001123000012345678" },
    { "British Virgin Islands", "VG96VPVG0000012345678901" },
    { "Kosovo", "XK051212012345678906" },
    { "Libya", "LY83002048000020100120361" },
    { "Sudan", "SD2129010501234001" },
    { "Russia", "RU0304452522540817810538091310419" },
    { "Burundi", "BI4210000100010000332045181" },
    { "Djibouti", "DJ2100010000000154000100186" },
    { "Somalia", "SO211000001001000100141" },
    { "Nicaragua", "NI45BAPR00000013000003558124" },
    { "Mongolia", "MN121234123456789123" },
    { "Falkland Islands", "FK88SC123456789012" },
    { "Oman", "OM810180000001299123456" },
};

QByteArray withCharacterChanged(QByteArray s, qsizetype at, char c)
{
    s[at] = c;
    return s;
}

} // namespace

class TestIdentifiers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void registryCountryWithVerifiedIban_data();
    void registryCountryWithVerifiedIban();
    void everyRegistryRowHasAVerifiedIban();
    void brokenIbans_data();
    void brokenIbans();
    void creditorIdentifiers_data();
    void creditorIdentifiers();
    void bics_data();
    void bics();
    void exactSums_data();
    void exactSums();
    void transactionAmounts_data();
    void transactionAmounts();
    void writtenAmounts_data();
    void writtenAmounts();
    void identifiersSeen_data();
    void identifiersSeen();
    void identifiersSeenPastGrowth();
    void sha256AsQt_data();
    void sha256AsQt();
    void referenceAndLeiCheckDigits_data();
    void referenceAndLeiCheckDigits();
    void targetClosingDays_data();
    void targetClosingDays();
    void sepaCountries_data();
    void sepaCountries();
};

void TestIdentifiers::registryCountryWithVerifiedIban_data()
{
    QTest::addColumn<QByteArray>("iban");
    for (const auto &v : kVerifiedIbans)
        QTest::newRow(v.country) << QByteArray(v.iban);
}

void TestIdentifiers::registryCountryWithVerifiedIban()
{
    QFETCH(QByteArray, iban);
    QCOMPARE(remainderOfRearranged(iban), 1);
    QCOMPARE(sepa::ibanLength(QByteArrayView(iban).first(2)), std::optional<int>(int(iban.size())));
    int remainder = -1;
    QCOMPARE(sepa::checkIban(iban, &remainder), sepa::IbanProblem::None);
    QCOMPARE(remainder, 1);
}

void TestIdentifiers::everyRegistryRowHasAVerifiedIban()
{
    QFile csv(QStringLiteral(PRAVIK_SOURCE_DIR "/sepa/data/iban-lengths.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QSet<QByteArray> registry;
    for (const QByteArray &row : csv.readAll().split('\n')) {
        if (!row.isEmpty() && !row.startsWith('#'))
            registry.insert(row.left(2));
    }
    QSet<QByteArray> verified;
    for (const auto &v : kVerifiedIbans)
        verified.insert(QByteArray(v.iban).left(2));
    QCOMPARE(registry.size(), 87);
    QCOMPARE(verified, registry);
}

void TestIdentifiers::brokenIbans_data()
{
    QTest::addColumn<QByteArray>("iban");
    QTest::addColumn<sepa::IbanProblem>("problem");
    const QByteArray de = "DE89370400440532013000";
    QTest::newRow("IBAN with two digits swapped")
        << QByteArray("DE89370400440532031000") << sepa::IbanProblem::WrongCheckDigits;
    QTest::newRow("IBAN with one digit mistyped")
        << withCharacterChanged(de, 12, '5') << sepa::IbanProblem::WrongCheckDigits;
    QTest::newRow("IBAN with wrong check digits")
        << withCharacterChanged(de, 3, '8') << sepa::IbanProblem::WrongCheckDigits;
    QTest::newRow("IBAN with lower-case letters after the check digits")
        << QByteArray("GB29nwbk60161331926819") << sepa::IbanProblem::LowerCase;
    QTest::newRow("IBAN with lower-case letters and a mistyped digit")
        << QByteArray("GB29nwbk60161331926818") << sepa::IbanProblem::WrongCheckDigits;
    QTest::newRow("German IBAN one digit short") << de.left(21) << sepa::IbanProblem::WrongLength;
    QTest::newRow("German IBAN one digit long") << de + '0' << sepa::IbanProblem::WrongLength;
    QTest::newRow("Norwegian IBAN of German length")
        << QByteArray("NO9386011117947000000") << sepa::IbanProblem::WrongLength;
    QTest::newRow("country without IBAN")
        << QByteArray("US64SVBKUS6S3300958879") << sepa::IbanProblem::UnknownCountry;
    QTest::newRow("no country") << QByteArray("0089370400440532013000") << sepa::IbanProblem::NotAnIban;
    QTest::newRow("blank inside") << QByteArray("DE89 3704 0044 0532 0130 00")
                                  << sepa::IbanProblem::NotAnIban;
    QTest::newRow("too short to be one") << QByteArray("DE89") << sepa::IbanProblem::NotAnIban;
}

void TestIdentifiers::brokenIbans()
{
    QFETCH(QByteArray, iban);
    QFETCH(sepa::IbanProblem, problem);
    QCOMPARE(sepa::checkIban(iban), problem);
}

void TestIdentifiers::creditorIdentifiers_data()
{
    QTest::addColumn<QByteArray>("id");
    QTest::addColumn<sepa::CreditorIdProblem>("problem");
    QTest::addColumn<QByteArray>("expected");
    // Check digits computed by hand: 98 - (national part + country + "00") mod 97.
    QTest::newRow("German identifier")
        << QByteArray("DE98ZZZ09999999999") << sepa::CreditorIdProblem::None << QByteArray();
    QTest::newRow("German identifier of the examples")
        << QByteArray("DE32ZZZ00000123456") << sepa::CreditorIdProblem::None << QByteArray();
    QTest::newRow("business code plays no part")
        << QByteArray("DE32ABC00000123456") << sepa::CreditorIdProblem::None << QByteArray();
    QTest::newRow("Austrian identifier of another length")
        << QByteArray("AT92ZZZ0000012345") << sepa::CreditorIdProblem::None << QByteArray();
    QTest::newRow("country in lower case, as the schema allows")
        << QByteArray("de98ZZZ09999999999") << sepa::CreditorIdProblem::None << QByteArray();
    QTest::newRow("German identifier in lower case one digit short")
        << QByteArray("de98ZZZ0999999999") << sepa::CreditorIdProblem::WrongLength << QByteArray();
    QTest::newRow("Dutch identifier")
        << QByteArray("NL92ZZZ000000001") << sepa::CreditorIdProblem::None << QByteArray();
    QTest::newRow("letters in the national part count as numbers")
        << QByteArray("NL85ZZZ0000012345A") << sepa::CreditorIdProblem::WrongCheckDigits << QByteArray("71");
    QTest::newRow("check digits off by one")
        << QByteArray("DE33ZZZ00000123456") << sepa::CreditorIdProblem::WrongCheckDigits << QByteArray("32");
    QTest::newRow("national part mistyped")
        << QByteArray("DE32ZZZ00000123465") << sepa::CreditorIdProblem::WrongCheckDigits << QByteArray("80");
    QTest::newRow("German identifier one digit short")
        << QByteArray("DE32ZZZ0000012345") << sepa::CreditorIdProblem::WrongLength << QByteArray();
    QTest::newRow("no check digits") << QByteArray("DEXXZZZ00000123456") << sepa::CreditorIdProblem::Malformed
                                     << QByteArray();
    QTest::newRow("nothing after the business code")
        << QByteArray("AT92ZZZ") << sepa::CreditorIdProblem::Malformed << QByteArray();
}

void TestIdentifiers::creditorIdentifiers()
{
    QFETCH(QByteArray, id);
    QFETCH(sepa::CreditorIdProblem, problem);
    QFETCH(QByteArray, expected);
    QByteArray shouldBe;
    QCOMPARE(sepa::checkCreditorId(id, &shouldBe), problem);
    QCOMPARE(shouldBe, expected);
}

void TestIdentifiers::bics_data()
{
    QTest::addColumn<QByteArray>("bic");
    QTest::addColumn<bool>("wellFormed");
    QTest::newRow("eleven characters") << QByteArray("MUSTDEFFXXX") << true;
    QTest::newRow("eight characters") << QByteArray("MUSTDEFF") << true;
    QTest::newRow("digits in institution and location") << QByteArray("1BC2DE21") << true;
    QTest::newRow("ten characters") << QByteArray("MUSTDEFFXX") << false;
    QTest::newRow("digit in the country") << QByteArray("MUSTD3FFXXX") << false;
    QTest::newRow("lower case") << QByteArray("mustdeffxxx") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestIdentifiers::bics()
{
    QFETCH(QByteArray, bic);
    QFETCH(bool, wellFormed);
    QCOMPARE(sepa::isWellFormedBic(bic), wellFormed);
}

void TestIdentifiers::exactSums_data()
{
    QTest::addColumn<QList<QByteArray>>("amounts");
    QTest::addColumn<QByteArray>("sum");
    QTest::newRow("cents that floating point gets wrong")
        << QList<QByteArray> { "0.10", "0.20" } << QByteArray("0.30");
    QTest::newRow("a million times a cent") << QList<QByteArray>(1000000, "0.01") << QByteArray("10000.00");
    QTest::newRow("different numbers of fraction digits")
        << QList<QByteArray> { "2480", "1653.3", "188.25" } << QByteArray("4321.55");
    QTest::newRow("three fraction digits kept")
        << QList<QByteArray> { "12.345", "0.005" } << QByteArray("12.350");
    QTest::newRow("amounts of eighteen digits")
        << QList<QByteArray> { "9999999999999999.99", "0.01" } << QByteArray("10000000000000000.00");
    QTest::newRow("blanks around and a leading point")
        << QList<QByteArray> { " 1.5 ", ".5" } << QByteArray("2.00");
}

void TestIdentifiers::exactSums()
{
    QFETCH(QList<QByteArray>, amounts);
    QFETCH(QByteArray, sum);
    sepa::Decimal total;
    for (const QByteArray &a : std::as_const(amounts)) {
        const std::optional<sepa::Decimal> d = sepa::Decimal::parse(a);
        QVERIFY2(d.has_value(), a.constData());
        total += *d;
    }
    QCOMPARE(total.toString(), sum);
    QVERIFY(total.equals(*sepa::Decimal::parse(sum)));
    QVERIFY(!total.equals(*sepa::Decimal::parse(sum + "1")));
}

void TestIdentifiers::transactionAmounts_data()
{
    QTest::addColumn<QByteArray>("amount");
    QTest::addColumn<bool>("fits");
    QTest::newRow("a cent") << QByteArray("0.01") << true;
    QTest::newRow("the largest amount") << QByteArray("999999999.99") << true;
    QTest::newRow("a third decimal that is zero") << QByteArray("12.340") << true;
    QTest::newRow("a third decimal") << QByteArray("12.345") << false;
    QTest::newRow("a cent over the largest amount") << QByteArray("1000000000.00") << false;
    QTest::newRow("nothing") << QByteArray("0.00") << false;
}

void TestIdentifiers::transactionAmounts()
{
    QFETCH(QByteArray, amount);
    QFETCH(bool, fits);
    const std::optional<sepa::Decimal> d = sepa::Decimal::parse(amount);
    QVERIFY(d.has_value());
    QCOMPARE(d->isTransactionAmount(), fits);
}

void TestIdentifiers::writtenAmounts_data()
{
    QTest::addColumn<QByteArray>("amount");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("nothing") << QByteArray("0") << QByteArray("0.00");
    QTest::newRow("a whole number") << QByteArray("1000") << QByteArray("1000.00");
    QTest::newRow("one fraction digit") << QByteArray("0.5") << QByteArray("0.50");
    QTest::newRow("leading point, three fraction digits") << QByteArray(".005") << QByteArray("0.005");
    QTest::newRow("zero with three fraction digits") << QByteArray("0.000") << QByteArray("0.000");
    QTest::newRow("six fraction digits") << QByteArray("12.345678") << QByteArray("12.345678");
    QTest::newRow("leading zeros and a plus") << QByteArray("+007.10") << QByteArray("7.10");
    QTest::newRow("thirty-eight integer digits") << QByteArray("99999999999999999999999999999999999999")
                                                 << QByteArray("99999999999999999999999999999999999999.00");
    QTest::newRow("thirty-eight fraction digits") << QByteArray("0.00000000000000000000000000000000000001")
                                                  << QByteArray("0.00000000000000000000000000000000000001");
    QTest::newRow("the largest transaction amount")
        << QByteArray("999999999.99") << QByteArray("999999999.99");
}

void TestIdentifiers::writtenAmounts()
{
    QFETCH(QByteArray, amount);
    QFETCH(QByteArray, written);
    const std::optional<sepa::Decimal> d = sepa::Decimal::parse(amount);
    QVERIFY(d.has_value());
    QCOMPARE(d->toString(), written);
}

void TestIdentifiers::identifiersSeen_data()
{
    QTest::addColumn<QList<QByteArray>>("ids");
    QTest::addColumn<QList<qsizetype>>("firstSeenAt"); // per id: the offset insert returns, -1 for new
    QTest::newRow("a repeat names the first")
        << QList<QByteArray> { "A-1", "B-2", "A-1", "A-1" } << QList<qsizetype> { -1, -1, 0, 0 };
    QTest::newRow("a prefix is another identifier") << QList<QByteArray> { "E2E-1", "E2E-10", "E2E-1",
        "E2E-10", "E2E-" } << QList<qsizetype> { -1, -1, 0, 10, -1 };
    QTest::newRow("the empty identifier")
        << QList<QByteArray> { "", "x", "" } << QList<qsizetype> { -1, -1, 0 };
    QTest::newRow("a long identifier") << QList<QByteArray> { QByteArray(1024, 'R'), QByteArray(1023, 'R'),
        QByteArray(1024, 'R') } << QList<qsizetype> { -1, -1, 0 };
}

void TestIdentifiers::identifiersSeen()
{
    QFETCH(QList<QByteArray>, ids);
    QFETCH(QList<qsizetype>, firstSeenAt);
    sepa::IdSet seen;
    for (qsizetype i = 0; i < ids.size(); ++i)
        QCOMPARE(seen.insert(ids[i], i * 10), firstSeenAt[i]);
    seen.clear();
    QCOMPARE(seen.insert(ids[0], 5), qsizetype(-1));
    // Room made before the first, as the file's NbOfTxs makes it, finds the same.
    sepa::IdSet reserved;
    reserved.reserve(100000);
    for (qsizetype i = 0; i < ids.size(); ++i)
        QCOMPARE(reserved.insert(ids[i], i * 10), firstSeenAt[i]);
}

void TestIdentifiers::identifiersSeenPastGrowth()
{
    // Thousands of identifiers that differ in one character, past several doublings of the table.
    sepa::IdSet seen;
    for (int i = 0; i < 5000; ++i)
        QCOMPARE(seen.insert(QByteArray("E2E-") + QByteArray::number(i), i), qsizetype(-1));
    for (int i = 0; i < 5000; i += 7)
        QCOMPARE(seen.insert(QByteArray("E2E-") + QByteArray::number(i), 99999), qsizetype(i));
}

void TestIdentifiers::sha256AsQt_data()
{
    QTest::addColumn<bool>("processorInstructions");
    QTest::newRow("portable rounds") << false;
    QTest::newRow("the processor's SHA instructions where it has them") << true;
}

// The history keeps these digests: they must stay what QCryptographicHash gave, for every length
// around the block's 64 bytes and its padding's 56, added in pieces of every size.
void TestIdentifiers::sha256AsQt()
{
    QFETCH(bool, processorInstructions);
    QRandomGenerator random(2026);
    for (int length = 0; length <= 300; ++length) {
        QByteArray data(length, Qt::Uninitialized);
        for (char &c : data)
            c = char(random.bounded(256));
        sepa::Sha256 whole(processorInstructions);
        whole.addData(data);
        sepa::Sha256 pieces(processorInstructions);
        for (qsizetype at = 0; at < data.size();) {
            const qsizetype n = std::min<qsizetype>(data.size() - at, random.bounded(70));
            pieces.addData(QByteArrayView(data).sliced(at, n));
            at += n;
        }
        const QByteArray expected = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
        QCOMPARE(whole.result(), expected);
        QCOMPARE(pieces.result(), expected);
    }
    sepa::Sha256 abc(processorInstructions);
    abc.addData("abc");
    QCOMPARE(
        abc.result().toHex(), QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
}

namespace {
// ISO 7064 mod 97-10 apart from the library, as remainderOfRearranged does it.
int mod97Apart(const QByteArray &text)
{
    QByteArray digits;
    for (const char c : text)
        digits += c >= 'A' && c <= 'Z' ? QByteArray::number(c - 'A' + 10) : QByteArray(1, c);
    int r = 0;
    for (const char c : std::as_const(digits))
        r = (r * 10 + (c - '0')) % 97;
    return r;
}
} // namespace

void TestIdentifiers::referenceAndLeiCheckDigits_data()
{
    QTest::addColumn<bool>("lei");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("wrong");
    QTest::newRow("creditor reference of ISO 11649's example")
        << false << QByteArray("RF18539007547034") << false;
    QTest::newRow("creditor reference with two digits swapped")
        << false << QByteArray("RF18539007547043") << true;
    QTest::newRow("creditor reference with letters") << false << QByteArray("RF84KUNDE4711") << false;
    QTest::newRow("creditor reference with letters and wrong check digits")
        << false << QByteArray("RF48KUNDE4711") << true;
    QTest::newRow("creditor reference not of ISO 11649") << false << QByteArray("4711-2026") << false;
    QTest::newRow("LEI with right check digits") << true << QByteArray("5299000J2N45DDNE4Y28") << false;
    QTest::newRow("LEI with one character mistyped") << true << QByteArray("5299000J2N45DDME4Y28") << true;
    QTest::newRow("LEI one character short") << true << QByteArray("5299000J2N45DDNE4Y2") << false;
}

void TestIdentifiers::referenceAndLeiCheckDigits()
{
    QFETCH(bool, lei);
    QFETCH(QByteArray, value);
    QFETCH(bool, wrong);
    QByteArray expected;
    const bool found
        = lei ? sepa::leiDigitsWrong(value, &expected) : sepa::creditorReferenceDigitsWrong(value, &expected);
    QCOMPARE(found, wrong);
    if (!wrong)
        return;
    // The digits it proposes make the value right, computed apart.
    const QByteArray mended = lei ? value.left(18) + expected : "RF" + expected + value.mid(4);
    QCOMPARE(mod97Apart(lei ? mended : mended.mid(4) + mended.left(4)), 1);
}

void TestIdentifiers::targetClosingDays_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<sepa::ClosingDay>("closed");
    QTest::newRow("Good Friday 2027") << QDate(2027, 3, 26) << sepa::ClosingDay::GoodFriday;
    QTest::newRow("Easter Monday 2027") << QDate(2027, 3, 29) << sepa::ClosingDay::EasterMonday;
    QTest::newRow("Good Friday 2025") << QDate(2025, 4, 18) << sepa::ClosingDay::GoodFriday;
    QTest::newRow("Easter Monday 2038, the latest Easter of the century")
        << QDate(2038, 4, 26) << sepa::ClosingDay::EasterMonday;
    QTest::newRow("Good Friday 2285, Easter on its earliest day")
        << QDate(2285, 3, 20) << sepa::ClosingDay::GoodFriday;
    QTest::newRow("New Year's Day on a Friday") << QDate(2027, 1, 1) << sepa::ClosingDay::NewYear;
    QTest::newRow("1 May on a Friday") << QDate(2026, 5, 1) << sepa::ClosingDay::LabourDay;
    QTest::newRow("Christmas Day on a Friday") << QDate(2026, 12, 25) << sepa::ClosingDay::ChristmasDay;
    QTest::newRow("26 December on a Friday") << QDate(2025, 12, 26) << sepa::ClosingDay::BoxingDay;
    QTest::newRow("a Saturday") << QDate(2026, 12, 12) << sepa::ClosingDay::Saturday;
    QTest::newRow("a Sunday") << QDate(2026, 12, 13) << sepa::ClosingDay::Sunday;
    QTest::newRow("Thursday before Easter") << QDate(2027, 3, 25) << sepa::ClosingDay::None;
    QTest::newRow("Tuesday after Easter") << QDate(2027, 3, 30) << sepa::ClosingDay::None;
    QTest::newRow("Christmas Eve") << QDate(2026, 12, 24) << sepa::ClosingDay::None;
    QTest::newRow("Whit Monday, open for TARGET2") << QDate(2026, 5, 25) << sepa::ClosingDay::None;
}

void TestIdentifiers::targetClosingDays()
{
    QFETCH(QDate, date);
    QFETCH(sepa::ClosingDay, closed);
    QCOMPARE(sepa::targetClosingDay(date), closed);
}

void TestIdentifiers::sepaCountries_data()
{
    QTest::addColumn<QByteArray>("country");
    QTest::addColumn<bool>("sepa");
    QTest::newRow("Germany") << QByteArray("DE") << true;
    QTest::newRow("Switzerland") << QByteArray("CH") << true;
    QTest::newRow("United Kingdom") << QByteArray("GB") << true;
    QTest::newRow("Turkey") << QByteArray("TR") << false;
    QTest::newRow("Brazil") << QByteArray("BR") << false;
    QTest::newRow("Saudi Arabia") << QByteArray("SA") << false;
    QTest::newRow("Russia") << QByteArray("RU") << false;
    QTest::newRow("lower case") << QByteArray("de") << false;
}

void TestIdentifiers::sepaCountries()
{
    QFETCH(QByteArray, country);
    QFETCH(bool, sepa);
    QCOMPARE(sepa::isSepaCountry(country), sepa);
    // Every SEPA country has IBANs in the registry.
    if (sepa)
        QVERIFY(sepa::ibanLength(country).has_value());
}

QTEST_GUILESS_MAIN(TestIdentifiers)
#include "tst_identifiers.moc"

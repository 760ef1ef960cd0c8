#include "identifiers.h"

#include <QFile>
#include <QList>

#include <array>
#include <cstdint>

namespace sepa {

namespace {

bool isUpper(char c)
{
    return c >= 'A' && c <= 'Z';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isAlnum(char c)
{
    return isUpper(c) || isDigit(c) || (c >= 'a' && c <= 'z');
}

bool isUpperAlnum(char c)
{
    return isUpper(c) || isDigit(c);
}

size_t countryIndex(QByteArrayView country)
{
    return size_t((country[0] - 'A') * 26 + (country[1] - 'A'));
}

// A table by country from a resource of rows "XX,value,...", value read by parse (0 for a bad one).
// The files are part of the program, so a row that cannot be read is a fault of the build.
std::array<uint8_t, 26 * 26> countryTable(
    const QString &resource, uint8_t (*parse)(const QList<QByteArray> &))
{
    std::array<uint8_t, 26 * 26> t {};
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("The resource %s is missing.", qPrintable(resource));
    const QList<QByteArray> rows = file.readAll().split('\n');
    for (const QByteArray &row : rows) {
        if (row.isEmpty() || row.startsWith('#'))
            continue;
        const QList<QByteArray> fields = row.split(',');
        const QByteArray country = fields.at(0);
        const uint8_t value = fields.size() >= 2 ? parse(fields) : 0;
        if (value == 0 || country.size() != 2 || !isUpper(country[0]) || !isUpper(country[1]))
            qFatal("Bad row in the resource %s: %s", qPrintable(resource), row.constData());
        t[countryIndex(country)] = value;
    }
    return t;
}

// Lengths by country; 0 where the registry has no IBAN.
const std::array<uint8_t, 26 * 26> &registry()
{
    static const std::array<uint8_t, 26 * 26> table
        = countryTable(QStringLiteral(":/sepa/iban-lengths.csv"), [](const QList<QByteArray> &fields) {
              bool ok = false;
              const int length = fields.at(1).toInt(&ok);
              return uint8_t(ok && length >= 5 && length <= 34 ? length : 0);
          });
    return table;
}

// 1 for the countries of the SEPA schemes.
const std::array<uint8_t, 26 * 26> &sepaCountries()
{
    static const std::array<uint8_t, 26 * 26> table = countryTable(
        QStringLiteral(":/sepa/sepa-countries.csv"),
        [](const QList<QByteArray> &fields) { return uint8_t(fields.at(1).trimmed().isEmpty() ? 0 : 1); });
    return table;
}

} // namespace

std::optional<int> ibanLength(QByteArrayView country)
{
    if (country.size() != 2 || !isUpper(country[0]) || !isUpper(country[1]))
        return std::nullopt;
    const int length = registry()[countryIndex(country)];
    if (length == 0)
        return std::nullopt;
    return length;
}

bool isSepaCountry(QByteArrayView country)
{
    return country.size() == 2 && isUpper(country[0]) && isUpper(country[1])
        && sepaCountries()[countryIndex(country)] != 0;
}

// Gathers digits in a 64-bit number and divides only when it could overflow: one division per
// fifteen digits instead of one per character, which matters at 100,000 IBANs a file.
class Mod97
{
public:
    void add(char c)
    {
        if (c >= '0' && c <= '9') {
            m_value = m_value * 10 + uint64_t(c - '0');
        } else {
            m_value = m_value * 100 + uint64_t((c >= 'a' ? c - 'a' : c - 'A') + 10);
        }
        if (m_value >= kReduceAbove)
            m_value %= 97;
    }
    int remainder() const { return int(m_value % 97); }

private:
    static constexpr uint64_t kReduceAbove = 100000000000000000ull; // 10^17: two more digits still fit
    uint64_t m_value = 0;
};

int mod97(QByteArrayView text)
{
    Mod97 m;
    for (const char c : text)
        m.add(c);
    return m.remainder();
}

IbanProblem checkIban(QByteArrayView iban, int *remainder)
{
    if (iban.size() < 5 || iban.size() > 34 || !isUpper(iban[0]) || !isUpper(iban[1]) || !isDigit(iban[2])
        || !isDigit(iban[3]))
        return IbanProblem::NotAnIban;
    for (const char c : iban.sliced(4)) {
        if (!isAlnum(c))
            return IbanProblem::NotAnIban;
    }
    const std::optional<int> length = ibanLength(iban.first(2));
    if (!length)
        return IbanProblem::UnknownCountry;
    if (iban.size() != *length)
        return IbanProblem::WrongLength;
    // The account part first, then country and check digits: the rearranged IBAN of ISO 13616.
    Mod97 m;
    for (const char c : iban.sliced(4))
        m.add(c);
    for (const char c : iban.first(4))
        m.add(c);
    const int r = m.remainder();
    if (remainder)
        *remainder = r;
    if (r != 1)
        return IbanProblem::WrongCheckDigits;
    // The schema lets lower case pass, but the check digits count a letter the same in either case,
    // so only this says that "de..." and "DE..." are not written alike.
    for (const char c : iban.sliced(4)) {
        if (c >= 'a' && c <= 'z')
            return IbanProblem::LowerCase;
    }
    return IbanProblem::None;
}

bool isWellFormedBic(QByteArrayView bic)
{
    if (bic.size() != 8 && bic.size() != 11)
        return false;
    for (qsizetype i = 0; i < bic.size(); ++i) {
        const char c = bic[i];
        if (i == 4 || i == 5 ? !isUpper(c) : !isUpperAlnum(c))
            return false;
    }
    return true;
}

CreditorIdProblem checkCreditorId(QByteArrayView id, QByteArray *expected)
{
    // The country may be written in lower case (the schema allows it); it counts as upper case.
    auto isLetter = [](char c) { return isUpper(c) || (c >= 'a' && c <= 'z'); };
    if (id.size() < 8 || !isLetter(id[0]) || !isLetter(id[1]) || !isDigit(id[2]) || !isDigit(id[3]))
        return CreditorIdProblem::Malformed;
    const QByteArray country = id.first(2).toByteArray().toUpper();
    if (country == "DE" && id.size() != 18)
        return CreditorIdProblem::WrongLength;
    // The business code (positions 5 to 7) is left out; of the national part only letters and
    // digits count, as for the creditor identifier's calculation other characters are removed.
    QByteArray national;
    for (const char c : id.sliced(7)) {
        if (isAlnum(c))
            national += c;
    }
    if (national.isEmpty())
        return CreditorIdProblem::Malformed;
    const int withDigits = mod97(national + country + id.sliced(2, 2).toByteArray());
    if (withDigits == 1)
        return CreditorIdProblem::None;
    if (expected) {
        const int check = 98 - mod97(national + country + "00");
        *expected = QByteArray::number(check).rightJustified(2, '0');
    }
    return CreditorIdProblem::WrongCheckDigits;
}

namespace {

// Two check digits for text whose mod 97-10 with "00" in their place gives remainder.
QByteArray checkDigits(int remainder)
{
    return QByteArray::number(98 - remainder).rightJustified(2, '0');
}

} // namespace

bool creditorReferenceDigitsWrong(QByteArrayView reference, QByteArray *expected)
{
    if (reference.size() < 5 || reference.size() > 25 || reference[0] != 'R' || reference[1] != 'F'
        || !isDigit(reference[2]) || !isDigit(reference[3]))
        return false;
    for (const char c : reference.sliced(4)) {
        if (!isAlnum(c))
            return false;
    }
    // As the IBAN: the reference first, then "RF" and the check digits.
    const QByteArray body = reference.sliced(4).toByteArray();
    if (mod97(body + reference.first(4).toByteArray()) == 1)
        return false;
    if (expected)
        *expected = checkDigits(mod97(body + "RF00"));
    return true;
}

bool leiDigitsWrong(QByteArrayView lei, QByteArray *expected)
{
    if (lei.size() != 20 || !isDigit(lei[18]) || !isDigit(lei[19]))
        return false;
    for (const char c : lei) {
        if (!isUpperAlnum(c))
            return false;
    }
    if (mod97(lei) == 1)
        return false;
    if (expected)
        *expected = checkDigits(mod97(lei.first(18).toByteArray() + "00"));
    return true;
}

} // namespace sepa

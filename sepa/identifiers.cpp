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

// Lengths by country, indexed by its two letters; 0 where the registry has no IBAN. Read once from
// the resource; the file is part of the program, so a row it cannot read is a fault of the build.
const std::array<uint8_t, 26 * 26> &registry()
{
    static const std::array<uint8_t, 26 * 26> table = [] {
        std::array<uint8_t, 26 * 26> t {};
        QFile file(QStringLiteral(":/sepa/iban-lengths.csv"));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("The IBAN registry resource is missing.");
        const QList<QByteArray> rows = file.readAll().split('\n');
        for (const QByteArray &row : rows) {
            if (row.isEmpty() || row.startsWith('#'))
                continue;
            const QList<QByteArray> fields = row.split(',');
            bool ok = false;
            const int length = fields.size() >= 2 ? fields.at(1).toInt(&ok) : 0;
            const QByteArray country = fields.at(0);
            if (!ok || length < 5 || length > 34 || country.size() != 2 || !isUpper(country[0])
                || !isUpper(country[1]))
                qFatal("Bad row in the IBAN registry resource: %s", row.constData());
            t[size_t((country[0] - 'A') * 26 + (country[1] - 'A'))] = uint8_t(length);
        }
        return t;
    }();
    return table;
}

} // namespace

std::optional<int> ibanLength(QByteArrayView country)
{
    if (country.size() != 2 || !isUpper(country[0]) || !isUpper(country[1]))
        return std::nullopt;
    const int length = registry()[size_t((country[0] - 'A') * 26 + (country[1] - 'A'))];
    if (length == 0)
        return std::nullopt;
    return length;
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
    return r == 1 ? IbanProblem::None : IbanProblem::WrongCheckDigits;
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

} // namespace sepa

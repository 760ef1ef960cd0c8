#include "decimal.h"

#include <algorithm>

namespace sepa {

namespace {
constexpr int kMaxDigits = 38; // what an unsigned 128-bit integer always holds
const unsigned __int128 kLimit = [] {
    unsigned __int128 v = 1;
    for (int i = 0; i < kMaxDigits; ++i)
        v *= 10;
    return v;
}();

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
} // namespace

std::optional<Decimal> Decimal::parse(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    if (begin < end && text[begin] == '+')
        ++begin;
    Decimal d;
    int digits = 0;
    bool point = false;
    bool any = false;
    for (qsizetype i = begin; i < end; ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9')
            return std::nullopt;
        any = true;
        if (digits > 0 || c != '0')
            ++digits;
        if (digits > kMaxDigits)
            return std::nullopt;
        d.m_units = d.m_units * 10 + unsigned(c - '0');
        if (point)
            ++d.m_scale;
    }
    if (!any || d.m_scale > kMaxDigits)
        return std::nullopt;
    return d;
}

bool Decimal::rescale(Units &units, int from, int to)
{
    for (int i = from; i < to; ++i) {
        if (units >= kLimit / 10)
            return false;
        units *= 10;
    }
    return true;
}

Decimal &Decimal::operator+=(const Decimal &other)
{
    if (!m_valid || !other.m_valid) {
        m_valid = false;
        return *this;
    }
    const int scale = std::max(m_scale, other.m_scale);
    Units a = m_units;
    Units b = other.m_units;
    if (!rescale(a, m_scale, scale) || !rescale(b, other.m_scale, scale) || a + b >= kLimit) {
        m_valid = false;
        return *this;
    }
    m_units = a + b;
    m_scale = scale;
    return *this;
}

bool Decimal::isTransactionAmount() const
{
    if (!m_valid)
        return false;
    Units cents = m_units;
    for (int scale = m_scale; scale > 2; --scale) {
        if (cents % 10 != 0)
            return false;
        cents /= 10;
    }
    if (!rescale(cents, m_scale < 2 ? m_scale : 2, 2))
        return false;
    return cents >= 1 && cents <= Units(99999999999ull);
}

std::optional<qint64> Decimal::cents() const
{
    if (!isTransactionAmount())
        return std::nullopt;
    Units cents = m_units;
    for (int scale = m_scale; scale > 2; --scale)
        cents /= 10;
    rescale(cents, m_scale < 2 ? m_scale : 2, 2);
    return qint64(cents);
}

Decimal Decimal::fromCents(qint64 cents)
{
    Decimal d;
    d.m_units = Units(std::max<qint64>(cents, 0));
    d.m_scale = 2;
    return d;
}

bool Decimal::equals(const Decimal &other) const
{
    if (!m_valid || !other.m_valid)
        return false;
    const int scale = std::max(m_scale, other.m_scale);
    Units a = m_units;
    Units b = other.m_units;
    if (!rescale(a, m_scale, scale) || !rescale(b, other.m_scale, scale))
        return false;
    return a == b;
}

QByteArray Decimal::toString() const
{
    if (!m_valid)
        return QByteArrayLiteral("?");
    // Written backwards into a buffer: every amount of a file goes through here.
    char buffer[2 * kMaxDigits + 4];
    char *end = buffer + sizeof buffer;
    char *p = end;
    for (int i = m_scale; i < 2; ++i)
        *--p = '0';
    Units v = m_units;
    for (int i = 0; i < m_scale; ++i) {
        *--p = char('0' + int(v % 10));
        v /= 10;
    }
    *--p = '.';
    do {
        *--p = char('0' + int(v % 10));
        v /= 10;
    } while (v != 0);
    return QByteArray(p, end - p);
}

} // namespace sepa

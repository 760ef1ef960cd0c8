#pragma once
// Exact decimal amounts for control sums: an integer count of units of 10^-scale, no floating point.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace sepa {

class Decimal
{
public:
    Decimal() = default;

    // A non-negative xs:decimal ("12", "12.5", ".50", surrounding blanks allowed); none for anything
    // else, and for more digits than the sum can carry (38), which no schema-valid amount has.
    static std::optional<Decimal> parse(QByteArrayView text);

    // False once a sum outgrew 38 digits; such a sum compares equal to nothing.
    bool isValid() const { return m_valid; }

    // An amount as a transaction may carry it: 0.01 to 999,999,999.99 with at most two decimals that
    // are not zero.
    bool isTransactionAmount() const;

    // The amount in cents when it is a transaction amount (isTransactionAmount), else none.
    std::optional<qint64> cents() const;
    // A non-negative count of cents.
    static Decimal fromCents(qint64 cents);

    Decimal &operator+=(const Decimal &other);
    bool equals(const Decimal &other) const;

    // At least two fraction digits, as amounts are written ("0.00", "1234.50", "0.125").
    QByteArray toString() const;

private:
    using Units = unsigned __int128;
    static bool rescale(Units &units, int from, int to);

    Units m_units = 0;
    int m_scale = 0;
    bool m_valid = true;
};

} // namespace sepa

#include "numbers.h"

#include <QtGlobal>

#include <cfenv>
#include <cmath>
#include <limits>

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const qint64 p = qint64(a) * b;
    qint64 q = p / c;
    const qint64 r = p % c;
    // Halves away from zero: the remainder counts when it is at least half the divisor.
    if (2 * (r < 0 ? -r : r) >= (c < 0 ? -qint64(c) : qint64(c)))
        q += ((p < 0) != (c < 0)) ? -1 : 1;
    if (q > std::numeric_limits<int>::max() || q < std::numeric_limits<int>::min())
        return -1;
    return int(q);
}

int RoundHalfEven(double value)
{
    // nearbyint rounds in the current mode, which is to nearest with ties to even unless changed.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    std::fesetround(saved);
    return int(r);
}

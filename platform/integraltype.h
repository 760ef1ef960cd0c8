#pragma once
// The integer kinds a QVariant can hold, with their sign and width: the one list that Format and the
// form streaming judge arguments and properties by. A plain char (QMetaType::Char) and QChar are
// characters, not numbers.

#include <QMetaType>

#include <climits>
#include <optional>
#include <type_traits>

struct IntegralType
{
    bool isSigned;
    int bits;

    friend constexpr bool operator==(const IntegralType &, const IntegralType &) = default;
};

namespace integraltype_detail {
template <class T> constexpr IntegralType of()
{
    return { std::is_signed_v<T>, int(sizeof(T) * CHAR_BIT) };
}
} // namespace integraltype_detail

// The kind of integer a QMetaType id names; none for anything else.
constexpr std::optional<IntegralType> integralType(int typeId)
{
    using integraltype_detail::of;
    switch (typeId) {
    case QMetaType::SChar:
        return of<signed char>();
    case QMetaType::UChar:
        return of<unsigned char>();
    case QMetaType::Short:
        return of<short>();
    case QMetaType::UShort:
        return of<unsigned short>();
    case QMetaType::Int:
        return of<int>();
    case QMetaType::UInt:
        return of<unsigned int>();
    case QMetaType::Long:
        return of<long>();
    case QMetaType::ULong:
        return of<unsigned long>();
    case QMetaType::LongLong:
        return of<qlonglong>();
    case QMetaType::ULongLong:
        return of<qulonglong>();
    default:
        return std::nullopt;
    }
}

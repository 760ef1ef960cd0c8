#include "businessdays.h"

#include <iterator>

namespace sepa {

QDate easterSunday(int year)
{
    // The anonymous Gregorian algorithm (Meeus/Jones/Butcher).
    const int a = year % 19;
    const int b = year / 100;
    const int c = year % 100;
    const int d = b / 4;
    const int e = b % 4;
    const int f = (b + 8) / 25;
    const int g = (b - f + 1) / 3;
    const int h = (19 * a + b - d - g + 15) % 30;
    const int i = c / 4;
    const int k = c % 4;
    const int l = (32 + 2 * e + 2 * i - h - k) % 7;
    const int m = (a + 11 * h + 22 * l) / 451;
    const int month = (h + l - 7 * m + 114) / 31;
    const int day = (h + l - 7 * m + 114) % 31 + 1;
    return QDate(year, month, day);
}

ClosingDay targetClosingDay(const QDate &date)
{
    if (!date.isValid())
        return ClosingDay::None;
    if (date.dayOfWeek() == Qt::Saturday)
        return ClosingDay::Saturday;
    if (date.dayOfWeek() == Qt::Sunday)
        return ClosingDay::Sunday;
    const int month = date.month(), day = date.day();
    if (month == 1 && day == 1)
        return ClosingDay::NewYear;
    if (month == 5 && day == 1)
        return ClosingDay::LabourDay;
    if (month == 12 && day == 25)
        return ClosingDay::ChristmasDay;
    if (month == 12 && day == 26)
        return ClosingDay::BoxingDay;
    const QDate easter = easterSunday(date.year());
    if (date == easter.addDays(-2))
        return ClosingDay::GoodFriday;
    if (date == easter.addDays(1))
        return ClosingDay::EasterMonday;
    return ClosingDay::None;
}

namespace {

struct DayNames
{
    const char *german;
    const char *english;
};

// In the order of ClosingDay.
constexpr DayNames kNames[] = {
    { "", "" },
    { "ein Samstag", "a Saturday" },
    { "ein Sonntag", "a Sunday" },
    { "Neujahr", "New Year's Day" },
    { "Karfreitag", "Good Friday" },
    { "Ostermontag", "Easter Monday" },
    { "1. Mai", "1 May" },
    { "1. Weihnachtstag", "Christmas Day" },
    { "2. Weihnachtstag", "26 December" },
};
static_assert(std::size(kNames) == size_t(ClosingDay::BoxingDay) + 1);

} // namespace

const char *closingDayGerman(ClosingDay day)
{
    return kNames[size_t(day)].german;
}

const char *closingDayEnglish(ClosingDay day)
{
    return kNames[size_t(day)].english;
}

} // namespace sepa

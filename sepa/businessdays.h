#pragma once
// The days on which TARGET2, and with it SEPA direct-debit settlement, is closed: Saturdays, Sundays,
// 1 January, Good Friday, Easter Monday, 1 May, 25 and 26 December. Easter is computed, so every year
// is covered without a table.

#include <QDate>

namespace sepa {

// Easter Sunday of a Gregorian year.
QDate easterSunday(int year);

enum class ClosingDay
{
    None, // a business day
    Saturday,
    Sunday,
    NewYear,
    GoodFriday,
    EasterMonday,
    LabourDay,
    ChristmasDay,
    BoxingDay,
};

ClosingDay targetClosingDay(const QDate &date);

// The day's name in German and in English ("Karfreitag", "Good Friday"); empty for None.
const char *closingDayGerman(ClosingDay day);
const char *closingDayEnglish(ClosingDay day);

} // namespace sepa

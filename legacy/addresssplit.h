#pragma once
// Splits an address given only as free lines into the structured parts the banks want, where that is
// certain: a German or Austrian "12345 Town" line and, beside it, a street line ending in a house
// number. Anything less certain stays a line; a town is never guessed.

#include <QString>
#include <QStringList>

namespace legacy {

struct AddressSplit
{
    bool split = false; // postCode, town and country are known
    QString postCode;
    QString town;
    QString country; // as given, or from a "D-"/"A-" prefix of the postcode
    QString street; // StrtNm and BldgNb, when the street line split too
    QString buildingNumber;
    QStringList lines; // what stays a free line, in its order
    QString english; // why it did not split, when it did not
    QString german;
};

// country: the address's Ctry ("" when it has none); lines: its AdrLines as text (not escaped).
AddressSplit splitAddress(const QString &country, const QStringList &lines);

} // namespace legacy

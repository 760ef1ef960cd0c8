#include "addresssplit.h"

#include <QRegularExpression>

namespace legacy {

namespace {

// Postcode and town: an optional country prefix ("D-", "DE-", "A-", "AT-"), the postcode of the
// country's length and a town that begins with a letter.
const QRegularExpression &townLine()
{
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*(?:(D|DE|A|AT)\s*-\s*)?(\d{4,5})\s+(\p{L}[^\d]*?)\s*$)"),
        QRegularExpression::UseUnicodePropertiesOption);
    return re;
}

// A street of letters (dots, hyphens, apostrophes and blanks between) and a house number with an
// optional letter or range: "Hauptstr. 12a", "Am Markt 3-5". A street holding digits of its own
// ("Straße des 17. Juni 114") stays a line.
const QRegularExpression &streetLine()
{
    static const QRegularExpression re(
        QStringLiteral(
            R"(^\s*(\p{L}[\p{L}\p{M} .'\-]*?)\s+(\d{1,4}\s?[a-zA-Z]?(?:\s?[-/]\s?\d{1,4}\s?[a-zA-Z]?)?)\s*$)"),
        QRegularExpression::UseUnicodePropertiesOption);
    return re;
}

// Lines that look like a street but are a post-office box.
bool isPostBox(const QString &line)
{
    const QString t = line.trimmed();
    return t.startsWith(QStringLiteral("Postfach"), Qt::CaseInsensitive)
        || t.startsWith(QStringLiteral("Pf."), Qt::CaseInsensitive)
        || t.startsWith(QStringLiteral("Postlagernd"), Qt::CaseInsensitive);
}

QString prefixCountry(const QString &prefix)
{
    if (prefix.isEmpty())
        return {};
    return prefix.startsWith(u'D') ? QStringLiteral("DE") : QStringLiteral("AT");
}

} // namespace

AddressSplit splitAddress(const QString &country, const QStringList &lines)
{
    AddressSplit result;
    result.lines = lines;
    result.country = country;
    if (!country.isEmpty() && country != u"DE" && country != u"AT") {
        result.english = QStringLiteral("only German and Austrian postcodes are split");
        result.german = QStringLiteral("nur deutsche und österreichische Postleitzahlen werden getrennt");
        return result;
    }
    int found = -1;
    int matches = 0;
    QRegularExpressionMatch town;
    QString townCountry;
    for (int i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch m = townLine().match(lines.at(i));
        if (!m.hasMatch())
            continue;
        const QString fromPrefix = prefixCountry(m.captured(1));
        const QString c = country.isEmpty() ? fromPrefix : country;
        // The country decides the postcode's length; without one only a prefix says it.
        if (c.isEmpty() || (!fromPrefix.isEmpty() && fromPrefix != c)
            || m.captured(2).size() != (c == u"DE" ? 5 : 4))
            continue;
        ++matches;
        found = i;
        town = m;
        townCountry = c;
    }
    if (matches != 1) {
        result.english = matches == 0
            ? QStringLiteral("no line holds a German or Austrian postcode and town%1")
                  .arg(country.isEmpty() ? QStringLiteral(" with a country prefix (D-, A-)") : QString())
            : QStringLiteral("more than one line looks like postcode and town");
        result.german = matches == 0
            ? QStringLiteral("keine Zeile enthält eine deutsche oder österreichische Postleitzahl mit Ort%1")
                  .arg(country.isEmpty() ? QStringLiteral(" mit Länderkennzeichen (D-, A-)") : QString())
            : QStringLiteral("mehr als eine Zeile sieht nach Postleitzahl und Ort aus");
        return result;
    }
    const QString townName = town.captured(3).trimmed();
    if (townName.size() > 35) {
        result.english = QStringLiteral("the town is longer than 35 characters");
        result.german = QStringLiteral("der Ort ist länger als 35 Zeichen");
        return result;
    }
    result.split = true;
    result.postCode = town.captured(2);
    result.town = townName;
    result.country = townCountry;
    result.lines.removeAt(found);
    if (result.lines.size() == 1 && !isPostBox(result.lines.first())) {
        const QRegularExpressionMatch m = streetLine().match(result.lines.first());
        if (m.hasMatch()) {
            result.street = m.captured(1).trimmed();
            result.buildingNumber = m.captured(2).trimmed();
            result.lines.clear();
        }
    }
    return result;
}

} // namespace legacy

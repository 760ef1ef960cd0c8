// Addresses of free lines: what is split with certainty, and what stays a line for a person to check.

#include "legacy/addresssplit.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestAddressSplit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addressLines_data()
    {
        QTest::addColumn<QString>("country");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("split");
        // postcode | town | country | street | building number, "" where nothing
        QTest::addColumn<QStringList>("parts");
        QTest::addColumn<QStringList>("rest"); // what stays a line

        const QStringList none = { {}, {}, {}, {}, {} };
        QTest::newRow("German street line and postcode line")
            << u"DE"_s << QStringList { u"Hauptstr. 12"_s, u"10115 Berlin"_s } << true
            << QStringList { u"10115"_s, u"Berlin"_s, u"DE"_s, u"Hauptstr."_s, u"12"_s } << QStringList();
        QTest::newRow("postcode line first")
            << u"DE"_s << QStringList { u"10115 Berlin"_s, u"Hauptstr. 12"_s } << true
            << QStringList { u"10115"_s, u"Berlin"_s, u"DE"_s, u"Hauptstr."_s, u"12"_s } << QStringList();
        QTest::newRow("house number with a letter")
            << u"DE"_s << QStringList { u"Lindenallee 7b"_s, u"12345 Beispielheim"_s } << true
            << QStringList { u"12345"_s, u"Beispielheim"_s, u"DE"_s, u"Lindenallee"_s, u"7b"_s }
            << QStringList();
        QTest::newRow("house number range")
            << u"DE"_s << QStringList { u"Am Markt 3-5"_s, u"12345 Bad Beispiel"_s } << true
            << QStringList { u"12345"_s, u"Bad Beispiel"_s, u"DE"_s, u"Am Markt"_s, u"3-5"_s }
            << QStringList();
        QTest::newRow("Austrian postcode and staircase")
            << u"AT"_s << QStringList { u"Mariahilfer Straße 45/3"_s, u"1060 Wien"_s } << true
            << QStringList { u"1060"_s, u"Wien"_s, u"AT"_s, u"Mariahilfer Straße"_s, u"45/3"_s }
            << QStringList();
        QTest::newRow("D- prefix gives the country")
            << QString() << QStringList { u"Lindenallee 7"_s, u"D-12345 Beispielheim"_s } << true
            << QStringList { u"12345"_s, u"Beispielheim"_s, u"DE"_s, u"Lindenallee"_s, u"7"_s }
            << QStringList();
        QTest::newRow("A- prefix gives the country")
            << QString() << QStringList { u"A-1010 Wien"_s } << true
            << QStringList { u"1010"_s, u"Wien"_s, u"AT"_s, {}, {} } << QStringList();
        QTest::newRow("prefix that agrees with the country")
            << u"DE"_s << QStringList { u"DE-12345 Beispielheim"_s } << true
            << QStringList { u"12345"_s, u"Beispielheim"_s, u"DE"_s, {}, {} } << QStringList();
        QTest::newRow("town line only")
            << u"DE"_s << QStringList { u"12345 Beispielheim"_s } << true
            << QStringList { u"12345"_s, u"Beispielheim"_s, u"DE"_s, {}, {} } << QStringList();
        QTest::newRow("post box stays a line")
            << u"DE"_s << QStringList { u"Postfach 1234"_s, u"12345 Beispielheim"_s } << true
            << QStringList { u"12345"_s, u"Beispielheim"_s, u"DE"_s, {}, {} }
            << QStringList { u"Postfach 1234"_s };
        QTest::newRow("street holding a number of its own stays a line")
            << u"DE"_s << QStringList { u"Straße des 17. Juni 114"_s, u"10623 Berlin"_s } << true
            << QStringList { u"10623"_s, u"Berlin"_s, u"DE"_s, {}, {} }
            << QStringList { u"Straße des 17. Juni 114"_s };
        QTest::newRow("care-of line stays a line")
            << u"DE"_s << QStringList { u"c/o Müller"_s, u"12345 Beispielheim"_s } << true
            << QStringList { u"12345"_s, u"Beispielheim"_s, u"DE"_s, {}, {} }
            << QStringList { u"c/o Müller"_s };
        QTest::newRow("two lines beside the town stay lines")
            << u"DE"_s << QStringList { u"Firma Beispiel"_s, u"Hauptstr. 1"_s, u"12345 Beispielheim"_s }
            << true << QStringList { u"12345"_s, u"Beispielheim"_s, u"DE"_s, {}, {} }
            << QStringList { u"Firma Beispiel"_s, u"Hauptstr. 1"_s };

        QTest::newRow("no postcode") << u"DE"_s << QStringList { u"Musterweg 5"_s, u"Beispielheim"_s }
                                     << false << none << QStringList { u"Musterweg 5"_s, u"Beispielheim"_s };
        QTest::newRow("five digits without a country could be anywhere")
            << QString() << QStringList { u"12345 Beispielheim"_s } << false << none
            << QStringList { u"12345 Beispielheim"_s };
        QTest::newRow("four digits in Germany")
            << u"DE"_s << QStringList { u"1010 Wien"_s } << false << none << QStringList { u"1010 Wien"_s };
        QTest::newRow("prefix against the country")
            << u"AT"_s << QStringList { u"D-12345 Beispielheim"_s } << false << none
            << QStringList { u"D-12345 Beispielheim"_s };
        QTest::newRow("two postcode lines")
            << u"DE"_s << QStringList { u"12345 Beispielheim"_s, u"54321 Anderswo"_s } << false << none
            << QStringList { u"12345 Beispielheim"_s, u"54321 Anderswo"_s };
        QTest::newRow("another country")
            << u"FR"_s << QStringList { u"1 rue de la Paix"_s, u"75001 Paris"_s } << false << none
            << QStringList { u"1 rue de la Paix"_s, u"75001 Paris"_s };
        QTest::newRow("postcode without a town")
            << u"DE"_s << QStringList { u"12345"_s } << false << none << QStringList { u"12345"_s };
        QTest::newRow("town longer than its field")
            << u"DE"_s << QStringList { u"12345 Beispielheim an der sehr langen Landstrasse"_s } << false
            << none << QStringList { u"12345 Beispielheim an der sehr langen Landstrasse"_s };
    }

    void addressLines()
    {
        QFETCH(QString, country);
        QFETCH(QStringList, lines);
        QFETCH(bool, split);
        QFETCH(QStringList, parts);
        QFETCH(QStringList, rest);
        const legacy::AddressSplit s = legacy::splitAddress(country, lines);
        QCOMPARE(s.split, split);
        QCOMPARE(s.lines, rest);
        if (!split) {
            // A reason for the person who checks it, and nothing made up.
            QVERIFY(!s.english.isEmpty());
            QVERIFY(!s.german.isEmpty());
            QVERIFY(s.town.isEmpty());
            QVERIFY(s.postCode.isEmpty());
            return;
        }
        QCOMPARE(s.postCode, parts.at(0));
        QCOMPARE(s.town, parts.at(1));
        QCOMPARE(s.country, parts.at(2));
        QCOMPARE(s.street, parts.at(3));
        QCOMPARE(s.buildingNumber, parts.at(4));
    }
};

QTEST_GUILESS_MAIN(TestAddressSplit)
#include "tst_addresssplit.moc"

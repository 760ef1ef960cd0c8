// What the window and pravik-check say about a file of a known message they carry no schema for.

#include "legacy/messageversions.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestMessageVersions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void knownNamespaces_data()
    {
        QTest::addColumn<QString>("id"); // the namespace's last part
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("upgradeTo");
        QTest::addColumn<QString>("words"); // what the detail must say
        QTest::newRow("ISO credit transfer of 2006") << u"pain.001.001.02"_s << u"credit transfer"_s
                                                     << u"retired"_s << QString() << u"no longer accept"_s;
        QTest::newRow("ISO credit transfer of 2009") << u"pain.001.001.03"_s << u"credit transfer"_s
                                                     << u"retired"_s << u"pain.001.001.09"_s << u"2009"_s;
        QTest::newRow("early DK credit transfer")
            << u"pain.001.002.02"_s << u"credit transfer"_s << u"retired"_s << QString() << u"DK"_s;
        QTest::newRow("DK credit transfer before 2013") << u"pain.001.002.03"_s << u"credit transfer"_s
                                                        << u"retired"_s << u"pain.001.001.09"_s << u"DK"_s;
        QTest::newRow("DK credit transfer up to 2016")
            << u"pain.001.003.03"_s << u"credit transfer"_s << u"retired"_s << u"pain.001.001.09"_s
            << u"pain.001.003.03, credit transfer, German DK format up to 2016"_s;
        QTest::newRow("ISO direct debit of 2006")
            << u"pain.008.001.01"_s << u"direct debit"_s << u"retired"_s << QString() << u"2006"_s;
        QTest::newRow("ISO direct debit of 2009") << u"pain.008.001.02"_s << u"direct debit"_s << u"retired"_s
                                                  << u"pain.008.001.08"_s << u"they take pain.008.001.08"_s;
        QTest::newRow("early DK direct debit")
            << u"pain.008.002.01"_s << u"direct debit"_s << u"retired"_s << QString() << u"DK"_s;
        QTest::newRow("DK direct debit before 2013")
            << u"pain.008.002.02"_s << u"direct debit"_s << u"retired"_s << u"pain.008.001.08"_s << u"DK"_s;
        QTest::newRow("DK direct debit up to 2016")
            << u"pain.008.003.02"_s << u"direct debit"_s << u"retired"_s << u"pain.008.001.08"_s
            << u"up to 2016"_s;
        QTest::newRow("newer credit transfer .10")
            << u"pain.001.001.10"_s << u"credit transfer"_s << u"not yet taken"_s << QString()
            << u"not take this version yet"_s;
        QTest::newRow("newer credit transfer .11") << u"pain.001.001.11"_s << u"credit transfer"_s
                                                   << u"not yet taken"_s << QString() << u"pain.001.001.09"_s;
        QTest::newRow("newer credit transfer .12")
            << u"pain.001.001.12"_s << u"credit transfer"_s << u"not yet taken"_s << QString() << u"yet"_s;
        QTest::newRow("newer direct debit .09") << u"pain.008.001.09"_s << u"direct debit"_s
                                                << u"not yet taken"_s << QString() << u"pain.008.001.08"_s;
        QTest::newRow("newer direct debit .10")
            << u"pain.008.001.10"_s << u"direct debit"_s << u"not yet taken"_s << QString() << u"yet"_s;
        QTest::newRow("newer direct debit .11")
            << u"pain.008.001.11"_s << u"direct debit"_s << u"not yet taken"_s << QString() << u"yet"_s;
        QTest::newRow("status report") << u"pain.002.001.03"_s << u"payment status report"_s
                                       << u"not a payment order"_s << QString() << u"not a payment order"_s;
        QTest::newRow("DK status report") << u"pain.002.003.03"_s << u"payment status report"_s
                                          << u"not a payment order"_s << QString() << u"report"_s;
        QTest::newRow("intraday account report") << u"camt.052.001.08"_s << u"account report"_s
                                                 << u"not a payment order"_s << QString() << u"intraday"_s;
        QTest::newRow("account statement") << u"camt.053.001.02"_s << u"bank statement"_s
                                           << u"not a payment order"_s << QString() << u"statement"_s;
        QTest::newRow("debit or credit notification")
            << u"camt.054.001.08"_s << u"account notification"_s << u"not a payment order"_s << QString()
            << u"notification"_s;
    }

    void knownNamespaces()
    {
        QFETCH(QString, id);
        QFETCH(QString, kind);
        QFETCH(QString, status);
        QFETCH(QString, upgradeTo);
        QFETCH(QString, words);
        const QString ns = u"urn:iso:std:iso:20022:tech:xsd:"_s + id;
        const legacy::KnownMessage m = legacy::knownMessage(ns);
        QCOMPARE(m.id, id);
        QCOMPARE(legacy::kindName(m.kind), kind);
        QCOMPARE(legacy::statusName(m.status), status);
        QCOMPARE(m.upgradeTo, upgradeTo);
        const QString english = legacy::refusalDetail(ns);
        const QString german = legacy::refusalDetailGerman(ns);
        QVERIFY2(english.startsWith(id + u", "_s), qPrintable(english));
        QVERIFY2(english.contains(words), qPrintable(english));
        QVERIFY2(german.startsWith(id + u", "_s), qPrintable(german));
        // Only a version with an upgrade offers one, in both languages.
        QCOMPARE(english.contains(u"can be upgraded to "_s + upgradeTo), !upgradeTo.isEmpty());
        QCOMPARE(german.contains(u"auf "_s + upgradeTo + u" aktualisiert"_s), !upgradeTo.isEmpty());
    }

    void unknownNamespaces_data()
    {
        QTest::addColumn<QString>("ns");
        QTest::newRow("version with a bank schema") << u"urn:iso:std:iso:20022:tech:xsd:pain.001.001.09"_s;
        QTest::newRow("direct debit with a bank schema")
            << u"urn:iso:std:iso:20022:tech:xsd:pain.008.001.08"_s;
        QTest::newRow("message nobody sends") << u"urn:iso:std:iso:20022:tech:xsd:pain.009.001.01"_s;
        QTest::newRow("a family without a version") << u"urn:iso:std:iso:20022:tech:xsd:camt.053."_s;
        QTest::newRow("a version with a digit too many")
            << u"urn:iso:std:iso:20022:tech:xsd:pain.001.003.031"_s;
        QTest::newRow("another prefix") << u"urn:example:pain.001.003.03"_s;
        QTest::newRow("no namespace") << QString();
    }

    void unknownNamespaces()
    {
        QFETCH(QString, ns);
        QVERIFY(legacy::knownMessage(ns).id.isEmpty());
        QVERIFY(legacy::refusalDetail(ns).isEmpty());
        QVERIFY(legacy::refusalDetailGerman(ns).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMessageVersions)
#include "tst_messageversions.moc"

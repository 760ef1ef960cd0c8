// Dialog GUIDs: the one canonical form under which answers and folders are remembered.

#include "components/dialogs/zc_dialogs_core.h"
#include "platform/exception.h"

#include <QTest>

using namespace Qt::StringLiterals;

class tst_DialogGuid : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void canonicalForm_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("parsed"); // "!" = ParseGuid raises
        QTest::addColumn<QString>("checked");

        const QString canon = u"{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D}"_s;
        QTest::newRow("canonical") << canon << canon << canon;
        QTest::newRow("lower case with blanks around")
            << u"  {0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d}\t"_s << canon << canon;
        QTest::newRow("empty") << QString() << QString() << QString();
        QTest::newRow("only blanks") << u"   "_s << QString() << QString();
        QTest::newRow("without braces") << u"0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D"_s << u"!"_s << QString();
        QTest::newRow("group too short") << u"{0A1B2C3-4E5F-6A7B-8C9D-0E1F2A3B4C5D}"_s << u"!"_s << QString();
        QTest::newRow("not hexadecimal")
            << u"{0A1B2C3G-4E5F-6A7B-8C9D-0E1F2A3B4C5D}"_s << u"!"_s << QString();
        QTest::newRow("blank inside") << u"{0A1B2C3D -4E5F-6A7B-8C9D-0E1F2A3B4C5D}"_s << u"!"_s << QString();
        QTest::newRow("free text") << u"my dialog"_s << u"!"_s << QString();
    }
    void canonicalForm()
    {
        QFETCH(QString, value);
        QFETCH(QString, parsed);
        QFETCH(QString, checked);
        if (parsed == u"!"_s)
            QVERIFY_THROWS_EXCEPTION(EConvertError, Tzc_DialogsCore::ParseGuid(value));
        else
            QCOMPARE(Tzc_DialogsCore::ParseGuid(value), parsed);
        QCOMPARE(Tzc_DialogsCore::CheckGuid(value), checked);
    }
};

QTEST_GUILESS_MAIN(tst_DialogGuid)
#include "tst_dialogguid.moc"

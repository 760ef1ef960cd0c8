// The service dialogs of TMessageObject: MessageDlg and MessageDlgFmt reach the dialog service with
// Title as instruction, the (formatted) text as content and the service's default button; the result
// keeps its low 16 bits; a format error comes before any dialog.

#include "components/dialogs/zc_dialogs.h"
#include "components/messages/messagecntr.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/unitsmain.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const TUnit *const Units[] = { &zc_DialogsUnit, &MessageCntrUnit };

} // namespace

class TestMessageServiceDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { Tzc_Dialogs::GetHistorie()->Clear(); }

    void reachesTheService_data()
    {
        QTest::addColumn<bool>("fmt");
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("result");
        QTest::newRow("plain, Cancel") << false << u"Cancel"_s << 2;
        QTest::newRow("formatted, Retry") << true << u"&Retry"_s << 4;
        QTest::newRow("Help arrives as 65535") << false << u"&Help"_s << 65535;
    }

    void reachesTheService()
    {
        QFETCH(bool, fmt);
        QFETCH(QString, press);
        QFETCH(int, result);
        TMessageObject mo;
        mo.SetTitle(u"Verbindung"_s);
        mo.SetText(fmt ? u"Server %s antwortet nicht (%d)."_s : u"Server antwortet nicht."_s);
        const QString content = fmt ? u"Server bank1 antwortet nicht (3)."_s : mo.Text();
        DialogSnapshot shot;
        ModalDialogDriver driver([&](QDialog *d) {
            shot = DialogSnapshot::of(d);
            pressButton(d, press);
        });
        const TMsgDlgButtons buttons { mbRetry, mbCancel, mbHelp };
        const QString guid = u" {0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d}"_s;
        const quint16 answer = fmt ? mo.MessageDlgFmt({ u"bank1"_s, 3 }, mtWarning, buttons, 0, guid, {}, 0)
                                   : mo.MessageDlg(mtWarning, buttons, 0, guid, {}, 0);
        QCOMPARE(int(answer), result);
        QCOMPARE(shot.caption, u"Warning"_s);
        QCOMPARE(shot.instruction, u"Verbindung"_s);
        QCOMPARE(shot.text, content);
        QCOMPARE(shot.defaultButton, u"Cancel"_s);

        const THistorieItem &entry = Tzc_Dialogs::GetHistorie()->Items(0);
        QCOMPARE(entry.Instruction(), u"Verbindung"_s);
        QCOMPARE(entry.Content(), content);
        QCOMPARE(entry.Guid(), u"{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D}"_s);
        QCOMPARE(entry.DefaultButton(), mbCancel);
        QCOMPARE(entry.AnswerTyp(), AnswerTypUser);
    }

    void formatErrorComesBeforeAnyDialog()
    {
        TMessageObject mo;
        mo.SetText(u"%s und %s"_s);
        ModalDialogDriver driver([](QDialog *d) { d->done(0); });
        QVERIFY_THROWS_EXCEPTION(
            EConvertError, mo.MessageDlgFmt({ u"eins"_s }, mtError, { mbOK }, 0, QString(), {}, 0));
        QCOMPARE(driver.seen(), 0);
        QCOMPARE(Tzc_Dialogs::GetHistorie()->Count(), 0);
    }
};

PRAVIK_TEST_MAIN(TestMessageServiceDialogs, Units)
#include "tst_messageservicedialogs.moc"

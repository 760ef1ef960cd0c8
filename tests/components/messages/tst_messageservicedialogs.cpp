// The service dialogs of TMessageObject: MessageDlg and MessageDlgFmt reach the dialog service with
// Title as instruction, the (formatted) text as content and the service's default button; the result
// keeps its low 16 bits; a format error comes before any dialog. The queued twins return before the
// dialog is shown and deliver the result on the GUI thread.

#include "components/dialogs/zc_dialogs.h"
#include "components/messages/messagecntr.h"
#include "platform/thread.h"
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

    void queuedReturnsBeforeTheDialogIsShown_data()
    {
        QTest::addColumn<bool>("fmt");
        QTest::newRow("plain") << false;
        QTest::newRow("formatted") << true;
    }

    void queuedReturnsBeforeTheDialogIsShown()
    {
        QFETCH(bool, fmt);
        TMessageObject mo;
        mo.SetTitle(u"Verbindung"_s);
        mo.SetText(fmt ? u"Server %s antwortet nicht (%d)."_s : u"Server antwortet nicht."_s);
        const QString content = fmt ? u"Server bank1 antwortet nicht (3)."_s : mo.Text();
        DialogSnapshot shot;
        ModalDialogDriver driver([&](QDialog *d) {
            shot = DialogSnapshot::of(d);
            pressButton(d, u"&Retry"_s);
        });
        int received = -100;
        bool onGui = false;
        const auto method = [&](qint32 AResultValue) {
            received = AResultValue;
            onGui = QThread::currentThread() == QCoreApplication::instance()->thread();
        };
        const TMsgDlgButtons buttons { mbRetry, mbCancel };
        if (fmt)
            mo.MessageDlgQueuedFmt(
                { u"bank1"_s, 3 }, mtWarning, buttons, 0, mbRetry, QString(), {}, 0, this, method);
        else
            mo.MessageDlgQueued(mtWarning, buttons, 0, mbRetry, QString(), {}, 0, this, method);
        QCOMPARE(driver.seen(), 0);
        QCOMPARE(received, -100);
        QTRY_COMPARE(received, int(mrRetry));
        QVERIFY(onGui);
        QCOMPARE(shot.instruction, u"Verbindung"_s);
        QCOMPARE(shot.text, content);
        QCOMPARE(shot.defaultButton, u"&Retry"_s);
        QTRY_COMPARE(Tzc_Dialogs::GetHistorie()->Count(), 1);
        QCOMPARE(Tzc_Dialogs::GetHistorie()->Items(0).Content(), content);
    }

    void formatErrorComesBeforeAnyDialog_data()
    {
        QTest::addColumn<bool>("queued");
        QTest::newRow("blocking dialog") << false;
        QTest::newRow("queued dialog") << true;
    }

    void formatErrorComesBeforeAnyDialog()
    {
        QFETCH(bool, queued);
        TMessageObject mo;
        mo.SetText(u"%s und %s"_s);
        ModalDialogDriver driver([](QDialog *d) { d->done(0); });
        if (queued) {
            QVERIFY_THROWS_EXCEPTION(EConvertError,
                mo.MessageDlgQueuedFmt({ u"eins"_s }, mtError, { mbOK }, 0, mbOK, QString(), {}, 0, nullptr));
            // No worker was started that could still show it.
            QCOMPARE(TThread::RunningThreadCount(), 0);
        } else {
            QVERIFY_THROWS_EXCEPTION(
                EConvertError, mo.MessageDlgFmt({ u"eins"_s }, mtError, { mbOK }, 0, QString(), {}, 0));
        }
        QCOMPARE(driver.seen(), 0);
        QCOMPARE(Tzc_Dialogs::GetHistorie()->Count(), 0);
    }
};

PRAVIK_TEST_MAIN(TestMessageServiceDialogs, Units)
#include "tst_messageservicedialogs.moc"

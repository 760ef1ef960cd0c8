// Remembered answers and time-outs end to end through Tzc_Dialogs::MessageDlg: what the task dialog
// offers, whether it is shown at all, what it answers, what the store holds afterwards and what the
// history records.

#include "components/dialogs/zc_customtaskdialog.h"
#include "components/dialogs/zc_dialogs.h"
#include "platform/settingsstore.h"
#include "tests/support/answerstore.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/unitsmain.h"

#include <QCheckBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>

#include <limits>
#include <memory>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TMsgDlgButtons)
Q_DECLARE_METATYPE(TMsgDlgBtn)

using namespace TestAnswerStore;

namespace {

const TUnit *const Units[] = { &zc_DialogsUnit };
const QString Guid = u"{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D}"_s;
const QString LowerGuid = u"  {0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d} "_s;
const QString OtherGuid = u"{11111111-2222-3333-4444-555555555555}"_s;

const THistorieItem &newestEntry()
{
    return Tzc_Dialogs::GetHistorie()->Items(0);
}

// What one task dialog offered, seen by the driver.
struct Seen
{
    int dialogs = 0;
    QString text;
    QString verification; // empty when the check box is hidden
    bool progressBar = false;
};

// Takes a look at every dialog and, unless press is None, ticks the box when asked and presses the
// button with that result.
std::unique_ptr<ModalDialogDriver> answer(Seen &seen, bool tick, int press)
{
    return std::make_unique<ModalDialogDriver>([&seen, tick, press](QDialog *d) {
        ++seen.dialogs;
        seen.text = DialogSnapshot::of(d).text;
        auto *box = d->findChild<QCheckBox *>(u"Verification"_s);
        seen.verification = box && box->isVisibleTo(d) ? box->text() : QString();
        seen.progressBar = d->findChild<QProgressBar *>(u"ProgressBar"_s)->isVisibleTo(d);
        if (press == None)
            return;
        if (tick && box)
            box->click();
        if (QPushButton *b = findButtonByResult(d, press))
            b->click();
    });
}

} // namespace

class TestMessageDlgAnswers : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_settings;
    bool m_shift = false;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        SetSettingsFolder(m_settings.path());
    }

    void cleanupTestCase() { SetSettingsFolder(QString()); }

    void init()
    {
        TRegistry().DeleteKey(StoreKey);
        m_shift = false;
        Tzc_Dialogs::SetShiftStateReader([this] { return m_shift; });
        Tzc_Dialogs::SetAutoAnswersRegistryCreate(openStore);
        Tzc_Dialogs::GetHistorie()->Clear();
    }

    void cleanup()
    {
        Tzc_Dialogs::SetAutoAnswersRegistryCreate(nullptr);
        Tzc_Dialogs::SetShiftStateReader(nullptr);
    }

    void oneDialog_data()
    {
        QTest::addColumn<bool>("factory");
        QTest::addColumn<QString>("guid");
        QTest::addColumn<int>("earlier"); // stored under Guid before the call; None: nothing
        QTest::addColumn<TMsgDlgButtons>("buttons");
        QTest::addColumn<TMsgDlgButtons>("saveButtons");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<int>("timeOut");
        QTest::addColumn<bool>("tick");
        QTest::addColumn<int>("press"); // None: nobody presses
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("verification");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("answerTyp");
        QTest::addColumn<int>("after"); // stored under Guid afterwards; None: nothing

        const TMsgDlgButtons yesNo { mbYes, mbNo };
        const QString always = u"Dialog immer genauso beantworten."_s;
        const QString never = u"Dialog nicht mehr anzeigen."_s;
        QTest::newRow("stored No with Yes and No: not shown, answered from the store")
            << true << Guid << int(mrNo) << yesNo << TMsgDlgButtons {} << false << 0 << false << None << false
            << QString() << int(mrNo) << int(AnswerTypAutomatic) << int(mrNo);
        QTest::newRow("GUID in lower case with blanks finds the canonical name")
            << true << LowerGuid << int(mrNo) << yesNo << TMsgDlgButtons {} << false << 0 << false << None
            << false << QString() << int(mrNo) << int(AnswerTypAutomatic) << int(mrNo);
        QTest::newRow("Shift held shows the dialog; unticked Yes forgets the stored No")
            << true << Guid << int(mrNo) << yesNo << TMsgDlgButtons {} << true << 0 << false << int(mrYes)
            << true << always << int(mrYes) << int(AnswerTypUser) << None;
        QTest::newRow("stored answer of no offered button is ignored")
            << true << Guid << int(mrOk) << yesNo << TMsgDlgButtons {} << false << 0 << true << int(mrNo)
            << true << always << int(mrNo) << int(AnswerTypUser) << int(mrNo);
        QTest::newRow("ticked answer in lower case stored under the canonical name")
            << true << LowerGuid << None << yesNo << TMsgDlgButtons {} << false << 0 << true << int(mrYes)
            << true << always << int(mrYes) << int(AnswerTypUser) << int(mrYes);
        QTest::newRow("one button offers not to show it again")
            << true << Guid << None << TMsgDlgButtons { mbOK } << TMsgDlgButtons {} << false << 0 << true
            << int(mrOk) << true << never << int(mrOk) << int(AnswerTypUser) << int(mrOk);
        QTest::newRow("ticked No with Shift held when only Yes may be saved: stored Yes removed")
            << true << Guid << int(mrYes) << yesNo << TMsgDlgButtons { mbYes } << true << 0 << true
            << int(mrNo) << true << always << int(mrNo) << int(AnswerTypUser) << None;
        QTest::newRow("malformed GUID: no check box, store untouched")
            << true << u"{0a1b2c3d-4e5f}"_s << int(mrNo) << yesNo << TMsgDlgButtons {} << false << 0 << true
            << int(mrYes) << true << QString() << int(mrYes) << int(AnswerTypUser) << int(mrNo);
        QTest::newRow("no factory: no check box, nothing looked up or stored")
            << false << Guid << int(mrNo) << yesNo << TMsgDlgButtons {} << false << 0 << true << int(mrYes)
            << true << QString() << int(mrYes) << int(AnswerTypUser) << int(mrNo);
        QTest::newRow("short time-out answers with the default")
            << true << Guid << None << TMsgDlgButtons { mbOK, mbCancel } << TMsgDlgButtons {} << false << 1200
            << false << None << true << always << int(mrOk) << int(AnswerTypTimeOut) << None;
        QTest::newRow("answered before the time-out")
            << true << QString() << None << yesNo << TMsgDlgButtons {} << false << 5000 << false << int(mrNo)
            << true << QString() << int(mrNo) << int(AnswerTypUser) << None;
    }
    void oneDialog()
    {
        QFETCH(bool, factory);
        QFETCH(QString, guid);
        QFETCH(int, earlier);
        QFETCH(TMsgDlgButtons, buttons);
        QFETCH(TMsgDlgButtons, saveButtons);
        QFETCH(bool, shift);
        QFETCH(int, timeOut);
        QFETCH(bool, tick);
        QFETCH(int, press);
        QFETCH(bool, shown);
        QFETCH(QString, verification);
        QFETCH(int, result);
        QFETCH(int, answerTyp);
        QFETCH(int, after);

        if (!factory)
            Tzc_Dialogs::SetAutoAnswersRegistryCreate(nullptr);
        put(OtherGuid, mrOk); // not the first answer: no notice comes up in this table
        if (earlier != None)
            put(Guid, earlier);
        m_shift = shift;
        Seen seen;
        const auto driver = answer(seen, tick, press);

        QCOMPARE(Tzc_Dialogs::MessageDlg(u"Frage"_s, u"Weiter?"_s, mtConfirmation, buttons, 0, guid,
                     saveButtons, timeOut, nullptr),
            result);
        QCOMPARE(seen.dialogs, shown ? 1 : 0);
        QCOMPARE(seen.verification, verification);
        QCOMPARE(stored(Guid), after);
        QCOMPARE(stored(OtherGuid), int(mrOk));
        const THistorieItem &entry = newestEntry();
        QCOMPARE(entry.AnswerTyp(), answerTyp);
        QCOMPARE(entry.Result(), result);
        QCOMPARE(entry.Guid(), Tzc_Dialogs::CheckGuid(guid));
    }

    void tickedAnswerIsGivenNextTime()
    {
        Seen seen;
        bool noticed = false;
        ModalDialogDriver driver([&](QDialog *d) {
            if (DialogSnapshot::of(d).instruction == u"Hinweis"_s) {
                noticed = true; // the first answer of an empty store
                pressButton(d, u"OK"_s);
                return;
            }
            ++seen.dialogs;
            d->findChild<QCheckBox *>(u"Verification"_s)->click();
            findButtonByResult(d, mrNo)->click();
        });
        QCOMPARE(Tzc_Dialogs::MessageDlg(
                     u"Löschen?"_s, u"Text"_s, mtConfirmation, { mbYes, mbNo }, 0, LowerGuid, {}, 0, nullptr),
            int(mrNo));
        QCOMPARE(seen.dialogs, 1);
        QCOMPARE(stored(Guid), int(mrNo));
        QTRY_VERIFY(noticed);
        QTRY_VERIFY(!QApplication::activeModalWidget());

        QCOMPARE(Tzc_Dialogs::MessageDlg(
                     u"Löschen?"_s, u"Text"_s, mtConfirmation, { mbYes, mbNo }, 0, Guid, {}, 0, nullptr),
            int(mrNo));
        QCOMPARE(seen.dialogs, 1);
        QCOMPARE(newestEntry().AnswerTyp(), AnswerTypAutomatic);
        QCOMPARE(newestEntry().Guid(), Guid);
    }

    void countdown_data()
    {
        QTest::addColumn<TMsgDlgButtons>("buttons");
        QTest::addColumn<TMsgDlgBtn>("defaultButton");
        QTest::addColumn<bool>("disableDefault");
        QTest::addColumn<int>("press");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("bar");

        QTest::newRow("10000 ms with OK as default")
            << TMsgDlgButtons { mbOK, mbCancel } << mbOK << false << int(mrCancel)
            << u"Weiter?\n\nDiese Meldung wird in 10 Sekunden automatisch mit \"OK\" beantwortet."_s << true;
        QTest::newRow("caption &Yes quoted as Yes")
            << TMsgDlgButtons { mbYes, mbNo } << mbYes << false << int(mrNo)
            << u"Weiter?\n\nDiese Meldung wird in 10 Sekunden automatisch mit \"Yes\" beantwortet."_s << true;
        QTest::newRow("default button disabled: no time-out")
            << TMsgDlgButtons { mbOK, mbCancel } << mbOK << true << int(mrCancel) << u"Weiter?"_s << false;
    }
    void countdown()
    {
        QFETCH(TMsgDlgButtons, buttons);
        QFETCH(TMsgDlgBtn, defaultButton);
        QFETCH(bool, disableDefault);
        QFETCH(int, press);
        QFETCH(QString, text);
        QFETCH(bool, bar);

        Seen seen;
        const auto driver = answer(seen, false, press);
        QCOMPARE(Tzc_Dialogs::MessageDlg(u"Frage"_s, u"Weiter?"_s, mtInformation, buttons, 0, defaultButton,
                     QString(), {}, 10000,
                     [disableDefault](Tzc_CustomTaskDialog *d) {
                         for (int i = 0; i < d->ButtonCount(); ++i) {
                             if (disableDefault && d->Buttons(i)->Default())
                                 d->Buttons(i)->SetEnabled(false);
                         }
                     }),
            press);
        QCOMPARE(seen.dialogs, 1);
        QCOMPARE(seen.text, text);
        QCOMPARE(seen.progressBar, bar);
        QCOMPARE(newestEntry().AnswerTyp(), AnswerTypUser);
    }
};

PRAVIK_TEST_MAIN(TestMessageDlgAnswers, Units)
#include "tst_messagedlganswers.moc"

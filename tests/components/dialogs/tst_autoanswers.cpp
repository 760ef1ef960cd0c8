// Remembered answers: the store behind a host's factory, the task dialog's three steps (look-up,
// check box text, storing after the answer), the notice after the first answer, and the reset.

#include "components/dialogs/zc_dialogs.h"
#include "components/dialogs/zc_dialogs_answers.h"
#include "platform/settingsstore.h"
#include "tests/support/answerstore.h"
#include "tests/support/dialogdriver.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(TMsgDlgButtons)
Q_DECLARE_METATYPE(std::optional<int>)

using namespace TestAnswerStore;

namespace {

const QString Guid = u"{0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D}"_s;
const QString OtherGuid = u"{11111111-2222-3333-4444-555555555555}"_s;

void useStore()
{
    Tzc_Dialogs::SetAutoAnswersRegistryCreate(openStore);
}

int valueCount()
{
    TRegistry reg;
    return reg.OpenKey(StoreKey, false) ? reg.GetKeyInfo().NumValues : 0;
}

void emptyStore()
{
    TRegistry reg;
    reg.DeleteKey(StoreKey);
}

// Lets the GUI thread run everything queued so far.
void drainQueuedCalls()
{
    bool done = false;
    QMetaObject::invokeMethod(
        qApp, [&] { done = true; }, Qt::QueuedConnection);
    QTRY_VERIFY(done);
}

} // namespace

class TestAutoAnswers : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_settings;
    std::unique_ptr<TUnitRun> m_units;
    bool m_shift = false;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        SetSettingsFolder(m_settings.path());
        m_units = std::make_unique<TUnitRun>(std::initializer_list<const TUnit *> { &zc_DialogsUnit });
    }

    void cleanupTestCase()
    {
        m_units.reset();
        SetSettingsFolder(QString());
    }

    void init()
    {
        emptyStore();
        m_shift = false;
        Tzc_Dialogs::SetShiftStateReader([this] { return m_shift; });
        Tzc_Dialogs::SetAutoAnswersRegistryCreate(nullptr);
    }

    void withoutFactoryNothingIsLookedUpOrStored()
    {
        put(Guid, mrNo);
        QVERIFY(!Tzc_Dialogs::AutoAnswersRegistryCreateRegistered());
        QCOMPARE(Tzc_Dialogs::AutoAnswersLookup(Guid, { mbYes, mbNo }), std::nullopt);
        QCOMPARE(Tzc_Dialogs::AutoAnswersVerificationText(Guid, 2), QString());
        Tzc_Dialogs::AutoAnswersAfterDialog(OtherGuid, mrYes, true, {});
        Tzc_Dialogs::AutoAnswersAfterDialog(Guid, mrYes, false, {});
        Tzc_Dialogs::AutoAnswersAdd(OtherGuid, mrOk);
        Tzc_Dialogs::AutoAnswersRemove(Guid);
        Tzc_Dialogs::AutoAnswersReset();
        QCOMPARE(stored(OtherGuid), None);
        QCOMPARE(stored(Guid), int(mrNo));
    }

    void verificationText_data()
    {
        QTest::addColumn<bool>("factory");
        QTest::addColumn<QString>("guid");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<QString>("text");

        QTest::newRow("one button") << true << Guid << 1 << u"Dialog nicht mehr anzeigen."_s;
        QTest::newRow("two buttons") << true << Guid << 2 << u"Dialog immer genauso beantworten."_s;
        QTest::newRow("three buttons") << true << Guid << 3 << u"Dialog immer genauso beantworten."_s;
        QTest::newRow("GUID in lower case with blanks")
            << true << u"  {0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d} "_s << 1
            << u"Dialog nicht mehr anzeigen."_s;
        QTest::newRow("no GUID: no check box") << true << QString() << 2 << QString();
        QTest::newRow("malformed GUID: no check box") << true << u"{0A1B}"_s << 2 << QString();
        QTest::newRow("no factory: no check box") << false << Guid << 2 << QString();
    }
    void verificationText()
    {
        QFETCH(bool, factory);
        QFETCH(QString, guid);
        QFETCH(int, buttons);
        QFETCH(QString, text);
        if (factory)
            useStore();
        QCOMPARE(Tzc_Dialogs::AutoAnswersVerificationText(guid, buttons), text);
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("guid");
        QTest::addColumn<int>("stored"); // None: no value
        QTest::addColumn<TMsgDlgButtons>("buttons");
        QTest::addColumn<bool>("shift");
        QTest::addColumn<int>("answer"); // None: the dialog is shown

        const TMsgDlgButtons yesNo { mbYes, mbNo };
        QTest::newRow("stored No, Yes and No offered") << Guid << int(mrNo) << yesNo << false << int(mrNo);
        QTest::newRow("holding Shift shows the dialog") << Guid << int(mrNo) << yesNo << true << None;
        QTest::newRow("stored answer not among the buttons") << Guid << int(mrOk) << yesNo << false << None;
        QTest::newRow("nothing stored") << Guid << None << yesNo << false << None;
        QTest::newRow("GUID in lower case finds the canonical name")
            << u" {0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d}"_s << int(mrNo) << yesNo << false << int(mrNo);
        QTest::newRow("no GUID") << QString() << int(mrNo) << yesNo << false << None;
        QTest::newRow("Help answers -1 on the task dialog")
            << Guid << int(mrTaskDialogHelp) << TMsgDlgButtons { mbOK, mbHelp } << false
            << int(mrTaskDialogHelp);
        QTest::newRow("0 is no button's answer")
            << Guid << 0 << TMsgDlgButtons { mbOK, mbHelp } << false << None;
        QTest::newRow("Yes to all among many buttons")
            << Guid << int(mrYesToAll) << TMsgDlgButtons { mbYes, mbNo, mbYesToAll, mbNoToAll } << false
            << int(mrYesToAll);
    }
    void lookup()
    {
        QFETCH(QString, guid);
        QFETCH(int, stored);
        QFETCH(TMsgDlgButtons, buttons);
        QFETCH(bool, shift);
        QFETCH(int, answer);
        useStore();
        if (stored != None)
            put(Guid, stored);
        m_shift = shift;
        const std::optional<TModalResult> r = Tzc_Dialogs::AutoAnswersLookup(guid, buttons);
        QCOMPARE(r.value_or(None), answer);
    }

    void storedTextIsNoAnswer()
    {
        useStore();
        TRegistry reg;
        reg.OpenKey(StoreKey, true);
        reg.WriteString(Guid, u"/home/user/Ordner/"_s);
        QCOMPARE(Tzc_Dialogs::AutoAnswersLookup(Guid, { mbYes, mbNo }), std::nullopt);
    }

    void afterDialog_data()
    {
        QTest::addColumn<int>("earlier"); // None: nothing stored before
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<int>("result");
        QTest::addColumn<TMsgDlgButtons>("saveButtons");
        QTest::addColumn<int>("after"); // None: nothing stored afterwards

        QTest::newRow("ticked No, only Yes may be saved: not stored, earlier removed")
            << int(mrYes) << true << int(mrNo) << TMsgDlgButtons { mbYes } << None;
        QTest::newRow("ticked No, any answer may be saved")
            << None << true << int(mrNo) << TMsgDlgButtons {} << int(mrNo);
        QTest::newRow("ticked Yes, only Yes may be saved")
            << None << true << int(mrYes) << TMsgDlgButtons { mbYes } << int(mrYes);
        QTest::newRow("not ticked forgets the earlier answer")
            << int(mrNo) << false << int(mrYes) << TMsgDlgButtons {} << None;
        QTest::newRow("result 0 leaves the store alone")
            << int(mrNo) << true << 0 << TMsgDlgButtons {} << int(mrNo);
        QTest::newRow("ticked Help never qualifies when save buttons are named")
            << None << true << int(mrTaskDialogHelp) << TMsgDlgButtons { mbHelp } << None;
        QTest::newRow("ticked answer replaces an earlier one")
            << int(mrYes) << true << int(mrNo) << TMsgDlgButtons { mbYes, mbNo } << int(mrNo);
    }
    void afterDialog()
    {
        QFETCH(int, earlier);
        QFETCH(bool, ticked);
        QFETCH(int, result);
        QFETCH(TMsgDlgButtons, saveButtons);
        QFETCH(int, after);
        useStore();
        put(OtherGuid, mrOk); // not the first answer: no notice in this table
        if (earlier != None)
            put(Guid, earlier);
        Tzc_Dialogs::AutoAnswersAfterDialog(Guid.toLower(), result, ticked, saveButtons);
        QCOMPARE(stored(Guid), after);
        QCOMPARE(stored(OtherGuid), int(mrOk));
        drainQueuedCalls();
        QVERIFY(!QApplication::activeModalWidget());
    }

    void invalidGuidStoresNothing()
    {
        useStore();
        Tzc_Dialogs::AutoAnswersAdd(u"not a GUID"_s, mrYes);
        Tzc_Dialogs::AutoAnswersAfterDialog(u"{0A1B}"_s, mrYes, true, {});
        QCOMPARE(valueCount(), 0);
        QCOMPARE(stored(QString()), None);
    }

    void firstAnswerShowsTheNoticeOnce()
    {
        useStore();
        QList<DialogSnapshot> notices;
        bool addReturned = false;
        bool shownAfterAdd = false;
        ModalDialogDriver driver([&](QDialog *d) {
            notices << DialogSnapshot::of(d);
            shownAfterAdd = addReturned;
            pressButton(d, u"OK"_s);
        });
        const int historyBefore = Tzc_Dialogs::GetHistorie()->Count();

        Tzc_Dialogs::AutoAnswersAdd(Guid, mrYes);
        addReturned = true;
        QCOMPARE(stored(Guid), int(mrYes));
        QTRY_COMPARE(notices.size(), 1);
        QVERIFY2(shownAfterAdd, "storing waited for the notice");
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QCOMPARE(notices[0].instruction, u"Hinweis"_s);
        QCOMPARE(notices[0].text,
            u"Sie können alle gespeicherten Antworten im Ribbon unter unter Optionen - Dialogantworten "
            u"zurücksetzen.\nDiese Meldung wird nur beim ersten Hinzufügen einer automatischen Antwort "
            u"angezeigt."_s);
        QCOMPARE(notices[0].caption, u"Information"_s);
        QCOMPARE(notices[0].buttons, QStringList { u"OK"_s });
        QTRY_COMPARE(Tzc_Dialogs::GetHistorie()->Count(), historyBefore + 1);

        Tzc_Dialogs::AutoAnswersAdd(OtherGuid, mrNo);
        Tzc_Dialogs::AutoAnswersAdd(Guid, mrNo);
        drainQueuedCalls();
        drainQueuedCalls();
        QCOMPARE(driver.seen(), 1);
        QCOMPARE(stored(Guid), int(mrNo));
        QCOMPARE(stored(OtherGuid), int(mrNo));
    }

    void removeForgetsOnlyThatAnswer()
    {
        useStore();
        put(Guid, mrYes);
        put(OtherGuid, mrNo);
        Tzc_Dialogs::AutoAnswersRemove(u"{0a1b2c3d-4e5f-6a7b-8c9d-0e1f2a3b4c5d}"_s);
        QCOMPARE(stored(Guid), None);
        QCOMPARE(stored(OtherGuid), int(mrNo));
        Tzc_Dialogs::AutoAnswersRemove(Guid); // nothing left to remove
        QCOMPARE(valueCount(), 1);
    }

    void resetForgetsEverything()
    {
        useStore();
        Tzc_Dialogs::AutoAnswersReset(); // an empty key
        QCOMPARE(valueCount(), 0);

        put(Guid, mrNo);
        put(OtherGuid, mrYes);
        TRegistry reg;
        reg.OpenKey(StoreKey, true);
        reg.WriteString(u"{22222222-2222-2222-2222-222222222222}"_s, m_settings.path() + u'/');
        Tzc_Dialogs::AutoAnswersReset();
        QCOMPARE(valueCount(), 0);
        QCOMPARE(Tzc_Dialogs::AutoAnswersLookup(Guid, { mbYes, mbNo }), std::nullopt);
        QCOMPARE(Tzc_Dialogs::AutoAnswersLookup(OtherGuid, { mbYes, mbNo }), std::nullopt);
    }

    void storeThatCannotBeOpenedRaises()
    {
        Tzc_Dialogs::SetAutoAnswersRegistryCreate([] { return std::unique_ptr<TRegistry>(); });
        QVERIFY_THROWS_EXCEPTION(ERegistryException, Tzc_Dialogs::AutoAnswersLookup(Guid, { mbYes }));
        QVERIFY_THROWS_EXCEPTION(ERegistryException, Tzc_Dialogs::AutoAnswersAdd(Guid, mrYes));
        QVERIFY_THROWS_EXCEPTION(ERegistryException, Tzc_Dialogs::AutoAnswersRemove(Guid));
        QVERIFY_THROWS_EXCEPTION(ERegistryException, Tzc_Dialogs::AutoAnswersReset());
        // A key object that was never opened.
        Tzc_Dialogs::SetAutoAnswersRegistryCreate([] { return std::make_unique<TRegistry>(); });
        QVERIFY_THROWS_EXCEPTION(ERegistryException, Tzc_Dialogs::AutoAnswersLookup(Guid, { mbYes }));
    }

    void factoryIsReleasedWhenTheUnitFinishes()
    {
        auto token = std::make_shared<int>(0);
        Tzc_Dialogs::SetAutoAnswersRegistryCreate([token] { return openStore(); });
        QCOMPARE(token.use_count(), 2);
        m_units.reset();
        QCOMPARE(token.use_count(), 1);
        QVERIFY(!Tzc_Dialogs::AutoAnswersRegistryCreateRegistered());
        m_units = std::make_unique<TUnitRun>(std::initializer_list<const TUnit *> { &zc_DialogsUnit });
        QVERIFY(!Tzc_Dialogs::AutoAnswersRegistryCreateRegistered());
    }
};

QTEST_MAIN(TestAutoAnswers)
#include "tst_autoanswers.moc"

// The dialog service with its dialogs over several runs of zc_DialogsUnit in one process: what a
// run starts does not reach the next one, and the dialogs refuse to come up while no run is going.

#include "components/dialogs/zc_dialoginterface.h"
#include "components/dialogs/zc_dialogs.h"
#include "tests/support/dialogdriver.h"

#include <QMainWindow>
#include <QTest>

#include <atomic>
#include <functional>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

using Call = std::function<void()>;

std::atomic<int> g_queuedResult = -100;

void keepQueuedResult(qint32 AResult)
{
    g_queuedResult = AResult;
}

} // namespace

class TestDialogServiceRuns : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dialogsRaiseAfterTheUnitFinished_data()
    {
        QTest::addColumn<Call>("call");
        QTest::newRow("MessageDlg") << Call([] {
            Tzc_Dialogs::MessageDlg(u"i"_s, u"c"_s, mtWarning, { mbOK }, 0, QString(), {}, 0, nullptr);
        });
        QTest::newRow("ShowMessage") << Call([] { Tzc_Dialogs::ShowMessage(u"c"_s); });
        QTest::newRow("MessageDlgPosHelp") << Call([] {
            Tzc_Dialogs::MessageDlgPosHelp(
                u"i"_s, u"c"_s, mtWarning, { mbOK }, 0, -1, -1, QString(), mbOK, QString(), {}, 0, nullptr);
        });
        QTest::newRow("MessageDlgQueued") << Call([] {
            Tzc_Dialogs::MessageDlgQueued(
                u"i"_s, u"c"_s, mtWarning, { mbOK }, 0, mbOK, QString(), {}, 0, keepQueuedResult);
        });
        QTest::newRow("MessageDlgInterface") << Call(
            [] { Tzc_Dialogs::MessageDlgInterface(u"i"_s, u"c"_s, mtWarning, { mbOK }, 0, 0, 0, nullptr); });
        QTest::newRow("MessageDlgCallbackContinued") << Call([] {
            Tzc_Dialogs::MessageDlgCallbackContinued(
                u"i"_s, u"c"_s, mtWarning, { mbOK }, 0, mbOK, [](Tzc_CustomTaskDialog *, bool) {}, 100);
        });
        QTest::newRow("FileOverWriteQuestionWhenExists") << Call(
            [] { Tzc_Dialogs::FileOverWriteQuestionWhenExists(QCoreApplication::applicationFilePath()); });
        QTest::newRow("InputQuery") << Call([] {
            QString value = u"v"_s;
            Tzc_Dialogs::InputQuery(u"c"_s, u"p"_s, value);
        });
        QTest::newRow("SelectDirectory") << Call([] {
            QString folder;
            Tzc_Dialogs::SelectDirectory(folder, QString(), u"t"_s);
        });
        QTest::newRow("ExchangeDialogAddress") << Call([] { Tzc_Dialogs::ExchangeDialogAddress(); });
        QTest::newRow("AutoAnswersAdd")
            << Call([] { Tzc_Dialogs::AutoAnswersAdd(u"{0A1B2C3D-0000-0000-0000-000000000001}"_s, mrYes); });
        QTest::newRow("AutoAnswersReset") << Call([] { Tzc_Dialogs::AutoAnswersReset(); });
    }

    void dialogsRaiseAfterTheUnitFinished()
    {
        QFETCH(Call, call);
        {
            const TUnitRun units { &zc_DialogsUnit };
            QVERIFY(Tzc_Dialogs::GetHistorie());
        }
        const ModalDialogDriver driver([](QDialog *d) { d->reject(); }, 2000);
        g_queuedResult = -100;
        QVERIFY_THROWS_EXCEPTION(Exception, call());
        QTest::qWait(50);
        QCOMPARE(driver.seen(), 0);
        QCOMPARE(g_queuedResult.load(), -100);
        QVERIFY(!Tzc_Dialogs::GetHistorie());
    }

    // A queued dialog whose worker reaches the GUI thread only after its run finished is not shown,
    // not in the next run either; its result is 0.
    void queuedDialogOfAFinishedRunStaysUnshown()
    {
        std::optional<TUnitRun> units(
            std::in_place, std::initializer_list<const TUnit *> { &zc_DialogsUnit });
        const ModalDialogDriver driver([](QDialog *d) {
            if (QPushButton *ok = findButtonByResult(d, mrOk))
                ok->click();
        });
        g_queuedResult = -100;
        Tzc_Dialogs::MessageDlgQueued(
            u"Erster Lauf"_s, u"c"_s, mtInformation, { mbOK }, 0, mbOK, QString(), {}, 0, keepQueuedResult);
        units.reset();
        units.emplace(std::initializer_list<const TUnit *> { &zc_DialogsUnit });
        QTRY_COMPARE(g_queuedResult.load(), int(mrNone));
        QCOMPARE(driver.seen(), 0);
        QCOMPARE(Tzc_Dialogs::GetHistorie()->Count(), 0);
    }

    void buttonFontIsTakenAgainInTheNextRun()
    {
        QFont wide = QApplication::font();
        wide.setPointSizeF(wide.pointSizeF() * 2);
        {
            const TUnitRun units { &zc_DialogsUnit };
            QMainWindow main;
            main.setFont(wide);
            main.show();
            QCOMPARE(Tzc_Dialogs::GetButtonFont(), wide);
        }
        const TUnitRun units { &zc_DialogsUnit };
        QCOMPARE(Tzc_Dialogs::GetButtonFont(), QApplication::font());
    }
};

QTEST_MAIN(TestDialogServiceRuns)
#include "tst_dialogserviceruns.moc"

// Message dialogs asked for from worker threads: shown on the GUI thread while the worker waits,
// also while the GUI thread itself is inside a modal dialog, and recorded in the history.

#include "components/dialogs/zc_dialogs.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/lambdathread.h"
#include "tests/support/unitsmain.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

const TUnit *const Units[] = { &zc_DialogsUnit };

// Waits without serving any event until Count hand-overs wait for the GUI thread.
bool waitForPendingHandOvers(int Count)
{
    QElapsedTimer timer;
    timer.start();
    while (TThread::PendingHandOverCount() < Count && timer.elapsed() < 10000)
        std::this_thread::yield();
    return TThread::PendingHandOverCount() == Count;
}

} // namespace

class TestMessageDlgThreads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { Tzc_Dialogs::GetHistorie()->Clear(); }

    void workerWaitsForTheAnswerOfTheGuiThread_data()
    {
        QTest::addColumn<bool>("taskDialogs");
        QTest::addColumn<int>("answerTyp");
        QTest::newRow("task dialog") << true << int(AnswerTypUser);
        QTest::newRow("classic dialog") << false << int(AnswerTypOldStyle);
    }

    void workerWaitsForTheAnswerOfTheGuiThread()
    {
        QFETCH(bool, taskDialogs);
        QFETCH(int, answerTyp);
        Tzc_Dialogs::SetUseLatestCommonDialogs(taskDialogs);
        std::atomic<bool> shownOnGuiThread = false;
        ModalDialogDriver driver([&](QDialog *d) {
            shownOnGuiThread = d->thread() == QCoreApplication::instance()->thread();
            pressButton(d, u"&No"_s);
        });
        std::atomic<int> result = -100;
        TLambdaThread worker(false, [&](TLambdaThread *) {
            result = Tzc_Dialogs::MessageDlg(
                u"Vom Thread"_s, u"Frage"_s, mtConfirmation, { mbYes, mbNo }, 0, QString(), {}, 0, nullptr);
        });
        worker.Start();
        QTRY_VERIFY(worker.Finished());
        QCOMPARE(result.load(), int(mrNo));
        QVERIFY(shownOnGuiThread);
        QTRY_COMPARE(Tzc_Dialogs::GetHistorie()->Count(), 1);
        QCOMPARE(int(Tzc_Dialogs::GetHistorie()->Items(0).AnswerTyp()), answerTyp);
        QCOMPARE(Tzc_Dialogs::GetHistorie()->Items(0).Result(), int(mrNo));
        Tzc_Dialogs::SetUseLatestCommonDialogs(true);
    }

    void guiThreadInsideADialogStillServesWorkers()
    {
        std::unique_ptr<TLambdaThread> worker;
        std::atomic<int> workerResult = -100;
        QStringList order;
        ModalDialogDriver driver([&](QDialog *d) {
            const QString instruction = DialogSnapshot::of(d).instruction;
            order << instruction;
            if (instruction == u"GUI"_s && !worker) {
                // The GUI thread's dialog stays open while the worker asks for its own.
                worker = std::make_unique<TLambdaThread>(false, [&](TLambdaThread *) {
                    workerResult = Tzc_Dialogs::MessageDlg(
                        u"Worker"_s, u"Text"_s, mtWarning, { mbYes, mbNo }, 0, QString(), {}, 0, nullptr);
                });
                worker->Start();
            } else if (instruction == u"Worker"_s) {
                pressButton(d, u"&Yes"_s);
            } else {
                pressButton(d, u"OK"_s);
            }
        });
        const int guiResult = Tzc_Dialogs::MessageDlg(
            u"GUI"_s, u"Text"_s, mtInformation, { mbOK }, 0, QString(), {}, 0, nullptr);
        QCOMPARE(guiResult, int(mrOk));
        QTRY_COMPARE(workerResult.load(), int(mrYes));
        QCOMPARE(order, QStringList({ u"GUI"_s, u"Worker"_s, u"GUI"_s }));
        worker->WaitFor();
        QTRY_COMPARE(Tzc_Dialogs::GetHistorie()->Count(), 2);
    }

    void dialogsWaitingBehindAnOpenDialogAreShown()
    {
        // Two workers ask while the GUI thread looks at nothing. The first dialog is answered only
        // after the second: that one must come up while the first is open, not after it closed.
        bool secondAnswered = false;
        bool firstOpenWhenSecondShown = false;
        const auto openDialog = [](const QString &AInstruction) {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *d = qobject_cast<QDialog *>(w);
                if (d && d->isVisible() && DialogSnapshot::of(d).instruction == AInstruction)
                    return true;
            }
            return false;
        };
        ModalDialogDriver driver(
            [&](QDialog *d) {
                if (DialogSnapshot::of(d).instruction == u"Zwei"_s) {
                    firstOpenWhenSecondShown = openDialog(u"Eins"_s);
                    secondAnswered = pressButton(d, u"OK"_s);
                } else if (secondAnswered) {
                    pressButton(d, u"OK"_s);
                }
            },
            3000);
        std::atomic<int> results[2] = { -100, -100 };
        const auto ask = [](const QString &AInstruction, std::atomic<int> &AResult) {
            return [AInstruction, &AResult](TLambdaThread *) {
                AResult = Tzc_Dialogs::MessageDlg(
                    AInstruction, u"Text"_s, mtInformation, { mbOK }, 0, QString(), {}, 0, nullptr);
            };
        };
        TLambdaThread one(false, ask(u"Eins"_s, results[0]));
        one.Start();
        QVERIFY(waitForPendingHandOvers(1));
        TLambdaThread two(false, ask(u"Zwei"_s, results[1]));
        two.Start();
        QVERIFY(waitForPendingHandOvers(2));
        QTRY_VERIFY(one.Finished() && two.Finished());
        QVERIFY(firstOpenWhenSecondShown);
        QCOMPARE(results[0].load(), int(mrOk));
        QCOMPARE(results[1].load(), int(mrOk));
        QTRY_COMPARE(Tzc_Dialogs::GetHistorie()->Count(), 2);
    }

    void exceptionOfTheGuiThreadReachesTheWorker()
    {
        std::atomic<bool> raised = false;
        TLambdaThread worker(false, [&](TLambdaThread *) {
            try {
                Tzc_Dialogs::MessageDlg(u"Kaputt"_s, u"Text"_s, mtError, { mbOK }, 0, QString(), {}, 0,
                    [](Tzc_CustomTaskDialog *) { throw EConvertError(u"im Callback"_s); });
            } catch (const EConvertError &) {
                raised = true;
            }
        });
        worker.Start();
        QTRY_VERIFY(worker.Finished());
        QVERIFY(raised);
        QTRY_COMPARE(Tzc_Dialogs::GetHistorie()->Count(), 1);
        QCOMPARE(Tzc_Dialogs::GetHistorie()->Items(0).AnswerTyp(), AnswerTypNone);
    }
};

PRAVIK_TEST_MAIN(TestMessageDlgThreads, Units)
#include "tst_messagedlgthreads.moc"

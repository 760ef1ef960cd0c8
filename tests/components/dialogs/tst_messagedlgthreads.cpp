// Message dialogs asked for from worker threads: shown on the GUI thread while the worker waits,
// also while the GUI thread itself is inside a modal dialog, and recorded in the history.

#include "components/dialogs/zc_dialogs.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/lambdathread.h"
#include "tests/support/unitsmain.h"

#include <QTest>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const TUnit *const Units[] = { &zc_DialogsUnit };

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

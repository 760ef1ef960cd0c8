// Dialogs that do not keep their caller waiting: queued dialogs deliver their result on the GUI
// thread; dialog interfaces report, close and time out their dialog and never press a button of a
// closed one; periodic callbacks run at their clamped interval and never after the dialog closed.

#include "components/dialogs/zc_customtaskdialog.h"
#include "components/dialogs/zc_dialoginterface.h"
#include "components/dialogs/zc_dialogs.h"
#include "platform/exception.h"
#include "platform/thread.h"
#include "tests/support/dialogdriver.h"
#include "tests/support/lambdathread.h"
#include "tests/support/unitsmain.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const TUnit *const Units[] = { &zc_DialogsUnit };

bool onGuiThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Waits (serving events) until ms have passed: for cases that show something does NOT happen.
void serveEventsFor(int ms)
{
    QElapsedTimer t;
    t.start();
    QTRY_VERIFY_WITH_TIMEOUT(t.elapsed() >= ms, ms + 5000);
}

// What a queued dialog's result uses, and names as its context.
enum class ResultContext
{
    GuiObject,
    Worker,
    SelfFreeingWorker
};

} // namespace

Q_DECLARE_METATYPE(ResultContext)

class TestQueuedDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { Tzc_Dialogs::GetHistorie()->Clear(); }
    void cleanup()
    {
        // No worker of one case may reach into the next.
        QTRY_COMPARE_WITH_TIMEOUT(TThread::RunningThreadCount(), 0, 10000);
    }

    void queuedReturnsBeforeTheDialogShows_data()
    {
        QTest::addColumn<bool>("resultMethod");
        QTest::newRow("with a result method") << true;
        QTest::newRow("without a result method") << false;
    }

    void queuedReturnsBeforeTheDialogShows()
    {
        QFETCH(bool, resultMethod);
        std::atomic<bool> shown = false;
        ModalDialogDriver driver([&](QDialog *d) {
            shown = true;
            pressButton(d, u"&No"_s);
        });
        int received = -100;
        int calls = 0;
        bool receivedOnGui = false;
        Tzc_Dialog_ThreadResult method;
        if (resultMethod) {
            method = [&](qint32 AResultValue) {
                received = AResultValue;
                receivedOnGui = onGuiThread();
                ++calls;
            };
        }
        Tzc_Dialogs::MessageDlgQueued(u"Frage"_s, u"Weiter?"_s, mtConfirmation, { mbYes, mbNo }, 0, mbYes,
            QString(), {}, 0, this, method);
        QVERIFY(!shown);
        QCOMPARE(driver.seen(), 0);
        QCOMPARE(Tzc_Dialogs::GetHistorie()->Count(), 0);

        QTRY_COMPARE(Tzc_Dialogs::GetHistorie()->Count(), 1);
        QVERIFY(shown);
        const THistorieItem &entry = Tzc_Dialogs::GetHistorie()->Items(0);
        QCOMPARE(entry.Instruction(), u"Frage"_s);
        QCOMPARE(entry.Result(), int(mrNo));
        QCOMPARE(entry.AnswerTyp(), AnswerTypUser);
        QCOMPARE(entry.DefaultButton(), mbYes);
        if (resultMethod) {
            QTRY_COMPARE(calls, 1);
            QCOMPARE(received, int(mrNo));
            QVERIFY(receivedOnGui);
        }
    }

    void queuedFromWorkerDeliversOnTheGuiThread()
    {
        ModalDialogDriver driver([](QDialog *d) { pressButton(d, u"Cancel"_s); });
        std::atomic<int> received = -100;
        std::atomic<bool> receivedOnGui = false;
        std::atomic<bool> returned = false;
        // The worker stays until the result is in: a call tagged with a thread that is gone is dropped.
        TLambdaThread worker(false, [&](TLambdaThread *self) {
            Tzc_Dialogs::MessageDlgQueued(u"Vom Thread"_s, u"Text"_s, mtWarning, { mbOK, mbCancel }, 0, mbOK,
                QString(), {}, 0, self, [&](qint32 AResultValue) {
                    receivedOnGui = onGuiThread();
                    received = AResultValue;
                });
            returned = true;
            while (self->SleepUnlessTerminated(5) && received.load() == -100) { }
        });
        worker.Start();
        QTRY_VERIFY(returned.load());
        QTRY_COMPARE(received.load(), int(mrCancel));
        QVERIFY(receivedOnGui);
        QTRY_VERIFY(worker.Finished());
    }

    void interfaceTimeOut_data()
    {
        QTest::addColumn<TMsgDlgButtons>("buttons");
        QTest::addColumn<bool>("closes");
        QTest::newRow("Cancel among the buttons: closed with Cancel")
            << TMsgDlgButtons { mbOK, mbCancel } << true;
        QTest::newRow("no Cancel: stays open") << TMsgDlgButtons { mbYes, mbNo } << false;
    }

    // The dialogs of these cases are shown from a hand-over inside the test's own waiting, so they are
    // looked at and answered from the driver, inside the dialog's loop.
    void interfaceTimeOut()
    {
        QFETCH(TMsgDlgButtons, buttons);
        QFETCH(bool, closes);
        QElapsedTimer clock;
        clock.start();
        std::shared_ptr<Izc_DialogInterface> dialog;
        bool openAfterTimeOut = false;
        ModalDialogDriver driver([&](QDialog *d) {
            if (closes)
                return;
            // Well after the time-out: still open, then closed by the test.
            QTimer::singleShot(900, d, [&, d] {
                openAfterTimeOut = d->isVisible() && dialog->Visible() && dialog->Result() == 0;
                dialog->CloseDialog(int(mrNo));
            });
        });
        dialog = Tzc_Dialogs::MessageDlgInterface(
            u"Zeit"_s, u"Läuft ab"_s, mtInformation, buttons, 0, 300, int(mrCancel), nullptr);
        const int expected = closes ? int(mrCancel) : int(mrNo);
        QTRY_COMPARE_WITH_TIMEOUT(dialog->Result(), expected, 5000);
        QCOMPARE(driver.seen(), 1);
        QVERIFY(!dialog->Visible());
        if (closes)
            QVERIFY(clock.elapsed() >= 290);
        else
            QVERIFY(openAfterTimeOut);
        QTRY_COMPARE(Tzc_Dialogs::GetHistorie()->Count(), 1);
        // Its own time-out is not used: the press counts as the user's.
        QCOMPARE(Tzc_Dialogs::GetHistorie()->Items(0).AnswerTyp(), AnswerTypUser);
    }

    void visibleFollowsTheAnswer_data()
    {
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("visible");
        QTest::newRow("Yes answers 6: no longer visible") << u"&Yes"_s << int(mrYes) << false;
        QTest::newRow("Help answers -1: still visible") << u"&Help"_s << int(mrTaskDialogHelp) << true;
    }

    void visibleFollowsTheAnswer()
    {
        QFETCH(QString, press);
        QFETCH(int, result);
        QFETCH(bool, visible);
        std::shared_ptr<Izc_DialogInterface> dialog;
        bool visibleWhileShown = false;
        bool pressed = false;
        ModalDialogDriver driver([&](QDialog *d) {
            visibleWhileShown = dialog->Visible();
            pressed = pressButton(d, press);
        });
        dialog = Tzc_Dialogs::MessageDlgInterface(
            u"Sichtbar"_s, u"Text"_s, mtConfirmation, { mbYes, mbNo, mbHelp }, 0, 0, 0, nullptr);
        QVERIFY(dialog->Visible());
        QCOMPARE(dialog->Result(), 0);
        QTRY_COMPARE(dialog->Result(), result);
        QVERIFY(pressed);
        QVERIFY(visibleWhileShown);
        QCOMPARE(dialog->Visible(), visible);
    }

    void visibleEndsWithoutAnAnswer_data()
    {
        QTest::addColumn<bool>("callbackRaises");
        QTest::newRow("closed with result 0") << false;
        QTest::newRow("never shown: its callback raised") << true;
    }

    // A poller must see the end of a dialog that ends without an answer.
    void visibleEndsWithoutAnAnswer()
    {
        QFETCH(bool, callbackRaises);
        ModalDialogDriver driver([](QDialog *d) { d->done(0); });
        Tzc_DialogCallback callback;
        if (callbackRaises)
            callback = [](Tzc_CustomTaskDialog *) { throw Exception(u"Kaputt"_s); };
        const auto dialog = Tzc_Dialogs::MessageDlgInterface(
            u"Ohne Antwort"_s, u"Text"_s, mtInformation, { mbOK, mbCancel }, 0, 0, 0, callback);
        QTRY_VERIFY(!dialog->Visible());
        QCOMPARE(dialog->Result(), 0);
        QCOMPARE(driver.seen(), callbackRaises ? 0 : 1);
    }

    void closeDialogPressesItsButton_data()
    {
        QTest::addColumn<bool>("fromWorker");
        QTest::addColumn<int>("close");
        QTest::addColumn<int>("result");
        QTest::newRow("No on the GUI thread") << false << int(mrNo) << int(mrNo);
        QTest::newRow("No from a worker thread") << true << int(mrNo) << int(mrNo);
        QTest::newRow("a result no button has: stays open") << false << int(mrRetry) << 0;
    }

    void closeDialogPressesItsButton()
    {
        QFETCH(bool, fromWorker);
        QFETCH(int, close);
        QFETCH(int, result);
        std::shared_ptr<Izc_DialogInterface> dialog;
        std::atomic<int> returned = -100;
        bool stillOpen = false;
        ModalDialogDriver driver([&](QDialog *d) {
            if (fromWorker) {
                TLambdaThread worker(false, [&](TLambdaThread *) { returned = dialog->CloseDialog(close); });
                worker.Start();
                worker.WaitFor();
            } else {
                returned = dialog->CloseDialog(close);
            }
            if (result == 0) {
                QTimer::singleShot(200, d, [&, d] {
                    stillOpen = d->isVisible() && dialog->Result() == 0;
                    dialog->CloseDialog(int(mrYes));
                });
            }
        });
        dialog = Tzc_Dialogs::MessageDlgInterface(
            u"Schließen"_s, u"Text"_s, mtConfirmation, { mbYes, mbNo }, 0, 0, 0, nullptr);
        QTRY_COMPARE(dialog->Result(), result == 0 ? int(mrYes) : result);
        // The answer arrives later, through the worker that waits for the dialog.
        QCOMPARE(returned.load(), 0);
        if (result == 0)
            QVERIFY(stillOpen);
    }

    void resultCallbackRunsOnTheGuiThread()
    {
        ModalDialogDriver driver([](QDialog *d) { pressButton(d, u"OK"_s); });
        const auto dialog = Tzc_Dialogs::MessageDlgInterface(
            u"Rückruf"_s, u"Text"_s, mtInformation, { mbOK }, 0, 0, 0, nullptr);
        int calls = 0;
        int seenResult = -100;
        bool gui = false;
        Izc_DialogInterface *seenHandle = nullptr;
        dialog->SetResultCallback([&](const std::shared_ptr<Izc_DialogInterface> &AInterface) {
            ++calls;
            gui = onGuiThread();
            seenHandle = AInterface.get();
            seenResult = AInterface->Result();
        });
        QVERIFY(dialog->GetResultCallback());
        QTRY_COMPARE(calls, 1);
        QVERIFY(gui);
        QCOMPARE(seenHandle, dialog.get());
        QCOMPARE(seenResult, int(mrOk));
    }

    void interfaceOutlivesItsCaller()
    {
        std::weak_ptr<Izc_DialogInterface> weak;
        {
            const auto dialog = Tzc_Dialogs::MessageDlgInterface(u"Losgelassen"_s, u"Text"_s, mtInformation,
                { mbOK, mbCancel }, 0, 300, int(mrCancel), nullptr);
            weak = dialog;
        }
        // Only the worker holds it now, and it still answers by its time-out.
        QVERIFY(!weak.expired());
        QTRY_COMPARE_WITH_TIMEOUT(Tzc_Dialogs::GetHistorie()->Count(), 1, 5000);
        QCOMPARE(Tzc_Dialogs::GetHistorie()->Items(0).Result(), int(mrCancel));
        QTRY_VERIFY(weak.expired());
    }

    // Regression: the time-out must not fire into the dialog after the user closed it.
    void userClosesBeforeTheTimeOut()
    {
        std::shared_ptr<Izc_DialogInterface> next;
        int nextResultLater = -100;
        ModalDialogDriver driver([&](QDialog *d) {
            if (!next) {
                pressButton(d, u"OK"_s);
                return;
            }
            // Past the first dialog's time-out: nothing has pressed this one.
            QTimer::singleShot(2500, d, [&] {
                nextResultLater = next->Result();
                next->CloseDialog(int(mrOk));
            });
        });
        const auto dialog = Tzc_Dialogs::MessageDlgInterface(
            u"Früh"_s, u"Text"_s, mtInformation, { mbOK, mbCancel }, 0, 2000, int(mrCancel), nullptr);
        QTRY_COMPARE(dialog->Result(), int(mrOk));
        QElapsedTimer clock;
        clock.start();
        // The time-out's thread is stopped with the dialog instead of sleeping out its 2 seconds.
        QTRY_COMPARE_WITH_TIMEOUT(TThread::RunningThreadCount(), 0, 1500);
        QVERIFY(clock.elapsed() < 1500);
        next = Tzc_Dialogs::MessageDlgInterface(
            u"Danach"_s, u"Text"_s, mtInformation, { mbOK, mbCancel }, 0, 0, 0, nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(next->Result(), int(mrOk), 8000);
        QCOMPARE(nextResultLater, 0);
        QCOMPARE(dialog->Result(), int(mrOk));
    }

    void parentGoesWhileOpen()
    {
        auto *parent = new QWidget;
        parent->resize(200, 100);
        parent->show();
        parent->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), parent);
        QWidget *dialogParent = nullptr;
        ModalDialogDriver driver([&](QDialog *d) {
            dialogParent = d->parentWidget();
            delete parent;
        });
        const auto dialog = Tzc_Dialogs::MessageDlgInterface(
            u"Eltern"_s, u"Text"_s, mtInformation, { mbOK, mbCancel }, 0, 400, int(mrOk), nullptr);
        QTRY_COMPARE(dialog->Result(), int(mrCancel));
        QCOMPARE(dialogParent, parent);
        // Neither the time-out nor a late close reaches the gone dialog.
        QCOMPARE(dialog->CloseDialog(int(mrOk)), int(mrCancel));
        QTRY_COMPARE_WITH_TIMEOUT(TThread::RunningThreadCount(), 0, 5000);
        QCOMPARE(dialog->Result(), int(mrCancel));
    }

    void callbackContinuedInterval_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("periodicCalls");
        QTest::newRow("1 ms is raised to 10 ms") << 1 << 10 << 8;
        QTest::newRow("50 ms as asked") << 50 << 50 << 4;
        QTest::newRow("100000 ms is lowered to 5000 ms") << 100000 << 5000 << 1;
    }

    void callbackContinuedInterval()
    {
        QFETCH(int, interval);
        QFETCH(int, expected);
        QFETCH(int, periodicCalls);
        QList<bool> flags;
        QList<qint64> times;
        int closedCalls = 0;
        int offGuiCalls = 0;
        QElapsedTimer clock;
        clock.start();
        const int result = Tzc_Dialogs::MessageDlgCallbackContinued(
            u"Fortschritt"_s, u"Läuft"_s, mtInformation, { mbOK, mbCancel }, 0, mbOK,
            [&](Tzc_CustomTaskDialog *ADialog, bool AFirst) {
                if (!onGuiThread())
                    ++offGuiCalls;
                if (!AFirst && !(ADialog->Handle() && ADialog->Handle()->isVisible()))
                    ++closedCalls;
                flags << AFirst;
                times << clock.elapsed();
                if (flags.size() == periodicCalls + 1)
                    ADialog->FindButton(mrCancel)->Click();
            },
            interval);
        QCOMPARE(result, int(mrCancel));
        const qsizetype callsAtClose = flags.size();
        QCOMPARE(callsAtClose, periodicCalls + 1);
        QVERIFY(flags.first());
        QVERIFY(!flags.mid(1).contains(true));
        QCOMPARE(offGuiCalls, 0);
        // Mean gap of the periodic calls: never below the clamped interval, well below the next step.
        const double mean = double(times.last() - times.at(1)) / qMax(1, periodicCalls - 1);
        if (periodicCalls > 1) {
            QVERIFY2(mean >= expected * 0.9, qPrintable(QString::number(mean)));
            QVERIFY2(mean < expected * 4 + 20, qPrintable(QString::number(mean)));
        }
        QVERIFY2(times.at(1) - times.at(0) >= expected * 0.9, qPrintable(QString::number(times.at(1))));
        // The periodic thread ends with the dialog, and nothing arrives after it closed.
        QTRY_COMPARE_WITH_TIMEOUT(TThread::RunningThreadCount(), 0, 1000);
        serveEventsFor(3 * qMin(expected, 100));
        QCOMPARE(flags.size(), callsAtClose);
        QCOMPARE(closedCalls, 0);
    }

    void callbackContinuedWithoutCallback()
    {
        ModalDialogDriver driver([](QDialog *d) { pressButton(d, u"OK"_s); });
        QCOMPARE(Tzc_Dialogs::MessageDlgCallbackContinued(
                     u"Ohne"_s, u"Text"_s, mtInformation, { mbOK }, 0, mbOK, nullptr, 10),
            int(mrOk));
        QCOMPARE(TThread::RunningThreadCount(), 0);
    }

    void queuedResultDroppedWithItsContext_data()
    {
        QTest::addColumn<ResultContext>("context");
        QTest::addColumn<bool>("goneWhileOpen");
        QTest::newRow("object of the GUI thread lives: result delivered")
            << ResultContext::GuiObject << false;
        QTest::newRow("object of the GUI thread deleted while the dialog is open")
            << ResultContext::GuiObject << true;
        QTest::newRow("worker lives: result delivered") << ResultContext::Worker << false;
        QTest::newRow("worker deleted while the dialog is open") << ResultContext::Worker << true;
        QTest::newRow("worker freed itself while the dialog is open")
            << ResultContext::SelfFreeingWorker << true;
    }

    // The result uses its context; once that is gone, the result must not run, wherever the dialog
    // is by then. (The other order, gone after the hand-over and before it runs, is tst_thread's.)
    void queuedResultDroppedWithItsContext()
    {
        QFETCH(ResultContext, context);
        QFETCH(bool, goneWhileOpen);
        std::atomic<int> delivered = 0;
        QObject *receiver = nullptr;
        TLambdaThread *worker = nullptr;
        ModalDialogDriver driver([&](QDialog *d) {
            if (goneWhileOpen) {
                if (context == ResultContext::GuiObject) {
                    delete std::exchange(receiver, nullptr);
                } else if (context == ResultContext::Worker) {
                    QTRY_VERIFY(worker->Finished());
                    delete std::exchange(worker, nullptr);
                } else {
                    // Only the dialog's own worker is left.
                    QTRY_COMPARE(TThread::RunningThreadCount(), 1);
                }
            }
            pressButton(d, u"&Retry"_s);
        });
        const auto ask = [](auto *AContext, Tzc_Dialog_ThreadResult AResult) {
            Tzc_Dialogs::MessageDlgQueued(u"Kontext"_s, u"Text"_s, mtWarning, { mbRetry, mbCancel }, 0,
                mbRetry, QString(), {}, 0, AContext, AResult);
        };
        if (context == ResultContext::GuiObject) {
            receiver = new QObject;
            ask(receiver, [receiver, &delivered](qint32 AResultValue) {
                receiver->setObjectName(QString::number(AResultValue));
                ++delivered;
            });
        } else {
            worker = new TLambdaThread(
                false,
                [&delivered, ask](TLambdaThread *self) {
                    ask(self, [self, &delivered](qint32 AResultValue) {
                        self->SetReturnValue(AResultValue);
                        ++delivered;
                    });
                },
                context == ResultContext::SelfFreeingWorker);
            worker->Start();
            if (context == ResultContext::SelfFreeingWorker)
                worker = nullptr;
        }
        QTRY_COMPARE(driver.seen(), 1);
        if (goneWhileOpen) {
            QTRY_COMPARE(TThread::RunningThreadCount(), 0);
            TThread::CheckSynchronize();
            QCOMPARE(delivered.load(), 0);
        } else {
            QTRY_COMPARE(delivered.load(), 1);
            if (receiver)
                QCOMPARE(receiver->objectName(), QString::number(mrRetry));
            if (worker)
                QCOMPARE(worker->ReturnValue(), int(mrRetry));
        }
        QCOMPARE(Tzc_Dialogs::GetHistorie()->Items(0).Result(), int(mrRetry));
        delete receiver;
        delete worker;
    }

    void queuedResultNeedsAContextOfTheGuiThread_data()
    {
        QTest::addColumn<int>("context"); // 0 no object, 1 no thread object, 2 an object of another thread
        QTest::newRow("no object") << 0;
        QTest::newRow("no thread object") << 1;
        QTest::newRow("object of another thread") << 2;
    }

    void queuedResultNeedsAContextOfTheGuiThread()
    {
        QFETCH(int, context);
        ModalDialogDriver driver([](QDialog *d) { d->done(0); });
        QThread other;
        QObject elsewhere;
        elsewhere.moveToThread(&other);
        const auto result = [](qint32) {};
        const auto ask = [&](auto *AContext) {
            Tzc_Dialogs::MessageDlgQueued(
                u"Ohne"_s, u"Text"_s, mtWarning, { mbOK }, 0, mbOK, QString(), {}, 0, AContext, result);
        };
        if (context == 0)
            QVERIFY_THROWS_EXCEPTION(Exception, ask(static_cast<QObject *>(nullptr)));
        else if (context == 1)
            QVERIFY_THROWS_EXCEPTION(Exception, ask(static_cast<TThread *>(nullptr)));
        else
            QVERIFY_THROWS_EXCEPTION(Exception, ask(&elsewhere));
        // No dialog was started that could still show.
        QCOMPARE(TThread::RunningThreadCount(), 0);
        QCOMPARE(driver.seen(), 0);
    }

    void cleanupTestCase()
    {
        // Left waiting when the application goes: their workers get 0 and end, nothing is delivered.
        Tzc_Dialogs::MessageDlgQueued(u"Zu spät"_s, u"Text"_s, mtInformation, { mbOK }, 0, mbOK, QString(),
            {}, 0, [](qint32) { qFatal("result delivered after the application went"); });
        const auto dialog = Tzc_Dialogs::MessageDlgInterface(
            u"Zu spät"_s, u"Text"_s, mtInformation, { mbOK, mbCancel }, 0, 100, int(mrCancel), nullptr);
        dialog->SetResultCallback([](const std::shared_ptr<Izc_DialogInterface> &) {
            qFatal("callback after the application went");
        });
    }
};

PRAVIK_TEST_MAIN(TestQueuedDialogs, Units)
#include "tst_queueddialogs.moc"

// A worker that asks for a message dialog while the application goes, or after it has gone, gets 0
// at once instead of waiting for a GUI thread that will never show the dialog.

#include "components/dialogs/zc_dialogs.h"
#include "tests/support/lambdathread.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

int g_argc = 1;
char g_name[] = "tst_messagedlgshutdown";
char *g_argv[] = { g_name, nullptr };

int askFromWorker()
{
    return Tzc_Dialogs::MessageDlg(u"Spät"_s, u"Text"_s, mtWarning, { mbOK }, 0, QString(), {}, 0, nullptr);
}

} // namespace

class TestMessageDlgShutdown : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void callWaitingWhileTheApplicationGoesReturns_data()
    {
        QTest::addColumn<bool>("taskDialogs");
        QTest::newRow("task dialog") << true;
        QTest::newRow("classic dialog") << false;
    }

    void callWaitingWhileTheApplicationGoesReturns()
    {
        QFETCH(bool, taskDialogs);
        const TUnitRun units { &zc_DialogsUnit };
        Tzc_Dialogs::SetUseLatestCommonDialogs(taskDialogs);
        auto app = std::make_unique<QApplication>(g_argc, g_argv);
        std::atomic<bool> asking = false;
        std::atomic<int> result = -100;
        auto worker = std::make_unique<TLambdaThread>(false, [&](TLambdaThread *) {
            asking = true;
            result = askFromWorker();
        });
        worker->Start();
        // No events are served from here on: the worker waits inside its hand-over.
        while (!asking)
            std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(20ms);
        QElapsedTimer timer;
        timer.start();
        app.reset();
        worker->WaitFor();
        QVERIFY2(timer.elapsed() < TThread::ShutdownWaitMs, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(result.load(), int(mrNone));
    }

    void callAfterTheApplicationIsGoneReturns()
    {
        const TUnitRun units { &zc_DialogsUnit };
        // Before any application a hand-over waits for one; this case is about one that has gone.
        std::make_unique<QApplication>(g_argc, g_argv).reset();
        QVERIFY(!QCoreApplication::instance());
        std::atomic<int> result = -100;
        TLambdaThread worker(false, [&](TLambdaThread *) { result = askFromWorker(); });
        worker.Start();
        worker.WaitFor();
        QCOMPARE(result.load(), int(mrNone));
    }
};

int main(int argc, char **argv)
{
    TestMessageDlgShutdown test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_messagedlgshutdown.moc"

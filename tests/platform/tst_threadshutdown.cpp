// The platform thread base around the application's life: hand-overs before the application exists
// and after it is gone, and process exits that must neither hang nor crash on running threads.

#include "platform/thread.h"
#include "tests/support/lambdathread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

int g_argc = 1;
char g_name[] = "tst_threadshutdown";
char *g_argv[] = { g_name, nullptr };

// Child process modes: each returns from main while a thread still runs.
int runChild(const QByteArray &mode)
{
    if (mode == "thread-ignoring-terminate") {
        TThread::New<TLambdaThread>(
            false,
            [](TLambdaThread *) {
                for (;;)
                    std::this_thread::sleep_for(10ms);
            },
            true);
        return 0;
    }
    if (mode == "synchronize-without-application") {
        std::atomic<bool> calling { false };
        TThread::New<TLambdaThread>(
            false,
            [&calling](TLambdaThread *self) {
                calling = true;
                self->Synchronize([] {});
            },
            true);
        while (!calling)
            std::this_thread::sleep_for(1ms);
        return 0;
    }
    if (mode == "ticking-thread-at-application-exit") {
        // Like the panels' trigger thread: frees itself, ticks the GUI thread every 15 ms, and is
        // only asked to terminate (not waited for) when the program ends.
        QCoreApplication app(g_argc, g_argv);
        TLambdaThread *ticker = TThread::New<TLambdaThread>(
            false,
            [](TLambdaThread *self) {
                while (!self->Terminated()) {
                    self->SleepUnlessTerminated(15);
                    if (!self->Terminated())
                        self->Synchronize([] {});
                }
            },
            true);
        QTimer::singleShot(100, &app, &QCoreApplication::quit);
        const int rc = app.exec();
        ticker->Terminate();
        return rc;
    }
    return 99;
}

} // namespace

class tst_ThreadShutdown : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void synchronizeWaitsForTheApplication();
    void applicationDestructionEndsBlockedSynchronize();
    void handOversAfterTheApplicationIsGone();
    void processExitWithRunningThread_data();
    void processExitWithRunningThread();
};

void tst_ThreadShutdown::synchronizeWaitsForTheApplication()
{
    QVERIFY(!QCoreApplication::instance());
    std::atomic<bool> calling { false }, ran { false }, result { false };
    auto *thread = TThread::New<TLambdaThread>(false, [&](TLambdaThread *self) {
        calling = true;
        result = self->Synchronize([&] { ran = true; });
    });
    while (!calling)
        std::this_thread::sleep_for(1ms);
    QVERIFY(!ran); // nobody serves hand-overs before the application exists
    {
        QCoreApplication app(g_argc, g_argv);
        QTRY_VERIFY(ran);
        QTRY_VERIFY(thread->Finished());
        QVERIFY(result);
        delete thread;
    }
}

void tst_ThreadShutdown::applicationDestructionEndsBlockedSynchronize()
{
    auto app = std::make_unique<QCoreApplication>(g_argc, g_argv);
    std::atomic<int> entered { 0 }, served { 0 }, refused { 0 };
    auto *thread = TThread::New<TLambdaThread>(false, [&](TLambdaThread *self) {
        while (!self->Terminated()) {
            ++entered;
            if (self->Synchronize([&] { ++served; }))
                continue;
            ++refused;
            self->SleepUnlessTerminated(5);
        }
    });
    QTRY_VERIFY(served > 3);
    // No events are served from here on: the worker is soon inside a hand-over that waits.
    while (entered <= served)
        std::this_thread::sleep_for(1ms);

    QElapsedTimer timer;
    timer.start();
    app.reset();
    QVERIFY2(timer.elapsed() < TThread::ShutdownWaitMs, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(thread->Finished()); // the shut-down told it to terminate and waited for it
    QVERIFY(thread->Terminated());
    QVERIFY(refused >= 1);
    delete thread;
}

void tst_ThreadShutdown::handOversAfterTheApplicationIsGone()
{
    QVERIFY(!QCoreApplication::instance());
    std::atomic<int> syncResult { -1 }, queueResult { -1 };
    std::atomic<bool> ran { false };
    auto *thread = TThread::New<TLambdaThread>(false, [&](TLambdaThread *self) {
        syncResult = self->Synchronize([&] { ran = true; });
        queueResult = TThread::Queue(self, [&] { ran = true; });
    });
    thread->WaitFor();
    QCOMPARE(syncResult.load(), 0);
    QCOMPARE(queueResult.load(), 0);
    QVERIFY(!ran);
    delete thread;

    // A new application serves hand-overs again.
    QCoreApplication app(g_argc, g_argv);
    thread = TThread::New<TLambdaThread>(
        false, [&](TLambdaThread *self) { syncResult = self->Synchronize([&] { ran = true; }); });
    QTRY_VERIFY(thread->Finished());
    QCOMPARE(syncResult.load(), 1);
    QVERIFY(ran);
    delete thread;
}

void tst_ThreadShutdown::processExitWithRunningThread_data()
{
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<int>("maxMs");

    // A thread that never looks at Terminated costs the bounded shut-down wait, nothing more.
    QTest::newRow("thread ignoring Terminated")
        << QByteArray("thread-ignoring-terminate") << TThread::ShutdownWaitMs + 5000;
    QTest::newRow("Synchronize without an application")
        << QByteArray("synchronize-without-application") << 2000;
    QTest::newRow("ticking self-freeing thread at application exit")
        << QByteArray("ticking-thread-at-application-exit") << 2000;
}

void tst_ThreadShutdown::processExitWithRunningThread()
{
    QFETCH(QByteArray, mode);
    QFETCH(int, maxMs);

    QCoreApplication app(g_argc, g_argv);
    QProcess child;
    QElapsedTimer timer;
    timer.start();
    child.start(
        QCoreApplication::applicationFilePath(), { QStringLiteral("--child"), QString::fromLatin1(mode) });
    QVERIFY(child.waitForFinished(TThread::ShutdownWaitMs + 20000));
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY2(elapsed < maxMs, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
}

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0)
        return runChild(argv[2]);
    tst_ThreadShutdown test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_threadshutdown.moc"

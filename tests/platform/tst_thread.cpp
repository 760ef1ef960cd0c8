// The platform thread base while the application runs: Execute on its own thread, hand-overs to the
// GUI thread, self-freeing threads and the deletion rules that keep freed state untouched.

#include "platform/thread.h"
#include "tests/support/lambdathread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Destroyed after the TThread part of an object deriving from both: tells when the object is gone.
struct GoneSignal
{
    std::function<void()> onGone;
    ~GoneSignal()
    {
        if (onGone)
            onGone();
    }
};

class TSelfFreeingThread : public GoneSignal, public TThread
{
public:
    explicit TSelfFreeingThread(std::function<void(TSelfFreeingThread *)> body)
        : TThread(false)
        , m_body(std::move(body))
    {
        SetFreeOnTerminate(true);
    }
    ~TSelfFreeingThread() override
    {
        if (onDestroying)
            onDestroying();
    }

    using TThread::Queue;
    int value = 0;
    std::function<void()> onDestroying;

protected:
    void Execute() override { m_body(this); }

private:
    std::function<void(TSelfFreeingThread *)> m_body;
};

} // namespace

class tst_Thread : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void executeRunsOnItsOwnThread();
    void createdSuspendedWaitsForStart();
    void exceptionOfExecuteIsKept();
    void synchronizeRunsOnGuiThreadAndWaits();
    void synchronizeRaisesInTheWorker();
    void synchronizeOnGuiThreadRunsAtOnce();
    void queueRunsLaterInOrder();
    void waitForOnGuiThreadServesSynchronize();
    void terminateWakesSleepingThread();
    void wakeEndsASleepWhoseConditionHolds();
    void onTerminateRunsOnGuiThreadBeforeSelfFree();
    void selfFreeingThreadFinishingWhileGuiThreadIsBusy();
    void deletionWaitsForRunningQueuedCall();
    void deletingRunningThreadTerminatesAndWaits();
    void cleanupTestCase();
};

void tst_Thread::executeRunsOnItsOwnThread()
{
    std::thread::id executedOn;
    auto *thread = TThread::New<TLambdaThread>(false, [&](TLambdaThread *self) {
        executedOn = std::this_thread::get_id();
        QCOMPARE(TThread::CurrentThread(), self);
        QVERIFY(!TThread::IsGuiThread());
        self->SetReturnValue(42);
    });
    QCOMPARE(thread->WaitFor(), 42);
    QVERIFY(thread->Finished());
    QVERIFY(executedOn != std::this_thread::get_id());
    QVERIFY(executedOn != std::thread::id());
    QVERIFY(TThread::IsGuiThread());
    QCOMPARE(TThread::CurrentThread(), nullptr);
    delete thread;
}

void tst_Thread::createdSuspendedWaitsForStart()
{
    std::atomic<bool> ran { false };
    auto *thread = TThread::New<TLambdaThread>(true, [&](TLambdaThread *) { ran = true; });
    QVERIFY(!thread->Started());
    QCOMPARE(thread->WaitFor(), 0); // waiting for a thread that never started does not hang
    QVERIFY(!ran);
    thread->Start();
    thread->Start(); // a second start is ignored
    thread->WaitFor();
    QVERIFY(ran);
    delete thread;

    // A thread deleted without ever starting.
    delete TThread::New<TLambdaThread>(true, [](TLambdaThread *) { QFAIL("never started"); });
}

void tst_Thread::exceptionOfExecuteIsKept()
{
    auto *thread
        = TThread::New<TLambdaThread>(false, [](TLambdaThread *) { throw std::runtime_error("broken"); });
    thread->WaitFor();
    QVERIFY(thread->Finished());
    QVERIFY(thread->FatalException());
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, std::rethrow_exception(thread->FatalException()));
    delete thread;
}

void tst_Thread::synchronizeRunsOnGuiThreadAndWaits()
{
    const std::thread::id gui = std::this_thread::get_id();
    std::atomic<int> calls { 0 };
    std::atomic<bool> allRanOnGui { true }, sawEveryResult { true };
    auto *thread = TThread::New<TLambdaThread>(false, [&](TLambdaThread *self) {
        for (int i = 1; i <= 20; ++i) {
            int seen = 0;
            QVERIFY(self->Synchronize([&] {
                if (std::this_thread::get_id() != gui)
                    allRanOnGui = false;
                seen = ++calls;
            }));
            if (seen != i) // the worker goes on only after its call has run
                sawEveryResult = false;
        }
    });
    QTRY_VERIFY(thread->Finished());
    QCOMPARE(calls.load(), 20);
    QVERIFY(allRanOnGui);
    QVERIFY(sawEveryResult);
    delete thread;
}

void tst_Thread::synchronizeRaisesInTheWorker()
{
    std::atomic<bool> caught { false };
    auto *thread = TThread::New<TLambdaThread>(false, [&](TLambdaThread *self) {
        try {
            self->Synchronize([] { throw std::invalid_argument("from the GUI thread"); });
        } catch (const std::invalid_argument &) {
            caught = true;
        }
    });
    QTRY_VERIFY(thread->Finished());
    QVERIFY(caught);
    QVERIFY(!thread->FatalException());
    delete thread;
}

void tst_Thread::synchronizeOnGuiThreadRunsAtOnce()
{
    bool ran = false;
    QVERIFY(TThread::Synchronize(nullptr, [&] { ran = true; }));
    QVERIFY(ran);
    ran = false;
    QVERIFY(TThread::Queue(nullptr, [&] { ran = true; }));
    QVERIFY(ran);
}

void tst_Thread::queueRunsLaterInOrder()
{
    QList<int> order;
    std::atomic<bool> queued { false };
    auto *thread = TThread::New<TLambdaThread>(false, [&](TLambdaThread *) {
        for (int i = 1; i <= 5; ++i)
            TThread::Queue(nullptr, [&order, i] { order.append(i); }); // not tagged: outlives the thread
        queued = true;
    });
    thread->WaitFor();
    delete thread;
    QVERIFY(queued);
    QTRY_COMPARE(order, (QList<int> { 1, 2, 3, 4, 5 }));
}

void tst_Thread::waitForOnGuiThreadServesSynchronize()
{
    // The GUI thread blocks in WaitFor without an event loop; the worker needs it five times.
    int calls = 0;
    auto *thread = TThread::New<TLambdaThread>(false, [&](TLambdaThread *self) {
        for (int i = 0; i < 5; ++i)
            self->Synchronize([&] { ++calls; });
    });
    thread->WaitFor();
    QCOMPARE(calls, 5);
    delete thread;
}

void tst_Thread::terminateWakesSleepingThread()
{
    std::atomic<bool> sleeping { false }, finishedSleep { true };
    auto *thread = TThread::New<TLambdaThread>(false, [&](TLambdaThread *self) {
        sleeping = true;
        finishedSleep = self->SleepUnlessTerminated(60000);
    });
    QTRY_VERIFY(sleeping);
    QElapsedTimer timer;
    timer.start();
    thread->Terminate();
    thread->WaitFor();
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(!finishedSleep);
    QVERIFY(thread->Terminated());
    delete thread;
}

void tst_Thread::wakeEndsASleepWhoseConditionHolds()
{
    std::atomic<bool> sleeping { false }, condition { false }, slept { false };
    auto *thread = TThread::New<TLambdaThread>(false, [&](TLambdaThread *self) {
        sleeping = true;
        slept = self->SleepUnlessTerminated(60000, [&] { return condition.load(); });
    });
    QTRY_VERIFY(sleeping);
    // A wake-up without the condition goes back to sleep.
    thread->Wake();
    QVERIFY(!thread->Finished());
    QElapsedTimer timer;
    timer.start();
    condition = true;
    thread->Wake();
    QTRY_VERIFY_WITH_TIMEOUT(thread->Finished(), 5000);
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(slept);
    QVERIFY(!thread->Terminated());
    delete thread;
}

void tst_Thread::onTerminateRunsOnGuiThreadBeforeSelfFree()
{
    QStringList events;
    std::mutex lock;
    auto note = [&](const QString &event) {
        std::lock_guard guard(lock);
        events.append(event);
    };
    auto noted = [&] { // an unshared copy, so that the worker's next append never meets it
        std::lock_guard guard(lock);
        return QStringList(events.cbegin(), events.cend());
    };
    const std::thread::id gui = std::this_thread::get_id();
    auto *thread = new TSelfFreeingThread([&](TSelfFreeingThread *) { note(QStringLiteral("execute")); });
    thread->onGone = [&] { note(QStringLiteral("gone")); };
    thread->OnTerminate = [&](TThread *) {
        note(std::this_thread::get_id() == gui ? QStringLiteral("terminate on GUI")
                                               : QStringLiteral("terminate elsewhere"));
    };
    thread->AfterConstruction();
    QTRY_COMPARE(noted(),
        (QStringList {
            QStringLiteral("execute"), QStringLiteral("terminate on GUI"), QStringLiteral("gone") }));
    QTRY_COMPARE(TThread::RunningThreadCount(), 0);
}

void tst_Thread::selfFreeingThreadFinishingWhileGuiThreadIsBusy()
{
    // The worker queues calls that use the thread object, then ends and frees itself while the GUI
    // thread does not look at its events. The calls must be dropped, not run on freed memory.
    std::promise<std::thread::id> gone;
    std::atomic<int> ranCalls { 0 };
    auto *thread = new TSelfFreeingThread([&](TSelfFreeingThread *self) {
        for (int i = 0; i < 3; ++i)
            self->Queue([self, &ranCalls] {
                ++self->value;
                ++ranCalls;
            });
    });
    thread->onGone = [&] { gone.set_value(std::this_thread::get_id()); };
    thread->AfterConstruction();

    auto goneOn = gone.get_future();
    QCOMPARE(goneOn.wait_for(10s), std::future_status::ready); // the GUI thread is busy meanwhile
    QVERIFY(goneOn.get() != std::this_thread::get_id()); // freed on its own thread
    QTRY_COMPARE(TThread::RunningThreadCount(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(ranCalls.load(), 0);
}

void tst_Thread::deletionWaitsForRunningQueuedCall()
{
    // A queued call of the thread is running on the GUI thread when Execute ends: the object must
    // not begin to go (not even its derived part) before the call has ended.
    std::atomic<bool> callStarted { false }, executeDone { false }, inDestruction { false }, gone { false };
    std::atomic<bool> destroyedDuringCall { false };
    auto *thread = new TSelfFreeingThread([&](TSelfFreeingThread *self) {
        self->Queue([self, &executeDone, &callStarted, &inDestruction, &destroyedDuringCall] {
            callStarted = true;
            QElapsedTimer timer;
            timer.start();
            while (!executeDone && timer.elapsed() < 10000)
                std::this_thread::sleep_for(1ms);
            std::this_thread::sleep_for(50ms); // room for a wrong early destruction
            destroyedDuringCall = inDestruction.load();
            ++self->value;
        });
        while (!callStarted)
            std::this_thread::sleep_for(1ms);
        executeDone = true;
    });
    thread->onDestroying = [&] { inDestruction = true; };
    thread->onGone = [&] { gone = true; };
    thread->AfterConstruction();
    QTRY_VERIFY(gone);
    QVERIFY(callStarted);
    QVERIFY(!destroyedDuringCall);
}

void tst_Thread::deletingRunningThreadTerminatesAndWaits()
{
    std::atomic<bool> started { false };
    std::atomic<int> loops { 0 };
    auto *thread = TThread::New<TLambdaThread>(false, [&](TLambdaThread *self) {
        started = true;
        while (!self->Terminated()) {
            self->Synchronize([&] { ++loops; });
            self->SleepUnlessTerminated(1);
        }
    });
    QTRY_VERIFY(loops > 3);
    delete thread; // terminates, and serves the worker's Synchronize while waiting
    QCOMPARE(TThread::RunningThreadCount(), 0);
}

void tst_Thread::cleanupTestCase()
{
    QCOMPARE(TThread::RunningThreadCount(), 0);
}

QTEST_GUILESS_MAIN(tst_Thread)
#include "tst_thread.moc"

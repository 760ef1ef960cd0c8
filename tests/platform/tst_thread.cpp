// The platform thread base while the application runs: Execute on its own thread, hand-overs to the
// GUI thread, self-freeing threads and the deletion rules that keep freed state untouched.

#include "platform/thread.h"
#include "tests/support/lambdathread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTest>
#include <QTimer>

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

// Waits without serving any event until Count hand-overs wait for the GUI thread.
bool waitForPendingHandOvers(int Count)
{
    QElapsedTimer timer;
    timer.start();
    while (TThread::PendingHandOverCount() < Count && timer.elapsed() < 10000)
        std::this_thread::yield();
    return TThread::PendingHandOverCount() == Count;
}

// How a second thread hands something to the GUI thread.
enum class HandOverKind
{
    Queued,
    Synchronous,
    TerminationNotice
};

// How the thread object of a call handed over through a reference ends.
enum class ObjectEnd
{
    Lives,
    DeletedBeforeTheHandOver,
    DeletedBeforeTheCallRuns,
    FreesItselfBeforeTheHandOver
};

} // namespace

Q_DECLARE_METATYPE(HandOverKind)
Q_DECLARE_METATYPE(ObjectEnd)

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
    void handOversBehindAModalLoopRunInIt_data();
    void handOversBehindAModalLoopRunInIt();
    void callThroughARefIsDroppedOnceTheObjectIsGone_data();
    void callThroughARefIsDroppedOnceTheObjectIsGone();
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

void tst_Thread::handOversBehindAModalLoopRunInIt_data()
{
    QTest::addColumn<HandOverKind>("kind");
    QTest::newRow("another thread's queued call") << HandOverKind::Queued;
    QTest::newRow("another thread's synchronous call") << HandOverKind::Synchronous;
    QTest::newRow("another thread's termination notice") << HandOverKind::TerminationNotice;
}

void tst_Thread::handOversBehindAModalLoopRunInIt()
{
    // Two hand-overs wait while the GUI thread is busy; the first opens a modal loop (as a dialog
    // does). The second must run inside that loop, not after it closed.
    QFETCH(HandOverKind, kind);
    QPointer<QEventLoop> modal;
    bool secondRan = false;
    bool secondRanInsideTheLoop = false;
    bool firstDone = false;
    const auto second = [&] {
        secondRan = true;
        if (modal)
            modal->quit();
    };
    auto *first = TThread::New<TLambdaThread>(false, [&](TLambdaThread *) {
        TThread::Queue(nullptr, [&] {
            QEventLoop loop;
            modal = &loop;
            QTimer::singleShot(5000, &loop, &QEventLoop::quit); // only when the second never comes
            loop.exec();
            secondRanInsideTheLoop = secondRan;
            firstDone = true;
        });
    });
    QVERIFY(waitForPendingHandOvers(1));
    auto *other = new TLambdaThread(true, [&](TLambdaThread *self) {
        if (kind == HandOverKind::Queued)
            TThread::Queue(nullptr, second);
        else if (kind == HandOverKind::Synchronous)
            self->Synchronize(second);
    });
    if (kind == HandOverKind::TerminationNotice)
        other->OnTerminate = [&](TThread *) { second(); };
    other->Start();
    QVERIFY(waitForPendingHandOvers(2));

    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(firstDone, 10000);
    QVERIFY(secondRan);
    QVERIFY2(secondRanInsideTheLoop, qPrintable(QString::number(clock.elapsed())));
    delete other;
    delete first;
}

void tst_Thread::callThroughARefIsDroppedOnceTheObjectIsGone_data()
{
    QTest::addColumn<ObjectEnd>("end");
    QTest::addColumn<bool>("runs");
    QTest::newRow("object lives: the call runs") << ObjectEnd::Lives << true;
    QTest::newRow("deleted before the hand-over") << ObjectEnd::DeletedBeforeTheHandOver << false;
    QTest::newRow("deleted after the hand-over, before the call runs")
        << ObjectEnd::DeletedBeforeTheCallRuns << false;
    QTest::newRow("freed itself before the hand-over") << ObjectEnd::FreesItselfBeforeTheHandOver << false;
}

void tst_Thread::callThroughARefIsDroppedOnceTheObjectIsGone()
{
    // A call made on behalf of a thread object by another thread, which holds only a reference: it
    // uses the object, so it must not run once the object is gone, whenever that happened.
    QFETCH(ObjectEnd, end);
    QFETCH(bool, runs);
    std::atomic<int> ran { 0 };
    std::atomic<bool> gone { false };
    TThreadRef ref;
    TSelfFreeingThread *selfFreeing = nullptr;
    TLambdaThread *owned = nullptr;
    if (end == ObjectEnd::FreesItselfBeforeTheHandOver) {
        std::promise<TThreadRef> made;
        selfFreeing
            = new TSelfFreeingThread([&](TSelfFreeingThread *self) { made.set_value(TThreadRef(self)); });
        selfFreeing->onGone = [&] { gone = true; };
        selfFreeing->AfterConstruction();
        ref = made.get_future().get();
    } else {
        owned = TThread::New<TLambdaThread>(false, [](TLambdaThread *) {});
        owned->WaitFor();
        ref = TThreadRef(owned);
    }
    QVERIFY(ref.Thread() != nullptr);
    const auto call = [&ref, &ran] {
        ++ran;
        QVERIFY(ref.Thread()->Finished()); // uses the object
    };
    if (end == ObjectEnd::DeletedBeforeTheHandOver)
        delete std::exchange(owned, nullptr);
    if (end == ObjectEnd::FreesItselfBeforeTheHandOver)
        QTRY_VERIFY(gone.load());

    std::atomic<bool> handedOver { false };
    auto *hander = TThread::New<TLambdaThread>(
        false, [&](TLambdaThread *) { handedOver = TThread::Queue(ref, call); });
    // Not WaitFor, which would run the call: the GUI thread serves nothing until the object ends.
    QElapsedTimer timer;
    timer.start();
    while (!hander->Finished() && timer.elapsed() < 10000)
        std::this_thread::yield();
    QVERIFY(hander->Finished());
    delete hander;
    if (end == ObjectEnd::DeletedBeforeTheCallRuns) {
        QCOMPARE(TThread::PendingHandOverCount(), 1);
        delete std::exchange(owned, nullptr);
    }
    QCOMPARE(handedOver.load(), end == ObjectEnd::Lives || end == ObjectEnd::DeletedBeforeTheCallRuns);
    TThread::CheckSynchronize();
    QCoreApplication::processEvents();
    QCOMPARE(ran.load(), runs ? 1 : 0);
    delete owned;
}

void tst_Thread::cleanupTestCase()
{
    QCOMPARE(TThread::RunningThreadCount(), 0);
}

QTEST_GUILESS_MAIN(tst_Thread)
#include "tst_thread.moc"

#include "thread.h"

#include "platform/exception.h"
#include "platform/exceptiontext.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QtDebug>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct TThreadControl
{
    std::atomic<bool> terminated { false };
    std::atomic<bool> freeOnTerminate { false };
    std::atomic<int> priority { int(TThreadPriority::tpNormal) };
    // Guarded by the hand-over lock:
    bool started = false;
    bool finished = false;
    bool gone = false; // the object is going: calls handed over through a TThreadRef are dropped
    std::thread::id workerId;
    pid_t tid = 0;
    int returnValue = 0;
    std::exception_ptr fatal;
    QByteArray osName;
};

namespace {

struct HandOver
{
    TThread::TThreadMethod method;
    TThread *origin = nullptr;
    bool synchronous = false;
    bool done = false;
    bool cancelled = false;
    std::exception_ptr error;
};

enum class GuiPhase
{
    NotStarted,
    Running,
    Gone
};

// One lock and one condition for all hand-overs and thread ends: there are few threads and the
// GUI thread waits for any of these events in WaitFor.
struct State
{
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::shared_ptr<HandOver>> queue;
    std::vector<std::shared_ptr<HandOver>> runningCalls;
    GuiPhase phase = GuiPhase::NotStarted;
    QCoreApplication *app = nullptr;
    std::thread::id guiThread;
    bool postPending = false;
    std::vector<std::shared_ptr<TThreadControl>> running;
    std::function<void(std::exception_ptr)> queuedExceptionHandler;
};

// Never destroyed: threads that outlive static destruction still find it.
State &state()
{
    static State *s = new State;
    return *s;
}

const std::thread::id g_mainThread = std::this_thread::get_id();
thread_local TThread *t_current = nullptr;

bool isGuiThreadLocked(const State &s)
{
    return std::this_thread::get_id() == (s.phase == GuiPhase::Running ? s.guiThread : g_mainThread);
}

bool runHandOvers();
// Drops the calls queued for AThread and waits for one of them that runs on the GUI thread; with
// AGoing (the object's control) also every call handed over for it later through a TThreadRef.
void removeQueuedEvents(TThread *AThread, TThreadControl *AGoing);

void postProcessingLocked(State &s)
{
    if (s.postPending || !s.app)
        return;
    s.postPending = true;
    QMetaObject::invokeMethod(
        s.app, [] { runHandOvers(); }, Qt::QueuedConnection);
}

void cancelQueueLocked(State &s)
{
    for (const auto &h : s.queue)
        h->cancelled = true;
    s.queue.clear();
    s.cv.notify_all();
}

void reportQueuedException(std::exception_ptr error)
{
    std::function<void(std::exception_ptr)> handler;
    {
        std::lock_guard lock(state().m);
        handler = state().queuedExceptionHandler;
    }
    if (handler) {
        handler(error);
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (...) {
        qWarning("Unhandled exception in a call queued to the GUI thread: %s",
            qPrintable(CurrentExceptionMessage()));
    }
}

// Runs on the GUI thread; one call at a time, so that a call opening a modal loop lets the next ones
// run inside that loop.
bool runHandOvers()
{
    State &s = state();
    bool any = false;
    for (;;) {
        std::shared_ptr<HandOver> h;
        {
            std::lock_guard lock(s.m);
            s.postPending = false;
            if (s.queue.empty())
                break;
            h = s.queue.front();
            s.queue.pop_front();
            s.runningCalls.push_back(h);
            // The call may open a modal loop: the ones behind it are run there, not after it.
            if (!s.queue.empty())
                postProcessingLocked(s);
        }
        std::exception_ptr error;
        try {
            h->method();
        } catch (...) {
            error = std::current_exception();
        }
        if (error && !h->synchronous)
            reportQueuedException(error);
        {
            std::lock_guard lock(s.m);
            h->error = h->synchronous ? error : nullptr;
            h->method = nullptr;
            h->done = true;
            s.runningCalls.erase(std::find(s.runningCalls.begin(), s.runningCalls.end(), h));
        }
        s.cv.notify_all();
        any = true;
    }
    return any;
}

// Waits on the GUI thread until done() holds, running hand-overs meanwhile; false on time-out.
template <class Pred>
bool waitServingHandOvers(std::unique_lock<std::mutex> &lock, Pred done,
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max())
{
    State &s = state();
    const bool gui = isGuiThreadLocked(s);
    while (!done()) {
        if (gui && !s.queue.empty() && s.phase != GuiPhase::Gone) {
            lock.unlock();
            runHandOvers();
            lock.lock();
            continue;
        }
        if (deadline == std::chrono::steady_clock::time_point::max())
            s.cv.wait(lock);
        else if (s.cv.wait_until(lock, deadline) == std::cv_status::timeout)
            return done();
    }
    return true;
}

// The application is gone (or the process exits): nothing runs on the GUI thread any more, so waiting
// callers are released and the threads are stopped.
void onApplicationGone()
{
    {
        State &s = state();
        std::lock_guard lock(s.m);
        s.phase = GuiPhase::Gone;
        s.app = nullptr;
        s.postPending = false; // a posted event dies with the application
        cancelQueueLocked(s);
    }
    TThread::ShutDownThreads();
}

void onApplicationStarted()
{
    {
        State &s = state();
        std::lock_guard lock(s.m);
        s.phase = GuiPhase::Running;
        s.app = QCoreApplication::instance();
        s.guiThread = std::this_thread::get_id();
        s.postPending = false;
        if (!s.queue.empty())
            postProcessingLocked(s);
    }
    qAddPostRoutine(onApplicationGone);
}

// A program without an application object, or one that exits without destroying it.
struct ExitGuard
{
    ~ExitGuard() { onApplicationGone(); }
} g_exitGuard;

int niceValue(TThreadPriority priority)
{
    static constexpr int values[] = { 19, 10, 5, 0, -5, -10, -19 };
    return values[int(priority)];
}

void applyPriority(pid_t tid, TThreadPriority priority)
{
    // Raising the priority fails without privileges; the thread then runs at normal priority.
    if (tid != 0)
        (void)::setpriority(PRIO_PROCESS, id_t(tid), niceValue(priority));
}

QByteArray osThreadName(const QString &name)
{
    QByteArray utf8 = name.toUtf8();
    if (utf8.size() > 15) {
        utf8.truncate(15);
        while (!utf8.isEmpty() && (uchar(utf8.back()) & 0xC0) == 0x80) // cut before a split character
            utf8.chop(1);
        if (!utf8.isEmpty() && (uchar(utf8.back()) & 0x80))
            utf8.chop(1);
    }
    return utf8;
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(onApplicationStarted)

TThread::TThread(bool CreateSuspended)
    : m_control(std::make_shared<TThreadControl>())
    , m_createSuspended(CreateSuspended)
{
}

TThread::~TThread()
{
    const std::shared_ptr<TThreadControl> ctl = m_control;
    bool running = false;
    {
        std::lock_guard lock(state().m);
        ctl->gone = true;
        running = ctl->started && !ctl->finished && ctl->workerId != std::this_thread::get_id();
    }
    if (running) {
        ctl->freeOnTerminate = false;
        {
            std::lock_guard lock(state().m);
            ctl->terminated = true;
        }
        state().cv.notify_all();
        WaitFor();
    }
    removeQueuedEvents(this, ctl.get());
}

void TThread::AfterConstruction()
{
    if (!m_createSuspended)
        Start();
}

void TThread::Start()
{
    State &s = state();
    const std::shared_ptr<TThreadControl> ctl = m_control;
    {
        std::lock_guard lock(s.m);
        if (ctl->started)
            return;
        ctl->started = true;
        s.running.push_back(ctl);
    }
    try {
        std::thread([this, ctl] { run(ctl); }).detach();
    } catch (const std::system_error &e) {
        {
            std::lock_guard lock(s.m);
            ctl->started = false;
            s.running.erase(std::find(s.running.begin(), s.running.end(), ctl));
        }
        throw Exception(QStringLiteral("Thread creation error: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

void TThread::run(std::shared_ptr<TThreadControl> ctl)
{
    State &s = state();
    t_current = this;
    {
        std::lock_guard lock(s.m);
        ctl->workerId = std::this_thread::get_id();
        ctl->tid = ::gettid();
    }
    QByteArray osName;
    {
        std::lock_guard lock(s.m);
        osName = ctl->osName;
    }
    if (osName.isEmpty())
        osName = osThreadName(DebugName());
    if (!osName.isEmpty())
        pthread_setname_np(pthread_self(), osName.constData());
    if (ctl->priority != int(TThreadPriority::tpNormal))
        applyPriority(ctl->tid, TThreadPriority(ctl->priority.load()));

    try {
        Execute();
    } catch (...) {
        std::lock_guard lock(s.m);
        ctl->fatal = std::current_exception();
    }
    if (OnTerminate) {
        try {
            Synchronize(this, [this] { OnTerminate(this); });
        } catch (...) {
            reportQueuedException(std::current_exception());
        }
    }
    t_current = nullptr;
    // From here on only ctl and the process-wide state are touched: the object may be gone.
    if (ctl->freeOnTerminate) {
        // Before any destructor runs: drop the calls it queued, wait for one that is running.
        removeQueuedEvents(this, ctl.get());
        delete this;
    }
    {
        std::lock_guard lock(s.m);
        ctl->finished = true;
        ctl->tid = 0;
        s.running.erase(std::find(s.running.begin(), s.running.end(), ctl));
    }
    s.cv.notify_all();
}

void TThread::Terminate()
{
    // The hook runs before the flag is set: a thread that frees itself may be gone right after.
    const std::shared_ptr<TThreadControl> ctl = m_control;
    TerminatedSet();
    {
        std::lock_guard lock(state().m);
        ctl->terminated = true;
    }
    state().cv.notify_all();
}

bool TThread::Terminated() const
{
    return m_control->terminated;
}

bool TThread::Started() const
{
    std::lock_guard lock(state().m);
    return m_control->started;
}

bool TThread::Finished() const
{
    std::lock_guard lock(state().m);
    return m_control->finished;
}

int TThread::WaitFor()
{
    const std::shared_ptr<TThreadControl> ctl = m_control;
    std::unique_lock lock(state().m);
    if (ctl->started && ctl->workerId != std::this_thread::get_id())
        waitServingHandOvers(lock, [&] { return ctl->finished; });
    return ctl->returnValue;
}

bool TThread::FreeOnTerminate() const
{
    return m_control->freeOnTerminate;
}

void TThread::SetFreeOnTerminate(bool value)
{
    m_control->freeOnTerminate = value;
}

TThreadPriority TThread::Priority() const
{
    return TThreadPriority(m_control->priority.load());
}

void TThread::SetPriority(TThreadPriority value)
{
    m_control->priority = int(value);
    std::lock_guard lock(state().m);
    applyPriority(m_control->tid, value);
}

int TThread::ReturnValue() const
{
    std::lock_guard lock(state().m);
    return m_control->returnValue;
}

void TThread::SetReturnValue(int value)
{
    std::lock_guard lock(state().m);
    m_control->returnValue = value;
}

std::exception_ptr TThread::FatalException() const
{
    std::lock_guard lock(state().m);
    return m_control->fatal;
}

bool TThread::SleepUnlessTerminated(int ms)
{
    const std::shared_ptr<TThreadControl> ctl = m_control;
    std::unique_lock lock(state().m);
    state().cv.wait_for(
        lock, std::chrono::milliseconds(std::max(ms, 0)), [&] { return ctl->terminated.load(); });
    return !ctl->terminated;
}

bool TThread::SleepUnlessTerminated(int ms, const std::function<bool()> &AWakeWhen)
{
    const std::shared_ptr<TThreadControl> ctl = m_control;
    std::unique_lock lock(state().m);
    state().cv.wait_for(lock, std::chrono::milliseconds(std::max(ms, 0)),
        [&] { return ctl->terminated.load() || AWakeWhen(); });
    return !ctl->terminated;
}

bool TThread::SleepUnlessTerminatedUntil(std::chrono::steady_clock::time_point ADeadline)
{
    const std::shared_ptr<TThreadControl> ctl = m_control;
    std::unique_lock lock(state().m);
    state().cv.wait_until(lock, ADeadline, [&] { return ctl->terminated.load(); });
    return !ctl->terminated;
}

void TThread::Wake()
{
    // Taking the lock orders the waker's change before the sleeper's next test: no lost wake-up.
    {
        std::lock_guard lock(state().m);
    }
    state().cv.notify_all();
}

void TThread::NameThreadForDebugging(const QString &name)
{
    std::lock_guard lock(state().m);
    m_control->osName = osThreadName(name);
    if (t_current == this)
        pthread_setname_np(pthread_self(), m_control->osName.constData());
}

namespace {

// Puts a call in the GUI thread's queue and wakes whoever serves it (the event loop, or a GUI
// thread waiting in WaitFor). Null when it need not or cannot be queued: on the GUI thread the
// call has already run, and once the GUI thread is gone nothing runs any more (ran is false).
std::shared_ptr<HandOver> handOver(State &s, std::unique_lock<std::mutex> &lock, TThread *origin,
    TThread::TThreadMethod method, bool synchronous, bool &ran)
{
    ran = false;
    if (isGuiThreadLocked(s)) {
        // Counted as running, so that the thread object it is tagged with waits for it before going.
        const auto h = std::make_shared<HandOver>();
        h->origin = origin;
        s.runningCalls.push_back(h);
        lock.unlock();
        struct Done
        {
            State &s;
            const std::shared_ptr<HandOver> &h;
            ~Done()
            {
                {
                    std::lock_guard lock(s.m);
                    s.runningCalls.erase(std::find(s.runningCalls.begin(), s.runningCalls.end(), h));
                }
                s.cv.notify_all();
            }
        } done { s, h };
        method();
        ran = true;
        return nullptr;
    }
    if (s.phase == GuiPhase::Gone)
        return nullptr;
    auto h = std::make_shared<HandOver>();
    h->method = std::move(method);
    h->origin = origin;
    h->synchronous = synchronous;
    s.queue.push_back(h);
    postProcessingLocked(s);
    s.cv.notify_all();
    return h;
}

} // namespace

bool TThread::Synchronize(TThread *AThread, const TThreadMethod &AMethod)
{
    State &s = state();
    std::unique_lock lock(s.m);
    bool ran = false;
    const std::shared_ptr<HandOver> h = handOver(s, lock, AThread, AMethod, true, ran);
    if (!h)
        return ran;
    s.cv.wait(lock, [&] { return h->done || h->cancelled; });
    if (h->cancelled)
        return false;
    const std::exception_ptr error = h->error;
    lock.unlock();
    if (error)
        std::rethrow_exception(error);
    return true;
}

bool TThread::Queue(TThread *AThread, TThreadMethod AMethod)
{
    State &s = state();
    std::unique_lock lock(s.m);
    bool ran = false;
    return handOver(s, lock, AThread, std::move(AMethod), false, ran) != nullptr || ran;
}

bool TThread::Queue(const TThreadRef &AThread, TThreadMethod AMethod)
{
    State &s = state();
    std::unique_lock lock(s.m);
    // Tested under the lock that the object's going takes to drop its calls: either the call is
    // queued before and dropped with them, or it sees the object gone.
    if (AThread.m_control && AThread.m_control->gone)
        return false;
    bool ran = false;
    return handOver(s, lock, AThread.m_thread, std::move(AMethod), false, ran) != nullptr || ran;
}

TThreadRef::TThreadRef(TThread *AThread)
    : m_thread(AThread)
    , m_control(AThread ? AThread->m_control : nullptr)
{
}

void TThread::RemoveQueuedEvents(TThread *AThread)
{
    removeQueuedEvents(AThread, nullptr);
}

namespace {

void removeQueuedEvents(TThread *AThread, TThreadControl *AGoing)
{
    if (!AThread)
        return;
    State &s = state();
    std::unique_lock lock(s.m);
    if (AGoing)
        AGoing->gone = true;
    const auto fromThread = [AThread](const std::shared_ptr<HandOver> &h) { return h->origin == AThread; };
    for (const auto &h : s.queue) {
        if (fromThread(h))
            h->cancelled = true;
    }
    s.queue.erase(std::remove_if(s.queue.begin(), s.queue.end(), fromThread), s.queue.end());
    s.cv.notify_all();
    // A call of this thread running on the GUI thread right now must end before the object goes.
    if (!isGuiThreadLocked(s))
        s.cv.wait(
            lock, [&] { return std::none_of(s.runningCalls.begin(), s.runningCalls.end(), fromThread); });
}

} // namespace

bool TThread::CheckSynchronize()
{
    return IsGuiThread() && runHandOvers();
}

int TThread::PendingHandOverCount()
{
    std::lock_guard lock(state().m);
    return int(state().queue.size());
}

bool TThread::IsGuiThread()
{
    std::lock_guard lock(state().m);
    return isGuiThreadLocked(state());
}

TThread *TThread::CurrentThread()
{
    return t_current;
}

void TThread::SetQueuedExceptionHandler(std::function<void(std::exception_ptr)> handler)
{
    std::lock_guard lock(state().m);
    state().queuedExceptionHandler = std::move(handler);
}

void TThread::ShutDownThreads(int timeoutMs)
{
    State &s = state();
    std::unique_lock lock(s.m);
    for (const auto &ctl : s.running)
        ctl->terminated = true;
    s.cv.notify_all();
    const auto deadline
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    if (!waitServingHandOvers(
            lock, [&] { return s.running.empty(); }, deadline))
        qWarning("%d thread(s) still running at shut-down; left to the process exit", int(s.running.size()));
}

int TThread::RunningThreadCount()
{
    std::lock_guard lock(state().m);
    return int(state().running.size());
}

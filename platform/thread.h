#pragma once
// The platform's worker thread: Execute runs on a thread of its own; Synchronize and Queue hand work
// to the GUI thread, which is the thread of the QCoreApplication (before one exists and after it is
// gone, the thread that started the process).
//
// Rules that keep threads from hanging or crashing the process:
// - A thread is started by Start(), or by AfterConstruction() unless it was created suspended;
//   TThread::New<T>(...) constructs and then does the latter, so that Execute never meets a
//   half-constructed object.
// - With FreeOnTerminate the object deletes itself on its own thread after Execute and OnTerminate;
//   afterwards that thread touches nothing of the object. Before its destructors run, the calls it
//   queued to the GUI thread and that have not run are dropped, and one that is running is waited
//   for; from then on, calls handed over for it through a TThreadRef are dropped as well.
// - Synchronize blocks the worker until the GUI thread has run the call. While no application
//   exists yet the call waits for one (or for the main thread to serve it in WaitFor or
//   CheckSynchronize). Once the application is being destroyed, pending and later
//   calls are not run: Synchronize returns false at once (Queue drops the call).
// - WaitFor on the GUI thread keeps running the hand-overs of other threads, so a worker blocked in
//   Synchronize never deadlocks a GUI thread that waits for it.
// - When the application is destroyed, and again at process exit, every running thread is told to
//   terminate and waited for at most ShutdownWaitMs; a thread still running after that is left to
//   the process exit.
// - An owner deletes a thread that it did not mark FreeOnTerminate; the destructor terminates and
//   waits for a running thread and drops its queued calls (and, from its start, those handed over
//   through a TThreadRef), but a derived class whose Execute or
//   queued calls use its own members must do so (Terminate, WaitFor, RemoveQueuedEvents) in its
//   own destructor, before those members go.

#include <QString>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>

struct TThreadControl;
class TThread;

// A reference to a thread object that knows whether the object still exists: a call handed to the
// GUI thread on the object's behalf through it is dropped once the object is gone, however late it
// is handed over. Made while the object lives (typically on its own thread); copied freely.
class TThreadRef
{
public:
    TThreadRef() = default;
    explicit TThreadRef(TThread *AThread);
    // Null for the empty reference; says nothing about whether the object still exists.
    TThread *Thread() const { return m_thread; }

private:
    friend class TThread;
    TThread *m_thread = nullptr;
    std::shared_ptr<TThreadControl> m_control;
};

enum class TThreadPriority
{
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

class TThread
{
public:
    using TThreadMethod = std::function<void()>;

    static constexpr int ShutdownWaitMs = 3000;

    explicit TThread(bool CreateSuspended);
    virtual ~TThread();
    TThread(const TThread &) = delete;
    TThread &operator=(const TThread &) = delete;

    template <class T, class... Args> static T *New(Args &&...args)
    {
        T *thread = new T(std::forward<Args>(args)...);
        thread->AfterConstruction();
        return thread;
    }

    // Starts the thread unless it was created suspended.
    void AfterConstruction();
    // Starts a thread that has not been started yet; a second start is ignored.
    void Start();
    // Asks Execute to finish: calls TerminatedSet, then sets Terminated and wakes
    // SleepUnlessTerminated. Safe on a FreeOnTerminate thread that runs until it is terminated.
    void Terminate();
    bool Terminated() const;
    bool Started() const;
    // True once Execute has returned and OnTerminate has run.
    bool Finished() const;
    // Waits until the thread has finished; returns ReturnValue. Not for FreeOnTerminate threads, whose
    // object may be gone when the wait ends. Waiting for itself returns at once.
    int WaitFor();

    bool FreeOnTerminate() const;
    void SetFreeOnTerminate(bool value);
    // Best effort: the nice value of the thread; raising it above normal needs privileges on Linux.
    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority value);
    int ReturnValue() const;
    // The exception that ended Execute, if any.
    std::exception_ptr FatalException() const;

    // Runs on the GUI thread (through Synchronize) after Execute, with this thread as argument.
    std::function<void(TThread *)> OnTerminate;

    // Runs AMethod on the GUI thread and waits for it; on the GUI thread it runs at once. An exception
    // of AMethod is raised again in the caller. Returns false when the call was not run because the
    // application is being or has been destroyed. AThread may be null.
    static bool Synchronize(TThread *AThread, const TThreadMethod &AMethod);
    // Hands AMethod to the GUI thread without waiting (on the GUI thread it runs at once). The call is
    // tagged with AThread and dropped if that thread object is deleted before it runs. Returns false
    // when the call was dropped because the application is being or has been destroyed.
    static bool Queue(TThread *AThread, TThreadMethod AMethod);
    // The same for a thread object that may be gone by now: then the call is dropped (false).
    static bool Queue(const TThreadRef &AThread, TThreadMethod AMethod);
    static void RemoveQueuedEvents(TThread *AThread);
    // On the GUI thread: runs the hand-overs waiting now; true when at least one ran.
    static bool CheckSynchronize();
    // The number of hand-overs waiting for the GUI thread (not those running).
    static int PendingHandOverCount();
    static bool IsGuiThread();
    // The TThread whose Execute runs on the calling thread, or null.
    static TThread *CurrentThread();
    // Where exceptions of queued calls go (the application's exception handler); by default a warning.
    static void SetQueuedExceptionHandler(std::function<void(std::exception_ptr)> handler);

    // Tells every running thread to terminate and waits up to timeoutMs for them; calls waiting to be
    // synchronized or queued are dropped. Run when the application is destroyed and at process exit.
    static void ShutDownThreads(int timeoutMs = ShutdownWaitMs);
    static int RunningThreadCount();

protected:
    virtual void Execute() = 0;
    // Called by Terminate (not by the process-wide shut-down, which only sets the flag).
    virtual void TerminatedSet() { }

    bool Synchronize(const TThreadMethod &AMethod) { return Synchronize(this, AMethod); }
    bool Queue(TThreadMethod AMethod) { return Queue(this, std::move(AMethod)); }
    void SetReturnValue(int value);
    // Sleeps up to ms milliseconds, waking early on Terminate; true when not terminated.
    bool SleepUnlessTerminated(int ms);
    // The same, also waking when AWakeWhen holds; it is tested under the hand-over lock at the start
    // and after each Wake(), so it must be cheap and take no lock (an atomic read).
    bool SleepUnlessTerminated(int ms, const std::function<bool()> &AWakeWhen);
    // Sleeps until ADeadline (to the clock's precision, not rounded to milliseconds), waking early on
    // Terminate; true when not terminated.
    bool SleepUnlessTerminatedUntil(std::chrono::steady_clock::time_point ADeadline);
    // Lets a SleepUnlessTerminated of this thread test its condition again; from any thread.
    void Wake();
    // The name the system shows for the thread (at most 15 bytes are kept), set at start or at once
    // when called on the thread itself.
    void NameThreadForDebugging(const QString &name);
    // The name given to the system at start when NameThreadForDebugging was not called; read on the
    // new thread once the object is fully constructed.
    virtual QString DebugName() const { return QString(); }

private:
    friend class TThreadRef;
    void run(std::shared_ptr<TThreadControl> control);

    std::shared_ptr<TThreadControl> m_control;
    bool m_createSuspended;
};

#pragma once
// The animation runs of the collapse panels and the one thread that paces them (unit CollapsePanel).
// A run (TTriggerObject) moves one control's height from ValueFrom to ValueTo in eased steps; the
// trigger thread hands a tick to the GUI thread every 15 ms, and each tick advances every run by one
// step. A run that reaches its target ends: the thread takes it off its list, calls its ready
// callback and frees it.
//
// Rules:
// - Runs, ticks and the controls are touched on the GUI thread only. The worker only sleeps, reads
//   whether runs are pending and waits for each tick it hands over (Synchronize), so ticks never
//   overlap and never queue up.
// - While no run is pending the worker sleeps until one is added: an idle process pays nothing for
//   the thread, and the GUI thread is not woken.
// - Ending a run, by reaching its target, by RemoveOngoingProcess or by the thread's end, calls its
//   ready callback exactly once, except at the thread's end, when the remaining runs are dropped
//   silently (their controls may be gone).
// - The thread owns its runs; one place ends them (takes them off the list, then calls the callback
//   with the lock released, then frees them), so a callback may start or end runs, even delete the
//   control whose step is under way.
// - Errors of one run (its control, its callback) go to the application's exception handler by a
//   queued call, so that the other runs go on and no box opens in the middle of a tick.

#include "components/appservices/zc_thread.h"

#include <QList>
#include <QMutex>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

// What a run needs of the control it sizes; the collapse panel offers it.
class TTriggerControl
{
public:
    virtual ~TTriggerControl() = default;
    virtual void SetSizeing(bool Value) = 0;
    virtual void SetExpandProgress(float Value) = 0;
    virtual int Height() const = 0;
    virtual void SetHeight(int Value) = 0;
    virtual bool AutoScrollInView() const = 0;
    virtual void ScrollInView() = 0;
};

class TTriggerObject;
// Sender is the run; ADirection is the run's direction (true: it collapsed the control).
using TTriggerReadyEvent = std::function<void(TTriggerObject *Sender, bool ADirection)>;

class TTriggerObject
{
public:
    static constexpr int MaxSteps = 50;

    // Starts a run of AControl from height V1 to v2 in st steps (limited to 0..50). An earlier run of
    // the same control ends first, its callback firing now. Raises when no trigger thread runs. The
    // run belongs to the thread; the pointer is valid until the run ends.
    static TTriggerObject *Create(TTriggerControl *AControl, int V1, int v2, int st, bool AExpand);
    // Ends every run of AWinControl.
    static void RemoveOngoingProcess(TTriggerControl *AWinControl);
    // The runs in progress of AControl (0 or 1).
    static int RunCount(const TTriggerControl *AControl);

    ~TTriggerObject() = default;
    TTriggerObject(const TTriggerObject &) = delete;
    TTriggerObject &operator=(const TTriggerObject &) = delete;

    // One step; true when the run has reached its target (the thread then ends it). Stops touching
    // the control once the run was ended meanwhile (by a handler the step set off).
    bool DoTrigger();
    // The run was ended (taken off the thread's list); it is freed once its step returns.
    bool Ended() const { return m_ended; }

    TTriggerReadyEvent ReadyProc() const { return fReadyProc; }
    void SetReadyProc(TTriggerReadyEvent Value) { fReadyProc = std::move(Value); }

    // The eased height after AStep of Steps from ValueFrom to ValueTo, and the progress value (0
    // collapsed, 1 expanded) after that step.
    static int EasedHeight(int ValueFrom, int ValueTo, int AStep, int Steps);
    static float Progress(bool ACollapsing, int AStep, int Steps);

private:
    TTriggerObject(TTriggerControl *AControl, int V1, int v2, int st, bool AExpand);
    friend class TTriggerThread;

    bool fExpand;

public:
    // Fixed at creation; Steps is already limited to 0..50.
    TTriggerControl *const Control;
    const int ValueFrom;
    const int ValueTo;
    const int Steps;

private:
    int istep = 0;
    int Step;
    TTriggerReadyEvent fReadyProc;
    bool m_ended = false;
    bool m_inStep = false;
    // Tells a run from a later one that was given the address of an ended one.
    quint64 m_serial = 0;
};

class TTriggerThread : public Tzc_Thread
{
public:
    // Use TThread::New<TTriggerThread>(): the thread starts once it is constructed.
    TTriggerThread();
    // Stops the worker and waits for it; frees the runs still listed without their callbacks.
    ~TTriggerThread() override;

    int Interval() const { return FInterval; }
    using TClock = std::chrono::steady_clock;
    // When the next tick is due after one that was due at ALastDue and returned at ALastReturned:
    // an interval after the last one was due (to the clock's precision: neither the time a tick
    // takes nor whole-millisecond waits shorten or stretch the period), but never sooner than 10 ms
    // after the last one returned; a late tick moves the plan instead of being made up for.
    static TClock::time_point NextTickDue(
        TClock::time_point ALastDue, TClock::time_point ALastReturned, std::chrono::milliseconds AInterval);
    int RunCount() const;
    // Ticks handed to the GUI thread so far (for tests and measurements).
    qint64 TickCount() const { return m_ticks.load(); }
    // The ticks, on the GUI thread: every run advances one step, the one added last first.
    void TriggerTick();

    // Asks the thread to stop and waits up to ATimeoutMs for it, serving the GUI thread's hand-overs
    // meanwhile; false when it still runs.
    bool StopAndWait(int ATimeoutMs);

protected:
    void Execute() override;

private:
    friend class TTriggerObject;
    using TRunPtr = std::unique_ptr<TTriggerObject>;
    void add(TRunPtr ARun);
    // Takes the runs that AMatch selects off the list (under the lock), then calls their callbacks
    // (without it) and frees them; the run whose step is under way is freed when the step returns.
    void end(const std::function<bool(const TTriggerObject *)> &AMatch);
    using TRunId = std::pair<TTriggerObject *, quint64>;
    QList<TRunId> snapshot() const;
    bool contains(const TRunId &ARun) const;

    // Guards the list against RunCount from other threads; never held while a run's step or
    // callback runs.
    mutable QMutex m_lock;
    std::vector<TRunPtr> FTriggerList;
    quint64 m_nextSerial = 0;
    // Runs ended while their step was under way: freed when the step returns.
    std::vector<TRunPtr> m_retired;
    std::atomic<int> m_pending { 0 };
    std::atomic<qint64> m_ticks { 0 };
    const int FInterval = 15;
    static constexpr int IdleSleepMs = 60 * 60 * 1000;
};

// The process's trigger thread while the unit CollapsePanel runs, else null.
TTriggerThread *TriggerThread();
// Unit start-up and finish hand the thread over (creation and the bounded stop).
void SetTriggerThread(TTriggerThread *AThread);

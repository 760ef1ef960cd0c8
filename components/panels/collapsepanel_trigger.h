#pragma once
// The animation runs of the collapse panels and the one thread that paces them (unit CollapsePanel).
// A run (TTriggerObject) moves one control's height from ValueFrom to ValueTo in eased steps; the
// trigger thread hands a tick to the GUI thread every 15 ms, and each tick advances every run by one
// step. A run that reaches its target frees itself and calls its ready callback.
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
// - Errors of one run (its control, its callback) are swallowed so that the other runs go on.

#include "components/appservices/zc_thread.h"

#include <QList>
#include <QRecursiveMutex>

#include <atomic>
#include <chrono>
#include <functional>

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
    // run belongs to the thread's list and frees itself when it ends.
    static TTriggerObject *Create(TTriggerControl *AControl, int V1, int v2, int st, bool AExpand);
    // Ends every run of AWinControl.
    static void RemoveOngoingProcess(TTriggerControl *AWinControl);
    // The runs in progress of AControl (0 or 1).
    static int RunCount(const TTriggerControl *AControl);

    // Ends the run: leaves the list and calls the ready callback.
    ~TTriggerObject();
    TTriggerObject(const TTriggerObject &) = delete;
    TTriggerObject &operator=(const TTriggerObject &) = delete;

    // One step; frees the run when it has reached its target.
    void DoTrigger();

    TTriggerReadyEvent ReadyProc() const { return fReadyProc; }
    void SetReadyProc(TTriggerReadyEvent Value) { fReadyProc = std::move(Value); }

    TTriggerControl *Control() const { return FControl; }
    int ValueFrom() const { return FValueFrom; }
    int ValueTo() const { return FValueTo; }
    int Steps() const { return FSteps; }
    int Step() const { return FStep; }

    // The eased height after istep of Steps from ValueFrom to ValueTo, and the progress value (0
    // collapsed, 1 expanded) after that step.
    static int EasedHeight(int ValueFrom, int ValueTo, int istep, int Steps);
    static float Progress(bool ACollapsing, int istep, int Steps);

private:
    TTriggerObject(TTriggerControl *AControl, int V1, int v2, int st, bool AExpand);
    friend class TTriggerThread;

    bool fExpand;
    TTriggerControl *FControl;
    int FValueFrom;
    int FValueTo;
    int FSteps;
    int istep = 0;
    int FStep;
    TTriggerReadyEvent fReadyProc;
    bool m_silent = false; // dropped at the thread's end: no callback
};

class TTriggerThread : public Tzc_Thread
{
public:
    // Use TThread::New<TTriggerThread>(): the thread starts once it is constructed.
    TTriggerThread();
    // Stops the worker and waits for it; drops the runs still listed without their callbacks.
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
    void add(TTriggerObject *ARun);
    void remove(TTriggerObject *ARun);
    QList<TTriggerObject *> snapshot() const;
    bool contains(TTriggerObject *ARun) const;

    mutable QRecursiveMutex m_lock;
    QList<TTriggerObject *> FTriggerList;
    std::atomic<int> m_pending { 0 };
    std::atomic<qint64> m_ticks { 0 };
    const int FInterval = 15;
    static constexpr int IdleSleepMs = 60 * 60 * 1000;
};

// The process's trigger thread while the unit CollapsePanel runs, else null.
TTriggerThread *TriggerThread();
// Unit start-up and finish hand the thread over (creation and the bounded stop).
void SetTriggerThread(TTriggerThread *AThread);

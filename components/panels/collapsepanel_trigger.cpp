#include "collapsepanel_trigger.h"

#include "platform/exception.h"
#include "platform/numbers.h"

#include <QMutexLocker>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <thread>

namespace {

TTriggerThread *g_triggerThread = nullptr;

} // namespace

TTriggerThread *TriggerThread()
{
    return g_triggerThread;
}

void SetTriggerThread(TTriggerThread *AThread)
{
    g_triggerThread = AThread;
}

// ---- runs

TTriggerObject::TTriggerObject(TTriggerControl *AControl, int V1, int v2, int st, bool AExpand)
    : fExpand(AExpand)
    , FControl(AControl)
    , FValueFrom(V1)
    , FValueTo(v2)
    , FSteps(std::clamp(st, 0, MaxSteps))
    , FStep(V1)
{
}

TTriggerObject *TTriggerObject::Create(TTriggerControl *AControl, int V1, int v2, int st, bool AExpand)
{
    TTriggerThread *thread = TriggerThread();
    if (!thread)
        throw Exception(QStringLiteral("No trigger thread runs: the unit CollapsePanel has not started"));
    if (AControl) {
        RemoveOngoingProcess(AControl);
        // The run starts from the state it leaves: fully expanded for a collapse.
        AControl->SetSizeing(true);
        AControl->SetExpandProgress(AExpand ? 1.0f : 0.0f);
    }
    auto *run = new TTriggerObject(AControl, V1, v2, st, AExpand);
    thread->add(run);
    return run;
}

TTriggerObject::~TTriggerObject()
{
    if (TTriggerThread *thread = TriggerThread()) {
        try {
            thread->remove(this);
        } catch (...) {
        }
    }
    if (fReadyProc && !m_silent) {
        try {
            fReadyProc(this, fExpand);
        } catch (...) {
        }
    }
}

void TTriggerObject::RemoveOngoingProcess(TTriggerControl *AWinControl)
{
    TTriggerThread *thread = TriggerThread();
    if (!thread)
        return;
    QMutexLocker lock(&thread->m_lock);
    // A callback may end or start other runs: each listed run is checked again before it is freed.
    const QList<TTriggerObject *> runs = thread->snapshot();
    for (qsizetype i = runs.size() - 1; i >= 0; --i) {
        TTriggerObject *run = runs.at(i);
        if (!thread->contains(run) || run->FControl != AWinControl)
            continue;
        try {
            delete run;
        } catch (...) {
        }
    }
}

int TTriggerObject::RunCount(const TTriggerControl *AControl)
{
    TTriggerThread *thread = TriggerThread();
    if (!thread)
        return 0;
    const QList<TTriggerObject *> runs = thread->snapshot();
    return int(
        std::count_if(runs.begin(), runs.end(), [&](TTriggerObject *r) { return r->FControl == AControl; }));
}

int TTriggerObject::EasedHeight(int ValueFrom, int ValueTo, int istep, int Steps)
{
    if (Steps <= 0)
        return ValueTo;
    // Square root of a quarter sine: fast at first, settling gently.
    const double f = std::sqrt(std::sin(double(istep) / Steps * std::numbers::pi / 2));
    const int step = ValueFrom + RoundHalfEven(double(ValueTo - ValueFrom) * f);
    return ValueTo > ValueFrom ? std::min(step, ValueTo) : std::max(step, ValueTo);
}

float TTriggerObject::Progress(bool ACollapsing, int istep, int Steps)
{
    const double a = ACollapsing ? 1.0 - double(istep) / Steps : double(istep) / Steps;
    return float(std::sin(a * std::numbers::pi / 2));
}

void TTriggerObject::DoTrigger()
{
    if (FStep != FValueTo) {
        if (FSteps == 0) {
            FStep = FValueTo;
        } else {
            ++istep;
            FStep = EasedHeight(FValueFrom, FValueTo, istep, FSteps);
        }
        if (FControl) {
            if (FStep == FValueTo)
                FControl->SetSizeing(false);
            else
                FControl->SetExpandProgress(Progress(fExpand, istep, FSteps));
            if (FControl->Height() != FStep) {
                FControl->SetHeight(FStep);
                if (FControl->AutoScrollInView())
                    FControl->ScrollInView();
            }
        }
    }
    if (FStep == FValueTo) {
        // Also a run that had nothing to do leaves its control no longer sizing.
        if (FControl)
            FControl->SetSizeing(false);
        delete this;
    }
}

// ---- thread

TTriggerThread::TTriggerThread()
    : Tzc_Thread(false)
{
    SetThreadName(QStringLiteral("CollapseTrigger(TTriggerThread)"));
    // Even ticks while the GUI is busy; without the privilege to raise it, the thread runs normal.
    SetPriority(TThreadPriority::tpHigher);
}

TTriggerThread::~TTriggerThread()
{
    Terminate();
    WaitFor();
    RemoveQueuedEvents(this);
    QList<TTriggerObject *> left;
    {
        QMutexLocker lock(&m_lock);
        left.swap(FTriggerList);
        m_pending = 0;
    }
    // The controls of runs still listed may be gone: no callbacks now.
    for (TTriggerObject *run : std::as_const(left)) {
        run->m_silent = true;
        run->fReadyProc = nullptr;
        delete run;
    }
}

int TTriggerThread::RunCount() const
{
    QMutexLocker lock(&m_lock);
    return int(FTriggerList.size());
}

void TTriggerThread::add(TTriggerObject *ARun)
{
    QMutexLocker lock(&m_lock);
    if (FTriggerList.contains(ARun))
        return;
    FTriggerList.append(ARun);
    m_pending = int(FTriggerList.size());
    if (m_pending == 1)
        Wake();
}

void TTriggerThread::remove(TTriggerObject *ARun)
{
    QMutexLocker lock(&m_lock);
    FTriggerList.removeOne(ARun);
    m_pending = int(FTriggerList.size());
}

QList<TTriggerObject *> TTriggerThread::snapshot() const
{
    QMutexLocker lock(&m_lock);
    return FTriggerList;
}

bool TTriggerThread::contains(TTriggerObject *ARun) const
{
    QMutexLocker lock(&m_lock);
    return FTriggerList.contains(ARun);
}

void TTriggerThread::TriggerTick()
{
    m_ticks.fetch_add(1);
    try {
        QMutexLocker lock(&m_lock);
        // Runs free themselves, and callbacks may start or end runs: walk a copy, skip the gone.
        const QList<TTriggerObject *> runs = FTriggerList;
        for (qsizetype i = runs.size() - 1; i >= 0; --i) {
            TTriggerObject *run = runs.at(i);
            if (!FTriggerList.contains(run))
                continue;
            try {
                run->DoTrigger();
            } catch (...) {
            }
        }
    } catch (...) {
    }
}

TTriggerThread::TClock::time_point TTriggerThread::NextTickDue(
    TClock::time_point ALastDue, TClock::time_point ALastReturned, std::chrono::milliseconds AInterval)
{
    constexpr auto minimumGap = std::chrono::milliseconds(10);
    return std::max(ALastDue + AInterval, ALastReturned + minimumGap);
}

void TTriggerThread::Execute()
{
    const auto interval = std::chrono::milliseconds(FInterval);
    // A monotonic clock: no wrap to care about.
    TClock::time_point due = TClock::now() + interval;
    while (!Terminated()) {
        if (m_pending.load() == 0) {
            // Idle: asleep until a run is added (or the thread is told to end); no ticks at all.
            if (!SleepUnlessTerminated(IdleSleepMs, [this] { return m_pending.load() > 0; }))
                break;
            due = TClock::now() + interval;
            continue;
        }
        if (!SleepUnlessTerminatedUntil(due))
            break;
        if (m_pending.load() == 0)
            continue;
        // False once the application is going: no tick after the GUI is gone.
        Synchronize([this] { TriggerTick(); });
        due = NextTickDue(due, TClock::now(), interval);
    }
}

bool TTriggerThread::StopAndWait(int ATimeoutMs)
{
    Terminate();
    const auto deadline
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(ATimeoutMs, 0));
    while (!Finished()) {
        if (!Started())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        // A tick the worker is handing over right now must run, or it waits for ever.
        if (TThread::IsGuiThread())
            TThread::CheckSynchronize();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

#include "collapsepanel_trigger.h"

#include "platform/exception.h"
#include "platform/numbers.h"
#include "platform/widgets/application.h"

#include <QCoreApplication>
#include <QMutexLocker>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <thread>
#include <utility>

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
    , Control(AControl)
    , ValueFrom(V1)
    , ValueTo(v2)
    , Steps(std::clamp(st, 0, MaxSteps))
    , Step(V1)
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
    std::unique_ptr<TTriggerObject> run(new TTriggerObject(AControl, V1, v2, st, AExpand));
    TTriggerObject *const result = run.get();
    thread->add(std::move(run));
    return result;
}

void TTriggerObject::RemoveOngoingProcess(TTriggerControl *AWinControl)
{
    if (TTriggerThread *thread = TriggerThread())
        thread->end([AWinControl](const TTriggerObject *run) { return run->Control == AWinControl; });
}

int TTriggerObject::RunCount(const TTriggerControl *AControl)
{
    TTriggerThread *thread = TriggerThread();
    if (!thread)
        return 0;
    const QList<TTriggerThread::TRunId> runs = thread->snapshot();
    return int(std::count_if(runs.begin(), runs.end(),
        [&](const TTriggerThread::TRunId &r) { return r.first->Control == AControl; }));
}

int TTriggerObject::EasedHeight(int ValueFrom, int ValueTo, int AStep, int Steps)
{
    if (Steps <= 0)
        return ValueTo;
    // Square root of a quarter sine: fast at first, settling gently.
    const double f = std::sqrt(std::sin(double(AStep) / Steps * std::numbers::pi / 2));
    const int step = ValueFrom + RoundHalfEven(double(ValueTo - ValueFrom) * f);
    return ValueTo > ValueFrom ? std::min(step, ValueTo) : std::max(step, ValueTo);
}

float TTriggerObject::Progress(bool ACollapsing, int AStep, int Steps)
{
    const double a = ACollapsing ? 1.0 - double(AStep) / Steps : double(AStep) / Steps;
    return float(std::sin(a * std::numbers::pi / 2));
}

bool TTriggerObject::DoTrigger()
{
    if (Step != ValueTo) {
        if (Steps == 0) {
            Step = ValueTo;
        } else {
            ++istep;
            Step = EasedHeight(ValueFrom, ValueTo, istep, Steps);
        }
        // Each call into the control may run a handler that ends this run or frees the control.
        if (Control) {
            if (Step == ValueTo)
                Control->SetSizeing(false);
            else
                Control->SetExpandProgress(Progress(fExpand, istep, Steps));
            if (!m_ended && Control->Height() != Step) {
                Control->SetHeight(Step);
                if (!m_ended && Control->AutoScrollInView())
                    Control->ScrollInView();
            }
        }
    }
    if (m_ended || Step != ValueTo)
        return false;
    // Also a run that had nothing to do leaves its control no longer sizing.
    if (Control)
        Control->SetSizeing(false);
    return true;
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
    std::vector<TRunPtr> left;
    {
        QMutexLocker lock(&m_lock);
        left.swap(FTriggerList);
        m_pending = 0;
    }
    // The controls of runs still listed may be gone: they are freed without their callbacks.
}

int TTriggerThread::RunCount() const
{
    QMutexLocker lock(&m_lock);
    return int(FTriggerList.size());
}

void TTriggerThread::add(TRunPtr ARun)
{
    QMutexLocker lock(&m_lock);
    ARun->m_serial = ++m_nextSerial;
    FTriggerList.push_back(std::move(ARun));
    m_pending = int(FTriggerList.size());
    if (m_pending == 1)
        Wake();
}

namespace {

// A run's error goes to the application's handler after the tick: a box must not open while the
// worker waits for the tick, nor between the steps of one tick.
void reportRunError()
{
    TApplication::HandleExceptionLater(QCoreApplication::instance());
}

} // namespace

void TTriggerThread::end(const std::function<bool(const TTriggerObject *)> &AMatch)
{
    std::vector<TRunPtr> ended;
    {
        QMutexLocker lock(&m_lock);
        // The last added ends first, as the walk from the end of the list always did.
        for (auto it = FTriggerList.end(); it != FTriggerList.begin();) {
            --it;
            if (!AMatch(it->get()))
                continue;
            (*it)->m_ended = true;
            ended.push_back(std::move(*it));
            it = FTriggerList.erase(it);
        }
        m_pending = int(FTriggerList.size());
    }
    for (TRunPtr &run : ended) {
        // Moved out first: the callback fires exactly once, whatever it starts or ends.
        const TTriggerReadyEvent ready = std::exchange(run->fReadyProc, nullptr);
        if (ready) {
            try {
                ready(run.get(), run->fExpand);
            } catch (...) {
                reportRunError();
            }
        }
        if (run->m_inStep)
            m_retired.push_back(std::move(run));
    }
}

QList<TTriggerThread::TRunId> TTriggerThread::snapshot() const
{
    QMutexLocker lock(&m_lock);
    QList<TRunId> runs;
    runs.reserve(qsizetype(FTriggerList.size()));
    for (const TRunPtr &run : FTriggerList)
        runs.append({ run.get(), run->m_serial });
    return runs;
}

bool TTriggerThread::contains(const TRunId &ARun) const
{
    QMutexLocker lock(&m_lock);
    return std::any_of(FTriggerList.begin(), FTriggerList.end(),
        [&](const TRunPtr &run) { return run.get() == ARun.first && run->m_serial == ARun.second; });
}

void TTriggerThread::TriggerTick()
{
    m_ticks.fetch_add(1);
    // Callbacks may start or end runs: walk a copy, skip the ended ones. The lock is not held while
    // a step runs.
    const QList<TRunId> runs = snapshot();
    for (qsizetype i = runs.size() - 1; i >= 0; --i) {
        if (!contains(runs.at(i)))
            continue;
        TTriggerObject *run = runs.at(i).first;
        bool reached = false;
        run->m_inStep = true;
        try {
            reached = run->DoTrigger();
        } catch (...) {
            reportRunError();
        }
        run->m_inStep = false;
        if (run->m_ended) {
            std::erase_if(m_retired, [run](const TRunPtr &retired) { return retired.get() == run; });
            continue;
        }
        if (reached)
            end([run](const TTriggerObject *listed) { return listed == run; });
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

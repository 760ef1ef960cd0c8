// The trigger thread and its runs: the eased heights and progress values step by step, the ends of a
// run (target reached, reversed, cancelled), several runs on one tick, errors of a run reaching the
// application's handler, a control freed during its step, and the real thread's ticks.

#include "components/appservices/zc_thread.h"
#include "components/panels/collapsepanel.h"
#include "components/panels/collapsepanel_trigger.h"
#include "platform/settingsstore.h"
#include "platform/units.h"
#include "platform/widgets/application.h"

#include <QTest>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <optional>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

// The members a run uses, recorded.
class TTestControl : public TTriggerControl
{
public:
    explicit TTestControl(int height)
        : m_height(height)
    {
    }
    ~TTestControl() override { TTriggerObject::RemoveOngoingProcess(this); }
    void SetSizeing(bool Value) override { sizeing = Value; }
    void SetExpandProgress(float Value) override
    {
        progress = Value;
        progresses.append(Value);
    }
    int Height() const override { return m_height; }
    void SetHeight(int Value) override
    {
        m_height = Value;
        heights.append(Value);
        if (log)
            log->append(name);
    }
    bool AutoScrollInView() const override { return autoScroll; }
    void ScrollInView() override
    {
        ++scrolls;
        if (failScroll)
            throw std::runtime_error("scroll failed");
    }

    bool sizeing = false;
    float progress = -1;
    QList<float> progresses;
    QList<int> heights;
    bool autoScroll = false;
    bool failScroll = false;
    int scrolls = 0;
    QStringList *log = nullptr;
    QString name;

private:
    int m_height;
};

struct TReady
{
    int calls = 0;
    bool direction = false;
    TTriggerReadyEvent event()
    {
        return [this](TTriggerObject *, bool d) {
            ++calls;
            direction = d;
        };
    }
};

// A trigger thread that is never started: the test hands out the ticks itself.
class TManualTrigger
{
public:
    TManualTrigger()
        : m_thread(new TTriggerThread)
    {
        SetTriggerThread(m_thread.get());
    }
    ~TManualTrigger() { SetTriggerThread(nullptr); }
    TTriggerThread *operator->() const { return m_thread.get(); }

private:
    std::unique_ptr<TTriggerThread> m_thread;
};

const TUnit *const g_units[] = { &zc_ThreadUnit, &CollapsePanelUnit };

} // namespace

class TestCollapseTrigger : public QObject
{
    Q_OBJECT

    // The unit's scaler writes its percentage: never into the user's settings.
    QTemporaryDir m_settings;
    // What reached the application's exception handler.
    QStringList handled;

private Q_SLOTS:
    void initTestCase()
    {
        SetSettingsFolder(m_settings.path());
        TApplication::SetExceptionSink([this](const QString &m) { handled.append(m); });
    }
    void cleanupTestCase()
    {
        TApplication::SetExceptionSink({});
        SetSettingsFolder(QString());
    }
    void init() { handled.clear(); }

    void heightsStepByStep_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("steps");
        QTest::addColumn<QList<int>>("heights");
        QTest::newRow("expand 100 to 200 in 10 steps")
            << 100 << 200 << 10 << QList<int> { 140, 156, 167, 177, 184, 190, 194, 198, 199, 200 };
        QTest::newRow("collapse 200 to 30 in 5 steps")
            << 200 << 30 << 5 << QList<int> { 105, 70, 47, 34, 30 };
        QTest::newRow("no steps jumps to the target") << 30 << 200 << 0 << QList<int> { 200 };
        QTest::newRow("negative steps count as none") << 30 << 200 << -4 << QList<int> { 200 };
        QTest::newRow("same height ends without a change") << 80 << 80 << 10 << QList<int> {};
    }
    void heightsStepByStep()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, steps);
        QFETCH(QList<int>, heights);
        TManualTrigger trigger;
        TTestControl control(from);
        TReady ready;
        TTriggerObject::Create(&control, from, to, steps, to < from)->SetReadyProc(ready.event());
        QVERIFY(control.sizeing);
        for (int tick = 0; tick < 100 && trigger->RunCount() > 0; ++tick)
            trigger->TriggerTick();
        QCOMPARE(control.heights, heights);
        QCOMPARE(control.Height(), to);
        QCOMPARE(ready.calls, 1);
        QCOMPARE(ready.direction, to < from);
        QVERIFY(!control.sizeing);
        QCOMPARE(trigger->RunCount(), 0);
    }

    void stepsAreCappedAtFifty()
    {
        TManualTrigger trigger;
        TTestControl control(0);
        TTriggerObject *run = TTriggerObject::Create(&control, 0, 1000, 200, false);
        QCOMPARE(run->Steps, 50);
        int ticks = 0;
        while (trigger->RunCount() > 0 && ticks < 1000) {
            trigger->TriggerTick();
            ++ticks;
        }
        // The last steps round to the target already; 200 steps would take four times as long.
        QVERIFY2(ticks > 40 && ticks <= 50, qPrintable(QString::number(ticks)));
        QCOMPARE(control.Height(), 1000);
    }

    void progressFollowsAQuarterSine_data()
    {
        QTest::addColumn<bool>("collapsing");
        QTest::addColumn<float>("start");
        QTest::addColumn<QList<float>>("progress");
        QTest::newRow("expand in 4 steps") << false << 0.0f << QList<float> { 0.3827f, 0.7071f, 0.9239f };
        QTest::newRow("collapse in 4 steps") << true << 1.0f << QList<float> { 0.9239f, 0.7071f, 0.3827f };
    }
    void progressFollowsAQuarterSine()
    {
        QFETCH(bool, collapsing);
        QFETCH(float, start);
        QFETCH(QList<float>, progress);
        TManualTrigger trigger;
        TTestControl control(collapsing ? 200 : 100);
        TTriggerObject::Create(&control, control.Height(), collapsing ? 100 : 200, 4, collapsing);
        QCOMPARE(control.progresses, QList<float> { start });
        for (int tick = 0; tick < 4; ++tick)
            trigger->TriggerTick();
        QCOMPARE(control.progresses.size(), 4);
        for (int i = 0; i < progress.size(); ++i)
            QVERIFY2(qAbs(control.progresses.at(i + 1) - progress.at(i)) < 0.00005f,
                qPrintable(QString::number(control.progresses.at(i + 1))));
    }

    void reversingEndsTheEarlierRun()
    {
        TManualTrigger trigger;
        TTestControl control(200);
        TReady first;
        TTriggerObject::Create(&control, 200, 30, 5, true)->SetReadyProc(first.event());
        trigger->TriggerTick();
        QCOMPARE(control.Height(), 105);
        TReady second;
        TTriggerObject::Create(&control, control.Height(), 200, 5, false)->SetReadyProc(second.event());
        QCOMPARE(first.calls, 1);
        QCOMPARE(first.direction, true);
        QCOMPARE(trigger->RunCount(), 1);
        QVERIFY(control.sizeing);
        while (trigger->RunCount() > 0)
            trigger->TriggerTick();
        QCOMPARE(control.Height(), 200);
        QCOMPARE(first.calls, 1);
        QCOMPARE(second.calls, 1);
        QCOMPARE(second.direction, false);
    }

    void cancellingCallsTheCallbackOnce()
    {
        TManualTrigger trigger;
        TReady ready;
        {
            TTestControl control(30);
            TTriggerObject::Create(&control, 30, 200, 10, false)->SetReadyProc(ready.event());
            trigger->TriggerTick();
        } // the control goes while its run is under way
        QCOMPARE(ready.calls, 1);
        QCOMPARE(trigger->RunCount(), 0);
        trigger->TriggerTick();
        QCOMPARE(ready.calls, 1);
    }

    void twoRunsAdvanceOnTheSameTickLaterFirst()
    {
        TManualTrigger trigger;
        QStringList log;
        TTestControl a(30), b(30);
        a.name = QStringLiteral("a");
        b.name = QStringLiteral("b");
        a.log = b.log = &log;
        TTriggerObject::Create(&a, 30, 130, 3, false);
        TTriggerObject::Create(&b, 30, 130, 3, false);
        trigger->TriggerTick();
        QCOMPARE(log, QStringList({ QStringLiteral("b"), QStringLiteral("a") }));
        QCOMPARE(a.Height(), b.Height());
    }

    void anErrorOfOneRunSparesTheOthers()
    {
        TManualTrigger trigger;
        TTestControl failing(30), other(30);
        failing.autoScroll = failing.failScroll = true;
        TTriggerObject::Create(&other, 30, 130, 3, false);
        TTriggerObject::Create(&failing, 30, 130, 3, false);
        trigger->TriggerTick();
        QCOMPARE(failing.scrolls, 1);
        QVERIFY(other.Height() > 30);
        while (trigger->RunCount() > 0)
            trigger->TriggerTick();
        QCOMPARE(other.Height(), 130);
        QCOMPARE(failing.Height(), 130);
        QTRY_COMPARE(handled, QStringList({ u"scroll failed"_s, u"scroll failed"_s, u"scroll failed"_s }));
    }

    // A ready callback that raises: its error reaches the application's handler after the tick (no
    // box in the middle of one), the run ends all the same and the other run of the tick goes on.
    void aFailingCallbackReachesTheHandler_data()
    {
        QTest::addColumn<bool>("controlGone");
        QTest::newRow("run that reached its target") << false;
        QTest::newRow("run cancelled by the end of its control") << true;
    }
    void aFailingCallbackReachesTheHandler()
    {
        QFETCH(bool, controlGone);
        TManualTrigger trigger;
        TTestControl other(30);
        TReady otherReady;
        TTriggerObject::Create(&other, 30, 130, 2, false)->SetReadyProc(otherReady.event());
        auto failing = std::make_unique<TTestControl>(30);
        int calls = 0;
        TTriggerObject::Create(failing.get(), 30, 130, 2, false)->SetReadyProc([&](TTriggerObject *, bool) {
            ++calls;
            throw Exception(u"Rückmeldung fehlgeschlagen"_s);
        });
        if (controlGone)
            failing.reset();
        while (trigger->RunCount() > 0)
            trigger->TriggerTick();
        QCOMPARE(calls, 1);
        QCOMPARE(otherReady.calls, 1);
        QCOMPARE(other.Height(), 130);
        QVERIFY(handled.isEmpty());
        QTRY_COMPARE(handled, QStringList { u"Rückmeldung fehlgeschlagen"_s });
    }

    // A handler the step sets off frees the control (a panel deleted from its own resize handler):
    // the step touches neither the control nor its run again, and the callback fires once.
    void aControlFreedDuringItsStep()
    {
        struct TSelfFreeing : TTestControl
        {
            using TTestControl::TTestControl;
            void SetHeight(int Value) override
            {
                TTestControl::SetHeight(Value);
                owner->reset();
            }
            std::unique_ptr<TSelfFreeing> *owner = nullptr;
        };
        TManualTrigger trigger;
        TReady ready;
        auto control = std::make_unique<TSelfFreeing>(30);
        control->owner = &control;
        control->autoScroll = true;
        TTriggerObject::Create(control.get(), 30, 130, 5, false)->SetReadyProc(ready.event());
        trigger->TriggerTick();
        QVERIFY(!control);
        QCOMPARE(ready.calls, 1);
        QCOMPARE(trigger->RunCount(), 0);
        trigger->TriggerTick();
        QCOMPARE(ready.calls, 1);
    }

    void aRunNeedsTheThread()
    {
        TTestControl control(30);
        QVERIFY_THROWS_EXCEPTION(Exception, TTriggerObject::Create(&control, 30, 130, 3, false));
    }

    // The real thread: ticks arrive by themselves, and the unit stops the thread at its finish.
    void theUnitsThreadAnimates()
    {
        TUnitRun units(g_units);
        QVERIFY(TriggerThread());
        QCOMPARE(TriggerThread()->Interval(), 15);
        TTestControl control(30);
        TReady ready;
        TTriggerObject::Create(&control, 30, 230, 10, false)->SetReadyProc(ready.event());
        // 10 ticks of 15 ms: well inside the bound even on a busy machine.
        QTRY_COMPARE_WITH_TIMEOUT(ready.calls, 1, 5000);
        QCOMPARE(control.Height(), 230);
        QCOMPARE(control.heights.size(), 10);
    }

    void nextTickDue_data()
    {
        // Microseconds after the last tick was due: when it returned, and when the next one is due.
        QTest::addColumn<int>("returnedUs");
        QTest::addColumn<int>("dueUs");
        QTest::newRow("a prompt tick: the next one 15 ms after the last was due") << 300 << 15000;
        QTest::newRow("a tick of 2.05 ms: not one millisecond early") << 2050 << 15000;
        QTest::newRow("a tick of 5 ms: still 15 ms") << 5000 << 15000;
        QTest::newRow("a tick of 5.4 ms: 10 ms after it returned") << 5400 << 15400;
        QTest::newRow("a tick that took 40 ms: 10 ms after it returned, no burst") << 40000 << 50000;
    }
    void nextTickDue()
    {
        QFETCH(int, returnedUs);
        QFETCH(int, dueUs);
        using namespace std::chrono;
        const TTriggerThread::TClock::time_point due = TTriggerThread::TClock::now();
        QCOMPARE(duration_cast<microseconds>(
                     TTriggerThread::NextTickDue(due, due + microseconds(returnedUs), milliseconds(15)) - due)
                     .count(),
            dueUs);
    }

    void ticksComeEveryFifteenMilliseconds()
    {
        TUnitRun units(g_units);
        // When each step arrives on the GUI thread.
        struct TTimedControl : TTestControl
        {
            using TTestControl::TTestControl;
            void SetHeight(int Value) override
            {
                at.append(clock.nsecsElapsed());
                TTestControl::SetHeight(Value);
            }
            QElapsedTimer clock;
            QList<qint64> at;
        } control(0);
        control.clock.start();
        // Served by a real event loop, which runs a tick as soon as it is handed over (the test's
        // own waits would poll). 50 steps over a long way: every tick moves the height.
        QEventLoop loop;
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        TTriggerObject::Create(&control, 0, 100000, 50, false)->SetReadyProc([&](TTriggerObject *, bool) {
            loop.quit();
        });
        loop.exec();
        QCOMPARE(control.at.size(), 50);
        const double period = double(control.at.last() - control.at.first()) / (control.at.size() - 1) / 1e6;
        // A tick is never due sooner than 15 ms after the one before, so only the first one's
        // lateness (spread over 49 periods) can make the mean shorter; a busy machine makes ticks
        // late, and so the mean longer, hence the wide upper bound.
        qInfo("%.2f ms per tick", period);
        QVERIFY2(period >= 14.5 && period <= 30.0, qPrintable(QStringLiteral("%1 ms per tick").arg(period)));
    }

    void anIdleThreadHandsNoTicks()
    {
        TUnitRun units(g_units);
        TTestControl control(30);
        TTriggerObject::Create(&control, 30, 40, 1, false);
        QTRY_COMPARE_WITH_TIMEOUT(TriggerThread()->RunCount(), 0, 5000);
        const qint64 ticks = TriggerThread()->TickCount();
        // Idle now: a tick would show within a few intervals.
        QTest::qWait(150);
        QCOMPARE(TriggerThread()->TickCount(), ticks);
    }

    void theUnitsFinishStopsTheThreadDuringARun()
    {
        std::optional<TUnitRun> units(std::in_place, g_units);
        TTestControl control(30);
        TReady ready;
        TTriggerObject::Create(&control, 30, 1000, 50, false)->SetReadyProc(ready.event());
        QTRY_VERIFY_WITH_TIMEOUT(control.heights.size() >= 2, 5000);
        const int running = TThread::RunningThreadCount();
        QElapsedTimer timer;
        timer.start();
        units.reset();
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(TThread::RunningThreadCount(), running - 1);
        QCOMPARE(TriggerThread(), nullptr);
        // The remaining run was dropped with the thread, without its callback.
        QCOMPARE(ready.calls, 0);
        const qsizetype heights = control.heights.size();
        QCoreApplication::processEvents();
        QCOMPARE(control.heights.size(), heights);
    }
};

QTEST_MAIN(TestCollapseTrigger)
#include "tst_collapsetrigger.moc"

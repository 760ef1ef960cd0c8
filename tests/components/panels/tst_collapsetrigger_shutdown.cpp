// The trigger thread at the end of a program: the application goes while a run is under way, then
// the units finish. No tick may reach the GUI thread after the application is gone, and the
// finish must neither hang nor leave the thread running into static destruction.
// A plain main, because the test outlives its application object.

#include "components/appservices/zc_thread.h"
#include "components/panels/collapsepanel.h"
#include "components/panels/collapsepanel_trigger.h"
#include "platform/settingsstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

namespace {

class TTestControl : public TTriggerControl
{
public:
    void SetSizeing(bool) override { }
    void SetExpandProgress(float) override { }
    int Height() const override { return height; }
    void SetHeight(int Value) override
    {
        height = Value;
        ++changes;
    }
    bool AutoScrollInView() const override { return false; }
    void ScrollInView() override { }
    int height = 30;
    int changes = 0;
};

int g_passed = 0;
int g_failed = 0;

void check(bool ok, const char *what)
{
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what);
    ok ? ++g_passed : ++g_failed;
}

} // namespace

int main(int argc, char *argv[])
{
    // The unit's scaler writes its percentage: never into the user's settings.
    QTemporaryDir settings;
    SetSettingsFolder(settings.path());
    TTestControl control;
    static const TUnit *const table[] = { &zc_ThreadUnit, &CollapsePanelUnit };
    std::optional<TUnitRun> units(std::in_place, table);
    {
        QCoreApplication app(argc, argv);
        TTriggerObject::Create(&control, 30, 1000, 50, false);
        QElapsedTimer timer;
        timer.start();
        while (control.changes < 3 && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        check(control.changes >= 3, "the run advances while the application runs");
    }
    const int changes = control.changes;
    const qint64 ticks = TriggerThread()->TickCount();
    // Ticks came every 15 ms; ten intervals without one show that they stopped.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    check(TriggerThread()->TickCount() == ticks && control.changes == changes,
        "no tick after the application is gone");
    QElapsedTimer finish;
    finish.start();
    units.reset();
    std::printf("units finished in %lld ms\n", static_cast<long long>(finish.elapsed()));
    check(finish.elapsed() < 1000, "the units finish at once");
    check(TThread::RunningThreadCount() == 0, "no thread runs after the units finished");
    check(control.changes == changes, "the dropped run left the control alone");
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}

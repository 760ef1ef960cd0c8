// What the title panels' focus hook costs every other event of the GUI thread: the time of one
// event sent to a plain object without hooks, with the title panel unit's hook installed, and with a
// hook that does nothing (the register's own share).
//
//   QT_QPA_PLATFORM=offscreen titlepanel_hook_bench [events]

#include "components/panels/titlepanel.h"
#include "components/scaling/zc_hooks.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <optional>

namespace {

class TSink : public QObject
{
public:
    long long received = 0;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::User) {
            ++received;
            return true;
        }
        return QObject::event(e);
    }
};

double nanosecondsPerEvent(TSink &sink, long long count)
{
    QEvent e(QEvent::User);
    QElapsedTimer timer;
    timer.start();
    for (long long i = 0; i < count; ++i)
        QCoreApplication::sendEvent(&sink, &e);
    return double(timer.nsecsElapsed()) / double(count);
}

} // namespace

int main(int argc, char **argv)
{
    const long long count = argc > 1 ? std::atoll(argv[1]) : 2000000;
    if (count <= 0) {
        std::fprintf(stderr, "usage: titlepanel_hook_bench [number of events, more than 0]\n");
        return 2;
    }
    // The register watches Qt's delivery from its start on, as in the programs.
    const TUnitRun hooks { &zc_HooksUnit };
    QApplication app(argc, argv);
    TSink sink;
    nanosecondsPerEvent(sink, count / 10); // warm up

    const double none = nanosecondsPerEvent(sink, count);
    double withHook = 0;
    {
        const TUnitRun title { &TitlePanelUnit };
        withHook = nanosecondsPerEvent(sink, count);
    }
    // The register's own share: a hook that does nothing at all.
    QUuid empty = HookRegistry()->AddHook(WH_CALLWNDPROC, [](QObject *, QEvent *) {});
    const double emptyHook = nanosecondsPerEvent(sink, count);
    HookRegistry()->RemoveHook(empty);
    const double after = nanosecondsPerEvent(sink, count);
    std::printf("events: %lld\nno hook installed:      %.1f ns per event\n"
                "title panel focus hook: %.1f ns per event\nan empty hook:          %.1f ns per event\n"
                "hook removed again:     %.1f ns per event\n",
        count, none, withHook, emptyHook, after);
    return sink.received == 0 ? 1 : 0;
}

// The unit CollapsePanel: the trigger thread runs from the unit's start to its finish.

#include "collapsepanel.h"
#include "collapsepanel_trigger.h"

#include <QtDebug>

namespace {

void startCollapsePanel()
{
    SetTriggerThread(TThread::New<TTriggerThread>());
}

void finishCollapsePanel()
{
    if (TTriggerThread *thread = TriggerThread()) {
        // Stopped and waited for here, so that it never ticks into static destruction; a tick stuck
        // on the GUI thread must not hang the exit either, hence the bound.
        const bool stopped = thread->StopAndWait(TThread::ShutdownWaitMs);
        SetTriggerThread(nullptr);
        if (stopped) {
            delete thread;
        } else {
            qWarning(
                "The collapse panels' trigger thread did not stop in time; it frees itself when it ends");
            thread->SetFreeOnTerminate(true);
        }
    }
}

} // namespace

const TUnit CollapsePanelUnit = { "CollapsePanel", startCollapsePanel, finishCollapsePanel };

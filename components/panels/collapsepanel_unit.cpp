// The unit CollapsePanel: the panels' scaler, the holder with the initial style, the style
// registry and the trigger thread, from the unit's start to its finish.

#include "collapsepanel.h"
#include "collapsepanel_trigger.h"
#include "collapsestyle_standard.h"

#include <QtDebug>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<TCollapsePanel::TCollapsePanelScaler> g_scaler;
std::unique_ptr<TCollapseHolder> g_holder;
std::unique_ptr<TCollapsStyles> g_ownedStyles;
bool g_animationEnabled = true;
bool g_animationAllowed = true;

void startCollapsePanel()
{
    g_scaler = Tzc_ScalerWork::Create<TCollapsePanel::TCollapsePanelScaler>();
    if (Tzc_Scaler::TScaleClasses *classes = ScaleClasses())
        classes->Add(&TCollapsePanel::staticMetaObject, g_scaler.get());
    g_animationEnabled = true;
    g_animationAllowed = true;
    g_holder = std::make_unique<TCollapseHolder>();
    g_ownedStyles = std::make_unique<TCollapsStyles>();
    SetCollapsStyles(g_ownedStyles.get());
    // Not registered: CollapsStyle reads empty until another style is installed. Made when a panel
    // first needs it: its sizes, colours and font come from the application, which starts after
    // the units.
    g_holder->SetCollapsStyleClass(CollapsStyleClassOf<TCollapsStyleInvert>());
    RegisterCollapsStyle(u"Standard"_s, CollapsStyleClassOf<TCollapsStyleStandard>(), false);
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
    g_holder.reset();
    SetCollapsStyles(nullptr);
    g_ownedStyles.reset();
    // The scaler leaves the class register as it goes.
    g_scaler.reset();
}

} // namespace

TCollapseHolder *CollapseHolder()
{
    return g_holder.get();
}

TCollapsePanel::TCollapsePanelScaler *CollapsePanelScaler()
{
    return g_scaler.get();
}

Tzc_Scaler *GetCollapsePanelScaler()
{
    if (g_scaler)
        return g_scaler.get();
    return MainScaler();
}

bool AnimationEnabled()
{
    return g_animationEnabled;
}

void SetAnimationEnabled(bool Value)
{
    g_animationEnabled = Value;
}

bool AnimationAllowed()
{
    return g_animationAllowed;
}

void SetAnimationAllowed(bool Value)
{
    g_animationAllowed = Value;
}

QString TCollapsePanel::TCollapsePanelScaler::GetRegistryIdent() const
{
    return u"{5DBF3177-2536-4093-BDDF-CAB96415D72E}"_s;
}

void TCollapsePanel::TCollapsePanelScaler::SetScalePercent(int Value)
{
    Tzc_ScalerWork::SetScalePercent(Value);
    // The style is made again by its name so that its sizes follow; the initial style is not
    // registered, and then only the repaint happens.
    if (TCollapseHolder *holder = CollapseHolder()) {
        holder->SetCollapsStyle(holder->CollapsStyle());
        holder->WMSYSCOLORCHANGE();
    }
}

const TUnit CollapsePanelUnit = { "CollapsePanel", startCollapsePanel, finishCollapsePanel };

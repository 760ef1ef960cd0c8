#include "zc_dialogs.h"

#include "platform/thread.h"

#include <QtGlobal>

#include <utility>

THistorie *Tzc_Dialogs::FHistorie = nullptr;
int Tzc_Dialogs::FUnitCount = 0;

THistorie *Tzc_Dialogs::GetHistorie()
{
    return FHistorie;
}

void Tzc_Dialogs::AddToHistoryStack(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton, const QString &AGuid, quint8 AAnswerTyp,
    TModalResult AResult)
{
    if (TThread::IsGuiThread()) {
        THistorieItem::Create(
            AInstruction, AContent, DlgType, Buttons, DefaultButton, AGuid, AAnswerTyp, AResult);
        return;
    }
    // Not tagged with the calling thread: a worker that ends right after its dialog must not take
    // the entry with it.
    TThread::Queue(nullptr, [=] {
        if (!FHistorie)
            return;
        try {
            THistorieItem::Create(
                AInstruction, AContent, DlgType, Buttons, DefaultButton, AGuid, AAnswerTyp, AResult);
        } catch (const std::exception &e) {
            qWarning("Dialog history entry lost: %s", e.what());
        }
    });
}

void zc_DialogsStart()
{
    // Counted, so that a second run of the units in one process keeps the first one's history.
    if (Tzc_Dialogs::FUnitCount++ > 0)
        return;
    THistorie::FOpenViews = new std::vector<THistorieView *>;
    Tzc_Dialogs::FHistorie = new THistorie;
}

void zc_DialogsFinish()
{
    if (Tzc_Dialogs::FUnitCount == 0 || --Tzc_Dialogs::FUnitCount > 0)
        return;
    delete std::exchange(Tzc_Dialogs::FHistorie, nullptr);
    delete std::exchange(THistorie::FOpenViews, nullptr);
}

const TUnit zc_DialogsUnit = { "zc_Dialogs", zc_DialogsStart, zc_DialogsFinish };

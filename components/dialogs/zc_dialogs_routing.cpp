// Taking over the platform's message dialogs: its MessageDlg*, MessageDlgPos* and ShowMessage* calls
// become service task dialogs without main instruction, with history and the button font.

#include "components/dialogs/zc_dialogs.h"

#include "platform/dialogs.h"

#include <QApplication>

using namespace Qt::StringLiterals;

namespace {

// An application dressed by a style sheet of its own keeps the platform's dialogs, which wear it.
bool customApplicationStyle()
{
    const auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    return app && !app->styleSheet().isEmpty();
}

} // namespace

void Tzc_Dialogs::ExchangeDialogAddress()
{
    if (FRouted || !TaskDialogsAvailable() || customApplicationStyle())
        return;
    FRouted = true;
    SetMessageDlgRoute([](const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X,
                           int Y, const QString &HelpFileName, TMsgDlgBtn DefaultButton) {
        // The platform names a default outside the set when the caller gave none (no OK, no Yes):
        // then the service's own rule picks one.
        const TMsgDlgBtn defaultButton
            = Buttons.Contains(DefaultButton) ? DefaultButton : CalcDefaultButton(Buttons);
        return MessageDlgPosHelp(u"&"_s, Msg, DlgType, Buttons, HelpCtx, X, Y, HelpFileName, defaultButton,
            QString(), {}, 0, nullptr);
    });
    SetShowMessageRoute([](const QString &Msg) { Tzc_Dialogs::ShowMessage(Msg); });
    FUnroute = [] {
        SetMessageDlgRoute(nullptr);
        SetShowMessageRoute(nullptr);
    };
}

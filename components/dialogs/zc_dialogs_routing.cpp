// Taking over the platform's message dialogs: its MessageDlg*, MessageDlgPos* and ShowMessage* calls
// become service task dialogs without main instruction, with history and the button font.

#include "components/dialogs/zc_dialogs.h"

#include "platform/dialogs.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyle>

using namespace Qt::StringLiterals;

namespace {

// The platform's own look is the style Qt gives an application by default (honouring the user's
// -style or QT_STYLE_OVERRIDE); a proxy without a base style is built on exactly that one.
bool systemStyle(const QStyle *AStyle)
{
    const QProxyStyle probe;
    const QStyle *system = probe.baseStyle();
    return AStyle && system && AStyle->name().compare(system->name(), Qt::CaseInsensitive) == 0
        && qstrcmp(AStyle->metaObject()->className(), system->metaObject()->className()) == 0;
}

// An application dressed by a style sheet or a style of its own keeps the platform's dialogs,
// which wear it.
bool customApplicationStyle()
{
    const auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    return app && (!app->styleSheet().isEmpty() || !systemStyle(QApplication::style()));
}

} // namespace

void Tzc_Dialogs::ExchangeDialogAddress()
{
    // The routes lead into the service's state: none while the unit is not running.
    Tzc_DialogService *service = Tzc_DialogService::Running();
    if (!service || service->Routed || !TaskDialogsAvailable() || customApplicationStyle())
        return;
    // Once: a second caller, on whatever thread, finds it taken.
    if (service->Routed.exchange(true))
        return;
    service->Unroute = [] {
        SetMessageDlgRoute(nullptr);
        SetShowMessageRoute(nullptr);
    };
    SetMessageDlgRoute([](const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X,
                           int Y, const QString &HelpFileName, std::optional<TMsgDlgBtn> DefaultButton) {
        return MessageDlgPosHelp(u"&"_s, Msg, DlgType, Buttons, HelpCtx, X, Y, HelpFileName,
            DefaultButton.value_or(DefaultMsgDlgButton(Buttons)), QString(), {}, 0, nullptr);
    });
    SetShowMessageRoute([](const QString &Msg) { Tzc_Dialogs::ShowMessage(Msg); });
}

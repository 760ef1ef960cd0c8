// Taking over the platform's message dialogs: its MessageDlg*, MessageDlgPos* and ShowMessage* calls
// become service task dialogs without main instruction, with history and the button font.

#include "components/dialogs/zc_dialogwidgets.h"

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

void Tzc_DialogWidgets::ExchangeDialogAddress()
{
    if (m_routed || !m_service.UseLatestCommonDialogs() || customApplicationStyle())
        return;
    // Once: a second caller, on whatever thread, finds it taken.
    if (m_routed.exchange(true))
        return;
    // A platform dialog asked for on any thread goes to this service on the GUI thread; once the
    // service is gone (the routes go with it) it is not shown.
    SetMessageDlgRoute(
        [service = m_service.Ref()](const QString &Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
            int HelpCtx, int X, int Y, const QString &HelpFileName, std::optional<TMsgDlgBtn> DefaultButton) {
            return OnGuiThread(service, [&](Tzc_DialogWidgets &AOnGui) {
                return AOnGui.MessageDlgPosHelp(u"&"_s, Msg, DlgType, Buttons, HelpCtx, X, Y, HelpFileName,
                    DefaultButton.value_or(DefaultMsgDlgButton(Buttons)), QString(), {}, 0, nullptr);
            });
        });
    SetShowMessageRoute([service = m_service.Ref()](const QString &Msg) {
        OnGuiThread(service, [&](Tzc_DialogWidgets &AOnGui) { return AOnGui.ShowMessage(Msg); });
    });
}

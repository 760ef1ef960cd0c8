// Tzc_Dialogs forwards to the running service's widgets part; the part's life and what it gives the
// answer store.

#include "components/dialogs/zc_dialogs.h"

#include "components/dialogs/zc_dialoginterface.h"
#include "components/dialogs/zc_dialogs_answers.h"
#include "components/dialogs/zc_dialogwidgets.h"

#include "platform/dialogs.h"

#include <QApplication>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

Tzc_DialogWidgets::Tzc_DialogWidgets(Tzc_DialogService &AService)
    : m_service(AService)
{
    m_service.Answers.SetPlatform(this);
}

Tzc_DialogWidgets::~Tzc_DialogWidgets()
{
    m_service.Answers.SetPlatform(nullptr);
    // The routes lead into this service: the platform's own dialogs come back before it goes.
    if (m_routed.exchange(false)) {
        SetMessageDlgRoute(nullptr);
        SetShowMessageRoute(nullptr);
    }
}

Tzc_DialogWidgets &Tzc_DialogWidgets::Running()
{
    auto *part = dynamic_cast<Tzc_DialogWidgets *>(Tzc_DialogService::Require().Widgets());
    if (!part)
        throw Exception(u"The dialog service has no dialogs: zc_DialogsUnit has not started."_s);
    return *part;
}

Tzc_DialogWidgets *Tzc_DialogWidgets::Of(const Tzc_DialogServiceRef &ARef)
{
    const Tzc_DialogService *service = ARef.Get();
    return service ? dynamic_cast<Tzc_DialogWidgets *>(service->Widgets()) : nullptr;
}

bool Tzc_DialogWidgets::ShiftHeld() const
{
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
}

void Tzc_DialogWidgets::FirstAnswerStored()
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    // Never waits, also on the GUI thread: the caller is still inside the dialog's answer.
    MessageDlgQueued(AutoAnswerNoticeInstruction(), AutoAnswerNoticeContent(), mtInformation, { mbOK }, 0,
        mbOK, QString(), {}, 0, nullptr);
}

// The operations of Tzc_Dialogs, each on the running service.

bool Tzc_Dialogs::InputQuery(
    const QString &ACaption, const QString &APrompt, QString &Value, TDefaultMonitor ADefaultMonitor)
{
    return Tzc_DialogWidgets::Running().InputQuery(ACaption, APrompt, Value, ADefaultMonitor);
}

bool Tzc_Dialogs::SelectDirectory(QString &ADirectory, const QString &AGuid, const QString &ATitle)
{
    return Tzc_DialogWidgets::Running().SelectDirectory(ADirectory, AGuid, ATitle);
}

int Tzc_Dialogs::MessageDlg(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, const Tzc_DialogCallback &ACallback)
{
    return Tzc_DialogWidgets::Running().MessageDlg(AInstruction, AContent, DlgType, Buttons, HelpCtx,
        DefaultButton, AGuid, ASaveAnswerButtons, ATimeOut, ACallback);
}

int Tzc_Dialogs::MessageDlg(const QString &AContent, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx,
    TMsgDlgBtn DefaultButton, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
    const Tzc_DialogCallback &ACallback)
{
    return Tzc_DialogWidgets::Running().MessageDlg(QString(), AContent, DlgType, Buttons, HelpCtx,
        DefaultButton, AGuid, ASaveAnswerButtons, ATimeOut, ACallback);
}

int Tzc_Dialogs::MessageDlg(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons,
    int ATimeOut, const Tzc_DialogCallback &ACallback)
{
    return Tzc_DialogWidgets::Running().MessageDlg(AInstruction, AContent, DlgType, Buttons, HelpCtx,
        CalcDefaultButton(Buttons), AGuid, ASaveAnswerButtons, ATimeOut, ACallback);
}

int Tzc_Dialogs::MessageDlg(const QString &AContent, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx,
    const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
    const Tzc_DialogCallback &ACallback)
{
    return Tzc_DialogWidgets::Running().MessageDlg(QString(), AContent, DlgType, Buttons, HelpCtx,
        CalcDefaultButton(Buttons), AGuid, ASaveAnswerButtons, ATimeOut, ACallback);
}

void Tzc_Dialogs::MessageDlgQueued(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, const QObject *AContext,
    const Tzc_Dialog_ThreadResult &AMessageResult)
{
    Tzc_DialogWidgets::Running().MessageDlgQueued(AInstruction, AContent, DlgType, Buttons, HelpCtx,
        DefaultButton, AGuid, ASaveAnswerButtons, ATimeOut, AContext, AMessageResult);
}

void Tzc_Dialogs::MessageDlgQueued(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, TThread *AContext,
    const Tzc_Dialog_ThreadResult &AMessageResult)
{
    Tzc_DialogWidgets::Running().MessageDlgQueued(AInstruction, AContent, DlgType, Buttons, HelpCtx,
        DefaultButton, AGuid, ASaveAnswerButtons, ATimeOut, AContext, AMessageResult);
}

void Tzc_Dialogs::MessageDlgQueued(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, Tzc_Dialog_ThreadResultFunction AMessageResult)
{
    Tzc_DialogWidgets::Running().MessageDlgQueued(AInstruction, AContent, DlgType, Buttons, HelpCtx,
        DefaultButton, AGuid, ASaveAnswerButtons, ATimeOut, AMessageResult);
}

std::shared_ptr<Izc_DialogInterface> Tzc_Dialogs::MessageDlgInterface(const QString &AInstruction,
    const QString &AContent, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int ATimeOut,
    int ATimeOutResult, const Tzc_DialogCallback &ACallback)
{
    return Tzc_DialogWidgets::Running().MessageDlgInterface(AInstruction, AContent, DlgType, Buttons, HelpCtx,
        QString(), {}, ATimeOut, ATimeOutResult, ACallback);
}

std::shared_ptr<Izc_DialogInterface> Tzc_Dialogs::MessageDlgInterface(const QString &AInstruction,
    const QString &AContent, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, int ATimeOutResult, const Tzc_DialogCallback &ACallback)
{
    return Tzc_DialogWidgets::Running().MessageDlgInterface(AInstruction, AContent, DlgType, Buttons, HelpCtx,
        AGuid, ASaveAnswerButtons, ATimeOut, ATimeOutResult, ACallback);
}

int Tzc_Dialogs::MessageDlgCallbackContinued(const QString &AInstruction, const QString &AContent,
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton,
    const Tzc_DialogCallbackContinued &ACallback, int AInterval)
{
    return Tzc_DialogWidgets::Running().MessageDlgCallbackContinued(
        AInstruction, AContent, DlgType, Buttons, HelpCtx, DefaultButton, ACallback, AInterval);
}

int Tzc_Dialogs::MessageDlgPosHelp(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName, TMsgDlgBtn DefaultButton,
    const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
    const Tzc_DialogCallback &ACallback)
{
    return Tzc_DialogWidgets::Running().MessageDlgPosHelp(AInstruction, AContent, DlgType, Buttons, HelpCtx,
        X, Y, HelpFileName, DefaultButton, AGuid, ASaveAnswerButtons, ATimeOut, ACallback);
}

int Tzc_Dialogs::DoMessageDlgPosHelp(
    TDialogHolder<TMessageForm> MessageDialog, int HelpCtx, int X, int Y, const QString &HelpFileName)
{
    return Tzc_DialogWidgets::DoMessageDlgPosHelp(std::move(MessageDialog), HelpCtx, X, Y, HelpFileName);
}

int Tzc_Dialogs::ShowMessage(const QString &Msg)
{
    return Tzc_DialogWidgets::Running().ShowMessage(Msg);
}

bool Tzc_Dialogs::FileOverWriteQuestionWhenExists(const QString &AFilename)
{
    return Tzc_DialogWidgets::Running().FileOverWriteQuestionWhenExists(AFilename);
}

QFont Tzc_Dialogs::GetButtonFont()
{
    // Outside a run there is nothing to keep it in.
    const Tzc_DialogService *service = Tzc_DialogService::Running();
    return service && service->Widgets() ? Tzc_DialogWidgets::Running().GetButtonFont()
                                         : Tzc_DialogWidgets::CurrentButtonFont();
}

void Tzc_Dialogs::ExchangeDialogAddress()
{
    Tzc_DialogWidgets::Running().ExchangeDialogAddress();
}

const TUnit zc_DialogsUnit = { "zc_Dialogs",
    [] {
        Tzc_DialogService::Start(
            [](Tzc_DialogService &AService) -> std::unique_ptr<Tzc_DialogService::TWidgetsPart> {
                return std::make_unique<Tzc_DialogWidgets>(AService);
            });
    },
    [] { Tzc_DialogService::Finish(); } };

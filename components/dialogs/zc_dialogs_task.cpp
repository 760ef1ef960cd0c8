// The dialogs of the service: the task path with its steps, the classic path, and the overloads and
// questions built on them.

#include "components/dialogs/zc_customtaskdialog.h"
#include "components/dialogs/zc_dialogs.h"
#include "components/dialogs/zc_dialogs_answers.h"
#include "components/dialogs/zc_dialogwidgets.h"

#include "platform/dialogbuilder.h"
#include "platform/dialogs.h"
#include "platform/textformat.h"
#include "platform/thread.h"
#include "platform/widgets/application.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QMainWindow>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString NoInstruction = u"&"_s;

// The application's main window: a top-level QMainWindow, a visible one first.
QWidget *applicationMainWindow()
{
    QWidget *found = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!qobject_cast<QMainWindow *>(w))
            continue;
        if (w->isVisible())
            return w;
        if (!found)
            found = w;
    }
    return found;
}

} // namespace

// One call of the task path on the GUI thread: its arguments, the dialog and the answer.
struct Tzc_DialogWidgets::TTaskRun
{
    TTaskRun(const QString &AInstruction, const QString &AContent, TMsgDlgType ADlgType,
        TMsgDlgButtons AButtons, int AHelpCtx, TMsgDlgBtn ADefaultButton, const QString &AGuid,
        TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, const Tzc_DialogCallback &ACallback)
        : Instruction(AInstruction)
        , Content(AContent)
        , DlgType(ADlgType)
        , Buttons(AButtons)
        , HelpCtx(AHelpCtx)
        , DefaultButton(ADefaultButton)
        , Guid(AGuid)
        , SaveAnswerButtons(ASaveAnswerButtons)
        , TimeOut(ATimeOut)
        , Callback(ACallback)
    {
    }

    const QString &Instruction;
    const QString &Content;
    TMsgDlgType DlgType;
    TMsgDlgButtons Buttons;
    int HelpCtx;
    TMsgDlgBtn DefaultButton;
    const QString &Guid;
    TMsgDlgButtons SaveAnswerButtons;
    int TimeOut;
    const Tzc_DialogCallback &Callback;

    TModalResult Result = mrNone;
    quint8 AnswerTyp = AnswerTypNone;
    std::unique_ptr<Tzc_CustomTaskDialog> Dialog;
    // The enabled default button a time-out would press; null when there is none.
    TTaskDialogButtonItem *TimeOutButton = nullptr;
    // Declared after Dialog, so that it also goes first when the run is destroyed.
    std::unique_ptr<TMessageDlgTimeOutHandler> TimeOutHandler;

    bool TimeOutRaised() const { return TimeOutHandler && TimeOutHandler->TimeOutRaised(); }
    // The time-out handler first (it refers to the dialog), then the dialog.
    void Free()
    {
        TimeOutHandler.reset();
        Dialog.reset();
    }
};

QFont Tzc_DialogWidgets::CurrentButtonFont()
{
    const QWidget *main = applicationMainWindow();
    return main ? main->font() : QApplication::font();
}

QFont Tzc_DialogWidgets::GetButtonFont()
{
    if (!m_buttonFont)
        m_buttonFont = CurrentButtonFont();
    return *m_buttonFont;
}

int Tzc_DialogWidgets::MessageDlg(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, const Tzc_DialogCallback &ACallback)
{
    QString guid = AGuid.trimmed().toUpper();
    if (!guid.isEmpty())
        guid = Tzc_Dialogs::CheckGuid(guid);
    return MessageDlgPosHelp(AInstruction, AContent, DlgType, Buttons, HelpCtx, -1, -1, QString(),
        DefaultButton, guid, ASaveAnswerButtons, ATimeOut, ACallback);
}

int Tzc_DialogWidgets::MessageDlgPosHelp(const QString &AInstruction, const QString &AContent,
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName,
    TMsgDlgBtn DefaultButton, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
    const Tzc_DialogCallback &ACallback)
{
    // Qt's task dialog runs wherever its widgets do: the switch alone chooses the path. The task
    // dialog places itself on its parent: X, Y and the help file have no part in it.
    if (m_service.UseLatestCommonDialogs())
        return DoTaskMessageDlgPosHelp(AInstruction, AContent, DlgType, Buttons, HelpCtx, DefaultButton,
            AGuid, ASaveAnswerButtons, ATimeOut, ACallback);
    return DoClassicMessageDlgPosHelp(
        AInstruction, AContent, DlgType, Buttons, HelpCtx, X, Y, HelpFileName, DefaultButton);
}

int Tzc_DialogWidgets::DoMessageDlgPosHelp(
    TDialogHolder<TMessageForm> MessageDialog, int HelpCtx, int X, int Y, const QString &HelpFileName)
{
    // The holder frees the form on every way out, also when showing raises.
    MessageDialog->SetHelpContext(HelpCtx);
    MessageDialog->SetHelpFile(HelpFileName);
    MessageDialog->SetPosition(X, Y);
    return MessageDialog->ShowModal();
}

int Tzc_DialogWidgets::DoClassicMessageDlgPosHelp(const QString &AInstruction, const QString &AContent,
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName,
    TMsgDlgBtn DefaultButton)
{
    if (!TThread::IsGuiThread())
        return OnGuiThread(m_service.Ref(), [&](Tzc_DialogWidgets &AOnGui) {
            return AOnGui.DoClassicMessageDlgPosHelp(
                AInstruction, AContent, DlgType, Buttons, HelpCtx, X, Y, HelpFileName, DefaultButton);
        });
    // The marker only says "no headline"; as a first line of the text it would mean nothing.
    const QString instruction = AInstruction == NoInstruction ? QString() : AInstruction;
    const QString text = trimControls(instruction + u'\r' + AContent);
    const int result = DoMessageDlgPosHelp(
        CreateMessageDialog(text, DlgType, Buttons, DefaultButton), HelpCtx, X, Y, HelpFileName);
    m_service.AddToHistoryStack(
        QString(), text, DlgType, Buttons, DefaultButton, QString(), AnswerTypOldStyle, result);
    return result;
}

int Tzc_DialogWidgets::DoTaskMessageDlgPosHelp(const QString &AInstruction, const QString &AContent,
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, const Tzc_DialogCallback &ACallback)
{
    if (!TThread::IsGuiThread())
        return OnGuiThread(m_service.Ref(), [&](Tzc_DialogWidgets &AOnGui) {
            return AOnGui.DoTaskMessageDlgPosHelp(AInstruction, AContent, DlgType, Buttons, HelpCtx,
                DefaultButton, AGuid, ASaveAnswerButtons, ATimeOut, ACallback);
        });

    TTaskRun run(AInstruction, AContent, DlgType, Buttons, HelpCtx, DefaultButton, AGuid, ASaveAnswerButtons,
        ATimeOut, ACallback);
    if (TaskLookUpStoredAnswer(run)) {
        run.AnswerTyp = AnswerTypAutomatic;
        TaskRecord(run);
        return run.Result;
    }
    // The application hears of the modal state before the dialog is built and after it is freed,
    // also when building or showing it raised.
    TApplication::ModalStarted();
    try {
        TaskBuildDialog(run);
        TaskArmTimeOut(run);
        TaskOfferRemember(run);
        TaskShowDialog(run);
        TaskStoreAnswer(run);
    } catch (...) {
        run.Free();
        TApplication::ModalFinished();
        TaskRecord(run);
        throw;
    }
    run.Free();
    TApplication::ModalFinished();
    TaskRecord(run);
    return run.Result;
}

bool Tzc_DialogWidgets::TaskLookUpStoredAnswer(TTaskRun &ARun)
{
    const std::optional<TModalResult> stored = m_service.Answers.Lookup(ARun.Guid, ARun.Buttons);
    if (!stored)
        return false;
    ARun.Result = *stored;
    return true;
}

void Tzc_DialogWidgets::TaskBuildDialog(TTaskRun &ARun)
{
    ARun.Dialog = std::make_unique<Tzc_CustomTaskDialog>();
    Tzc_CustomTaskDialog &dialog = *ARun.Dialog;
    dialog.OnDialogConstructed
        = [this](TCustomTaskDialog *Sender) { ApplyDialogFont(Sender->Handle(), GetButtonFont()); };
    BuildTaskMessageDialog(dialog, ARun.DlgType, ARun.Buttons, ARun.DefaultButton, ARun.HelpCtx);
    // The application's title, the caption of mtCustom, may be as long as any text.
    const QString caption = dialog.Caption();
    dialog.SetCaption(Tzc_Dialogs::BreakLongRuns(caption));
    if (QGuiApplication::isRightToLeft())
        dialog.SetFlags(dialog.Flags() | tfRtlLayout);
    dialog.SetText(Tzc_Dialogs::BreakLongRuns(ARun.Content));
    if (ARun.Instruction.isEmpty() && ARun.DlgType != mtCustom)
        dialog.SetTitle(caption);
    else if (ARun.Instruction != NoInstruction)
        dialog.SetTitle(Tzc_Dialogs::BreakLongRuns(ARun.Instruction));
    // Last, so that what the callback changes (text, icon, buttons) is what is shown and timed.
    if (ARun.Callback)
        ARun.Callback(&dialog);
}

void Tzc_DialogWidgets::TaskArmTimeOut(TTaskRun &ARun)
{
    if (ARun.TimeOut <= 0)
        return;
    for (int i = 0; i < ARun.Dialog->ButtonCount() && !ARun.TimeOutButton; ++i) {
        TTaskDialogButtonItem *b = ARun.Dialog->Buttons(i);
        if (b->Enabled() && b->Default())
            ARun.TimeOutButton = b;
    }
    // Without an enabled default button the dialog waits for the user.
    if (ARun.TimeOutButton)
        ARun.TimeOutHandler = std::make_unique<TMessageDlgTimeOutHandler>(
            ARun.Dialog.get(), ARun.TimeOutButton, ARun.TimeOut);
}

void Tzc_DialogWidgets::TaskOfferRemember(TTaskRun &ARun)
{
    const QString text = m_service.Answers.VerificationText(ARun.Guid, ARun.Dialog->ButtonCount());
    if (text.isEmpty())
        return; // nothing can be remembered: a check box the callback set stays as it is
    Tzc_CustomTaskDialog &dialog = *ARun.Dialog;
    dialog.SetFlags(dialog.Flags() & ~TTaskDialogFlags(tfVerificationFlagChecked));
    dialog.SetVerificationText(text);
}

void Tzc_DialogWidgets::TaskShowDialog(TTaskRun &ARun)
{
    QWidget *parent = QApplication::activeWindow();
    if (!parent || !parent->isVisible())
        parent = applicationMainWindow();
    if (parent && !parent->isVisible())
        parent = nullptr; // a hidden window would hide the dialog's place
    if (!ARun.Dialog->Execute(parent))
        return; // result 0, answered by nobody
    ARun.AnswerTyp = ARun.TimeOutRaised() ? AnswerTypTimeOut : AnswerTypUser;
    ARun.Result = ARun.Dialog->ModalResult();
}

void Tzc_DialogWidgets::TaskStoreAnswer(TTaskRun &ARun)
{
    m_service.Answers.AfterDialog(ARun.Guid, ARun.Result,
        ARun.Dialog->Flags().testFlag(tfVerificationFlagChecked), ARun.SaveAnswerButtons);
}

void Tzc_DialogWidgets::TaskRecord(const TTaskRun &ARun)
{
    m_service.AddToHistoryStack(ARun.Instruction, ARun.Content, ARun.DlgType, ARun.Buttons,
        ARun.DefaultButton, ARun.Guid, ARun.AnswerTyp, ARun.Result);
}

int Tzc_DialogWidgets::ShowMessage(const QString &Msg)
{
    return MessageDlg(NoInstruction, Msg, mtCustom, { mbOK }, 0, Tzc_Dialogs::CalcDefaultButton({ mbOK }),
        QString(), {}, 0, nullptr);
}

bool Tzc_DialogWidgets::FileOverWriteQuestionWhenExists(const QString &AFilename)
{
    const QFileInfo file(AFilename);
    if (!file.exists() || file.isDir())
        return true;
    const QString content
        = QStringLiteral("Die Datei \"%1\" ist bereits vorhanden.\rSoll die Datei überschrieben werden?")
              .arg(file.fileName());
    return MessageDlg(QStringLiteral("Überschreiben?"), content, mtConfirmation, { mbYes, mbNo }, 0,
               Tzc_Dialogs::CalcDefaultButton({ mbYes, mbNo }), QString(), {}, 0, nullptr)
        == mrYes;
}

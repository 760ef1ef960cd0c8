// The dialogs of the service: the task path with its steps, the classic path, and the overloads and
// questions built on them.

#include "components/dialogs/zc_customtaskdialog.h"
#include "components/dialogs/zc_dialogs.h"
#include "components/dialogs/zc_dialogs_answers.h"

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

// Runs Call on the GUI thread and waits for it; a call the GUI thread will no longer run (the
// application is going) answers 0 instead of waiting for ever.
template <class F> int onGuiThread(F &&Call)
{
    int result = mrNone;
    if (!TThread::Synchronize(TThread::CurrentThread(), [&] { result = Call(); }))
        return mrNone;
    return result;
}

} // namespace

// One call of the task path on the GUI thread: its arguments, the dialog and the answer.
struct Tzc_Dialogs::TTaskRun
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

QFont Tzc_Dialogs::GetButtonFont()
{
    Tzc_DialogService *service = Tzc_DialogService::Running();
    const QWidget *main = applicationMainWindow();
    const QFont font = main ? main->font() : QApplication::font();
    if (!service)
        return font; // nothing to keep it in
    if (!service->ButtonFont.isValid())
        service->ButtonFont = QVariant::fromValue(font);
    return service->ButtonFont.value<QFont>();
}

int Tzc_Dialogs::MessageDlg(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, const Tzc_DialogCallback &ACallback)
{
    QString guid = AGuid.trimmed().toUpper();
    if (!guid.isEmpty())
        guid = CheckGuid(guid);
    return MessageDlgPosHelp(AInstruction, AContent, DlgType, Buttons, HelpCtx, -1, -1, QString(),
        DefaultButton, guid, ASaveAnswerButtons, ATimeOut, ACallback);
}

int Tzc_Dialogs::MessageDlg(const QString &AContent, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx,
    TMsgDlgBtn DefaultButton, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
    const Tzc_DialogCallback &ACallback)
{
    return MessageDlg(QString(), AContent, DlgType, Buttons, HelpCtx, DefaultButton, AGuid,
        ASaveAnswerButtons, ATimeOut, ACallback);
}

int Tzc_Dialogs::MessageDlg(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons,
    int ATimeOut, const Tzc_DialogCallback &ACallback)
{
    return MessageDlg(AInstruction, AContent, DlgType, Buttons, HelpCtx, CalcDefaultButton(Buttons), AGuid,
        ASaveAnswerButtons, ATimeOut, ACallback);
}

int Tzc_Dialogs::MessageDlg(const QString &AContent, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx,
    const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
    const Tzc_DialogCallback &ACallback)
{
    return MessageDlg(
        QString(), AContent, DlgType, Buttons, HelpCtx, AGuid, ASaveAnswerButtons, ATimeOut, ACallback);
}

int Tzc_Dialogs::MessageDlgPosHelp(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName, TMsgDlgBtn DefaultButton,
    const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
    const Tzc_DialogCallback &ACallback)
{
    if (TaskDialogsAvailable())
        return DoTaskMessageDlgPosHelp(AInstruction, AContent, DlgType, Buttons, HelpCtx, X, Y, HelpFileName,
            DefaultButton, AGuid, ASaveAnswerButtons, ATimeOut, ACallback);
    return DoClassicMessageDlgPosHelp(
        AInstruction, AContent, DlgType, Buttons, HelpCtx, X, Y, HelpFileName, DefaultButton);
}

int Tzc_Dialogs::DoMessageDlgPosHelp(
    TDialogHolder<TMessageForm> MessageDialog, int HelpCtx, int X, int Y, const QString &HelpFileName)
{
    // The holder frees the form on every way out, also when showing raises.
    MessageDialog->SetHelpContext(HelpCtx);
    MessageDialog->SetHelpFile(HelpFileName);
    MessageDialog->SetPosition(X, Y);
    return MessageDialog->ShowModal();
}

int Tzc_Dialogs::DoClassicMessageDlgPosHelp(const QString &AInstruction, const QString &AContent,
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName,
    TMsgDlgBtn DefaultButton)
{
    if (!TThread::IsGuiThread())
        return onGuiThread([&] {
            return DoClassicMessageDlgPosHelp(
                AInstruction, AContent, DlgType, Buttons, HelpCtx, X, Y, HelpFileName, DefaultButton);
        });
    // The marker only says "no headline"; as a first line of the text it would mean nothing.
    const QString instruction = AInstruction == NoInstruction ? QString() : AInstruction;
    const QString text = trimControls(instruction + u'\r' + AContent);
    const int result = DoMessageDlgPosHelp(
        CreateMessageDialog(text, DlgType, Buttons, DefaultButton), HelpCtx, X, Y, HelpFileName);
    RecordDialog(QString(), text, DlgType, Buttons, DefaultButton, QString(), AnswerTypOldStyle, result);
    return result;
}

int Tzc_Dialogs::DoTaskMessageDlgPosHelp(const QString &AInstruction, const QString &AContent,
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName,
    TMsgDlgBtn DefaultButton, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
    const Tzc_DialogCallback &ACallback)
{
    if (!TThread::IsGuiThread())
        return onGuiThread([&] {
            return DoTaskMessageDlgPosHelp(AInstruction, AContent, DlgType, Buttons, HelpCtx, X, Y,
                HelpFileName, DefaultButton, AGuid, ASaveAnswerButtons, ATimeOut, ACallback);
        });

    // The task dialog places itself on its parent: X, Y and the help file have no part in it.
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

bool Tzc_Dialogs::TaskLookUpStoredAnswer(TTaskRun &ARun)
{
    const std::optional<TModalResult> stored = AutoAnswersLookup(ARun.Guid, ARun.Buttons);
    if (!stored)
        return false;
    ARun.Result = *stored;
    return true;
}

void Tzc_Dialogs::TaskBuildDialog(TTaskRun &ARun)
{
    ARun.Dialog = std::make_unique<Tzc_CustomTaskDialog>();
    Tzc_CustomTaskDialog &dialog = *ARun.Dialog;
    dialog.OnDialogConstructed
        = [](TCustomTaskDialog *Sender) { ApplyDialogFont(Sender->Handle(), GetButtonFont()); };
    BuildTaskMessageDialog(dialog, ARun.DlgType, ARun.Buttons, ARun.DefaultButton, ARun.HelpCtx);
    // The application's title, the caption of mtCustom, may be as long as any text.
    const QString caption = dialog.Caption();
    dialog.SetCaption(BreakLongRuns(caption));
    if (QGuiApplication::isRightToLeft())
        dialog.SetFlags(dialog.Flags() | tfRtlLayout);
    dialog.SetText(BreakLongRuns(ARun.Content));
    if (ARun.Instruction.isEmpty() && ARun.DlgType != mtCustom)
        dialog.SetTitle(caption);
    else if (ARun.Instruction != NoInstruction)
        dialog.SetTitle(BreakLongRuns(ARun.Instruction));
    // Last, so that what the callback changes (text, icon, buttons) is what is shown and timed.
    if (ARun.Callback)
        ARun.Callback(&dialog);
}

void Tzc_Dialogs::TaskArmTimeOut(TTaskRun &ARun)
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

void Tzc_Dialogs::TaskOfferRemember(TTaskRun &ARun)
{
    const QString text = AutoAnswersVerificationText(ARun.Guid, ARun.Dialog->ButtonCount());
    if (text.isEmpty())
        return; // nothing can be remembered: a check box the callback set stays as it is
    Tzc_CustomTaskDialog &dialog = *ARun.Dialog;
    dialog.SetFlags(dialog.Flags() & ~TTaskDialogFlags(tfVerificationFlagChecked));
    dialog.SetVerificationText(text);
}

void Tzc_Dialogs::TaskShowDialog(TTaskRun &ARun)
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

void Tzc_Dialogs::TaskStoreAnswer(TTaskRun &ARun)
{
    AutoAnswersAfterDialog(ARun.Guid, ARun.Result, ARun.Dialog->Flags().testFlag(tfVerificationFlagChecked),
        ARun.SaveAnswerButtons);
}

void Tzc_Dialogs::TaskRecord(const TTaskRun &ARun)
{
    RecordDialog(ARun.Instruction, ARun.Content, ARun.DlgType, ARun.Buttons, ARun.DefaultButton, ARun.Guid,
        ARun.AnswerTyp, ARun.Result);
}

int Tzc_Dialogs::ShowMessage(const QString &Msg)
{
    return MessageDlg(NoInstruction, Msg, mtCustom, { mbOK }, 0, QString(), {}, 0, nullptr);
}

bool Tzc_Dialogs::FileOverWriteQuestionWhenExists(const QString &AFilename)
{
    const QFileInfo file(AFilename);
    if (!file.exists() || file.isDir())
        return true;
    const QString content
        = QStringLiteral("Die Datei \"%1\" ist bereits vorhanden.\rSoll die Datei überschrieben werden?")
              .arg(file.fileName());
    return MessageDlg(QStringLiteral("Überschreiben?"), content, mtConfirmation, { mbYes, mbNo }, 0,
               QString(), {}, 0, nullptr)
        == mrYes;
}

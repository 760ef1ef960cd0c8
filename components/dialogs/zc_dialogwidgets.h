#pragma once
// The dialog service's widgets part: the dialogs themselves (task and classic path, queued dialogs,
// dialog interfaces, dialogs with a periodic callback, input and folder dialogs), the button font
// and the routes of the platform's dialogs. Made by the start of zc_DialogsUnit and owned by the
// run's Tzc_DialogService; Tzc_Dialogs forwards to it.

#include "components/dialogs/zc_dialogs.h"
#include "platform/thread.h"

#include <QFont>

#include <atomic>
#include <memory>
#include <optional>

class Tzc_DialogWidgets final : public Tzc_DialogService::TWidgetsPart, private Izc_AutoAnswerPlatform
{
public:
    explicit Tzc_DialogWidgets(Tzc_DialogService &AService);
    // Gives the platform's dialogs back when they were routed here.
    ~Tzc_DialogWidgets() override;

    // The running unit's part; raises Exception while zc_DialogsUnit is not running.
    static Tzc_DialogWidgets &Running();
    // The part of the service ARef names, or null once that service is gone (or has no dialogs).
    static Tzc_DialogWidgets *Of(const Tzc_DialogServiceRef &ARef);

    // Runs ACall with the part of the service ARef names on the GUI thread and waits for it. Gives 0
    // without running it when that service is gone by then, or the application is going.
    template <class F> static int OnGuiThread(const Tzc_DialogServiceRef &ARef, F &&ACall)
    {
        int result = mrNone;
        if (!TThread::Synchronize(TThread::CurrentThread(), [&] {
                if (Tzc_DialogWidgets *part = Of(ARef))
                    result = ACall(*part);
            }))
            return mrNone;
        return result;
    }

    Tzc_DialogService &Service() const { return m_service; }

    // The operations of Tzc_Dialogs of the same names; see there.
    int MessageDlg(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
        TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, const Tzc_DialogCallback &ACallback);
    int MessageDlgPosHelp(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName,
        TMsgDlgBtn DefaultButton, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
        const Tzc_DialogCallback &ACallback);
    static int DoMessageDlgPosHelp(
        TDialogHolder<TMessageForm> MessageDialog, int HelpCtx, int X, int Y, const QString &HelpFileName);
    int ShowMessage(const QString &Msg);
    bool FileOverWriteQuestionWhenExists(const QString &AFilename);
    QFont GetButtonFont();
    // The button font a service would take now.
    static QFont CurrentButtonFont();

    void MessageDlgQueued(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
        TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, const QObject *AContext,
        const Tzc_Dialog_ThreadResult &AMessageResult);
    void MessageDlgQueued(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
        TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, TThread *AContext,
        const Tzc_Dialog_ThreadResult &AMessageResult);
    void MessageDlgQueued(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
        TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, Tzc_Dialog_ThreadResultFunction AMessageResult);
    std::shared_ptr<Izc_DialogInterface> MessageDlgInterface(const QString &AInstruction,
        const QString &AContent, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx,
        const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, int ATimeOutResult,
        const Tzc_DialogCallback &ACallback);
    int MessageDlgCallbackContinued(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton,
        const Tzc_DialogCallbackContinued &ACallback, int AInterval);

    bool InputQuery(
        const QString &ACaption, const QString &APrompt, QString &Value, TDefaultMonitor ADefaultMonitor);
    bool SelectDirectory(QString &ADirectory, const QString &AGuid, const QString &ATitle);

    void ExchangeDialogAddress();

private:
    struct TTaskRun;

    bool ShiftHeld() const override;
    void FirstAnswerStored() override;

    // The task path, including the hand-over to the GUI thread, and its steps there, in order.
    int DoTaskMessageDlgPosHelp(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
        TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, const Tzc_DialogCallback &ACallback);
    bool TaskLookUpStoredAnswer(TTaskRun &ARun);
    void TaskBuildDialog(TTaskRun &ARun);
    void TaskArmTimeOut(TTaskRun &ARun);
    void TaskOfferRemember(TTaskRun &ARun);
    void TaskShowDialog(TTaskRun &ARun);
    void TaskStoreAnswer(TTaskRun &ARun);
    void TaskRecord(const TTaskRun &ARun);
    int DoClassicMessageDlgPosHelp(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName,
        TMsgDlgBtn DefaultButton);
    // Normalises the GUID at once, then shows the dialog from a worker of its own, which hands the
    // result to AHandOver, when set.
    void StartQueuedDialog(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
        TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, std::function<void(int AResult)> AHandOver);

    Tzc_DialogService &m_service;
    std::optional<QFont> m_buttonFont;
    std::atomic<bool> m_routed { false };
};

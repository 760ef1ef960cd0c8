#pragma once
// Tzc_Dialogs: the library's process-wide message-dialog service. It has no instances: every
// operation forwards to the Tzc_DialogService that lives from the start of zc_DialogsUnit to its
// finish, whose widgets part (Tzc_DialogWidgets, zc_dialogwidgets.h) shows the dialogs. The part
// that needs no widgets is Tzc_DialogsCore (zc_dialogs_core.h). The dialogs raise Exception while
// the unit is not running.

#include "components/dialogs/zc_dialogs_core.h"
#include "components/dialogs/zc_dialogs_input.h"

#include <functional>
#include <memory>
#include <optional>

class QFont;
class QObject;
class TMessageForm;
class TThread;
class Tzc_CustomTaskDialog;
template <class T> class TDialogHolder;

class Izc_DialogInterface;

// Customises a service task dialog once it is filled and before it is shown.
using Tzc_DialogCallback = std::function<void(Tzc_CustomTaskDialog *ADialog)>;
// Receives the modal result of a queued dialog, once, on the GUI thread, unless its context is gone.
using Tzc_Dialog_ThreadResult = std::function<void(qint32 AResultValue)>;
// A result that can use nothing freed meanwhile: a plain function, or a lambda without captures.
using Tzc_Dialog_ThreadResultFunction = void (*)(qint32 AResultValue);
// Called with AFirst true once the dialog is filled, then periodically with false while it is open.
using Tzc_DialogCallbackContinued = std::function<void(Tzc_CustomTaskDialog *ADialog, bool AFirst)>;
// Called once, on the GUI thread, after a dialog interface has its result.
using Tzc_DialogInterfaceResultCallback = std::function<void(const std::shared_ptr<Izc_DialogInterface> &)>;

class Tzc_Dialogs : public Tzc_DialogsCore
{
public:
    Tzc_Dialogs() = delete;

    // --- Input and folder dialogs -------------------------------------------------------------
    // A one-line text input, true with the edited text in Value on OK; Value stays on Cancel or
    // Escape. Typing stops at 255 characters; a longer Value is shown and kept in full.
    static bool InputQuery(const QString &ACaption, const QString &APrompt, QString &Value,
        TDefaultMonitor ADefaultMonitor = dmActiveForm);
    // A folder picker, true with the chosen folder, ending in "/", in ADirectory. Starts in
    // ADirectory, or when that is empty in the folder remembered under AGuid (when it still
    // exists); an existing chosen folder is remembered under AGuid as written.
    static bool SelectDirectory(QString &ADirectory, const QString &AGuid, const QString &ATitle);

    // --- Message dialogs ------------------------------------------------------------------------
    // The dialogs live in pravik_dialogs (widgets); the texts and tables beside them need QtCore only.
    // A dialog asked for from any thread is shown on the GUI thread while the caller waits; a caller
    // that waits while the application goes gets 0. Every dialog is recorded in the history.

    // Instruction "&": no main instruction at all; an empty instruction shows the type's caption.
    // The GUID is normalised (CheckGuid); raises what CheckGuid raises.
    static int MessageDlg(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
        TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, const Tzc_DialogCallback &ACallback);
    static int MessageDlg(const QString &AContent, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx,
        TMsgDlgBtn DefaultButton, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
        const Tzc_DialogCallback &ACallback);
    // The default button from CalcDefaultButton.
    static int MessageDlg(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, int HelpCtx, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons,
        int ATimeOut, const Tzc_DialogCallback &ACallback);
    static int MessageDlg(const QString &AContent, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx,
        const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
        const Tzc_DialogCallback &ACallback);
    // --- Dialogs that do not keep their caller waiting (zc_dialogs_queued.cpp) --------------------
    // Return at once, also on the GUI thread; a worker thread waits for the dialog (MessageDlg with
    // these arguments and no callback) and hands AMessageResult, when set, the result on the GUI
    // thread. Raise what CheckGuid raises, before any dialog. As with Qt's queued connections, a
    // result that uses an object names it as its context, and is dropped when that object is gone by
    // the time it would run, whatever the order of events:
    // - AContext an object of the GUI thread (raises Exception for an object of another thread, or
    //   none, with a result);
    static void MessageDlgQueued(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
        TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, const QObject *AContext,
        const Tzc_Dialog_ThreadResult &AMessageResult);
    // - AContext a thread object, typically the calling worker (raises Exception for none, with a
    //   result); its deletion also waits for a result that is running;
    static void MessageDlgQueued(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
        TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, TThread *AContext,
        const Tzc_Dialog_ThreadResult &AMessageResult);
    // - no context for a plain function, which can use nothing freed (may be null: no result). Called
    //   from a worker, it is still dropped when the worker's thread object is gone.
    static void MessageDlgQueued(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton, const QString &AGuid,
        TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, Tzc_Dialog_ThreadResultFunction AMessageResult);
    // Returns at once a handle on the dialog (see zc_dialoginterface.h); the default button from
    // CalcDefaultButton. ATimeOut presses the button answering ATimeOutResult; the dialog is then
    // recorded as answered by the user.
    static std::shared_ptr<Izc_DialogInterface> MessageDlgInterface(const QString &AInstruction,
        const QString &AContent, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int ATimeOut,
        int ATimeOutResult, const Tzc_DialogCallback &ACallback);
    static std::shared_ptr<Izc_DialogInterface> MessageDlgInterface(const QString &AInstruction,
        const QString &AContent, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx,
        const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, int ATimeOutResult,
        const Tzc_DialogCallback &ACallback);
    // Blocks like MessageDlg. ACallback runs on the GUI thread: with true once the dialog is filled,
    // then every AInterval milliseconds (kept within 10 and 5000) with false while it is open, never
    // after it has closed.
    static int MessageDlgCallbackContinued(const QString &AInstruction, const QString &AContent,
        TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton,
        const Tzc_DialogCallbackContinued &ACallback, int AInterval);

    // The task dialog when task dialogs are available, else the classic message dialog (which uses
    // X, Y and the help file, and neither GUID, save buttons, time-out nor callback).
    static int MessageDlgPosHelp(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName,
        TMsgDlgBtn DefaultButton, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
        const Tzc_DialogCallback &ACallback);
    // Places, shows and frees a created classic dialog; returns its modal result. GUI thread only.
    static int DoMessageDlgPosHelp(
        TDialogHolder<TMessageForm> MessageDialog, int HelpCtx, int X, int Y, const QString &HelpFileName);
    // A custom dialog without main instruction and only OK; returns its result.
    static int ShowMessage(const QString &Msg);
    // True when AFilename names no existing file, or the user answers "Überschreiben?" with Yes.
    static bool FileOverWriteQuestionWhenExists(const QString &AFilename);

    // The font of every service task dialog: the main window's font when one exists at the first
    // call, else the default font; kept until the unit finishes. GUI thread only.
    static QFont GetButtonFont();

    // Routes the platform's MessageDlg*, MessageDlgPos* and ShowMessage* to the service (without
    // main instruction; without a default button named by the caller, CalcDefaultButton's), unless
    // task dialogs are unavailable or the application has a style sheet or a style of its own (one
    // set with QApplication::setStyle that is not the system's). Once on, it stays on until the unit
    // finishes; a second call changes nothing. Safe while other threads show dialogs.
    static void ExchangeDialogAddress();
};

// The dialog service with its dialogs. Start: a new service (the empty history and its list of open
// views, no answer store, no button font, latest dialogs on, nothing routed); a nested run shares
// it. Finish: the platform's own dialogs back, then the service freed, the answer store's factory
// with it.
extern const TUnit zc_DialogsUnit;

#pragma once
// The dialog service's part that needs QtCore only (pravik_dialogs_core): its state, owned by unit
// zc_Dialogs, and the operations on it and on texts that need no widgets. Tzc_Dialogs
// (zc_dialogs.h, pravik_dialogs) adds the dialogs and is what callers use.

#include "components/dialogs/zc_dialogs_history.h"
#include "platform/exception.h"
#include "platform/settingsstore.h"
#include "platform/units.h"

#include <QVariant>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// The service's state: created by the start of unit zc_Dialogs, freed by its finish. Only the GUI
// thread touches the history, the views, the answer store's factory, the Shift reader and the font;
// the switch and the routes' flag are read from any thread.
class Tzc_DialogService
{
public:
    // Every call returns a new, opened store; see Tzc_Dialogs::SetAutoAnswersRegistryCreate.
    using TAutoAnswersRegistryCreate = std::function<std::unique_ptr<TRegistry>()>;
    using TShiftStateReader = std::function<bool()>;

    Tzc_DialogService();
    ~Tzc_DialogService();
    Tzc_DialogService(const Tzc_DialogService &) = delete;
    Tzc_DialogService &operator=(const Tzc_DialogService &) = delete;

    // The running unit's service; null before the unit starts and after it finishes.
    static Tzc_DialogService *Running();

    THistorie Historie;
    // Open history views, in the order they were opened.
    std::vector<THistorieView *> OpenViews;
    TAutoAnswersRegistryCreate AutoAnswersRegistryCreate;
    TShiftStateReader ShiftStateReader;
    QVariant ButtonFont; // a QFont once made; QtCore keeps it without knowing fonts
    std::atomic<bool> UseLatestCommonDialogs { true };
    std::atomic<bool> Routed { false };
    // Hands the platform's dialogs back; set with the routes, which live in the widgets' library.
    std::atomic<void (*)()> Unroute { nullptr };

private:
    friend void zc_DialogsStart();
    friend void zc_DialogsFinish();
    int m_runs = 1; // nested runs of the unit share the first one's service
};

// The operations of Tzc_Dialogs that need no widgets.
class Tzc_DialogsCore
{
public:
    using THistorie = ::THistorie;
    using THistorieItem = ::THistorieItem;
    using TAutoAnswersRegistryCreate = Tzc_DialogService::TAutoAnswersRegistryCreate;
    // Whether the Shift key is held down now; tests put their own in place.
    using TShiftStateReader = Tzc_DialogService::TShiftStateReader;

    Tzc_DialogsCore() = delete;

    // The process's history; null before the unit starts and after it finishes.
    static THistorie *GetHistorie();
    // Records a dialog. On the GUI thread the entry is created at once; from any other thread the
    // values are handed to the GUI thread without waiting, and the entry is stamped when it is created
    // there. Entries handed over are not lost when their thread object goes; they are dropped only
    // when the application or the history is already gone.
    static void AddToHistoryStack(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton, const QString &AGuid, quint8 AAnswerTyp,
        TModalResult AResult);

    // The canonical form of a dialog GUID: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case,
    // empty for a blank value. Raises EConvertError for a text that is not a braced GUID.
    static QString ParseGuid(const QString &AValue);
    // As ParseGuid, but a malformed GUID gives an empty result (the dialog then runs without
    // remembered answers); raises Exception "Ungültige GUID in Tzc_Dialogs.MessageDlg" when the text
    // parses yet is not already canonical.
    static QString CheckGuid(const QString &AValue);

    // The answer store is a key of the settings store that the host opens through a factory: every
    // call returns a new, opened TRegistry, which the service frees right after use. Without a
    // factory nothing is looked up or stored. Value names are canonical dialog GUIDs; an answer is
    // the modal result as an integer, a remembered folder the folder's text. GUI thread only.
    // Unset at the unit's start and released at its finish; an empty function unsets it; nothing
    // is kept while the unit is not running.
    static void SetAutoAnswersRegistryCreate(TAutoAnswersRegistryCreate AFactory);
    static bool AutoAnswersRegistryCreateRegistered();
    // An empty reader goes back to the platform's keyboard state.
    static void SetShiftStateReader(TShiftStateReader AReader);

    // The platform's one rule (DefaultMsgDlgButton): OK, else Yes, else the lowest button of the
    // set; Abort for an empty set.
    static TMsgDlgBtn CalcDefaultButton(TMsgDlgButtons AButtons);
    // The result a button closes a service dialog with (the Help button: mrTaskDialogHelp).
    static TModalResult ButtonResult(TMsgDlgBtn AButton);
    // Breaks every stretch without white space longer than about 4,098 characters with a carriage
    // return, so that a dialog can lay the text out; texts of up to 4,096 characters stay as they are.
    static QString BreakLongRuns(const QString &AText);

    class EDialogMessageException : public Exception
    {
    public:
        using Exception::Exception;
    };
    // The message lines of an exception text of the form: first line, "EXCEPT_LEER", message lines,
    // location lines beginning with "AT "; any other text comes back trimmed.
    static QString ExceptionLeerCleanUp(const QString &AExceptionText);
    // Raises EDialogMessageException with ExceptionLeerCleanUp of the text.
    [[noreturn]] static void RaiseMessageDlgException(const QString &AExceptionText);

    // The platform's switch for its latest dialogs (on by default, again at every unit start): off,
    // the service shows classic message dialogs and does not take over the platform's dialogs.
    // Outside the unit's run it reads as on and cannot be set.
    static bool UseLatestCommonDialogs();
    static void SetUseLatestCommonDialogs(bool AValue);
    // Whether the service shows task dialogs.
    static bool TaskDialogsAvailable();

protected:
    // A new, opened answer store; raises ERegistryException when the factory gives none.
    static std::unique_ptr<TRegistry> OpenAutoAnswers();
    // Records a dialog, unless the GUI thread asks while there is no history.
    static void RecordDialog(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton, const QString &AGuid, quint8 AAnswerTyp,
        TModalResult AResult);
};

// Start: a new service (the empty history and its list of open views, no answer store, no button
// font, latest dialogs on, nothing routed); a nested run shares it. Finish: the service freed, the
// answer store's factory with it (errors swallowed), and the platform's own dialogs back.
extern const TUnit zc_DialogsUnit;

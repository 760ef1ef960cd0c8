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
#include <optional>
#include <vector>

class Tzc_DialogService;

// A reference to a run's service that knows whether the service still exists: a call handed to the
// GUI thread for it finds nothing once that run has finished, also when a later run has started.
// Made while the service lives; read on the GUI thread, where the service goes.
class Tzc_DialogServiceRef
{
public:
    Tzc_DialogServiceRef() = default;
    // The service, or null once it is gone.
    Tzc_DialogService *Get() const { return m_alive.expired() ? nullptr : m_service; }

private:
    friend class Tzc_DialogService;
    Tzc_DialogService *m_service = nullptr;
    std::weak_ptr<const void> m_alive;
};

// What the answer store needs of the platform's widgets; the service's widgets part gives it.
class Izc_AutoAnswerPlatform
{
public:
    virtual ~Izc_AutoAnswerPlatform() = default;
    // Whether the Shift key is held down now.
    virtual bool ShiftHeld() const = 0;
    // Shows, without waiting, how to reset the answers; called after the first one was stored.
    virtual void FirstAnswerStored() = 0;
};

// The remembered answers: the host's factory of the store, and what is looked up and stored in it.
// GUI thread only.
class Tzc_AutoAnswerStore
{
public:
    // Every call returns a new, opened store; see Tzc_Dialogs::SetAutoAnswersRegistryCreate.
    using TRegistryCreate = std::function<std::unique_ptr<TRegistry>()>;
    using TShiftStateReader = std::function<bool()>;

    void SetRegistryCreate(TRegistryCreate AFactory) { m_create = std::move(AFactory); }
    bool Registered() const { return bool(m_create); }
    // A new, opened store; raises ERegistryException when the factory gives none.
    std::unique_ptr<TRegistry> Open() const;
    // An empty reader goes back to the platform's keyboard state.
    void SetShiftStateReader(TShiftStateReader AReader) { m_shiftReader = std::move(AReader); }
    // Null: no Shift key is held and no notice is shown.
    void SetPlatform(Izc_AutoAnswerPlatform *APlatform) { m_platform = APlatform; }

    // See Tzc_Dialogs::AutoAnswersAdd and the operations beside it.
    void Add(const QString &AGuid, TModalResult AResultValue);
    void Remove(const QString &AGuid);
    void Reset();
    std::optional<TModalResult> Lookup(const QString &AGuid, TMsgDlgButtons Buttons) const;
    QString VerificationText(const QString &AGuid, int AButtonCount) const;
    void AfterDialog(
        const QString &AGuid, TModalResult AResult, bool AChecked, TMsgDlgButtons ASaveAnswerButtons);
    static bool Qualifies(TModalResult AResult, TMsgDlgButtons ASaveAnswerButtons);

private:
    bool ShiftHeld() const;

    TRegistryCreate m_create;
    TShiftStateReader m_shiftReader;
    Izc_AutoAnswerPlatform *m_platform = nullptr;
};

// The dialog service of one run of unit zc_Dialogs: made by its start, shared by nested runs, freed
// by its finish. Only the GUI thread touches the history, the views and the answer store; the switch
// is read from any thread. A thread other than the GUI thread may use the service only while the
// unit runs; what it hands to the GUI thread carries a Tzc_DialogServiceRef. The unit finishes on
// the GUI thread and never from inside one of the service's own dialogs, whose members are running.
class Tzc_DialogService
{
public:
    using TAutoAnswersRegistryCreate = Tzc_AutoAnswerStore::TRegistryCreate;
    using TShiftStateReader = Tzc_AutoAnswerStore::TShiftStateReader;

    // The part that shows dialogs: it needs widgets, so the widgets' library makes it when its unit
    // starts. It goes first when the service goes.
    class TWidgetsPart
    {
    public:
        virtual ~TWidgetsPart() = default;
    };
    using TWidgetsPartCreate = std::unique_ptr<TWidgetsPart> (*)(Tzc_DialogService &AService);

    ~Tzc_DialogService();
    Tzc_DialogService(const Tzc_DialogService &) = delete;
    Tzc_DialogService &operator=(const Tzc_DialogService &) = delete;

    // The running unit's service; null before the unit starts and after it finishes.
    static Tzc_DialogService *Running();
    // The same; raises Exception while the unit is not running.
    static Tzc_DialogService &Require();
    // A run of the unit: the first makes the service (with the part ACreate makes, when given), a
    // nested one shares it and adds the part when it has none. Finish ends a run; the last frees it.
    static void Start(TWidgetsPartCreate ACreate);
    static void Finish();

    Tzc_DialogServiceRef Ref() const;
    TWidgetsPart *Widgets() const { return m_widgets.get(); }

    // See Tzc_Dialogs::AddToHistoryStack.
    void AddToHistoryStack(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton, const QString &AGuid, quint8 AAnswerTyp,
        TModalResult AResult);
    bool UseLatestCommonDialogs() const { return m_useLatestCommonDialogs; }
    void SetUseLatestCommonDialogs(bool AValue) { m_useLatestCommonDialogs = AValue; }

    THistorie Historie;
    Tzc_AutoAnswerStore Answers;

private:
    Tzc_DialogService();

    std::shared_ptr<const int> m_alive; // what Tzc_DialogServiceRef watches
    std::atomic<bool> m_useLatestCommonDialogs { true };
    int m_runs = 1;
    // Last, so that it goes first: the routes it set lead into the rest.
    std::unique_ptr<TWidgetsPart> m_widgets;
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

    // The answer store's operations raise Exception while the unit is not running.
    // Stores an answer under the normalised GUID; the first answer of an empty store queues a notice
    // that says how to reset them. Does nothing for a GUID that normalises to empty.
    static void AutoAnswersAdd(const QString &AGuid, TModalResult AResultValue);
    // Forgets the answer of the normalised GUID, when there is one.
    static void AutoAnswersRemove(const QString &AGuid);
    // Deletes every value of the store, remembered folders included; nothing without a factory.
    static void AutoAnswersReset();
    // The task path's three steps. Before the dialog is built: the remembered answer to give
    // instead of showing it, when the store is set, the GUID is valid, Shift is not held and the
    // stored value is the result of one of Buttons (Help counts as -1).
    static std::optional<TModalResult> AutoAnswersLookup(const QString &AGuid, TMsgDlgButtons Buttons);
    // The verification check box's text for a dialog with AButtonCount buttons; empty (no check box)
    // without a store or a valid GUID.
    static QString AutoAnswersVerificationText(const QString &AGuid, int AButtonCount);
    // After the dialog answered AResult: stores it when AChecked and it qualifies, else forgets any
    // stored answer. Nothing without a store, a valid GUID or for the result 0.
    static void AutoAnswersAfterDialog(
        const QString &AGuid, TModalResult AResult, bool AChecked, TMsgDlgButtons ASaveAnswerButtons);
    // A result may be remembered when ASaveAnswerButtons is empty or one of them answers with it
    // (Help counts as 0 here, so that it never qualifies).
    static bool AutoAnswerQualifies(TModalResult AResult, TMsgDlgButtons ASaveAnswerButtons);

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
};

// The service without its dialogs, for programs without widgets: its history, answer store and
// switch. Start: a new service (the empty history and its list of open views, no answer store,
// latest dialogs on); a nested run shares it. Finish: the service freed, the answer store's factory
// with it. Programs with widgets run zc_DialogsUnit (zc_dialogs.h) instead, which adds the dialogs.
extern const TUnit zc_DialogsCoreUnit;

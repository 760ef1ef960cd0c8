#pragma once
// Message components: a window keeps its message texts as TMessageObject components in a
// TMessageList, placed in its form resource instead of literals in code. A message object formats
// its Text and shows it in a platform message or task dialog, or raises it as an exception.

#include "components/appservices/zc_classes.h"
#include "components/dialogs/zc_dialogs.h"
#include "platform/dialogs.h"
#include "platform/units.h"

#include <QList>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>

class TMessageList;
class TMessageObject;

// An exception class for RaiseException: raises an exception of that class with the message.
using TExceptionClass = std::function<void(const QString &Message)>;
template <class E> TExceptionClass ExceptionClass()
{
    return [](const QString &Message) { throw E(Message); };
}

// The ordered references of a message list; it owns nothing.
class TMessageObjectList : public QList<TMessageObject *>
{
};

class TMessageObject : public Tzc_Component
{
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(QString Title READ Title WRITE SetTitle)
    Q_PROPERTY(TNotifyEvent OnChange READ OnChange WRITE SetOnChange)

public:
    explicit TMessageObject(TComponent *AOwner = nullptr);
    ~TMessageObject() override;

    // The message; may hold placeholders of Format.
    QString Text() const { return fText; }
    void SetText(const QString &Value);
    // Main instruction of the task dialogs.
    QString Title() const { return fTitle; }
    void SetTitle(const QString &Value);
    // Fired after Text or Title changed, and after Assign from another message object.
    TNotifyEvent OnChange() const { return fOnChange; }
    void SetOnChange(const TNotifyEvent &Value) { fOnChange = Value; }
    // The list this object is in, or nullptr.
    TMessageList *MessageList() const { return fMessageList; }

    // From a message object: copies its Text (not its Title) and fires OnChange.
    void Assign(TComponent *Source) override;
    bool HasParent() const override { return true; }
    TComponent *GetParentComponent() const override;
    // Leaves the current list; joins Value when it is a TMessageList.
    void SetParentComponent(TComponent *Value) override;

    // Format applied to Text; a format error raises EConvertError.
    QString TextFmt(const QVariantList &Args) const;

    // A custom-type dialog with the text and OK, centred.
    void ShowMessage() const;
    void ShowMessageFmt(const QVariantList &Args) const;
    // The created, not yet shown message dialog; the caller shows it (ShowModal) and frees it.
    TDialogHolder<TMessageForm> CreateMessageDialog(TMsgDlgType DlgType, TMsgDlgButtons Buttons) const;
    TDialogHolder<TMessageForm> CreateMessageDialogFmt(
        const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons) const;
    quint16 MessageDlgPos(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y) const;
    quint16 MessageDlgPosFmt(const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
        int HelpCtx, int X, int Y) const;

    // Task-message dialogs: Title as main instruction, the text as content.
    int TaskMessageDlg(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx) const;
    int TaskMessageDlg(
        TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton) const;
    int TaskMessageDlgFmt(
        const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx) const;
    int TaskMessageDlgFmt(const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx,
        TMsgDlgBtn DefaultButton) const;
    int TaskMessageDlgPos(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y) const;
    int TaskMessageDlgPos(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y,
        TMsgDlgBtn DefaultButton) const;
    int TaskMessageDlgPosFmt(const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
        int HelpCtx, int X, int Y) const;
    int TaskMessageDlgPosFmt(const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
        int HelpCtx, int X, int Y, TMsgDlgBtn DefaultButton) const;
    int TaskMessageDlgPosHelp(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y,
        const QString &HelpFileName) const;
    int TaskMessageDlgPosHelp(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y,
        const QString &HelpFileName, TMsgDlgBtn DefaultButton) const;
    int TaskMessageDlgPosHelpFmt(const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
        int HelpCtx, int X, int Y, const QString &HelpFileName) const;
    int TaskMessageDlgPosHelpFmt(const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
        int HelpCtx, int X, int Y, const QString &HelpFileName, TMsgDlgBtn DefaultButton) const;

    // The dialog service's message dialog (remembered answers by GUID, time-out, history, calls from
    // worker threads): Title as main instruction, the text as content, the default button from
    // Tzc_Dialogs::CalcDefaultButton. The result keeps its low 16 bits (Help, -1, is 65535).
    quint16 MessageDlg(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, const QString &AGuid,
        TMsgDlgButtons ASaveAnswerButtons, int ATimeOut) const;
    quint16 MessageDlgFmt(const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx,
        const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut) const;
    // The dialog service's queued dialog: returns before the dialog is shown, also on the GUI thread;
    // AFuncMessageResult, when set, receives the result later on the GUI thread unless its context
    // (an object of the GUI thread, or a thread object) is gone by then; a plain function needs
    // none (Tzc_Dialogs::MessageDlgQueued). The Fmt twins format first, so that too few arguments
    // raise before any dialog.
    void MessageDlgQueued(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn ADefaultButton,
        const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, const QObject *AContext,
        const Tzc_Dialog_ThreadResult &AFuncMessageResult) const;
    void MessageDlgQueued(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn ADefaultButton,
        const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, TThread *AContext,
        const Tzc_Dialog_ThreadResult &AFuncMessageResult) const;
    void MessageDlgQueued(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn ADefaultButton,
        const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
        Tzc_Dialog_ThreadResultFunction AFuncMessageResult) const;
    void MessageDlgQueuedFmt(const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
        int HelpCtx, TMsgDlgBtn ADefaultButton, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons,
        int ATimeOut, const QObject *AContext, const Tzc_Dialog_ThreadResult &AFuncMessageResult) const;
    void MessageDlgQueuedFmt(const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
        int HelpCtx, TMsgDlgBtn ADefaultButton, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons,
        int ATimeOut, TThread *AContext, const Tzc_Dialog_ThreadResult &AFuncMessageResult) const;
    void MessageDlgQueuedFmt(const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
        int HelpCtx, TMsgDlgBtn ADefaultButton, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons,
        int ATimeOut, Tzc_Dialog_ThreadResultFunction AFuncMessageResult) const;

    // Raises ExceptionClass (the base Exception when empty) with the text; never returns.
    [[noreturn]] void RaiseException(const TExceptionClass &AExceptionClass = {}) const;
    [[noreturn]] void RaiseExceptionFmt(
        const QVariantList &Args, const TExceptionClass &AExceptionClass = {}) const;

private:
    friend class TMessageList;
    void Change();
    [[noreturn]] static void Raise(const QString &Message, const TExceptionClass &AExceptionClass);

    TNotifyEvent fOnChange;
    QString fText;
    QString fTitle;
    TMessageList *fMessageList = nullptr;
};

class TMessageList : public Tzc_Component
{
    Q_OBJECT
    Q_PROPERTY(int Count READ Count)

public:
    explicit TMessageList(TComponent *AOwner = nullptr);
    ~TMessageList() override;

    // A new message object (owner: this list's owner, name: the first free "MessageObject<n>") with
    // AText, appended; OnChange does not fire. nullptr when it cannot be appended.
    TMessageObject *Add(const QString &AText);
    // Appends an existing object and returns its index (-1 for nullptr). An object already in this
    // list keeps its place; one in another list leaves that list first.
    int AddItem(TMessageObject *AMessageObject);
    // Takes the object out and frees it unless it is already being destroyed; ignores objects not
    // in the list.
    void Delete(TMessageObject *AMessageObject);
    // Takes out and frees every object, the last first, except those already being destroyed.
    void Clear();
    int IndexOf(const TMessageObject *AMessageObject) const;
    // The entry at Index; EArgumentOutOfRangeException outside 0..Count-1.
    TMessageObject *GetITem(int Index) const;
    // Assigns Value to the entry at Index (the entry stays, only Value's Text arrives).
    void SetItem(int Index, TMessageObject *Value);
    int Count() const { return int(fMessages.size()); }
    const TMessageObjectList &Messages() const { return fMessages; }

    // The base's children, then every message object in list order.
    void GetChildren(const TGetChildProc &Proc, TComponent *Root) override;

private:
    friend class TMessageObject;
    void RemoveItem(TMessageObject *AMessageObject);
    TMessageObject *NewMessageObject();
    void CheckIndex(int Index) const;

    TMessageObjectList fMessages;
};

// The unit MessageCntr: registers TMessageList and TMessageObject, so that a form resource can create
// them by name.
extern const TUnit MessageCntrUnit;

#include "components/messages/messagecntr.h"

#include "components/dialogs/zc_dialogs.h"

#include "platform/exception.h"
#include "platform/format.h"

#include <new>

namespace {

// The form reader finds both classes by name.
void registerMessageClasses()
{
    RegisterClass<TMessageList>();
    RegisterClass<TMessageObject>();
}

} // namespace

const TUnit MessageCntrUnit = { "MessageCntr", registerMessageClasses, nullptr };

// ---- TMessageObject ----

TMessageObject::TMessageObject(TComponent *AOwner)
    : Tzc_Component(AOwner)
{
}

TMessageObject::~TMessageObject()
{
    fOnChange = {};
    if (fMessageList)
        fMessageList->RemoveItem(this);
}

void TMessageObject::SetText(const QString &Value)
{
    if (Value == fText)
        return;
    fText = Value;
    Change();
}

void TMessageObject::SetTitle(const QString &Value)
{
    if (Value == fTitle)
        return;
    fTitle = Value;
    Change();
}

void TMessageObject::Change()
{
    if (fOnChange) {
        // A copy: the handler may replace the event while it runs.
        const TNotifyEvent handler = fOnChange;
        handler(this);
    }
}

void TMessageObject::Assign(TComponent *Source)
{
    if (auto *other = qobject_cast<TMessageObject *>(Source)) {
        fText = other->fText;
        Change();
        return;
    }
    Tzc_Component::Assign(Source);
}

TComponent *TMessageObject::GetParentComponent() const
{
    return fMessageList;
}

void TMessageObject::SetParentComponent(TComponent *Value)
{
    if (fMessageList)
        fMessageList->RemoveItem(this);
    if (auto *list = qobject_cast<TMessageList *>(Value))
        list->AddItem(this);
}

QString TMessageObject::TextFmt(const QVariantList &Args) const
{
    return Format(fText, Args);
}

void TMessageObject::ShowMessage() const
{
    ShowMessagePos(fText, -1, -1);
}

void TMessageObject::ShowMessageFmt(const QVariantList &Args) const
{
    ShowMessagePos(TextFmt(Args), -1, -1);
}

TDialogHolder<TMessageForm> TMessageObject::CreateMessageDialog(
    TMsgDlgType DlgType, TMsgDlgButtons Buttons) const
{
    return ::CreateMessageDialog(fText, DlgType, Buttons);
}

TDialogHolder<TMessageForm> TMessageObject::CreateMessageDialogFmt(
    const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons) const
{
    return ::CreateMessageDialog(TextFmt(Args), DlgType, Buttons);
}

quint16 TMessageObject::MessageDlgPos(
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y) const
{
    return quint16(::MessageDlgPos(fText, DlgType, Buttons, HelpCtx, X, Y));
}

quint16 TMessageObject::MessageDlgPosFmt(
    const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y) const
{
    return quint16(::MessageDlgPos(TextFmt(Args), DlgType, Buttons, HelpCtx, X, Y));
}

quint16 TMessageObject::MessageDlg(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx,
    const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut) const
{
    return quint16(Tzc_Dialogs::MessageDlg(
        fTitle, fText, DlgType, Buttons, HelpCtx, AGuid, ASaveAnswerButtons, ATimeOut, nullptr));
}

quint16 TMessageObject::MessageDlgFmt(const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
    int HelpCtx, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut) const
{
    return quint16(Tzc_Dialogs::MessageDlg(
        fTitle, TextFmt(Args), DlgType, Buttons, HelpCtx, AGuid, ASaveAnswerButtons, ATimeOut, nullptr));
}

void TMessageObject::MessageDlgQueued(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx,
    TMsgDlgBtn ADefaultButton, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
    const QObject *AContext, const Tzc_Dialog_ThreadResult &AFuncMessageResult) const
{
    Tzc_Dialogs::MessageDlgQueued(fTitle, fText, DlgType, Buttons, HelpCtx, ADefaultButton, AGuid,
        ASaveAnswerButtons, ATimeOut, AContext, AFuncMessageResult);
}

void TMessageObject::MessageDlgQueued(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx,
    TMsgDlgBtn ADefaultButton, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
    TThread *AContext, const Tzc_Dialog_ThreadResult &AFuncMessageResult) const
{
    Tzc_Dialogs::MessageDlgQueued(fTitle, fText, DlgType, Buttons, HelpCtx, ADefaultButton, AGuid,
        ASaveAnswerButtons, ATimeOut, AContext, AFuncMessageResult);
}

void TMessageObject::MessageDlgQueued(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx,
    TMsgDlgBtn ADefaultButton, const QString &AGuid, TMsgDlgButtons ASaveAnswerButtons, int ATimeOut,
    Tzc_Dialog_ThreadResultFunction AFuncMessageResult) const
{
    Tzc_Dialogs::MessageDlgQueued(fTitle, fText, DlgType, Buttons, HelpCtx, ADefaultButton, AGuid,
        ASaveAnswerButtons, ATimeOut, AFuncMessageResult);
}

void TMessageObject::MessageDlgQueuedFmt(const QVariantList &Args, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn ADefaultButton, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, const QObject *AContext,
    const Tzc_Dialog_ThreadResult &AFuncMessageResult) const
{
    Tzc_Dialogs::MessageDlgQueued(fTitle, TextFmt(Args), DlgType, Buttons, HelpCtx, ADefaultButton, AGuid,
        ASaveAnswerButtons, ATimeOut, AContext, AFuncMessageResult);
}

void TMessageObject::MessageDlgQueuedFmt(const QVariantList &Args, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn ADefaultButton, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, TThread *AContext,
    const Tzc_Dialog_ThreadResult &AFuncMessageResult) const
{
    Tzc_Dialogs::MessageDlgQueued(fTitle, TextFmt(Args), DlgType, Buttons, HelpCtx, ADefaultButton, AGuid,
        ASaveAnswerButtons, ATimeOut, AContext, AFuncMessageResult);
}

void TMessageObject::MessageDlgQueuedFmt(const QVariantList &Args, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn ADefaultButton, const QString &AGuid,
    TMsgDlgButtons ASaveAnswerButtons, int ATimeOut, Tzc_Dialog_ThreadResultFunction AFuncMessageResult) const
{
    Tzc_Dialogs::MessageDlgQueued(fTitle, TextFmt(Args), DlgType, Buttons, HelpCtx, ADefaultButton, AGuid,
        ASaveAnswerButtons, ATimeOut, AFuncMessageResult);
}

int TMessageObject::TaskMessageDlg(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx) const
{
    return ::TaskMessageDlg(fTitle, fText, DlgType, Buttons, HelpCtx);
}

int TMessageObject::TaskMessageDlg(
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton) const
{
    return ::TaskMessageDlg(fTitle, fText, DlgType, Buttons, HelpCtx, DefaultButton);
}

int TMessageObject::TaskMessageDlgFmt(
    const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx) const
{
    return ::TaskMessageDlg(fTitle, TextFmt(Args), DlgType, Buttons, HelpCtx);
}

int TMessageObject::TaskMessageDlgFmt(const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
    int HelpCtx, TMsgDlgBtn DefaultButton) const
{
    return ::TaskMessageDlg(fTitle, TextFmt(Args), DlgType, Buttons, HelpCtx, DefaultButton);
}

int TMessageObject::TaskMessageDlgPos(
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y) const
{
    return ::TaskMessageDlgPos(fTitle, fText, DlgType, Buttons, HelpCtx, X, Y);
}

int TMessageObject::TaskMessageDlgPos(
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, TMsgDlgBtn DefaultButton) const
{
    return ::TaskMessageDlgPos(fTitle, fText, DlgType, Buttons, HelpCtx, X, Y, DefaultButton);
}

int TMessageObject::TaskMessageDlgPosFmt(
    const QVariantList &Args, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y) const
{
    return ::TaskMessageDlgPos(fTitle, TextFmt(Args), DlgType, Buttons, HelpCtx, X, Y);
}

int TMessageObject::TaskMessageDlgPosFmt(const QVariantList &Args, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, TMsgDlgBtn DefaultButton) const
{
    return ::TaskMessageDlgPos(fTitle, TextFmt(Args), DlgType, Buttons, HelpCtx, X, Y, DefaultButton);
}

int TMessageObject::TaskMessageDlgPosHelp(
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName) const
{
    return ::TaskMessageDlgPosHelp(fTitle, fText, DlgType, Buttons, HelpCtx, X, Y, HelpFileName);
}

int TMessageObject::TaskMessageDlgPosHelp(TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X,
    int Y, const QString &HelpFileName, TMsgDlgBtn DefaultButton) const
{
    return ::TaskMessageDlgPosHelp(
        fTitle, fText, DlgType, Buttons, HelpCtx, X, Y, HelpFileName, DefaultButton);
}

int TMessageObject::TaskMessageDlgPosHelpFmt(const QVariantList &Args, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName) const
{
    return ::TaskMessageDlgPosHelp(fTitle, TextFmt(Args), DlgType, Buttons, HelpCtx, X, Y, HelpFileName);
}

int TMessageObject::TaskMessageDlgPosHelpFmt(const QVariantList &Args, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, int HelpCtx, int X, int Y, const QString &HelpFileName,
    TMsgDlgBtn DefaultButton) const
{
    return ::TaskMessageDlgPosHelp(
        fTitle, TextFmt(Args), DlgType, Buttons, HelpCtx, X, Y, HelpFileName, DefaultButton);
}

void TMessageObject::RaiseException(const TExceptionClass &AExceptionClass) const
{
    Raise(fText, AExceptionClass);
}

void TMessageObject::RaiseExceptionFmt(const QVariantList &Args, const TExceptionClass &AExceptionClass) const
{
    Raise(TextFmt(Args), AExceptionClass);
}

void TMessageObject::Raise(const QString &Message, const TExceptionClass &AExceptionClass)
{
    if (AExceptionClass)
        AExceptionClass(Message);
    // Also when a class factory returned without raising: this member never returns.
    throw Exception(Message);
}

// ---- TMessageList ----

TMessageList::TMessageList(TComponent *AOwner)
    : Tzc_Component(AOwner)
{
}

TMessageList::~TMessageList()
{
    Clear();
}

TMessageObject *TMessageList::Add(const QString &AText)
{
    TMessageObject *obj = NewMessageObject();
    try {
        fMessages.append(obj);
    } catch (const std::bad_alloc &) {
        Free(obj);
        return nullptr;
    }
    obj->fText = AText;
    obj->fMessageList = this;
    return obj;
}

int TMessageList::AddItem(TMessageObject *AMessageObject)
{
    if (!AMessageObject)
        return -1;
    // One object in two lists, or twice in one, would be freed twice.
    if (AMessageObject->fMessageList == this)
        return IndexOf(AMessageObject);
    if (AMessageObject->fMessageList)
        AMessageObject->fMessageList->RemoveItem(AMessageObject);
    try {
        fMessages.append(AMessageObject);
    } catch (const std::bad_alloc &) {
        return -1;
    }
    AMessageObject->fMessageList = this;
    return int(fMessages.size()) - 1;
}

void TMessageList::Delete(TMessageObject *AMessageObject)
{
    if (IndexOf(AMessageObject) < 0)
        return;
    RemoveItem(AMessageObject);
    if (!AMessageObject->IsDestroying())
        Free(AMessageObject);
}

void TMessageList::Clear()
{
    for (qsizetype i = fMessages.size() - 1; i >= 0; --i) {
        if (i >= fMessages.size())
            continue; // a destructor took more than itself out
        TMessageObject *obj = fMessages.at(i);
        RemoveItem(obj);
        if (!obj->IsDestroying())
            Free(obj);
    }
}

int TMessageList::IndexOf(const TMessageObject *AMessageObject) const
{
    return int(fMessages.indexOf(const_cast<TMessageObject *>(AMessageObject)));
}

void TMessageList::CheckIndex(int Index) const
{
    if (Index < 0 || Index >= fMessages.size())
        throw EArgumentOutOfRangeException(QStringLiteral("Argument out of range"));
}

TMessageObject *TMessageList::GetITem(int Index) const
{
    CheckIndex(Index);
    return fMessages.at(Index);
}

void TMessageList::SetItem(int Index, TMessageObject *Value)
{
    CheckIndex(Index);
    fMessages.at(Index)->Assign(Value);
}

void TMessageList::GetChildren(const TGetChildProc &Proc, TComponent *Root)
{
    Tzc_Component::GetChildren(Proc, Root);
    const TMessageObjectList entries = fMessages;
    for (TMessageObject *obj : entries)
        Proc(obj);
}

void TMessageList::RemoveItem(TMessageObject *AMessageObject)
{
    fMessages.removeOne(AMessageObject);
    if (AMessageObject->fMessageList == this)
        AMessageObject->fMessageList = nullptr;
}

TMessageObject *TMessageList::NewMessageObject()
{
    auto *obj = Create<TMessageObject>(Owner());
    try {
        obj->SetName(GetUniqueName(obj));
    } catch (...) {
        Free(obj);
        throw;
    }
    return obj;
}

// The remembered answers of the dialog service: looked up before a task dialog is built, offered
// with its check box and stored or forgotten after it answered.

#include "components/dialogs/zc_dialogs_core.h"

#include "platform/exception.h"

using namespace Qt::StringLiterals;

std::unique_ptr<TRegistry> Tzc_AutoAnswerStore::Open() const
{
    std::unique_ptr<TRegistry> store = m_create ? m_create() : nullptr;
    if (!store)
        throw ERegistryException(u"Der Speicher der automatischen Antworten ist nicht geöffnet."_s);
    return store;
}

bool Tzc_AutoAnswerStore::ShiftHeld() const
{
    if (m_shiftReader)
        return m_shiftReader();
    return m_platform && m_platform->ShiftHeld();
}

void Tzc_AutoAnswerStore::Add(const QString &AGuid, TModalResult AResultValue)
{
    const QString guid = Tzc_DialogsCore::CheckGuid(AGuid);
    // An invalid GUID would otherwise land in the key's unnamed value, which no lookup finds.
    if (guid.isEmpty() || !Registered())
        return;
    const std::unique_ptr<TRegistry> store = Open();
    bool first = true;
    try {
        first = store->GetKeyInfo().NumValues < 1;
    } catch (const ERegistryException &) {
        first = true;
    }
    store->WriteInteger(guid, AResultValue);
    if (first && m_platform)
        m_platform->FirstAnswerStored();
}

void Tzc_AutoAnswerStore::Remove(const QString &AGuid)
{
    const QString guid = Tzc_DialogsCore::CheckGuid(AGuid);
    if (guid.isEmpty() || !Registered())
        return;
    const std::unique_ptr<TRegistry> store = Open();
    if (store->ValueExists(guid))
        store->DeleteValue(guid);
}

void Tzc_AutoAnswerStore::Reset()
{
    if (!Registered())
        return;
    const std::unique_ptr<TRegistry> store = Open();
    for (const QString &name : store->GetValueNames())
        store->DeleteValue(name);
}

std::optional<TModalResult> Tzc_AutoAnswerStore::Lookup(const QString &AGuid, TMsgDlgButtons Buttons) const
{
    if (!Registered() || AGuid.trimmed().isEmpty() || ShiftHeld())
        return std::nullopt;
    const QString guid = Tzc_DialogsCore::CheckGuid(AGuid);
    if (guid.isEmpty())
        return std::nullopt;
    const std::unique_ptr<TRegistry> store = Open();
    if (!store->ValueExists(guid))
        return std::nullopt;
    // 0 is no button's result, so a value that is not a number is never used.
    const int v = store->ReadInteger(guid, mrNone);
    for (int b = 0; b < MsgDlgBtnCount; ++b) {
        const auto button = TMsgDlgBtn(b);
        if (Buttons.Contains(button) && TaskDialogButtonResult(button) == v)
            return v;
    }
    return std::nullopt;
}

QString Tzc_AutoAnswerStore::VerificationText(const QString &AGuid, int AButtonCount) const
{
    if (!Registered() || Tzc_DialogsCore::CheckGuid(AGuid).isEmpty())
        return {};
    return AButtonCount < 2 ? u"Dialog nicht mehr anzeigen."_s : u"Dialog immer genauso beantworten."_s;
}

bool Tzc_AutoAnswerStore::Qualifies(TModalResult AResult, TMsgDlgButtons ASaveAnswerButtons)
{
    if (ASaveAnswerButtons.IsEmpty())
        return true;
    for (int b = 0; b < MsgDlgBtnCount; ++b) {
        const auto button = TMsgDlgBtn(b);
        if (ASaveAnswerButtons.Contains(button) && MsgDlgButtonResult(button) == AResult)
            return true;
    }
    return false;
}

void Tzc_AutoAnswerStore::AfterDialog(
    const QString &AGuid, TModalResult AResult, bool AChecked, TMsgDlgButtons ASaveAnswerButtons)
{
    if (!Registered() || AGuid.trimmed().isEmpty() || AResult == mrNone)
        return;
    if (AChecked && Qualifies(AResult, ASaveAnswerButtons))
        Add(AGuid, AResult);
    else
        Remove(AGuid);
}

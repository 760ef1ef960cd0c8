#include "zc_dialogs_answers.h"

#include "components/dialogs/zc_dialogs.h"
#include "platform/dialogbuilder.h"
#include "platform/exception.h"
#include "platform/format.h"
#include "platform/numbers.h"
#include "platform/taskdialog.h"
#include "platform/widgets/application.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMetaObject>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

// Answer store

namespace {

bool shiftHeld(const Tzc_Dialogs::TShiftStateReader &reader)
{
    if (reader)
        return reader();
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
}

} // namespace

void Tzc_Dialogs::AutoAnswersAdd(const QString &AGuid, TModalResult AResultValue)
{
    const QString guid = CheckGuid(AGuid);
    // An invalid GUID would otherwise land in the key's unnamed value, which no lookup finds.
    if (guid.isEmpty() || !AutoAnswersRegistryCreateRegistered())
        return;
    const std::unique_ptr<TRegistry> store = OpenAutoAnswers();
    bool first = true;
    try {
        first = store->GetKeyInfo().NumValues < 1;
    } catch (const ERegistryException &) {
        first = true;
    }
    store->WriteInteger(guid, AResultValue);
    if (first)
        ShowAutoAnswerNotice();
}

void Tzc_Dialogs::AutoAnswersRemove(const QString &AGuid)
{
    const QString guid = CheckGuid(AGuid);
    if (guid.isEmpty() || !AutoAnswersRegistryCreateRegistered())
        return;
    const std::unique_ptr<TRegistry> store = OpenAutoAnswers();
    if (store->ValueExists(guid))
        store->DeleteValue(guid);
}

void Tzc_Dialogs::AutoAnswersReset()
{
    if (!AutoAnswersRegistryCreateRegistered())
        return;
    const std::unique_ptr<TRegistry> store = OpenAutoAnswers();
    for (const QString &name : store->GetValueNames())
        store->DeleteValue(name);
}

std::optional<TModalResult> Tzc_Dialogs::AutoAnswersLookup(const QString &AGuid, TMsgDlgButtons Buttons)
{
    if (!AutoAnswersRegistryCreateRegistered() || AGuid.trimmed().isEmpty()
        || shiftHeld(Tzc_DialogService::Running()->ShiftStateReader))
        return std::nullopt;
    const QString guid = CheckGuid(AGuid);
    if (guid.isEmpty())
        return std::nullopt;
    const std::unique_ptr<TRegistry> store = OpenAutoAnswers();
    if (!store->ValueExists(guid))
        return std::nullopt;
    // 0 is no button's result, so a value that is not a number is never used.
    const int v = store->ReadInteger(guid, mrNone);
    for (int b = 0; b < MsgDlgBtnCount; ++b) {
        const auto button = TMsgDlgBtn(b);
        if (Buttons.Contains(button) && ButtonResult(button) == v)
            return v;
    }
    return std::nullopt;
}

QString Tzc_Dialogs::AutoAnswersVerificationText(const QString &AGuid, int AButtonCount)
{
    if (!AutoAnswersRegistryCreateRegistered() || CheckGuid(AGuid).isEmpty())
        return {};
    return AButtonCount < 2 ? u"Dialog nicht mehr anzeigen."_s : u"Dialog immer genauso beantworten."_s;
}

bool Tzc_Dialogs::AutoAnswerQualifies(TModalResult AResult, TMsgDlgButtons ASaveAnswerButtons)
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

void Tzc_Dialogs::AutoAnswersAfterDialog(
    const QString &AGuid, TModalResult AResult, bool AChecked, TMsgDlgButtons ASaveAnswerButtons)
{
    if (!AutoAnswersRegistryCreateRegistered() || AGuid.trimmed().isEmpty() || AResult == mrNone)
        return;
    if (AChecked && AutoAnswerQualifies(AResult, ASaveAnswerButtons))
        AutoAnswersAdd(AGuid, AResult);
    else
        AutoAnswersRemove(AGuid);
}

// The first-answer notice

QString AutoAnswerNoticeInstruction()
{
    return u"Hinweis"_s;
}

QString AutoAnswerNoticeContent()
{
    return u"Sie können alle gespeicherten Antworten im Ribbon unter unter Optionen - Dialogantworten "
           u"zurücksetzen.\rDiese Meldung wird nur beim ersten Hinzufügen einer automatischen Antwort "
           u"angezeigt."_s;
}

void ShowAutoAnswerNotice()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!qobject_cast<QApplication *>(app))
        return;
    // Never waits, also on the GUI thread: the caller is still inside the dialog's answer.
    Tzc_Dialogs::MessageDlgQueued(AutoAnswerNoticeInstruction(), AutoAnswerNoticeContent(), mtInformation,
        { mbOK }, 0, mbOK, QString(), {}, 0, nullptr);
}

// Time-out

TMessageDlgTimeOutHandler::TMessageDlgTimeOutHandler(
    TCustomTaskDialog *ATaskDialog, TTaskDialogButtonItem *AButton, qint64 ATimeOut)
    : fTimeOut(ATimeOut)
    , fTaskDialog(ATaskDialog)
    , fButton(AButton)
{
    if (!ATaskDialog || !AButton)
        throw Exception(u"Zeitüberschreitung ohne Dialog oder Schaltfläche"_s);
    fOriginMesssage = ATaskDialog->Text();
    ATaskDialog->OnTimer = [this](TCustomTaskDialog *, quint32 TickCount, bool &) { Timer(TickCount); };
    m_attached = true;
    TTaskDialogFlags flags = ATaskDialog->Flags() | tfCallbackTimer;
    if (fTimeOut > 1000)
        flags |= tfShowProgressBar;
    ATaskDialog->SetFlags(flags);
    ATaskDialog->SetProgressBar({ 0, 100, 100 });
    ATaskDialog->SetText(TextFor(0));
}

TMessageDlgTimeOutHandler::~TMessageDlgTimeOutHandler()
{
    // A dialog that outlives its handler must not call into it again.
    if (m_attached && fTaskDialog)
        fTaskDialog->OnTimer = nullptr;
}

QString TMessageDlgTimeOutHandler::TextFor(quint32 AElapsed) const
{
    const QString text = fOriginMesssage.trimmed();
    if (fTimeOut <= 1000)
        return text;
    const double seconds = std::max<double>(0, double(fTimeOut - qint64(AElapsed)) / 1000);
    const QString caption = fButton->Caption().remove(u'&');
    return text + u"\r\r"_s
        + Format(u"Diese Meldung wird in %.0n Sekunden automatisch mit \"%s\" beantwortet."_s,
            { seconds, caption });
}

void TMessageDlgTimeOutHandler::Timer(quint32 AElapsed)
{
    TCustomTaskDialog *dialog = fTaskDialog;
    if (!dialog || fTimeOutRaised)
        return;
    if (qint64(AElapsed) > fTimeOut) {
        Detach();
        dialog->SetText(fOriginMesssage);
        fTimeOutRaised = true;
        fButton->Click();
        return;
    }
    const int span = int(std::clamp<qint64>(fTimeOut, 1, std::numeric_limits<int>::max()));
    const int p = std::clamp(MulDiv(int(std::min<qint64>(AElapsed, span)), 100, span), 0, 100);
    dialog->SetProgressPosition(100 - p);
    dialog->SetText(TextFor(AElapsed));
}

void TMessageDlgTimeOutHandler::Detach()
{
    m_attached = false;
    if (!fTaskDialog)
        return;
    // Only the copy that is running now stays alive; the dialog calls no one any more.
    fTaskDialog->OnTimer = nullptr;
    fTaskDialog->SetFlags(fTaskDialog->Flags() & ~TTaskDialogFlags(tfCallbackTimer));
}

#include "zc_dialogs_core.h"

#include "platform/exception.h"
#include "platform/exceptiontext.h"
#include "platform/textformat.h"
#include "platform/thread.h"

#include <QRegularExpression>

#include <QtGlobal>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

// The one service; the unit's start and finish are its only writers, while no other thread runs.
constinit std::unique_ptr<Tzc_DialogService> g_service;

} // namespace

Tzc_DialogService::Tzc_DialogService()
    : m_alive(std::make_shared<const int>(0))
{
}

Tzc_DialogService::~Tzc_DialogService()
{
    m_widgets.reset();
}

Tzc_DialogService *Tzc_DialogService::Running()
{
    return g_service.get();
}

Tzc_DialogService &Tzc_DialogService::Require()
{
    if (!g_service)
        throw Exception(u"The dialog service is not running: unit zc_Dialogs has not started."_s);
    return *g_service;
}

void Tzc_DialogService::Start(TWidgetsPartCreate ACreate)
{
    // Counted, so that a second run of the units in one process keeps the first one's history.
    if (g_service)
        ++g_service->m_runs;
    else
        g_service.reset(new Tzc_DialogService);
    if (ACreate && !g_service->m_widgets)
        g_service->m_widgets = ACreate(*g_service);
}

void Tzc_DialogService::Finish()
{
    if (!g_service || --g_service->m_runs > 0)
        return;
    // The history, its views' list and the host's factory (which may hold objects of its own) go
    // now, not at process exit; the widgets part first gives the platform's dialogs back.
    g_service.reset();
}

Tzc_DialogServiceRef Tzc_DialogService::Ref() const
{
    Tzc_DialogServiceRef ref;
    ref.m_service = const_cast<Tzc_DialogService *>(this);
    ref.m_alive = m_alive;
    return ref;
}

void Tzc_DialogService::AddToHistoryStack(const QString &AInstruction, const QString &AContent,
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton, const QString &AGuid,
    quint8 AAnswerTyp, TModalResult AResult)
{
    if (TThread::IsGuiThread()) {
        THistorieItem::Create(
            AInstruction, AContent, DlgType, Buttons, DefaultButton, AGuid, AAnswerTyp, AResult);
        return;
    }
    // Not tagged with the calling thread: a worker that ends right after its dialog must not take
    // the entry with it. Tagged with this service instead: once its run is over the entry has no
    // history to go to, not even a later run's.
    TThread::Queue(nullptr, [=, service = Ref()] {
        if (!service.Get())
            return;
        try {
            THistorieItem::Create(
                AInstruction, AContent, DlgType, Buttons, DefaultButton, AGuid, AAnswerTyp, AResult);
        } catch (...) {
            qWarning("Dialog history entry lost: %s", qPrintable(CurrentExceptionMessage()));
        }
    });
}

THistorie *Tzc_DialogsCore::GetHistorie()
{
    Tzc_DialogService *service = Tzc_DialogService::Running();
    return service ? &service->Historie : nullptr;
}

void Tzc_DialogsCore::AddToHistoryStack(const QString &AInstruction, const QString &AContent,
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton, const QString &AGuid,
    quint8 AAnswerTyp, TModalResult AResult)
{
    Tzc_DialogService::Require().AddToHistoryStack(
        AInstruction, AContent, DlgType, Buttons, DefaultButton, AGuid, AAnswerTyp, AResult);
}

QString Tzc_DialogsCore::ParseGuid(const QString &AValue)
{
    const QString v = AValue.trimmed().toUpper();
    if (v.isEmpty())
        return {};
    static const QRegularExpression braced(
        QStringLiteral("^\\{([0-9A-F]{8})-([0-9A-F]{4})-([0-9A-F]{4})-([0-9A-F]{4})-([0-9A-F]{12})\\}$"));
    const QRegularExpressionMatch m = braced.match(v);
    if (!m.hasMatch())
        throw EConvertError(QStringLiteral("'%1' is not a valid GUID value").arg(AValue));
    return QStringLiteral("{%1-%2-%3-%4-%5}")
        .arg(m.captured(1), m.captured(2), m.captured(3), m.captured(4), m.captured(5));
}

QString Tzc_DialogsCore::CheckGuid(const QString &AValue)
{
    const QString v = AValue.toUpper().trimmed();
    QString r;
    try {
        r = ParseGuid(v);
    } catch (const EConvertError &) {
        r.clear();
    }
    if (!r.isEmpty() && r != v)
        throw Exception(QStringLiteral("Ungültige GUID in Tzc_Dialogs.MessageDlg"));
    return r;
}

void Tzc_DialogsCore::SetAutoAnswersRegistryCreate(TAutoAnswersRegistryCreate AFactory)
{
    if (Tzc_DialogService *service = Tzc_DialogService::Running())
        service->Answers.SetRegistryCreate(std::move(AFactory));
}

bool Tzc_DialogsCore::AutoAnswersRegistryCreateRegistered()
{
    const Tzc_DialogService *service = Tzc_DialogService::Running();
    return service && service->Answers.Registered();
}

void Tzc_DialogsCore::SetShiftStateReader(TShiftStateReader AReader)
{
    if (Tzc_DialogService *service = Tzc_DialogService::Running())
        service->Answers.SetShiftStateReader(std::move(AReader));
}

void Tzc_DialogsCore::AutoAnswersAdd(const QString &AGuid, TModalResult AResultValue)
{
    Tzc_DialogService::Require().Answers.Add(AGuid, AResultValue);
}

void Tzc_DialogsCore::AutoAnswersRemove(const QString &AGuid)
{
    Tzc_DialogService::Require().Answers.Remove(AGuid);
}

void Tzc_DialogsCore::AutoAnswersReset()
{
    Tzc_DialogService::Require().Answers.Reset();
}

std::optional<TModalResult> Tzc_DialogsCore::AutoAnswersLookup(const QString &AGuid, TMsgDlgButtons Buttons)
{
    return Tzc_DialogService::Require().Answers.Lookup(AGuid, Buttons);
}

QString Tzc_DialogsCore::AutoAnswersVerificationText(const QString &AGuid, int AButtonCount)
{
    return Tzc_DialogService::Require().Answers.VerificationText(AGuid, AButtonCount);
}

void Tzc_DialogsCore::AutoAnswersAfterDialog(
    const QString &AGuid, TModalResult AResult, bool AChecked, TMsgDlgButtons ASaveAnswerButtons)
{
    Tzc_DialogService::Require().Answers.AfterDialog(AGuid, AResult, AChecked, ASaveAnswerButtons);
}

bool Tzc_DialogsCore::AutoAnswerQualifies(TModalResult AResult, TMsgDlgButtons ASaveAnswerButtons)
{
    return Tzc_AutoAnswerStore::Qualifies(AResult, ASaveAnswerButtons);
}

TMsgDlgBtn Tzc_DialogsCore::CalcDefaultButton(TMsgDlgButtons AButtons)
{
    return DefaultMsgDlgButton(AButtons);
}

TModalResult Tzc_DialogsCore::ButtonResult(TMsgDlgBtn AButton)
{
    return TaskDialogButtonResult(AButton);
}

QString Tzc_DialogsCore::BreakLongRuns(const QString &AText)
{
    constexpr qsizetype MaxRun = 4096;
    if (AText.size() <= MaxRun)
        return AText;
    QString r = AText;
    int run = 0;
    // Breaks are scanned as they come in: each one ends its stretch.
    for (qsizetype i = 0; i < r.size(); ++i) {
        const char16_t c = r.at(i).unicode();
        if (c == u'\t' || c == u'\n' || c == 11 || c == u'\r' || c == 28 || c == u' ') {
            run = 0;
        } else if (run <= MaxRun) {
            ++run;
        } else {
            // Between characters: one outside the BMP is a pair of code units that stays whole.
            if (r.at(i).isHighSurrogate() && i + 1 < r.size() && r.at(i + 1).isLowSurrogate())
                ++i;
            if (i + 1 < r.size()) { // a break after the last character would only add an empty line
                r.insert(i + 1, u'\r');
                run = 2;
            }
        }
    }
    return r;
}

QString Tzc_DialogsCore::ExceptionLeerCleanUp(const QString &AExceptionText)
{
    static const QString Marker = QStringLiteral("EXCEPT_LEER");
    if (!AExceptionText.contains(Marker))
        return AExceptionText;
    try {
        static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
        QStringList lines = AExceptionText.split(lineEnd);
        if (!lines.isEmpty() && lines.constLast().isEmpty())
            lines.removeLast(); // a final line end starts no line
        QString result = AExceptionText;
        if (lines.size() > 2 && lines.at(1) == Marker) {
            result.clear();
            for (qsizetype i = 2; i < lines.size(); ++i) {
                if (lines.at(i).startsWith(QStringLiteral("AT "), Qt::CaseInsensitive))
                    break;
                result += u'\r' + lines.at(i);
            }
        }
        return trimControls(result);
    } catch (...) {
        return AExceptionText;
    }
}

void Tzc_DialogsCore::RaiseMessageDlgException(const QString &AExceptionText)
{
    throw EDialogMessageException(ExceptionLeerCleanUp(AExceptionText));
}

bool Tzc_DialogsCore::UseLatestCommonDialogs()
{
    const Tzc_DialogService *service = Tzc_DialogService::Running();
    return !service || service->UseLatestCommonDialogs();
}

void Tzc_DialogsCore::SetUseLatestCommonDialogs(bool AValue)
{
    if (Tzc_DialogService *service = Tzc_DialogService::Running())
        service->SetUseLatestCommonDialogs(AValue);
}

bool Tzc_DialogsCore::TaskDialogsAvailable()
{
    // Qt's task dialog runs wherever its widgets do: no system version stands in the way.
    return UseLatestCommonDialogs();
}

const TUnit zc_DialogsCoreUnit
    = { "zc_Dialogs", [] { Tzc_DialogService::Start(nullptr); }, [] { Tzc_DialogService::Finish(); } };

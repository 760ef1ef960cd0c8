#include "zc_dialogs_core.h"

#include "platform/exception.h"
#include "platform/exceptiontext.h"
#include "platform/textformat.h"
#include "platform/thread.h"

#include <QRegularExpression>

#include <QtGlobal>

#include <utility>

namespace {

// The one service; the unit's start and finish are its only writers, while no other thread runs.
constinit std::unique_ptr<Tzc_DialogService> g_service;

} // namespace

Tzc_DialogService::Tzc_DialogService() = default;
Tzc_DialogService::~Tzc_DialogService() = default;

Tzc_DialogService *Tzc_DialogService::Running()
{
    return g_service.get();
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
    if (TThread::IsGuiThread()) {
        THistorieItem::Create(
            AInstruction, AContent, DlgType, Buttons, DefaultButton, AGuid, AAnswerTyp, AResult);
        return;
    }
    // Not tagged with the calling thread: a worker that ends right after its dialog must not take
    // the entry with it.
    TThread::Queue(nullptr, [=] {
        if (!GetHistorie())
            return;
        try {
            THistorieItem::Create(
                AInstruction, AContent, DlgType, Buttons, DefaultButton, AGuid, AAnswerTyp, AResult);
        } catch (...) {
            qWarning("Dialog history entry lost: %s", qPrintable(CurrentExceptionMessage()));
        }
    });
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
        service->AutoAnswersRegistryCreate = std::move(AFactory);
}

bool Tzc_DialogsCore::AutoAnswersRegistryCreateRegistered()
{
    const Tzc_DialogService *service = Tzc_DialogService::Running();
    return service && service->AutoAnswersRegistryCreate;
}

void Tzc_DialogsCore::SetShiftStateReader(TShiftStateReader AReader)
{
    if (Tzc_DialogService *service = Tzc_DialogService::Running())
        service->ShiftStateReader = std::move(AReader);
}

std::unique_ptr<TRegistry> Tzc_DialogsCore::OpenAutoAnswers()
{
    Tzc_DialogService *service = Tzc_DialogService::Running();
    std::unique_ptr<TRegistry> store
        = service && service->AutoAnswersRegistryCreate ? service->AutoAnswersRegistryCreate() : nullptr;
    if (!store)
        throw ERegistryException(
            QStringLiteral("Der Speicher der automatischen Antworten ist nicht geöffnet."));
    return store;
}

void Tzc_DialogsCore::RecordDialog(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton, const QString &AGuid, quint8 AAnswerTyp,
    TModalResult AResult)
{
    // A dialog shown before the unit starts or after it finished is not lost for want of a history.
    if (TThread::IsGuiThread() && !GetHistorie())
        return;
    AddToHistoryStack(AInstruction, AContent, DlgType, Buttons, DefaultButton, AGuid, AAnswerTyp, AResult);
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
    return !service || service->UseLatestCommonDialogs;
}

void Tzc_DialogsCore::SetUseLatestCommonDialogs(bool AValue)
{
    if (Tzc_DialogService *service = Tzc_DialogService::Running())
        service->UseLatestCommonDialogs = AValue;
}

bool Tzc_DialogsCore::TaskDialogsAvailable()
{
    // Qt's task dialog runs wherever its widgets do: no system version stands in the way.
    return UseLatestCommonDialogs();
}

void zc_DialogsStart()
{
    // Counted, so that a second run of the units in one process keeps the first one's history.
    if (g_service) {
        ++g_service->m_runs;
        return;
    }
    g_service = std::make_unique<Tzc_DialogService>();
}

void zc_DialogsFinish()
{
    if (!g_service || --g_service->m_runs > 0)
        return;
    // The routes lead into this state: the platform's own dialogs come back first.
    if (g_service->Routed.exchange(false)) {
        if (const auto unroute = g_service->Unroute.exchange(nullptr))
            unroute();
    }
    // The history, its views' list and the host's factory (which may hold objects of its own) go
    // now, not at process exit.
    g_service.reset();
}

const TUnit zc_DialogsUnit = { "zc_Dialogs", zc_DialogsStart, zc_DialogsFinish };

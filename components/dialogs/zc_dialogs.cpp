#include "zc_dialogs.h"

#include "platform/exception.h"
#include "platform/textformat.h"
#include "platform/thread.h"

#include <QRegularExpression>

#include <QtGlobal>

#include <utility>

THistorie *Tzc_Dialogs::FHistorie = nullptr;
int Tzc_Dialogs::FUnitCount = 0;
Tzc_Dialogs::TAutoAnswersRegistryCreate Tzc_Dialogs::FAutoAnswersRegistryCreate;
Tzc_Dialogs::TShiftStateReader Tzc_Dialogs::FShiftStateReader;
std::atomic<bool> Tzc_Dialogs::FUseLatestCommonDialogs = true;
QVariant Tzc_Dialogs::FButtonFont;
std::atomic<bool> Tzc_Dialogs::FRouted = false;
std::atomic<void (*)()> Tzc_Dialogs::FUnroute = nullptr;

THistorie *Tzc_Dialogs::GetHistorie()
{
    return FHistorie;
}

void Tzc_Dialogs::AddToHistoryStack(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton, const QString &AGuid, quint8 AAnswerTyp,
    TModalResult AResult)
{
    if (TThread::IsGuiThread()) {
        THistorieItem::Create(
            AInstruction, AContent, DlgType, Buttons, DefaultButton, AGuid, AAnswerTyp, AResult);
        return;
    }
    // Not tagged with the calling thread: a worker that ends right after its dialog must not take
    // the entry with it.
    TThread::Queue(nullptr, [=] {
        if (!FHistorie)
            return;
        try {
            THistorieItem::Create(
                AInstruction, AContent, DlgType, Buttons, DefaultButton, AGuid, AAnswerTyp, AResult);
        } catch (...) {
            qWarning("Dialog history entry lost: %s", qPrintable(CurrentExceptionMessage()));
        }
    });
}

QString Tzc_Dialogs::ParseGuid(const QString &AValue)
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

QString Tzc_Dialogs::CheckGuid(const QString &AValue)
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

void Tzc_Dialogs::SetAutoAnswersRegistryCreate(TAutoAnswersRegistryCreate AFactory)
{
    FAutoAnswersRegistryCreate = std::move(AFactory);
}

bool Tzc_Dialogs::AutoAnswersRegistryCreateRegistered()
{
    return bool(FAutoAnswersRegistryCreate);
}

void Tzc_Dialogs::SetShiftStateReader(TShiftStateReader AReader)
{
    FShiftStateReader = std::move(AReader);
}

std::unique_ptr<TRegistry> Tzc_Dialogs::OpenAutoAnswers()
{
    std::unique_ptr<TRegistry> store = FAutoAnswersRegistryCreate();
    if (!store)
        throw ERegistryException(
            QStringLiteral("Der Speicher der automatischen Antworten ist nicht geöffnet."));
    return store;
}

void Tzc_Dialogs::RecordDialog(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
    TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton, const QString &AGuid, quint8 AAnswerTyp,
    TModalResult AResult)
{
    // A dialog shown before the unit starts or after it finished is not lost for want of a history.
    if (TThread::IsGuiThread() && !FHistorie)
        return;
    AddToHistoryStack(AInstruction, AContent, DlgType, Buttons, DefaultButton, AGuid, AAnswerTyp, AResult);
}

TMsgDlgBtn Tzc_Dialogs::CalcDefaultButton(TMsgDlgButtons AButtons)
{
    if (AButtons.Contains(mbOK))
        return mbOK;
    if (AButtons.Contains(mbYes))
        return mbYes;
    for (int b = mbYes; b <= mbClose; ++b) {
        if (AButtons.Contains(TMsgDlgBtn(b)))
            return TMsgDlgBtn(b);
    }
    return mbAbort;
}

TModalResult Tzc_Dialogs::ButtonResult(TMsgDlgBtn AButton)
{
    return TaskDialogButtonResult(AButton);
}

QString Tzc_Dialogs::BreakLongRuns(const QString &AText)
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

QString Tzc_Dialogs::ExceptionLeerCleanUp(const QString &AExceptionText)
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

void Tzc_Dialogs::RaiseMessageDlgException(const QString &AExceptionText)
{
    throw EDialogMessageException(ExceptionLeerCleanUp(AExceptionText));
}

bool Tzc_Dialogs::UseLatestCommonDialogs()
{
    return FUseLatestCommonDialogs;
}

void Tzc_Dialogs::SetUseLatestCommonDialogs(bool AValue)
{
    FUseLatestCommonDialogs = AValue;
}

bool Tzc_Dialogs::TaskDialogsAvailable()
{
    // Qt's task dialog runs wherever its widgets do: no system version stands in the way.
    return FUseLatestCommonDialogs;
}

void zc_DialogsStart()
{
    // Counted, so that a second run of the units in one process keeps the first one's history.
    if (Tzc_Dialogs::FUnitCount++ > 0)
        return;
    Tzc_Dialogs::FAutoAnswersRegistryCreate = nullptr;
    Tzc_Dialogs::FShiftStateReader = nullptr;
    THistorie::FOpenViews = new std::vector<THistorieView *>;
    Tzc_Dialogs::FHistorie = new THistorie;
    Tzc_Dialogs::FUseLatestCommonDialogs = true;
    Tzc_Dialogs::FButtonFont.clear();
    Tzc_Dialogs::FRouted = false;
}

void zc_DialogsFinish()
{
    if (Tzc_Dialogs::FUnitCount == 0 || --Tzc_Dialogs::FUnitCount > 0)
        return;
    delete std::exchange(Tzc_Dialogs::FHistorie, nullptr);
    delete std::exchange(THistorie::FOpenViews, nullptr);
    // The host's factory may hold objects of its own; they go now, not at process exit.
    try {
        Tzc_Dialogs::FAutoAnswersRegistryCreate = nullptr;
        Tzc_Dialogs::FShiftStateReader = nullptr;
    } catch (...) {
    }
    Tzc_Dialogs::FButtonFont.clear();
    // The routes lead into this unit's state: the platform's own dialogs come back with its end.
    if (Tzc_Dialogs::FRouted.exchange(false)) {
        if (const auto unroute = Tzc_Dialogs::FUnroute.exchange(nullptr))
            unroute();
    }
}

const TUnit zc_DialogsUnit = { "zc_Dialogs", zc_DialogsStart, zc_DialogsFinish };

#include "zc_dialogs.h"

#include "platform/exception.h"
#include "platform/thread.h"

#include <QRegularExpression>

#include <QtGlobal>

#include <utility>

THistorie *Tzc_Dialogs::FHistorie = nullptr;
int Tzc_Dialogs::FUnitCount = 0;
Tzc_Dialogs::TAutoAnswersRegistryCreate Tzc_Dialogs::FAutoAnswersRegistryCreate;
Tzc_Dialogs::TShiftStateReader Tzc_Dialogs::FShiftStateReader;

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
        } catch (const std::exception &e) {
            qWarning("Dialog history entry lost: %s", e.what());
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

void zc_DialogsStart()
{
    // Counted, so that a second run of the units in one process keeps the first one's history.
    if (Tzc_Dialogs::FUnitCount++ > 0)
        return;
    Tzc_Dialogs::FAutoAnswersRegistryCreate = nullptr;
    Tzc_Dialogs::FShiftStateReader = nullptr;
    THistorie::FOpenViews = new std::vector<THistorieView *>;
    Tzc_Dialogs::FHistorie = new THistorie;
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
}

const TUnit zc_DialogsUnit = { "zc_Dialogs", zc_DialogsStart, zc_DialogsFinish };

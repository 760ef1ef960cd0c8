#include "zc_dialogs_history.h"

#include "components/dialogs/zc_dialogs_core.h"
#include "platform/exception.h"
#include "platform/exceptiontext.h"
#include "platform/textformat.h"
#include "platform/thread.h"

#include <algorithm>
#include <array>
#include <typeinfo>

using namespace Qt::StringLiterals;

namespace {

void appendIndented(QStringList &lines, const QString &text, int indent)
{
    const QString blanks(indent, u' ');
    for (const QString &line : splitLines(text))
        lines.append(blanks + line);
}

} // namespace

THistorieItem *THistorieItem::Create(const QString &AInstruction, const QString &AContent,
    TMsgDlgType DlgType, TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton, const QString &AGuid,
    quint8 AAnswerTyp, TModalResult AResult)
{
    std::unique_ptr<THistorieItem> item(new THistorieItem);
    item->fHistorieType = HistorieTypeDialog;
    item->fInstruction = AInstruction;
    item->fContent = AContent;
    item->fDlgType = DlgType;
    item->fButtons = Buttons;
    item->fDefaultButton = DefaultButton;
    item->fGuid = AGuid;
    item->fAnswerTyp = AAnswerTyp;
    item->fResult = AResult;
    return insert(std::move(item));
}

THistorieItem *THistorieItem::Create(const std::exception &AException)
{
    std::unique_ptr<THistorieItem> item(new THistorieItem);
    item->fHistorieType = HistorieTypeException;
    item->fInstruction = DemangledTypeName(typeid(AException));
    item->fContent = ExceptionMessage(AException);
    return insert(std::move(item));
}

THistorieItem *THistorieItem::insert(std::unique_ptr<THistorieItem> item)
{
    // The history and its views belong to the GUI thread; another thread would race them.
    if (!TThread::IsGuiThread())
        throw Exception(u"The dialog history can only be written on the GUI thread."_s);
    return Tzc_DialogService::Require().Historie.Insert(std::move(item));
}

void THistorieViews::Remove(THistorieView *AView)
{
    m_views.erase(std::remove(m_views.begin(), m_views.end(), AView), m_views.end());
}

void THistorieViews::Notify()
{
    // A handler may open or close views; walk a copy and skip the ones closed meanwhile.
    const std::vector<THistorieView *> copy = m_views;
    for (THistorieView *view : copy) {
        if (std::find(m_views.begin(), m_views.end(), view) == m_views.end())
            continue;
        try {
            view->HistorieChanged();
        } catch (...) {
            // One broken view must not keep the others stale.
        }
    }
}

THistorie::THistorie() = default;
THistorie::~THistorie() = default;

const THistorieItem &THistorie::Items(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw EArgumentOutOfRangeException(
            u"Dialog history index %1 out of range (%2 entries)."_s.arg(Index).arg(Count()));
    return *m_items[size_t(Index)];
}

THistorieItem *THistorie::Insert(std::unique_ptr<THistorieItem> AItem)
{
    AItem->fTimeStamp = QDateTime::currentDateTime();
    THistorieItem *result = AItem.get();
    m_items.insert(m_items.begin(), std::move(AItem));
    GarbageCollect();
    Views.Notify();
    return result;
}

void THistorie::GarbageCollect()
{
    if (Views.Count() > 0)
        return;
    while (Count() > MaxEntries)
        m_items.pop_back();
}

void THistorie::Clear()
{
    m_items.clear();
    Views.Notify();
}

void THistorie::AddView(THistorieView *AView)
{
    Tzc_DialogService::Require().Historie.Views.Add(AView);
}

void THistorie::RemoveView(THistorieView *AView)
{
    if (Tzc_DialogService *service = Tzc_DialogService::Running())
        service->Historie.Views.Remove(AView);
}

int THistorie::OpenViewCount()
{
    const Tzc_DialogService *service = Tzc_DialogService::Running();
    return service ? service->Historie.Views.Count() : 0;
}

void THistorie::NotifyViews()
{
    if (Tzc_DialogService *service = Tzc_DialogService::Running())
        service->Historie.Views.Notify();
}

QString HistorieResultName(qint32 AResult)
{
    switch (AResult) {
    case mrOk:
        return u"mrOK"_s;
    case mrCancel:
        return u"mrCancel"_s;
    case mrAbort:
        return u"mrAbort"_s;
    case mrRetry:
        return u"mrRetry"_s;
    case mrIgnore:
        return u"mrIgnore"_s;
    case mrYes:
        return u"mrYes"_s;
    case mrNo:
        return u"mrNo"_s;
    case mrClose:
        return u"mrClose"_s;
    case mrAll:
        return u"mrAll"_s;
    case mrNoToAll:
        return u"mrNoToAll"_s;
    case mrYesToAll:
        return u"mrYesToAll"_s;
    default:
        return u"Unbekannt %1"_s.arg(AResult);
    }
}

QStringList HistorieLines(const THistorie &AHistorie)
{
    static const QString separator(73, QChar(0x2014));
    QStringList lines;
    for (int i = 0; i < AHistorie.Count(); ++i) {
        const THistorieItem &item = AHistorie.Items(i);
        QString header = item.TimeStamp().toString(u"yyyy-MM-dd hh:mm:ss"_s);
        if (item.HistorieType() == HistorieTypeException)
            header += u" Exception"_s;
        else if (item.HistorieType() == HistorieTypeDialog)
            header += u" MessageDlg"_s;
        switch (item.AnswerTyp()) {
        case AnswerTypOldStyle:
            header += u" OldStyle Dialog"_s;
            break;
        case AnswerTypUser:
            header += u" Dialog"_s;
            break;
        case AnswerTypAutomatic:
            header += u" Automatisch beantworteter Dialog"_s;
            break;
        case AnswerTypTimeOut:
            header += u" TimeOut Dialog"_s;
            break;
        default:
            break;
        }
        lines.append(header);
        if (!item.Instruction().isEmpty())
            appendIndented(lines, item.Instruction(), 0);
        if (!item.Content().isEmpty())
            appendIndented(lines, item.Content(), 2);
        lines.append(HistorieResultName(item.Result()));
        lines.append(separator);
    }
    return lines;
}

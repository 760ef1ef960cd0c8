#include "zc_dialogs_history.h"

#include "components/dialogs/zc_dialogs.h"
#include "platform/exception.h"
#include "platform/textformat.h"
#include "platform/thread.h"

#include <algorithm>
#include <array>
#include <typeinfo>

#if defined(__GNUG__)
#include <cstdlib>
#include <cxxabi.h>
#endif

using namespace Qt::StringLiterals;

std::vector<THistorieView *> *THistorie::FOpenViews = nullptr;

namespace {

QString className(const std::exception &e)
{
    const char *name = typeid(e).name();
#if defined(__GNUG__)
    int status = 0;
    char *demangled = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    if (status == 0 && demangled) {
        QString result = QString::fromLatin1(demangled);
        std::free(demangled);
        return result;
    }
#endif
    return QString::fromLatin1(name);
}

QString message(const std::exception &e)
{
    if (const auto *own = dynamic_cast<const Exception *>(&e))
        return own->message();
    return QString::fromUtf8(e.what());
}

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
    item->fInstruction = className(AException);
    item->fContent = message(AException);
    return insert(std::move(item));
}

THistorieItem *THistorieItem::insert(std::unique_ptr<THistorieItem> item)
{
    // The history and its views belong to the GUI thread; another thread would race them.
    if (!TThread::IsGuiThread())
        throw Exception(u"The dialog history can only be written on the GUI thread."_s);
    THistorie *historie = Tzc_Dialogs::GetHistorie();
    if (!historie)
        throw Exception(u"The dialog history does not exist: unit zc_Dialogs has not started."_s);
    item->fTimeStamp = QDateTime::currentDateTime();
    THistorieItem *result = item.get();
    historie->m_items.insert(historie->m_items.begin(), std::move(item));
    historie->GarbageCollect();
    THistorie::NotifyViews();
    return result;
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

void THistorie::GarbageCollect()
{
    if (OpenViewCount() > 0)
        return;
    while (Count() > MaxEntries)
        m_items.pop_back();
}

void THistorie::Clear()
{
    m_items.clear();
    NotifyViews();
}

void THistorie::AddView(THistorieView *AView)
{
    if (!FOpenViews)
        throw Exception(u"No dialog history view can open: unit zc_Dialogs has not started."_s);
    FOpenViews->push_back(AView);
}

void THistorie::RemoveView(THistorieView *AView)
{
    if (FOpenViews)
        FOpenViews->erase(std::remove(FOpenViews->begin(), FOpenViews->end(), AView), FOpenViews->end());
}

int THistorie::OpenViewCount()
{
    return FOpenViews ? int(FOpenViews->size()) : 0;
}

void THistorie::NotifyViews()
{
    if (!FOpenViews)
        return;
    // A handler may open or close views; walk a copy and skip the ones closed meanwhile.
    const std::vector<THistorieView *> views = *FOpenViews;
    for (THistorieView *view : views) {
        if (!FOpenViews || std::find(FOpenViews->begin(), FOpenViews->end(), view) == FOpenViews->end())
            continue;
        try {
            view->HistorieChanged();
        } catch (...) {
            // One broken view must not keep the others stale.
        }
    }
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

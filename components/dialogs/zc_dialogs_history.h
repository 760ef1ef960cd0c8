#pragma once
// The dialog service's history: every dialog it has shown and how it was answered, and exceptions an
// application logs into it, newest first. Only the GUI thread touches it. Open views (THistorieFrame)
// are told of every change; while any view is open nothing is trimmed, so that the text a view shows
// never refers to entries already gone.

#include "platform/dialogtypes.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <exception>
#include <memory>
#include <vector>

class QWidget;
class THistorieFrame;

// Kinds of entry and of answer.
constexpr quint8 HistorieTypeException = 1;
constexpr quint8 HistorieTypeDialog = 2;
constexpr quint8 AnswerTypOldStyle = 0;
constexpr quint8 AnswerTypUser = 1;
constexpr quint8 AnswerTypAutomatic = 2;
constexpr quint8 AnswerTypTimeOut = 3;
constexpr quint8 AnswerTypNone = 255;

// An open view of the history.
class THistorieView
{
public:
    virtual ~THistorieView() = default;
    // Called on every change of the history; may raise, the history goes on regardless.
    virtual void HistorieChanged() = 0;
};

// One entry. Created only through Create, which hands it to the process's history.
class THistorieItem
{
public:
    // A dialog entry stamped now: inserted as the newest entry, the history trimmed, the views told.
    // GUI thread only; raises Exception when called elsewhere or when the history does not exist.
    static THistorieItem *Create(const QString &AInstruction, const QString &AContent, TMsgDlgType DlgType,
        TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton, const QString &AGuid, quint8 AAnswerTyp,
        TModalResult AResult);
    // An exception entry: class name as instruction, message as content, no buttons, result 0.
    static THistorieItem *Create(const std::exception &AException);

    quint8 HistorieType() const { return fHistorieType; }
    const QString &Instruction() const { return fInstruction; }
    const QString &Content() const { return fContent; }
    TMsgDlgType DlgType() const { return fDlgType; }
    TMsgDlgButtons Buttons() const { return fButtons; }
    TMsgDlgBtn DefaultButton() const { return fDefaultButton; }
    const QString &Guid() const { return fGuid; }
    quint8 AnswerTyp() const { return fAnswerTyp; }
    qint32 Result() const { return fResult; }
    const QDateTime &TimeStamp() const { return fTimeStamp; }

private:
    friend class THistorie;
    THistorieItem() = default;
    // Into the running service's history.
    static THistorieItem *insert(std::unique_ptr<THistorieItem> item);

    quint8 fHistorieType = HistorieTypeDialog;
    QString fInstruction;
    QString fContent;
    TMsgDlgType fDlgType = mtCustom;
    TMsgDlgButtons fButtons;
    TMsgDlgBtn fDefaultButton = mbAbort;
    QString fGuid;
    quint8 fAnswerTyp = AnswerTypNone;
    qint32 fResult = 0;
    QDateTime fTimeStamp;
};

// The open views of a history, in the order they were opened; it does not own them.
class THistorieViews
{
public:
    void Add(THistorieView *AView) { m_views.push_back(AView); }
    void Remove(THistorieView *AView);
    int Count() const { return int(m_views.size()); }
    // Tells every view, in order; a view that raises does not stop the next.
    void Notify();

private:
    std::vector<THistorieView *> m_views;
};

// The list of entries, index 0 the newest; it owns them.
class THistorie
{
public:
    using THistorieFrame = ::THistorieFrame;

    // Most entries kept while no view is open.
    static constexpr int MaxEntries = 1001;

    THistorie();
    ~THistorie();
    THistorie(const THistorie &) = delete;
    THistorie &operator=(const THistorie &) = delete;

    int Count() const { return int(m_items.size()); }
    // Raises EArgumentOutOfRangeException outside 0..Count()-1.
    const THistorieItem &Items(int Index) const;

    // Drops the oldest entries beyond MaxEntries, unless a view is open.
    void GarbageCollect();
    // Removes all entries, then tells the views.
    void Clear();
    // A visible view filling AOwner (its owner and parent). Lives with the widgets, in pravik_dialogs.
    THistorieFrame *CreateView(QWidget *AOwner);
    // Stamps AItem now, inserts it as the newest entry, trims and tells the views. GUI thread only.
    THistorieItem *Insert(std::unique_ptr<THistorieItem> AItem);

    // This history's open views.
    THistorieViews Views;

    // The open views of the running service's history. A view joins at the end of its construction
    // and leaves at the start of its destruction; joining raises Exception while the unit is not
    // running.
    static void AddView(THistorieView *AView);
    static void RemoveView(THistorieView *AView);
    static int OpenViewCount();
    static void NotifyViews();

private:
    std::vector<std::unique_ptr<THistorieItem>> m_items;
};

// The log text of the history, newest entry first: a header line, instruction, indented content,
// result name and a line of 73 em dashes per entry.
QStringList HistorieLines(const THistorie &AHistorie);
// "mrOK", "mrCancel", ... or "Unbekannt %d".
QString HistorieResultName(qint32 AResult);

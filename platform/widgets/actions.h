#pragma once
// Actions with idle-time updates: every action of a list gets its update handler called whenever the
// application becomes idle (the event loop is about to wait), so enabled states and status texts
// follow the program's state without each change having to announce itself.

#include <QAction>
#include <QList>
#include <QObject>
#include <functional>

class TAction : public QAction
{
    Q_OBJECT

public:
    explicit TAction(QObject *parent = nullptr);

    // Runs on every idle moment; the action is its sender.
    std::function<void(TAction *Sender)> OnUpdate;
    // Runs when the action is triggered (menu, shortcut, Execute()).
    std::function<void(TAction *Sender)> OnExecute;
    // An exception of either handler goes to the application's exception handler; it never stops
    // the other actions' updates.

    // Triggers the action as the user would.
    void Execute();
    // A short hint (tooltip) and a long one (status tip) in one text, separated by '|'.
    void SetHint(const QString &hint);
    QString Category;
};

class TActionList : public QObject
{
    Q_OBJECT

public:
    explicit TActionList(QObject *parent = nullptr);
    ~TActionList() override;

    void Add(TAction *action);
    const QList<TAction *> &Actions() const { return m_actions; }

    // Runs every update handler now; the idle hook calls this too.
    void UpdateActions();

private:
    void onIdle();

    QList<TAction *> m_actions;
    bool m_updating = false;
};

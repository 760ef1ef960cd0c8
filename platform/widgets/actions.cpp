#include "actions.h"

#include "application.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QScopedValueRollback>
#include <QThread>

TAction::TAction(QObject *parent)
    : QAction(parent)
{
    connect(this, &QAction::triggered, this, [this] {
        if (OnExecute)
            Guarded([this] { OnExecute(this); });
    });
}

void TAction::Execute()
{
    if (isEnabled())
        trigger();
}

void TAction::SetHint(const QString &hint)
{
    const qsizetype bar = hint.indexOf(u'|');
    setToolTip(bar < 0 ? hint : hint.left(bar));
    setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

TActionList::TActionList(QObject *parent)
    : QObject(parent)
{
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TActionList::onIdle);
}

TActionList::~TActionList() = default;

void TActionList::Add(TAction *action)
{
    m_actions.append(action);
    connect(action, &QObject::destroyed, this, [this, action] { m_actions.removeOne(action); });
}

void TActionList::onIdle()
{
    UpdateActions();
}

void TActionList::UpdateActions()
{
    // An update handler that opens a dialog would spin the loop and come back here.
    if (m_updating)
        return;
    const QScopedValueRollback updating(m_updating, true);
    // Actions deleted by an earlier handler of this round drop out of the list through their
    // destroyed signal; the copy is checked against it.
    const QList<TAction *> actions = m_actions;
    for (TAction *action : actions) {
        if (m_actions.contains(action) && action->OnUpdate)
            Guarded([action] { action->OnUpdate(action); });
    }
}

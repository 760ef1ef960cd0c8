#pragma once
// Tzc_Thread: base of the library's worker threads. Adds to the platform thread the time of its
// creation, a readable name and membership in the process-wide ThreadRegistry of live threads.

#include "platform/thread.h"
#include "platform/units.h"

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QString>

class Tzc_Thread;

// A list guarded by its own lock; additions and removals may come from any thread.
class Tzc_ThreadList
{
public:
    // Adds AThread unless it is already listed.
    void Add(Tzc_Thread *AThread);
    void Remove(Tzc_Thread *AThread);
    bool Contains(const Tzc_Thread *AThread) const;
    int Count() const;
    // A copy taken under the lock; its entries may be freed once the lock is released.
    QList<Tzc_Thread *> Snapshot() const;

private:
    mutable QMutex m_lock;
    QList<Tzc_Thread *> m_list;
};

class Tzc_Thread : public TThread
{
public:
    // Starts only when created through TThread::New and not suspended (see platform/thread.h).
    explicit Tzc_Thread(bool CreateSuspended);
    ~Tzc_Thread() override;

    // Local time of construction.
    QDateTime Created() const { return FCreated; }
    // The name given by SetThreadName, else the class name without its first character (at most
    // 2000 characters): TTriggerThread reads "TriggerThread".
    QString ThreadName() const;

protected:
    void SetThreadName(const QString &AName);
    QString DebugName() const override { return ThreadName(); }

private:
    QDateTime FCreated;
    mutable QMutex FNameLock; // the worker reads the name when it starts
    QString FThreadName;
    bool FNameSet = false;
};

// Every live Tzc_Thread, from its construction to its destruction; null outside the unit's run. A
// thread created before the unit starts is not listed, one destroyed after it finished skips the
// removal.
Tzc_ThreadList *ThreadRegistry();
// Local time of the most recent construction of a Tzc_Thread; invalid before the first one.
QDateTime LastThreadCreated();

// The unit zc_Thread: creates the thread register at start, frees it at finish.
extern const TUnit zc_ThreadUnit;

#include "zc_thread.h"

#include "platform/exceptiontext.h"

#include <QMutexLocker>

#include <atomic>
#include <limits>
#include <memory>
#include <typeinfo>
#include <utility>

namespace {

std::atomic<qint64> g_lastThreadCreated { std::numeric_limits<qint64>::min() };

// Held while the register is used or replaced: a thread that frees itself on its own thread may end
// while the unit finishes.
Q_CONSTINIT QBasicMutex g_registryLifetime;
Tzc_ThreadList *g_registry = nullptr;

void startThreadRegister()
{
    QMutexLocker lock(&g_registryLifetime);
    if (!g_registry)
        g_registry = new Tzc_ThreadList;
}

void finishThreadRegister()
{
    QMutexLocker lock(&g_registryLifetime);
    delete std::exchange(g_registry, nullptr);
}

// The unqualified C++ class name of the object's dynamic type.
QString className(const std::type_info &type)
{
    QString name = DemangledTypeName(type);
    const qsizetype templateStart = name.indexOf(QLatin1Char('<'));
    const qsizetype scope = name.lastIndexOf(QLatin1String("::"), templateStart);
    if (scope >= 0)
        name.remove(0, scope + 2);
    return name;
}

} // namespace

void Tzc_ThreadList::Add(Tzc_Thread *AThread)
{
    QMutexLocker lock(&m_lock);
    if (!m_list.contains(AThread))
        m_list.append(AThread);
}

void Tzc_ThreadList::Remove(Tzc_Thread *AThread)
{
    QMutexLocker lock(&m_lock);
    m_list.removeAll(AThread);
}

bool Tzc_ThreadList::Contains(const Tzc_Thread *AThread) const
{
    QMutexLocker lock(&m_lock);
    return m_list.contains(AThread);
}

int Tzc_ThreadList::Count() const
{
    QMutexLocker lock(&m_lock);
    return int(m_list.size());
}

QList<Tzc_Thread *> Tzc_ThreadList::Snapshot() const
{
    QMutexLocker lock(&m_lock);
    return m_list;
}

const TUnit zc_ThreadUnit = { "zc_Thread", startThreadRegister, finishThreadRegister };

Tzc_ThreadList *ThreadRegistry()
{
    QMutexLocker lock(&g_registryLifetime);
    return g_registry;
}

QDateTime LastThreadCreated()
{
    const qint64 ms = g_lastThreadCreated.load();
    return ms == std::numeric_limits<qint64>::min() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(ms);
}

Tzc_Thread::Tzc_Thread(bool CreateSuspended)
    : TThread(CreateSuspended)
    , FCreated(QDateTime::currentDateTime())
{
    {
        QMutexLocker lock(&g_registryLifetime);
        if (g_registry)
            g_registry->Add(this);
    }
    g_lastThreadCreated = QDateTime::currentMSecsSinceEpoch();
}

Tzc_Thread::~Tzc_Thread()
{
    QMutexLocker lock(&g_registryLifetime);
    if (g_registry)
        g_registry->Remove(this);
}

QString Tzc_Thread::ThreadName() const
{
    // The dynamic class is known only once construction is complete, so the default is formed here.
    {
        QMutexLocker lock(&FNameLock);
        if (FNameSet)
            return FThreadName;
    }
    return className(typeid(*this)).mid(1).left(2000);
}

void Tzc_Thread::SetThreadName(const QString &AName)
{
    {
        QMutexLocker lock(&FNameLock);
        FThreadName = AName;
        FNameSet = true;
    }
    NameThreadForDebugging(AName);
}

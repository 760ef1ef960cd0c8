#include "components/scaling/zc_hooks.h"

#include "platform/syserror.h"

#include <QFile>
#include <QHash>
#include <QThread>
#include <QVarLengthArray>

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <limits>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<Tzc_Hooks> g_registry;

// What the event callback reads: the installed procedures by thread. Kept apart from the register
// so that a procedure runs without any lock held and may itself add or remove hooks.
struct TDispatch
{
    QMutex lock;
    QHash<QThread *, QList<QPair<THookHandle, THookProc>>> byThread;
    std::atomic<int> installed { 0 };
    std::atomic<THookHandle> lastHandle { 0 };
    bool watching = false; // the callback is registered with Qt
};

TDispatch &dispatch()
{
    static TDispatch d;
    return d;
}

// Qt calls this for every event it delivers, on the delivering thread, before the receiver's own
// filters; returning false lets the event go on.
bool observeEvent(void **data)
{
    TDispatch &d = dispatch();
    if (d.installed.load(std::memory_order_acquire) == 0)
        return false;
    QVarLengthArray<THookProc, 4> procs;
    {
        const QMutexLocker locker(&d.lock);
        const auto it = d.byThread.constFind(QThread::currentThread());
        if (it == d.byThread.cend())
            return false;
        for (const auto &entry : *it)
            procs.append(entry.second);
    }
    auto *receiver = static_cast<QObject *>(data[0]);
    auto *event = static_cast<QEvent *>(data[1]);
    for (const THookProc &proc : procs) {
        // No exception may cross Qt's event delivery.
        try {
            proc(receiver, event);
        } catch (const std::exception &e) {
            qWarning("A message hook raised: %s", e.what());
        } catch (...) {
            qWarning("A message hook raised an unknown exception");
        }
    }
    return false;
}

void startHooks()
{
    g_registry = std::make_unique<Tzc_Hooks>();
    // Registered once while the process has a single thread: Qt's callback list has no lock.
    TDispatch &d = dispatch();
    if (!d.watching) {
        QInternal::registerCallback(QInternal::EventNotifyCallback, observeEvent);
        d.watching = true;
    }
}

void finishHooks()
{
    g_registry.reset();
    TDispatch &d = dispatch();
    if (d.watching) {
        QInternal::unregisterCallback(QInternal::EventNotifyCallback, observeEvent);
        d.watching = false;
    }
}

} // namespace

const TUnit zc_HooksUnit = { "zc_Hooks", startHooks, finishHooks };

Tzc_Hooks *HookRegistry()
{
    return g_registry.get();
}

// Tzc_HookItem

Tzc_HookItem::Tzc_HookItem(int AHookId, THookProc AHookProc)
    : FHookId(AHookId)
    , FHookProc(std::move(AHookProc))
    , FThreadId(QThread::currentThread())
{
}

Tzc_HookItem::~Tzc_HookItem()
{
    Uninstall();
}

QUuid Tzc_HookItem::GetGUID()
{
    if (FGUID.isNull())
        FGUID = QUuid::createUuid();
    return FGUID;
}

void Tzc_HookItem::Install()
{
    TDispatch &d = dispatch();
    if (FHandle != 0 || FHookId != WH_CALLWNDPROC || !FHookProc || !d.watching)
        return;
    const QMutexLocker locker(&d.lock);
    FHandle = ++d.lastHandle;
    d.byThread[FThreadId].append({ FHandle, FHookProc });
    d.installed.fetch_add(1, std::memory_order_release);
}

void Tzc_HookItem::Uninstall()
{
    if (FHandle == 0)
        return;
    TDispatch &d = dispatch();
    const QMutexLocker locker(&d.lock);
    auto it = d.byThread.find(FThreadId);
    if (it != d.byThread.end()) {
        it->removeIf([this](const auto &entry) { return entry.first == FHandle; });
        if (it->isEmpty())
            d.byThread.erase(it);
    }
    d.installed.fetch_sub(1, std::memory_order_release);
    FHandle = 0;
}

// Tzc_Hooks

Tzc_Hooks::Tzc_Hooks() = default;

Tzc_Hooks::~Tzc_Hooks()
{
    const QMutexLocker locker(&m_lock);
    qDeleteAll(m_items);
    m_items.clear();
}

QUuid Tzc_Hooks::AddHook(int AHookId, THookProc AHookProc)
{
    auto item = std::make_unique<Tzc_HookItem>(AHookId, std::move(AHookProc));
    item->Install();
    const QUuid guid = item->GetGUID();
    const QMutexLocker locker(&m_lock);
    m_items.append(item.release());
    return guid;
}

THookHandle Tzc_Hooks::FindHook(const QUuid &AGUID)
{
    const QMutexLocker locker(&m_lock);
    for (Tzc_HookItem *item : std::as_const(m_items)) {
        if (item->GetGUID() == AGUID)
            return item->FHandle;
    }
    return 0;
}

void Tzc_Hooks::RemoveHook(QUuid &AGUID)
{
    if (AGUID.isNull())
        return;
    Tzc_HookItem *found = nullptr;
    {
        const QMutexLocker locker(&m_lock);
        for (qsizetype i = 0; i < m_items.size(); ++i) {
            if (m_items[i]->GetGUID() == AGUID) {
                found = m_items.takeAt(i);
                break;
            }
        }
    }
    if (!found)
        return;
    AGUID = QUuid();
    delete found; // uninstalls
}

int Tzc_Hooks::Count() const
{
    const QMutexLocker locker(&m_lock);
    return int(m_items.size());
}

// Code redirection

namespace {

// The protection of the mapping that holds address, from /proc/self/maps; -1 when none does.
int protectionOf(quintptr address)
{
    QFile maps(u"/proc/self/maps"_s);
    if (!maps.open(QIODevice::ReadOnly))
        return -1;
    // Its size reads as 0, so the whole text is read, not a size's worth.
    const QByteArray text = maps.readAll();
    for (const QByteArray &line : text.split('\n')) {
        const qsizetype dash = line.indexOf('-');
        const qsizetype space = line.indexOf(' ');
        if (dash < 0 || space < dash)
            continue;
        const quintptr start = line.left(dash).toULongLong(nullptr, 16);
        const quintptr end = line.mid(dash + 1, space - dash - 1).toULongLong(nullptr, 16);
        if (address < start || address >= end)
            continue;
        const QByteArray perms = line.mid(space + 1, 4);
        int prot = PROT_NONE;
        if (perms.size() == 4) {
            if (perms[0] == 'r')
                prot |= PROT_READ;
            if (perms[1] == 'w')
                prot |= PROT_WRITE;
            if (perms[2] == 'x')
                prot |= PROT_EXEC;
        }
        return prot;
    }
    return -1;
}

// Copies bytes to or from code. ThreadSanitizer would record the access in shadow memory that it keeps
// read-only for code pages, so the copy is not instrumented.
__attribute__((no_sanitize("thread"))) void copyCode(
    volatile quint8 *to, const volatile quint8 *from, int count)
{
    for (int i = 0; i < count; ++i)
        to[i] = from[i];
}

// Writes bytes over code: its pages writable for the moment, their protection restored afterwards.
void patchCode(void *address, const quint8 *bytes, int count, TRedirectRecord *saved)
{
    const quintptr pageSize = quintptr(::sysconf(_SC_PAGESIZE));
    const quintptr first = quintptr(address) & ~(pageSize - 1);
    const quintptr last = (quintptr(address) + count - 1) & ~(pageSize - 1);
    QVarLengthArray<int, 2> previous;
    for (quintptr page = first; page <= last; page += pageSize) {
        const int prot = protectionOf(page);
        if (prot < 0)
            throw ERedirectError(
                u"Die Adresse 0x%1 gehört zu keinem Speicherbereich des Programms."_s.arg(page, 0, 16));
        previous.append(prot);
    }
    const auto restore = [&](quintptr upTo) {
        int i = 0;
        for (quintptr page = first; page < upTo; page += pageSize)
            ::mprotect(reinterpret_cast<void *>(page), pageSize, previous[i++]);
    };
    for (quintptr page = first; page <= last; page += pageSize) {
        if (::mprotect(reinterpret_cast<void *>(page), pageSize, PROT_READ | PROT_WRITE | PROT_EXEC) != 0) {
            const int error = errno;
            restore(page);
            throw ERedirectError(
                u"Der Code bei 0x%1 lässt sich nicht beschreibbar machen: %2"_s.arg(quintptr(address), 0, 16)
                    .arg(SysErrorMessage(error)));
        }
    }
    auto *code = static_cast<quint8 *>(address);
    if (saved) {
        saved->Address = address;
        copyCode(saved->SavedCode.data(), code, 5);
    }
    copyCode(code, bytes, count);
    int i = 0;
    for (quintptr page = first; page <= last; page += pageSize) {
        if (::mprotect(reinterpret_cast<void *>(page), pageSize, previous[i++]) != 0)
            throw ERedirectError(u"Der Schutz des Codes bei 0x%1 lässt sich nicht wiederherstellen: %2"_s
                                     .arg(quintptr(address), 0, 16)
                                     .arg(SysErrorMessage(errno)));
    }
}

} // namespace

void RedirectProcedure(void *ASource, const void *ATarget, TRedirectRecord *ASaved)
{
#if defined(__x86_64__)
    const qint64 displacement = qint64(quintptr(ATarget)) - qint64(quintptr(ASource)) - 5;
    // A jump beyond 32 bits would land somewhere else entirely.
    if (displacement < std::numeric_limits<qint32>::min()
        || displacement > std::numeric_limits<qint32>::max())
        throw ERedirectError(u"Das Ziel 0x%1 liegt außer Reichweite eines relativen Sprungs von 0x%2."_s
                                 .arg(quintptr(ATarget), 0, 16)
                                 .arg(quintptr(ASource), 0, 16));
    const quint32 d = quint32(qint32(displacement));
    const quint8 jump[5] = { 0xE9, quint8(d), quint8(d >> 8), quint8(d >> 16), quint8(d >> 24) };
    patchCode(ASource, jump, 5, ASaved);
#else
    Q_UNUSED(ASource);
    Q_UNUSED(ATarget);
    Q_UNUSED(ASaved);
    throw ERedirectError(u"Umleiten von Routinen gibt es nur auf x86-64."_s);
#endif
}

void RestoreProcedure(const TRedirectRecord &ASaved)
{
    if (!ASaved.Address)
        return;
    patchCode(ASaved.Address, ASaved.SavedCode.data(), 5, nullptr);
}

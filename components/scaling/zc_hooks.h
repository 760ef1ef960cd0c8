#pragma once
// The register of thread-local message observers (unit zc_Hooks), and the routine that redirects a
// routine of the running program to another one.
//
// A hook watches the thread that added it: it sees every event Qt delivers to the objects of that
// thread (on the GUI thread: its widgets and windows) before they do, and the event always goes on
// to its receiver afterwards. Its owner knows it by a GUID. Hooks are added and removed on any
// thread; the register locks itself. A hook procedure that raises is reported as a warning and the
// event goes on.

#include "platform/exception.h"
#include "platform/units.h"

#include <QList>
#include <QMutex>
#include <QUuid>

#include <array>
#include <functional>

class QEvent;
class QObject;
class QThread;

inline constexpr int WH_CALLWNDPROC = 4;

using THookProc = std::function<void(QObject *Receiver, QEvent *Event)>;
using THookHandle = quintptr; // 0: not installed

class Tzc_HookItem
{
public:
    Tzc_HookItem(int AHookId, THookProc AHookProc);
    ~Tzc_HookItem();
    Tzc_HookItem(const Tzc_HookItem &) = delete;
    Tzc_HookItem &operator=(const Tzc_HookItem &) = delete;

    // Made on first request.
    QUuid GetGUID();
    // Only WH_CALLWNDPROC can be installed; another type leaves the item without handle.
    void Install();
    void Uninstall();
    THookHandle Handle() const { return FHandle; }
    int HookId() const { return FHookId; }
    // Always 0: the procedure lies inside this process.
    quint32 Module() const { return FModule; }
    QThread *Thread() const { return FThreadId; }

private:
    friend class Tzc_Hooks;
    QUuid FGUID;
    int FHookId;
    THookProc FHookProc;
    quint32 FModule = 0;
    QThread *FThreadId; // the thread that made the item
    THookHandle FHandle = 0;
};

class Tzc_Hooks
{
public:
    Tzc_Hooks();
    // Uninstalls and frees every item still listed.
    ~Tzc_Hooks();
    Tzc_Hooks(const Tzc_Hooks &) = delete;
    Tzc_Hooks &operator=(const Tzc_Hooks &) = delete;

    QUuid AddHook(int AHookId, THookProc AHookProc);
    // 0 when no item has that GUID.
    THookHandle FindHook(const QUuid &AGUID);
    // Uninstalls and frees the item and zeroes AGUID; an unknown or zero GUID changes nothing.
    void RemoveHook(QUuid &AGUID);
    int Count() const;

private:
    mutable QMutex m_lock;
    QList<Tzc_HookItem *> m_items;
};

// The register; null outside the unit's run.
Tzc_Hooks *HookRegistry();

// Creates the register and starts watching Qt's event delivery; at the end uninstalls every hook.
extern const TUnit zc_HooksUnit;

// The five bytes a redirect overwrote, to put them back.
struct TRedirectRecord
{
    void *Address = nullptr;
    std::array<quint8, 5> SavedCode {};
};

class ERedirectError : public Exception
{
public:
    using Exception::Exception;
};

// x86-64: makes every call of ASource continue at ATarget by writing a relative jump over its first
// five bytes; ASaved (optional) receives the bytes that were there. Raises ERedirectError, changing
// nothing, when the code page cannot be made writable (a system that refuses writable code), the
// address is not mapped, or the target lies beyond the reach of a 32-bit displacement.
void RedirectProcedure(void *ASource, const void *ATarget, TRedirectRecord *ASaved);
// Writes the saved bytes back.
void RestoreProcedure(const TRedirectRecord &ASaved);

// The hook register: hooks known by GUID, each seeing the events of the thread that added it and
// passing them on; a hook that raises stops nothing; the register uninstalls what it still holds.
// And the code redirect on a routine of this program.

#include "components/scaling/zc_hooks.h"

#include "../../support/unitsmain.h"

#include <QApplication>
#include <QMutex>
#include <QThread>
#include <QWidget>

#include <cstring>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

const QEvent::Type Probe = QEvent::Type(QEvent::User + 7);

// Counts the probes that reach it.
class TReceiver : public QObject
{
public:
    std::atomic<int> received { 0 };

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == Probe) {
            ++received;
            return true;
        }
        return QObject::event(e);
    }
};

// What hooks saw, from any thread.
struct TSeen
{
    QMutex lock;
    QList<QPair<QString, QObject *>> list; // hook name, receiver

    THookProc hook(const QString &name)
    {
        return [this, name](QObject *receiver, QEvent *event) {
            if (event->type() != Probe)
                return;
            const QMutexLocker locker(&lock);
            list.append({ name, receiver });
        };
    }
    QList<QPair<QString, QObject *>> take()
    {
        const QMutexLocker locker(&lock);
        return std::exchange(list, {});
    }
};

extern "C" {
// Big enough for the five bytes of a jump; never inlined or cloned, so that the call below goes
// through the patched code.
__attribute__((noinline, noipa)) int RedirectSource(int x)
{
    volatile int v = x;
    v = v * 3;
    v = v + 1;
    return v;
}

__attribute__((noinline, noipa)) int RedirectTarget(int x)
{
    volatile int v = x;
    return v * 100;
}
}

} // namespace

class TestHooks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void guidsAndHandles()
    {
        Tzc_Hooks *hooks = HookRegistry();
        QVERIFY(hooks);
        QUuid first = hooks->AddHook(WH_CALLWNDPROC, [](QObject *, QEvent *) {});
        QUuid second = hooks->AddHook(WH_CALLWNDPROC, [](QObject *, QEvent *) {});
        QVERIFY(!first.isNull());
        QVERIFY(first != second);
        QVERIFY(hooks->FindHook(first) != 0);
        QVERIFY(hooks->FindHook(second) != 0);
        QVERIFY(hooks->FindHook(first) != hooks->FindHook(second));

        const QUuid old = first;
        hooks->RemoveHook(first);
        QVERIFY(first.isNull());
        QCOMPARE(hooks->FindHook(old), THookHandle(0));

        QUuid unknown = QUuid::createUuid();
        const QUuid unknownBefore = unknown;
        hooks->RemoveHook(unknown);
        QCOMPARE(unknown, unknownBefore);
        QUuid zero;
        hooks->RemoveHook(zero);
        QCOMPARE(hooks->Count(), 1);
        hooks->RemoveHook(second);
        QCOMPARE(hooks->Count(), 0);
    }

    void otherHookTypesAreListedButNotInstalled()
    {
        QUuid guid = HookRegistry()->AddHook(5, [](QObject *, QEvent *) {});
        QCOMPARE(HookRegistry()->Count(), 1);
        QCOMPARE(HookRegistry()->FindHook(guid), THookHandle(0));
        HookRegistry()->RemoveHook(guid);
        QCOMPARE(HookRegistry()->Count(), 0);
    }

    void hooksOnTwoThreads()
    {
        TSeen seen;
        QWidget widget;
        TReceiver guiObject;
        QThread worker;
        TReceiver workerObject;
        workerObject.moveToThread(&worker);
        worker.start();

        QUuid guiHook = HookRegistry()->AddHook(WH_CALLWNDPROC, seen.hook(u"gui"_s));
        QUuid workerHook;
        QMetaObject::invokeMethod(
            &workerObject,
            [&] { workerHook = HookRegistry()->AddHook(WH_CALLWNDPROC, seen.hook(u"worker"_s)); },
            Qt::BlockingQueuedConnection);
        QVERIFY(!workerHook.isNull());

        // Sent on the GUI thread: only its hook sees it, and the receiver still gets it.
        QEvent toGui(Probe);
        QCoreApplication::sendEvent(&guiObject, &toGui);
        QCOMPARE(guiObject.received.load(), 1);
        QEvent toWidget(Probe);
        QCoreApplication::sendEvent(&widget, &toWidget);
        QCOMPARE(seen.take(),
            (QList<QPair<QString, QObject *>> { { u"gui"_s, &guiObject }, { u"gui"_s, &widget } }));

        // Posted to the worker's object: delivered on the worker thread, seen by the worker's hook.
        QCoreApplication::postEvent(&workerObject, new QEvent(Probe));
        QTRY_COMPARE(workerObject.received.load(), 1);
        QCOMPARE(seen.take(), (QList<QPair<QString, QObject *>> { { u"worker"_s, &workerObject } }));

        QMetaObject::invokeMethod(
            &workerObject, [&] { HookRegistry()->RemoveHook(workerHook); }, Qt::BlockingQueuedConnection);
        QVERIFY(workerHook.isNull());
        QCoreApplication::postEvent(&workerObject, new QEvent(Probe));
        QTRY_COMPARE(workerObject.received.load(), 2);
        HookRegistry()->RemoveHook(guiHook);
        QCoreApplication::sendEvent(&guiObject, &toGui);
        QCOMPARE(seen.take(), (QList<QPair<QString, QObject *>> {}));

        worker.quit();
        worker.wait();
    }

    void raisingHookStopsNothing()
    {
        TSeen seen;
        QUuid raising = HookRegistry()->AddHook(WH_CALLWNDPROC, [](QObject *, QEvent *e) {
            if (e->type() == Probe)
                throw std::runtime_error("hook failed");
        });
        QUuid after = HookRegistry()->AddHook(WH_CALLWNDPROC, seen.hook(u"after"_s));
        TReceiver receiver;
        QEvent probe(Probe);
        QTest::ignoreMessage(QtWarningMsg, "A message hook raised: hook failed");
        QCoreApplication::sendEvent(&receiver, &probe);
        QCOMPARE(receiver.received.load(), 1);
        QCOMPARE(seen.take().size(), 1);
        HookRegistry()->RemoveHook(raising);
        HookRegistry()->RemoveHook(after);
    }

    void destroyingARegisterUninstallsItsHooks()
    {
        TSeen seen;
        TReceiver receiver;
        QEvent probe(Probe);
        {
            Tzc_Hooks local;
            local.AddHook(WH_CALLWNDPROC, seen.hook(u"one"_s));
            local.AddHook(WH_CALLWNDPROC, seen.hook(u"two"_s));
            QCoreApplication::sendEvent(&receiver, &probe);
            QCOMPARE(seen.take().size(), 2);
        }
        QCoreApplication::sendEvent(&receiver, &probe);
        QCOMPARE(seen.take().size(), 0);
        QCOMPARE(receiver.received.load(), 2);
    }

    void redirectProcedure()
    {
        int (*volatile source)(int) = RedirectSource;
        QCOMPARE(source(2), 7);
        auto *code = reinterpret_cast<quint8 *>(&RedirectSource);
        quint8 before[5];
        std::memcpy(before, code, 5);

        TRedirectRecord saved;
        try {
            RedirectProcedure(reinterpret_cast<void *>(&RedirectSource),
                reinterpret_cast<const void *>(&RedirectTarget), &saved);
        } catch (const ERedirectError &e) {
            // A system that refuses writable code pages (a hardened kernel policy) says so clearly.
            QSKIP(e.what());
        }
        QCOMPARE(saved.Address, static_cast<void *>(code));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(saved.SavedCode.data()), 5),
            QByteArray(reinterpret_cast<const char *>(before), 5));
        const qint32 displacement = qint32(quintptr(&RedirectTarget) - quintptr(&RedirectSource) - 5);
        QCOMPARE(code[0], quint8(0xE9));
        qint32 written = 0;
        std::memcpy(&written, code + 1, 4);
        QCOMPARE(written, displacement);
        QCOMPARE(source(2), 200);

        RestoreProcedure(saved);
        QCOMPARE(source(2), 7);
        QCOMPARE(std::memcmp(code, before, 5), 0);
    }

    void redirectOfUnmappedAddressRaises()
    {
        // The first page is never mapped; the routine refuses instead of faulting.
        QVERIFY_THROWS_EXCEPTION(ERedirectError,
            RedirectProcedure(reinterpret_cast<void *>(quintptr(0x10)),
                reinterpret_cast<const void *>(&RedirectTarget), nullptr));
    }
};

static const TUnit *const hookUnits[] = { &zc_HooksUnit };
PRAVIK_TEST_MAIN(TestHooks, hookUnits)

#include "tst_zc_hooks.moc"

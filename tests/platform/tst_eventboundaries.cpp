// No exception crosses the event loop: an exception raised by an action's execute or update handler,
// or by a call a worker thread queued to the GUI thread, reaches the application's exception handler,
// and the program goes on (the next updates still run).

#include "platform/exception.h"
#include "platform/thread.h"
#include "platform/widgets/actions.h"
#include "platform/widgets/application.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <atomic>

using namespace Qt::StringLiterals;

namespace {

class TQueueingWorker : public TThread
{
public:
    TQueueingWorker()
        : TThread(true)
    {
    }

protected:
    void Execute() override
    {
        Queue([] { throw Exception(u"Die Verbindung zur Bank ist abgebrochen."_s); });
    }
};

} // namespace

class TestEventBoundaries : public QObject
{
    Q_OBJECT

    QStringList handled;

private Q_SLOTS:
    void init()
    {
        handled.clear();
        TApplication::SetExceptionSink([this](const QString &m) { handled.append(m); });
    }

    void cleanup() { TApplication::SetExceptionSink({}); }

    void actionExecuteHandler()
    {
        TAction action;
        action.OnExecute = [](TAction *) { throw Exception(u"Datei gesperrt"_s); };
        action.Execute();
        action.trigger();
        QCOMPARE(handled, QStringList({ u"Datei gesperrt"_s, u"Datei gesperrt"_s }));
    }

    void failingUpdateKeepsTheListUpdating()
    {
        // One update fails; the list must neither stop updating nor skip the other actions.
        TActionList list;
        TAction failing;
        TAction other;
        int failingCalls = 0;
        int otherCalls = 0;
        failing.OnUpdate = [&](TAction *) {
            if (++failingCalls == 1)
                throw std::runtime_error("update failed");
        };
        other.OnUpdate = [&](TAction *) { ++otherCalls; };
        list.Add(&failing);
        list.Add(&other);
        for (int i = 0; i < 4; ++i)
            list.UpdateActions();
        QCOMPARE(failingCalls, 4);
        QCOMPARE(otherCalls, 4);
        QCOMPARE(handled, QStringList({ u"update failed"_s }));
    }

    void idleUpdatesGoOnAfterAFailure()
    {
        TActionList list;
        TAction action;
        int calls = 0;
        action.OnUpdate = [&](TAction *) {
            if (++calls == 1)
                throw Exception(u"erste Aktualisierung"_s);
        };
        list.Add(&action);
        // The updates run whenever the event loop is about to wait; a ticking timer wakes it.
        QEventLoop loop;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            if (calls >= 4)
                loop.quit();
        });
        tick.start(10);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        QVERIFY(calls >= 4);
        QCOMPARE(handled, QStringList({ u"erste Aktualisierung"_s }));
    }

    void callQueuedByAWorker()
    {
        TQueueingWorker worker;
        worker.Start();
        worker.WaitFor();
        QTRY_COMPARE(handled, QStringList({ u"Die Verbindung zur Bank ist abgebrochen."_s }));
    }
};

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    TestEventBoundaries test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_eventboundaries.moc"

// No exception crosses the event loop: an exception raised by an action's execute or update handler,
// or by a call a worker thread queued to the GUI thread, reaches the application's exception handler,
// and the program goes on (the next updates still run). An error handed on for later waits for the
// event loop and is dropped with its context; the page control's tabs follow clicks after a throw.

#include "platform/exception.h"
#include "platform/thread.h"
#include "platform/widgets/actions.h"
#include "platform/widgets/application.h"
#include "platform/widgets/pagecontrol.h"

#include <QEventLoop>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <memory>
#include <stdexcept>

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

    void laterHandlingWaitsForTheEventLoop_data()
    {
        QTest::addColumn<bool>("contextLives");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("context still there") << true << QStringList { u"Zeichnen fehlgeschlagen"_s };
        QTest::newRow("context gone first") << false << QStringList {};
    }
    void laterHandlingWaitsForTheEventLoop()
    {
        QFETCH(bool, contextLives);
        QFETCH(QStringList, expected);
        auto context = std::make_unique<QObject>();
        try {
            throw Exception(u"Zeichnen fehlgeschlagen"_s);
        } catch (...) {
            TApplication::HandleExceptionLater(context.get());
        }
        QVERIFY(handled.isEmpty());
        if (!contextLives)
            context.reset();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(handled, expected);
    }

    // A handler of the tab bar raises while the control moves its tab along with the page: the tabs
    // still follow the user's clicks afterwards.
    void pageControlFollowsTabsAfterAThrow()
    {
        TPageControl pages;
        auto *first = new QWidget;
        auto *second = new QWidget;
        pages.AddPage(first, u"Eins"_s);
        pages.AddPage(second, u"Zwei"_s);
        const QMetaObject::Connection failing = connect(pages.TabBar(), &QTabBar::currentChanged, this,
            [] { throw std::runtime_error("tab handler failed"); });
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, pages.SetActivePage(second));
        disconnect(failing);
        pages.TabBar()->setCurrentIndex(0);
        QCOMPARE(pages.ActivePage(), first);
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

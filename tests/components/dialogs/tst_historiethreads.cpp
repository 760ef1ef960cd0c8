// Dialog entries recorded from worker threads reach the history on the GUI thread, in each thread's
// order, and nothing is lost or raced on the way.

#include "components/dialogs/zc_dialogs_core.h"
#include "tests/support/lambdathread.h"

#include <QTest>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

void addDialog(const QString &instruction)
{
    Tzc_DialogsCore::AddToHistoryStack(
        instruction, QString(), mtInformation, { mbOK }, mbOK, QString(), AnswerTypUser, mrOk);
}

} // namespace

class TestHistorieThreads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void entriesFromWorkersKeepEachThreadsOrder()
    {
        const TUnitRun units { &zc_DialogsCoreUnit };
        constexpr int Threads = 4;
        constexpr int PerThread = 250;
        std::vector<std::unique_ptr<TLambdaThread>> workers;
        for (int t = 0; t < Threads; ++t)
            workers.push_back(std::make_unique<TLambdaThread>(false, [t](TLambdaThread *) {
                for (int i = 0; i < PerThread; ++i)
                    addDialog(u"%1 %2"_s.arg(t).arg(i));
            }));
        for (const auto &worker : workers)
            worker->Start();
        THistorie &historie = *Tzc_DialogsCore::GetHistorie();
        QTRY_COMPARE_WITH_TIMEOUT(historie.Count(), Threads * PerThread, 20000);
        workers.clear();

        // Newest first: each thread's numbers fall from the top of the list down.
        std::vector<int> last(Threads, PerThread);
        for (int i = 0; i < historie.Count(); ++i) {
            const QStringList parts = historie.Items(i).Instruction().split(u' ');
            QCOMPARE(parts.size(), 2);
            const int t = parts[0].toInt();
            const int n = parts[1].toInt();
            QCOMPARE(n, last[size_t(t)] - 1);
            last[size_t(t)] = n;
            if (i > 0)
                QVERIFY(historie.Items(i).TimeStamp() <= historie.Items(i - 1).TimeStamp());
        }
        QCOMPARE(last, std::vector<int>(Threads, 0));
    }

    void entriesOutliveTheThreadThatRecordedThem()
    {
        const TUnitRun units { &zc_DialogsCoreUnit };
        std::atomic<bool> done = false;
        TThread::New<TLambdaThread>(
            false,
            [&done](TLambdaThread *) {
                for (int i = 0; i < 10; ++i)
                    addDialog(u"from a thread that frees itself"_s);
                done = true;
            },
            true);
        // Let the thread end and free itself before the GUI thread runs any hand-over.
        while (!done || TThread::RunningThreadCount() > 0)
            QThread::yieldCurrentThread();
        QCOMPARE(Tzc_DialogsCore::GetHistorie()->Count(), 0);
        QTRY_COMPARE(Tzc_DialogsCore::GetHistorie()->Count(), 10);
    }

    void workerCannotWriteTheHistoryDirectly()
    {
        const TUnitRun units { &zc_DialogsCoreUnit };
        std::atomic<bool> raised = false;
        {
            TLambdaThread worker(false, [&raised](TLambdaThread *) {
                try {
                    THistorieItem::Create(std::runtime_error("from a worker"));
                } catch (const Exception &) {
                    raised = true;
                }
            });
            worker.Start();
            worker.WaitFor();
        }
        QVERIFY(raised);
        QCoreApplication::processEvents();
        QCOMPARE(Tzc_DialogsCore::GetHistorie()->Count(), 0);
    }

    void entryHandedOverAfterTheUnitFinishedIsDropped_data()
    {
        QTest::addColumn<bool>("nextRun");
        QTest::newRow("no run after it") << false;
        // The entry belongs to the run it was recorded in, not to whatever history exists later.
        QTest::newRow("a next run started") << true;
    }

    void entryHandedOverAfterTheUnitFinishedIsDropped()
    {
        QFETCH(bool, nextRun);
        std::optional<TUnitRun> units(
            std::in_place, std::initializer_list<const TUnit *> { &zc_DialogsCoreUnit });
        std::atomic<bool> queued = false;
        TLambdaThread worker(false, [&queued](TLambdaThread *) {
            addDialog(u"too late"_s);
            queued = true;
        });
        worker.Start();
        // Not WaitFor: it would run the hand-over while the history still exists.
        while (!queued || !worker.Finished())
            QThread::yieldCurrentThread();
        units.reset();
        QCOMPARE(Tzc_DialogsCore::GetHistorie(), nullptr);
        if (nextRun)
            units.emplace(std::initializer_list<const TUnit *> { &zc_DialogsCoreUnit });
        QVERIFY(TThread::CheckSynchronize());
        const THistorie *historie = Tzc_DialogsCore::GetHistorie();
        QCOMPARE(historie != nullptr, nextRun);
        if (historie)
            QCOMPARE(historie->Count(), 0);
    }

    void nothingIsRecordedWithoutTheUnit()
    {
        QCOMPARE(Tzc_DialogsCore::GetHistorie(), nullptr);
        QVERIFY_THROWS_EXCEPTION(Exception, THistorieItem::Create(std::runtime_error("no history")));
        QVERIFY_THROWS_EXCEPTION(Exception, addDialog(u"no history"_s));
        struct TView : THistorieView
        {
            void HistorieChanged() override { }
        } view;
        QVERIFY_THROWS_EXCEPTION(Exception, THistorie::AddView(&view));
        QCOMPARE(THistorie::OpenViewCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestHistorieThreads)
#include "tst_historiethreads.moc"

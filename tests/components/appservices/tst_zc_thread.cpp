// Tzc_Thread: default and given names, the creation times, and the thread register, including
// removals by threads that free themselves.

#include "components/appservices/zc_thread.h"
#include <algorithm>

#include <QTest>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace {

// Class names matter here: the default thread name is derived from them.
class TTriggerThread : public Tzc_Thread
{
public:
    TTriggerThread()
        : Tzc_Thread(true)
        , nameBeforeRename(ThreadName())
    {
        SetThreadName(QStringLiteral("CollapseTrigger(TTriggerThread)"));
    }
    const QString nameBeforeRename;

protected:
    void Execute() override { }
};

class TPlainWorker : public Tzc_Thread
{
public:
    explicit TPlainWorker(bool suspended = true)
        : Tzc_Thread(suspended)
    {
    }

protected:
    void Execute() override { }
};

class xLowerCaseWorker : public Tzc_Thread
{
public:
    xLowerCaseWorker()
        : Tzc_Thread(true)
    {
    }

protected:
    void Execute() override { }
};

namespace scope {
class TScopedWorker : public Tzc_Thread
{
public:
    TScopedWorker()
        : Tzc_Thread(true)
    {
    }

protected:
    void Execute() override { }
};
} // namespace scope

class TSelfFreeingWorker : public Tzc_Thread
{
public:
    explicit TSelfFreeingWorker(std::atomic<int> *done)
        : Tzc_Thread(false)
        , m_done(done)
    {
        SetFreeOnTerminate(true);
    }
    ~TSelfFreeingWorker() override { ++*m_done; }

protected:
    void Execute() override { }

private:
    std::atomic<int> *m_done;
};

} // namespace

class tst_ZcThread : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { m_units.emplace(std::initializer_list<const TUnit *> { &zc_ThreadUnit }); }
    void cleanupTestCase() { m_units.reset(); }
    void defaultName_data();
    void defaultName();
    void nameGivenByDescendant();
    void creationTimes();
    void registerFollowsLifetime();
    void selfFreeingThreadsLeaveTheRegister();
    void registerIgnoresDuplicates();
    void threadsOutsideTheUnitsRun();

private:
    std::optional<TUnitRun> m_units;
};

void tst_ZcThread::defaultName_data()
{
    QTest::addColumn<std::shared_ptr<Tzc_Thread>>("thread");
    QTest::addColumn<QString>("name");

    QTest::newRow("class name without its T")
        << std::shared_ptr<Tzc_Thread>(new TPlainWorker) << QStringLiteral("PlainWorker");
    QTest::newRow("first letter dropped whatever it is")
        << std::shared_ptr<Tzc_Thread>(new xLowerCaseWorker) << QStringLiteral("LowerCaseWorker");
    QTest::newRow("namespace left out")
        << std::shared_ptr<Tzc_Thread>(new scope::TScopedWorker) << QStringLiteral("ScopedWorker");
}

void tst_ZcThread::defaultName()
{
    QFETCH(std::shared_ptr<Tzc_Thread>, thread);
    QFETCH(QString, name);
    QCOMPARE(thread->ThreadName(), name);
}

void tst_ZcThread::nameGivenByDescendant()
{
    TTriggerThread thread;
    QCOMPARE(thread.nameBeforeRename, QStringLiteral("TriggerThread"));
    QCOMPARE(thread.ThreadName(), QStringLiteral("CollapseTrigger(TTriggerThread)"));
}

void tst_ZcThread::creationTimes()
{
    const QDateTime before = QDateTime::currentDateTime();
    TPlainWorker first;
    TPlainWorker second;
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(first.Created() >= before && first.Created() <= second.Created());
    QVERIFY(second.Created() <= after);
    QVERIFY(LastThreadCreated() >= second.Created().addMSecs(-1));
    QVERIFY(LastThreadCreated() <= after);
    QCOMPARE(first.Created().timeSpec(), Qt::LocalTime);
}

void tst_ZcThread::registerFollowsLifetime()
{
    const int before = ThreadRegistry()->Count();
    auto *thread = new TPlainWorker;
    QVERIFY(ThreadRegistry()->Contains(thread));
    QCOMPARE(ThreadRegistry()->Count(), before + 1);
    thread->Start();
    thread->WaitFor();
    QVERIFY(ThreadRegistry()->Contains(thread)); // a finished thread stays until it is freed
    const auto address = quintptr(thread); // compared as a number: the object is gone
    delete thread;
    const QList<Tzc_Thread *> left = ThreadRegistry()->Snapshot();
    QVERIFY(std::none_of(left.begin(), left.end(), [&](Tzc_Thread *t) { return quintptr(t) == address; }));
    QCOMPARE(ThreadRegistry()->Count(), before);
}

void tst_ZcThread::selfFreeingThreadsLeaveTheRegister()
{
    // Many threads add themselves on this thread and remove themselves on their own, at once.
    const int before = ThreadRegistry()->Count();
    std::atomic<int> done { 0 };
    constexpr int count = 64;
    for (int i = 0; i < count; ++i)
        TThread::New<TSelfFreeingWorker>(&done);
    QTRY_COMPARE(done.load(), count);
    QTRY_COMPARE(TThread::RunningThreadCount(), 0);
    QCOMPARE(ThreadRegistry()->Count(), before);
}

void tst_ZcThread::registerIgnoresDuplicates()
{
    TPlainWorker thread;
    const int count = ThreadRegistry()->Count();
    ThreadRegistry()->Add(&thread);
    QCOMPARE(ThreadRegistry()->Count(), count);
}

void tst_ZcThread::threadsOutsideTheUnitsRun()
{
    // A thread that outlives the register skips its removal; one created while there is none is not
    // listed once a new register exists.
    auto *outliving = new TPlainWorker;
    m_units.reset();
    QCOMPARE(ThreadRegistry(), nullptr);
    delete outliving;
    auto *early = new TPlainWorker;
    m_units.emplace(std::initializer_list<const TUnit *> { &zc_ThreadUnit });
    QVERIFY(ThreadRegistry());
    QCOMPARE(ThreadRegistry()->Count(), 0);
    QVERIFY(!ThreadRegistry()->Contains(early));
    delete early;

    // Self-freeing threads racing the unit's finish (the case of a thread ending at shut-down).
    std::atomic<int> done { 0 };
    constexpr int count = 32;
    for (int i = 0; i < count; ++i)
        TThread::New<TSelfFreeingWorker>(&done);
    m_units.reset();
    QTRY_COMPARE(done.load(), count);
    QTRY_COMPARE(TThread::RunningThreadCount(), 0);
    m_units.emplace(std::initializer_list<const TUnit *> { &zc_ThreadUnit });
}

QTEST_GUILESS_MAIN(tst_ZcThread)
#include "tst_zc_thread.moc"

// TInterfacedDictionary: the dictionary's operations through its interface, its interface queries,
// and the reference count that frees it, also when references come and go on several threads.

#include "components/versioninfo/zc_generics_collections.h"

#include <QTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using TDict = TInterfacedDictionary<QString, int>;
using IDict = Izc_Dictionary<QString, int>;

// A dictionary whose values tell, through weak pointers, when it has been freed.
using TWitnessDict = TInterfacedDictionary<int, std::shared_ptr<int>>;

} // namespace

class tst_InterfacedDictionary : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void operationsThroughTheInterface();
    void absentKeys_data();
    void absentKeys();
    void queryInterface_data();
    void queryInterface();
    void enumerationOrder_data();
    void enumerationOrder();
    void lastReleaseFreesTheObject();
    void referencesOnSeveralThreads();
};

void tst_InterfacedDictionary::operationsThroughTheInterface()
{
    TInterfacePtr<IDict> dict(new TDict);
    dict->Add(QStringLiteral("a"), 1);
    QVERIFY(dict->TryAdd(QStringLiteral("b"), 2));
    QVERIFY(!dict->TryAdd(QStringLiteral("b"), 3));
    QVERIFY_THROWS_EXCEPTION(EListError, dict->Add(QStringLiteral("a"), 9));
    dict->AddOrSetValue(QStringLiteral("c"), 3);
    dict->AddOrSetValue(QStringLiteral("c"), 4);
    dict->SetItem(QStringLiteral("a"), 10);
    QCOMPARE(dict->GetCount(), 3);
    QCOMPARE(dict->GetItem(QStringLiteral("a")), 10);
    QCOMPARE(dict->GetItem(QStringLiteral("c")), 4);
    int value = -1;
    QVERIFY(dict->TryGetValue(QStringLiteral("b"), value));
    QCOMPARE(value, 2);

    const TPair<QString, int> pair = dict->ExtractPair(QStringLiteral("b"));
    QCOMPARE(pair.first, QStringLiteral("b"));
    QCOMPARE(pair.second, 2);
    QVERIFY(!dict->ContainsKey(QStringLiteral("b")));
    dict->Remove(QStringLiteral("b")); // absent: ignored
    dict->Remove(QStringLiteral("c"));
    QCOMPARE(dict->GetCount(), 1);
    dict->TrimExcess();
    QCOMPARE(dict->GetItem(QStringLiteral("a")), 10);
    dict->Clear();
    QCOMPARE(dict->GetCount(), 0);
}

void tst_InterfacedDictionary::absentKeys_data()
{
    QTest::addColumn<int>("operation");
    QTest::newRow("read an absent key") << 0;
    QTest::newRow("write an absent key") << 1;
}

void tst_InterfacedDictionary::absentKeys()
{
    QFETCH(int, operation);
    TInterfacePtr<IDict> dict(new TDict);
    dict->Add(QStringLiteral("present"), 1);
    try {
        if (operation == 0)
            dict->GetItem(QStringLiteral("absent"));
        else
            dict->SetItem(QStringLiteral("absent"), 2);
        QFAIL("no exception");
    } catch (const EListError &e) {
        QCOMPARE(e.message(), QStringLiteral("Item not found"));
    }
    QCOMPARE(dict->GetCount(), 1);
    int value = 7;
    QVERIFY(!dict->TryGetValue(QStringLiteral("absent"), value));
    QCOMPARE(value, 0);
    const TPair<QString, int> pair = dict->ExtractPair(QStringLiteral("absent"));
    QCOMPARE(pair.second, 0);
}

void tst_InterfacedDictionary::queryInterface_data()
{
    QTest::addColumn<QUuid>("iid");
    QTest::addColumn<HRESULT>("result");

    QTest::newRow("basic interface") << IInterface::IID << S_OK;
    QTest::newRow("dictionary interface") << IDict::IID << S_OK;
    QTest::newRow("any other interface")
        << QUuid(QStringLiteral("{12345678-1234-1234-1234-123456789ABC}")) << E_NOINTERFACE;
}

void tst_InterfacedDictionary::queryInterface()
{
    QFETCH(QUuid, iid);
    QFETCH(HRESULT, result);
    auto *object = new TDict;
    TInterfacePtr<IDict> held(object);
    void *out = reinterpret_cast<void *>(1);
    QCOMPARE(object->QueryInterface(iid, &out), result);
    if (result == S_OK) {
        QCOMPARE(out, static_cast<void *>(static_cast<IDict *>(object)));
        QCOMPARE(object->RefCount(), 2);
        static_cast<IDict *>(out)->_Release();
    } else {
        QCOMPARE(out, nullptr);
    }
    QCOMPARE(object->RefCount(), 1);
}

void tst_InterfacedDictionary::enumerationOrder_data()
{
    // Operations, space-separated: "+k=1" AddOrSetValue, "a:k=1" TryAdd, "s:k=1" SetItem, "-k" Remove,
    // "x:k" ExtractPair, "clear", "trim".
    QTest::addColumn<QString>("operations");
    QTest::addColumn<QString>("expected"); // the pairs as enumerated

    QTest::newRow("order of adding, not of the keys") << u"+c=1 +a=2 +b=3"_s << u"c=1 a=2 b=3"_s;
    QTest::newRow("new value keeps the key's place") << u"+c=1 +a=2 +b=3 +c=9"_s << u"c=9 a=2 b=3"_s;
    QTest::newRow("SetItem keeps the key's place") << u"+c=1 +a=2 s:c=5"_s << u"c=5 a=2"_s;
    QTest::newRow("failed TryAdd changes nothing") << u"+c=1 +a=2 a:c=7 a:b=3"_s << u"c=1 a=2 b=3"_s;
    QTest::newRow("removed key closes the gap") << u"+c=1 +a=2 +b=3 +d=4 -a"_s << u"c=1 b=3 d=4"_s;
    QTest::newRow("removing the first and the last") << u"+c=1 +a=2 +b=3 -c -b +e=5"_s << u"a=2 e=5"_s;
    QTest::newRow("extracted key added again goes last") << u"+c=1 +a=2 +b=3 x:c +c=4"_s << u"a=2 b=3 c=4"_s;
    QTest::newRow("cleared and filled again") << u"+c=1 +a=2 clear +b=3 +a=4"_s << u"b=3 a=4"_s;
    QTest::newRow("trimmed after a removal") << u"+c=1 +a=2 +b=3 -c trim"_s << u"a=2 b=3"_s;
    QString many, manyExpected;
    for (int i = 0; i < 200; ++i) {
        many += u" +k%1=%2"_s.arg((i * 7) % 200).arg(i);
        if (i % 3 != 0)
            manyExpected += u" k%1=%2"_s.arg((i * 7) % 200).arg(i);
    }
    for (int i = 0; i < 200; i += 3)
        many += u" -k%1"_s.arg((i * 7) % 200);
    QTest::newRow("two hundred keys, every third removed") << many.trimmed() << manyExpected.trimmed();
}

void tst_InterfacedDictionary::enumerationOrder()
{
    QFETCH(QString, operations);
    QFETCH(QString, expected);
    TDict dict;
    for (const QString &op : operations.split(u' ')) {
        const QString key
            = op.section(u':', -1).section(u'=', 0, 0).mid(op.startsWith(u'+') || op.startsWith(u'-'));
        const int value = op.section(u'=', 1).toInt();
        if (op == u"clear"_s)
            dict.Clear();
        else if (op == u"trim"_s)
            dict.TrimExcess();
        else if (op.startsWith(u'+'))
            dict.AddOrSetValue(key, value);
        else if (op.startsWith(u"a:"_s))
            dict.TryAdd(key, value);
        else if (op.startsWith(u"s:"_s))
            dict.SetItem(key, value);
        else if (op.startsWith(u'-'))
            dict.Remove(key);
        else if (op.startsWith(u"x:"_s))
            dict.ExtractPair(key);
        else
            QFAIL(qPrintable(u"unknown operation "_s + op));
    }
    QStringList enumerated;
    for (auto it = dict.begin(); it != dict.end(); ++it)
        enumerated << u"%1=%2"_s.arg(it.key()).arg(it.value());
    QCOMPARE(enumerated.join(u' '), expected);
    // Every key is still found under its own value after the gaps were closed.
    QCOMPARE(dict.Count(), int(enumerated.size()));
    for (const QString &pair : std::as_const(enumerated))
        QCOMPARE(dict.GetItem(pair.section(u'=', 0, 0)), pair.section(u'=', 1).toInt());
}

void tst_InterfacedDictionary::lastReleaseFreesTheObject()
{
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> watch = token;
    {
        TInterfacePtr<Izc_Dictionary<int, std::shared_ptr<int>>> first(new TWitnessDict);
        first->Add(1, token);
        token.reset();
        auto second = first;
        first.reset();
        QVERIFY(!watch.expired()); // one reference left
        QCOMPARE(second->GetCount(), 1);
    }
    QVERIFY(watch.expired());

    // An owner that never hands out the interface frees the object directly.
    auto *owned = new TWitnessDict;
    token = std::make_shared<int>(0);
    watch = token;
    owned->Add(1, token);
    token.reset();
    delete owned;
    QVERIFY(watch.expired());
}

void tst_InterfacedDictionary::referencesOnSeveralThreads()
{
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> watch = token;
    auto *object = new TWitnessDict;
    object->Add(1, token);
    token.reset();
    TInterfacePtr<Izc_Dictionary<int, std::shared_ptr<int>>> held(object);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([object] {
            for (int i = 0; i < 20000; ++i) {
                TInterfacePtr<Izc_Dictionary<int, std::shared_ptr<int>>> ref(object);
                ref->ContainsKey(1);
            }
        });
    }
    for (auto &t : threads)
        t.join();
    QCOMPARE(object->RefCount(), 1);
    QVERIFY(!watch.expired());
    held.reset();
    QVERIFY(watch.expired());
}

QTEST_GUILESS_MAIN(tst_InterfacedDictionary)
#include "tst_interfaceddictionary.moc"

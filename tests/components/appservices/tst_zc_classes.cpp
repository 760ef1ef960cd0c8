// Component base of the library: the update counter, construction and destruction hooks reaching
// the most derived class, and free component names.

#include "components/appservices/zc_classes.h"

#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

static QStringList g_hooks;

class THooked : public Tzc_Component
{
    Q_OBJECT

public:
    using Tzc_Component::Tzc_Component;

protected:
    void InitializeComponent() override { g_hooks << u"initialize "_s + Name(); }
    void FinalizeComponent() override
    {
        QString seen = u"finalize "_s + Name() + (IsDestroying() ? u" marked"_s : u""_s);
        // What it owns is still there, and already marked.
        for (int i = 0; i < ComponentCount(); ++i)
            seen += u", owns "_s + Components(i)->Name()
                + (Components(i)->IsDestroying() ? u" marked"_s : u""_s);
        g_hooks << seen;
    }
};

class TMessageObject : public Tzc_Component
{
    Q_OBJECT

public:
    using Tzc_Component::Tzc_Component;
};

class lowerCaseClass : public Tzc_Component
{
    Q_OBJECT

public:
    using Tzc_Component::Tzc_Component;
};

class TestZcClasses : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { g_hooks.clear(); }

    void updateCounter_data()
    {
        QTest::addColumn<QString>("calls"); // b = BeginUpdate, e = EndUpdate
        QTest::addColumn<int>("expected");
        QTest::newRow("none") << u""_s << 0;
        QTest::newRow("EndUpdate without BeginUpdate stays at 0") << u"e"_s << 0;
        QTest::newRow("Begin, Begin, End leaves 1") << u"bbe"_s << 1;
        QTest::newRow("too many ends, then a begin") << u"beeeb"_s << 1;
        QTest::newRow("nested three deep") << u"bbb"_s << 3;
    }

    void updateCounter()
    {
        QFETCH(QString, calls);
        QFETCH(int, expected);
        Tzc_Component c;
        for (QChar ch : calls)
            ch == u'b' ? c.BeginUpdate() : c.EndUpdate();
        QCOMPARE(c.UpdateCount(), expected);
    }

    void hooksReachTheDerivedClass()
    {
        auto *owner = new TComponent;
        auto *a = Create<THooked>(owner);
        QCOMPARE(g_hooks, QStringList { u"initialize "_s });
        a->SetName(u"A"_s);
        auto *b = Create<THooked>(owner);
        b->SetName(u"B"_s);
        Free(b);
        Free(owner);
        QCOMPARE(g_hooks,
            QStringList(
                { u"initialize "_s, u"initialize "_s, u"finalize B marked"_s, u"finalize A marked"_s }));
    }

    void finalizeBeforeTheMarkWhenFreedAlone_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("freed alone") << u"alone"_s;
        QTest::newRow("freed by its owner") << u"owner"_s;
        QTest::newRow("owner deleted without Free") << u"delete owner"_s;
        QTest::newRow("freed through FreeAndNil") << u"FreeAndNil"_s;
    }

    void finalizeBeforeTheMarkWhenFreedAlone()
    {
        QFETCH(QString, how);
        auto *owner = new TComponent;
        THooked *a = Create<THooked>(owner);
        a->SetName(u"A"_s);
        Create<Tzc_Component>(a)->SetName(u"Child"_s);
        g_hooks.clear();
        if (how == u"alone"_s) {
            Free(a);
            QCOMPARE(owner->ComponentCount(), 0);
            Free(owner);
        } else if (how == u"owner"_s) {
            Free(owner);
        } else if (how == u"delete owner"_s) {
            delete owner;
        } else {
            FreeAndNil(a);
            QCOMPARE(a, nullptr);
            Free(owner);
        }
        QCOMPARE(g_hooks, QStringList { u"finalize A marked, owns Child marked"_s });
    }

    void uniqueName_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<bool>("owned");
        QTest::addColumn<QString>("expected");
        QTest::newRow("message object after 1 and 2")
            << u"TMessageObject"_s << QStringList({ u"MessageObject1"_s, u"MessageObject2"_s }) << true
            << u"MessageObject3"_s;
        QTest::newRow("taken names compared without case")
            << u"TMessageObject"_s << QStringList({ u"messageobject1"_s }) << true << u"MessageObject2"_s;
        QTest::newRow("gap is filled")
            << u"TMessageObject"_s << QStringList({ u"MessageObject2"_s }) << true << u"MessageObject1"_s;
        QTest::newRow("free owner") << u"TMessageObject"_s << QStringList() << true << u"MessageObject1"_s;
        QTest::newRow("no owner") << u"TMessageObject"_s << QStringList() << false << u"MessageObject1"_s;
        QTest::newRow("lower-case first letter kept")
            << u"lowerCaseClass"_s << QStringList() << true << u"lowerCaseClass1"_s;
    }

    void uniqueName()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, taken);
        QFETCH(bool, owned);
        QFETCH(QString, expected);
        TComponent owner;
        for (const QString &n : taken)
            (new Tzc_Component(&owner))->SetName(n);
        std::unique_ptr<TComponent, TComponentFree> c;
        if (kind == u"TMessageObject"_s)
            c.reset(new TMessageObject(owned ? &owner : nullptr));
        else
            c.reset(new lowerCaseClass(owned ? &owner : nullptr));
        QCOMPARE(Tzc_CustomComponent::GetUniqueName(c.get()), expected);
    }
};

QTEST_GUILESS_MAIN(TestZcClasses)
#include "tst_zc_classes.moc"

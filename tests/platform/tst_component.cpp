// The component model: ownership and destruction order, names, the destroying state, Assign, the
// class register.

#include "platform/component.h"

#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

static QStringList g_log;

// Records its destruction and what it saw of its siblings at that moment.
class TRecorder : public TComponent
{
    Q_OBJECT

public:
    using TComponent::TComponent;
    ~TRecorder() override { g_log << Name() + (IsDestroying() ? u" destroying"_s : u" not-marked"_s); }
    void BeforeDestruction() override
    {
        g_log << Name() + u" before"_s;
        TComponent::BeforeDestruction();
    }
};

class TOther : public TComponent
{
    Q_OBJECT

public:
    using TComponent::TComponent;
};

class TestComponent : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { g_log.clear(); }

    void ownerFreesItsComponentsLastFirst()
    {
        auto *owner = new TComponent;
        for (const QString &n : { u"A"_s, u"B"_s, u"C"_s })
            (new TRecorder(owner))->SetName(n);
        Free(owner);
        // Every component is marked before the first one goes, and they go last first.
        QCOMPARE(g_log,
            QStringList({ u"C before"_s, u"C destroying"_s, u"B before"_s, u"B destroying"_s, u"A before"_s,
                u"A destroying"_s }));
    }

    void ownedComponentsAreMarkedBeforeAnyIsFreed()
    {
        auto *owner = new TComponent;
        auto *a = new TRecorder(owner);
        auto *b = new TRecorder(owner);
        a->SetName(u"A"_s);
        b->SetName(u"B"_s);
        owner->BeforeDestruction();
        QVERIFY(owner->IsDestroying());
        QVERIFY(a->IsDestroying());
        QVERIFY(b->IsDestroying());
        delete owner;
        QCOMPARE(g_log.size(), 4);
    }

    void deletingAComponentTakesItOutOfItsOwner()
    {
        TComponent owner;
        auto *a = new TOther(&owner);
        auto *b = new TOther(&owner);
        delete a;
        QCOMPARE(owner.ComponentCount(), 1);
        QCOMPARE(owner.Components(0), b);
    }

    void insertComponentMovesOwnership()
    {
        TComponent first;
        TComponent second;
        auto *a = new TOther(&first);
        a->SetName(u"A"_s);
        second.InsertComponent(a);
        QCOMPARE(a->Owner(), &second);
        QCOMPARE(first.ComponentCount(), 0);
        QCOMPARE(second.FindComponent(u"a"_s), a);
        second.RemoveComponent(a);
        QCOMPARE(a->Owner(), nullptr);
        Free(a);
    }

    void insertComponentRefusesATakenName()
    {
        TComponent first;
        TComponent second;
        (new TOther(&first))->SetName(u"Same"_s);
        auto *b = new TOther(&second);
        b->SetName(u"SAME"_s);
        QVERIFY_THROWS_EXCEPTION(EComponentError, first.InsertComponent(b));
        QCOMPARE(b->Owner(), &second);
    }

    void findComponent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("expected"); // index among the owned, -1 for none
        QTest::newRow("exact name") << u"ML"_s << 0;
        QTest::newRow("other letter case") << u"mo_fileoverwrite"_s << 1;
        QTest::newRow("unknown name") << u"ML2"_s << -1;
        QTest::newRow("empty name matches no unnamed component") << QString() << -1;
    }

    void findComponent()
    {
        QFETCH(QString, name);
        QFETCH(int, expected);
        TComponent owner;
        (new TOther(&owner))->SetName(u"ML"_s);
        (new TOther(&owner))->SetName(u"MO_FileOverwrite"_s);
        new TOther(&owner);
        TComponent *found = owner.FindComponent(name);
        QCOMPARE(found, expected < 0 ? nullptr : owner.Components(expected));
    }

    void setName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("identifier") << u"MO_FileOverwrite"_s << true;
        QTest::newRow("leading underscore") << u"_x1"_s << true;
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("same name in other case as itself") << u"SELF"_s << true;
        QTest::newRow("taken by a sibling, other case") << u"sibling"_s << false;
        QTest::newRow("leading digit") << u"1abc"_s << false;
        QTest::newRow("blank inside") << u"a b"_s << false;
        QTest::newRow("punctuation") << u"a.b"_s << false;
    }

    void setName()
    {
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        TComponent owner;
        (new TOther(&owner))->SetName(u"Sibling"_s);
        auto *self = new TOther(&owner);
        self->SetName(u"Self"_s);
        if (accepted) {
            self->SetName(name);
            QCOMPARE(self->Name(), name);
        } else {
            QVERIFY_THROWS_EXCEPTION(EComponentError, self->SetName(name));
            QCOMPARE(self->Name(), u"Self"_s);
        }
    }

    void baseAssignRaisesConvertError_data()
    {
        QTest::addColumn<bool>("withSource");
        QTest::addColumn<QString>("message");
        QTest::newRow("from another class") << true << u"Cannot assign a TOther to a TComponent"_s;
        QTest::newRow("from nothing") << false << u"Cannot assign a nil to a TComponent"_s;
    }

    void baseAssignRaisesConvertError()
    {
        QFETCH(bool, withSource);
        QFETCH(QString, message);
        TComponent target;
        TOther source;
        try {
            target.Assign(withSource ? &source : nullptr);
            QFAIL("Assign did not raise");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), message);
        }
    }

    void baseGetChildrenOffersOwnedComponentsWithoutParentAtTheRoot()
    {
        TComponent root;
        auto *a = new TOther(&root);
        auto *b = new TOther(&root);
        QList<TComponent *> got;
        root.GetChildren([&](TComponent *c) { got << c; }, &root);
        QCOMPARE(got, (QList<TComponent *> { a, b }));
        got.clear();
        root.GetChildren([&](TComponent *c) { got << c; }, nullptr);
        QVERIFY(got.isEmpty());
    }

    void classRegister()
    {
        RegisterClass<TOther>();
        RegisterClass<TOther>(); // again: no error
        const QString name = QString::fromLatin1(TOther::staticMetaObject.className());
        const TComponentClass *cls = GetClass(name);
        QVERIFY(cls);
        QCOMPARE(cls->ClassName(), name);
        TComponent owner;
        TComponent *made = cls->Create(&owner);
        QCOMPARE(made->metaObject(), &TOther::staticMetaObject);
        QCOMPARE(made->Owner(), &owner);
        QCOMPARE(GetClass(u"TNoSuchClass"_s), nullptr);
        try {
            FindClass(u"TNoSuchClass"_s);
            QFAIL("FindClass did not raise");
        } catch (const EClassNotFound &e) {
            QCOMPARE(e.message(), u"Class TNoSuchClass not found"_s);
        }
    }

    void createRunsAfterConstruction()
    {
        struct TCounting : TComponent
        {
            using TComponent::TComponent;
            int after = 0;
            void AfterConstruction() override { ++after; }
        };
        std::unique_ptr<TCounting, TComponentFree> c(Create<TCounting>(nullptr));
        QCOMPARE(c->after, 1);
    }
};

QTEST_GUILESS_MAIN(TestComponent)
#include "tst_component.moc"

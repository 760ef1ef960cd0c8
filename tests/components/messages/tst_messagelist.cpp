// Message objects and message lists without dialogs: change events, Assign and SetItem, naming of
// new objects, ownership and the order of freeing, list membership, RaiseException, and reading
// and writing lists through form resources (the checker's own form included).

#include "components/messages/messagecntr.h"
#include "platform/formstream.h"
#include "tests/support/unitsmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <typeinfo>

using namespace Qt::StringLiterals;

namespace {

// Records the names of objects in the order they are destroyed.
struct DestroyLog
{
    QStringList names;
    void watch(TComponent *c)
    {
        QObject::connect(c, &QObject::destroyed, [this, n = c->Name()] { names << n; });
    }
};

TMessageObject *named(TComponent *owner, const QString &name, const QString &text = QString())
{
    auto *mo = Create<TMessageObject>(owner);
    mo->SetName(name);
    mo->SetText(text);
    return mo;
}

} // namespace

class TestMessageList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void changeEvents_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("changes");
        QTest::newRow("Text set to its current value") << u"same text"_s << 0;
        QTest::newRow("Text set to a new value") << u"new text"_s << 1;
        QTest::newRow("Title set to its current value") << u"same title"_s << 0;
        QTest::newRow("Title set to a new value") << u"new title"_s << 1;
        QTest::newRow("Assign from a message object with the same text") << u"assign"_s << 1;
        QTest::newRow("SetItem on the list entry") << u"set item"_s << 1;
    }

    void changeEvents()
    {
        QFETCH(QString, action);
        QFETCH(int, changes);
        TComponent owner;
        auto *list = Create<TMessageList>(&owner);
        TMessageObject *mo = list->Add(u"Text"_s);
        mo->SetTitle(u"Title"_s);
        QList<TComponent *> senders;
        mo->SetOnChange([&](TComponent *Sender) { senders << Sender; });
        TMessageObject source;
        source.SetText(u"Text"_s);
        if (action == u"same text"_s)
            mo->SetText(u"Text"_s);
        else if (action == u"new text"_s)
            mo->SetText(u"Anders"_s);
        else if (action == u"same title"_s)
            mo->SetTitle(u"Title"_s);
        else if (action == u"new title"_s)
            mo->SetTitle(u"Anders"_s);
        else if (action == u"assign"_s)
            mo->Assign(&source);
        else
            list->SetItem(0, &source);
        QCOMPARE(senders.size(), changes);
        for (TComponent *s : senders)
            QCOMPARE(s, mo);
    }

    void addDoesNotFireAndSetsTheTextDirectly()
    {
        TComponent owner;
        auto *list = Create<TMessageList>(&owner);
        TMessageObject *mo = list->Add(u"Die Datei %s"_s);
        QCOMPARE(mo->Text(), u"Die Datei %s"_s);
        QCOMPARE(mo->MessageList(), list);
        QCOMPARE(mo->Owner(), &owner);
        QCOMPARE(list->Count(), 1);
        QCOMPARE(list->GetITem(0), mo);
    }

    void assignAndSetItemCopyTextButKeepTitle()
    {
        TComponent owner;
        auto *list = Create<TMessageList>(&owner);
        TMessageObject *entry = list->Add(u"alt"_s);
        entry->SetTitle(u"Eigener Titel"_s);
        TMessageObject value;
        value.SetText(u"neu"_s);
        value.SetTitle(u"Fremder Titel"_s);
        list->SetItem(0, &value);
        QCOMPARE(list->GetITem(0), entry); // the entry itself stays
        QCOMPARE(entry->Text(), u"neu"_s);
        QCOMPARE(entry->Title(), u"Eigener Titel"_s);
        QCOMPARE(value.MessageList(), nullptr);
    }

    void assignFromAnotherClassRaises()
    {
        TMessageObject mo;
        TMessageList list;
        try {
            mo.Assign(&list);
            QFAIL("no error");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), u"Cannot assign a TMessageList to a TMessageObject"_s);
        }
    }

    void indexOutOfRange_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("index");
        QTest::newRow("negative") << 3 << -1;
        QTest::newRow("equal to Count") << 3 << 3;
        QTest::newRow("beyond Count") << 3 << 4;
        QTest::newRow("empty list") << 0 << 0;
    }

    void indexOutOfRange()
    {
        QFETCH(int, count);
        QFETCH(int, index);
        TComponent owner;
        auto *list = Create<TMessageList>(&owner);
        for (int i = 0; i < count; ++i)
            list->Add(QString::number(i));
        TMessageObject value;
        QVERIFY_THROWS_EXCEPTION(EArgumentOutOfRangeException, list->GetITem(index));
        QVERIFY_THROWS_EXCEPTION(EArgumentOutOfRangeException, list->SetItem(index, &value));
        QCOMPARE(list->Count(), count);
    }

    void newObjectsTakeTheFirstFreeName()
    {
        TComponent owner;
        (new Tzc_Component(&owner))->SetName(u"MessageObject1"_s);
        named(&owner, u"MessageObject2"_s);
        auto *list = Create<TMessageList>(&owner);
        QCOMPARE(list->Add(u"a"_s)->Name(), u"MessageObject3"_s);
        QCOMPARE(list->Add(u"b"_s)->Name(), u"MessageObject4"_s);
        QCOMPARE(owner.FindComponent(u"messageobject4"_s), list->GetITem(1));
    }

    void deleteFreesOnlyObjectsOfTheList()
    {
        TComponent owner;
        auto *list = Create<TMessageList>(&owner);
        DestroyLog log;
        TMessageObject *in = list->Add(u"in"_s);
        in->SetName(u"In"_s);
        log.watch(in);
        TMessageObject *outside = named(&owner, u"Outside"_s);
        list->Delete(outside);
        QCOMPARE(outside->Owner(), &owner);
        QCOMPARE(list->Count(), 1);
        list->Delete(in);
        QCOMPARE(log.names, QStringList { u"In"_s });
        QCOMPARE(list->Count(), 0);
        QCOMPARE(owner.FindComponent(u"In"_s), nullptr);
    }

    void clearFreesLastFirst()
    {
        TComponent owner;
        auto *list = Create<TMessageList>(&owner);
        list->Clear(); // empty: nothing happens
        DestroyLog log;
        for (const QString &n : { u"A"_s, u"B"_s, u"C"_s }) {
            TMessageObject *mo = named(&owner, n);
            list->AddItem(mo);
            log.watch(mo);
        }
        list->Clear();
        QCOMPARE(log.names, QStringList({ u"C"_s, u"B"_s, u"A"_s }));
        QCOMPARE(list->Count(), 0);
        QCOMPARE(owner.ComponentCount(), 1);
    }

    void destroyingAnObjectTakesItOutOfItsList()
    {
        TComponent owner;
        auto *list = Create<TMessageList>(&owner);
        TMessageObject *a = list->Add(u"a"_s);
        TMessageObject *b = list->Add(u"b"_s);
        Free(a);
        QCOMPARE(list->Count(), 1);
        QCOMPARE(list->GetITem(0), b);
        delete b;
        QCOMPARE(list->Count(), 0);
    }

    // Whatever the order the owner frees them in, every object goes exactly once.
    void ownerFreesListAndObjectsOnce_data()
    {
        QTest::addColumn<bool>("listFirst");
        QTest::newRow("list created before its objects") << true;
        QTest::newRow("list created after its objects") << false;
    }

    void ownerFreesListAndObjectsOnce()
    {
        QFETCH(bool, listFirst);
        auto *owner = new TComponent;
        DestroyLog log;
        TMessageList *list = listFirst ? Create<TMessageList>(owner) : nullptr;
        QList<TMessageObject *> objects;
        for (const QString &n : { u"A"_s, u"B"_s })
            objects << named(owner, n);
        if (!list)
            list = Create<TMessageList>(owner);
        list->SetName(u"ML"_s);
        for (TMessageObject *mo : objects) {
            list->AddItem(mo);
            log.watch(mo);
        }
        log.watch(list);
        Free(owner);
        QCOMPARE(log.names.size(), 3);
        QCOMPARE(log.names.count(u"A"_s), 1);
        QCOMPARE(log.names.count(u"B"_s), 1);
        QCOMPARE(log.names.count(u"ML"_s), 1);
    }

    void freeingTheListAloneFreesItsObjects()
    {
        TComponent owner;
        auto *list = Create<TMessageList>(&owner);
        list->Add(u"a"_s);
        list->Add(u"b"_s);
        named(&owner, u"NotListed"_s);
        Free(list);
        QCOMPARE(owner.ComponentCount(), 1);
        QCOMPARE(owner.Components(0)->Name(), u"NotListed"_s);
    }

    void membershipMovesBetweenLists()
    {
        TComponent owner;
        auto *first = Create<TMessageList>(&owner);
        auto *second = Create<TMessageList>(&owner);
        TMessageObject *mo = first->Add(u"x"_s);
        mo->SetParentComponent(second);
        QCOMPARE(first->Count(), 0);
        QCOMPARE(second->IndexOf(mo), 0);
        QCOMPARE(mo->GetParentComponent(), second);
        QCOMPARE(first->AddItem(mo), 0); // AddItem also takes it out of the other list
        QCOMPARE(second->Count(), 0);
        QCOMPARE(first->AddItem(mo), 0); // already there: keeps its one place
        QCOMPARE(first->Count(), 1);
        QCOMPARE(first->AddItem(nullptr), -1);
        mo->SetParentComponent(&owner); // not a list: leaves, joins nothing
        QCOMPARE(first->Count(), 0);
        QCOMPARE(mo->MessageList(), nullptr);
        QVERIFY(mo->HasParent());
    }

    void raiseException_data()
    {
        QTest::addColumn<bool>("formatted");
        QTest::addColumn<QString>("exceptionClass");
        QTest::addColumn<QString>("message");
        QTest::newRow("base class, placeholders left as they are")
            << false << QString() << u"Datei %s fehlt"_s;
        QTest::newRow("given class") << false << u"EFOpenError"_s << u"Datei %s fehlt"_s;
        QTest::newRow("formatted, base class") << true << QString() << u"Datei a.xml fehlt"_s;
        QTest::newRow("formatted, given class") << true << u"EFOpenError"_s << u"Datei a.xml fehlt"_s;
    }

    void raiseException()
    {
        QFETCH(bool, formatted);
        QFETCH(QString, exceptionClass);
        QFETCH(QString, message);
        TMessageObject mo;
        mo.SetText(u"Datei %s fehlt"_s);
        const TExceptionClass cls
            = exceptionClass.isEmpty() ? TExceptionClass() : ExceptionClass<EFOpenError>();
        try {
            if (formatted)
                mo.RaiseExceptionFmt({ u"a.xml"_s }, cls);
            else
                mo.RaiseException(cls);
        } catch (const Exception &e) {
            QCOMPARE(e.message(), message);
            QCOMPARE(typeid(e) == typeid(EFOpenError), !exceptionClass.isEmpty());
            QCOMPARE(typeid(e) == typeid(Exception), exceptionClass.isEmpty());
        }
    }

    void raiseExceptionFmtWithTooFewArgumentsRaisesTheConversionError()
    {
        TMessageObject mo;
        mo.SetText(u"%s und %s"_s);
        QVERIFY_THROWS_EXCEPTION(
            EConvertError, mo.RaiseExceptionFmt({ u"a"_s }, ExceptionClass<EFOpenError>()));
        QCOMPARE(mo.TextFmt({ u"a"_s, u"b"_s }), u"a und b"_s);
    }

    void readsThreeMessagesInResourceOrder()
    {
        TComponent owner;
        ReadComponentResource(&owner, QStringLiteral(PRAVIK_TEST_DATA "/components/messages_three.form"));
        auto *list = owner.FindComponent<TMessageList>(u"Messages"_s);
        QVERIFY(list);
        QCOMPARE(list->Count(), 3);
        QStringList names;
        for (int i = 0; i < list->Count(); ++i) {
            names << list->GetITem(i)->Name();
            QCOMPARE(list->GetITem(i)->Owner(), &owner);
            QCOMPARE(list->GetITem(i)->MessageList(), list);
        }
        QCOMPARE(names, QStringList({ u"MO_Zebra"_s, u"MO_Alpha"_s, u"MO_Middle"_s }));
        QCOMPARE(list->GetITem(1)->Text(), u"Dann %d Fehler"_s);
        QCOMPARE(list->GetITem(1)->Title(), u"Prüfung"_s);
        QCOMPARE(list->GetITem(0)->Title(), QString());
    }

    void writtenListReadsBackInOrder()
    {
        TComponent source;
        auto *list = Create<TMessageList>(&source);
        list->SetName(u"ML"_s);
        list->Add(u"erste"_s);
        list->Add(u"zweite %s"_s)->SetTitle(u"Titel"_s);
        list->Add(u"dritte"_s);
        list->AddItem(list->GetITem(0)); // no second entry
        list->GetITem(0)->SetParentComponent(list); // moves to the end
        const QByteArray data = WriteComponentData(&source);
        const QJsonArray top = QJsonDocument::fromJson(data).object()[u"components"].toArray();
        QCOMPARE(top.size(), 1); // message objects are written inside the list only
        QCOMPARE(top[0][u"children"].toArray().size(), 3);

        TComponent target;
        ReadComponentData(&target, data);
        auto *read = target.FindComponent<TMessageList>(u"ML"_s);
        QCOMPARE(read->Count(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(read->GetITem(i)->Name(), list->GetITem(i)->Name());
            QCOMPARE(read->GetITem(i)->Text(), list->GetITem(i)->Text());
            QCOMPARE(read->GetITem(i)->Title(), list->GetITem(i)->Title());
        }
        QCOMPARE(read->GetITem(2)->Text(), u"erste"_s);
    }

    void checkerFormHoldsTheOverwriteQuestion()
    {
        TComponent form;
        ReadComponentResource(&form, u":/forms/Pravik_MAIN.form"_s);
        auto *ml = FormComponent<TMessageList>(&form, u"ML"_s);
        auto *mo = FormComponent<TMessageObject>(&form, u"MO_FileOverwrite"_s);
        QCOMPARE(mo->MessageList(), ml);
        QCOMPARE(ml->IndexOf(mo), 0);
        QCOMPARE(mo->Text(), u"Die Datei %s existiert bereits! \r\nWollen Sie die Datei überschreiben?"_s);
        QCOMPARE(mo->Title(), QString());
        // A component of the wrong class or a missing one is an error of the form, not a null pointer.
        QVERIFY_THROWS_EXCEPTION(EReadError, FormComponent<TMessageObject>(&form, u"ML"_s));
        QVERIFY_THROWS_EXCEPTION(EReadError, FormComponent<TMessageList>(&form, u"VerInfo"_s));
    }
};

namespace {
const TUnit *const units[] = { &MessageCntrUnit };
}
PRAVIK_TEST_GUILESS_MAIN(TestMessageList, units)
#include "tst_messagelist.moc"

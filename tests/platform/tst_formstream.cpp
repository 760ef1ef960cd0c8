// Form resources: reading nested components into an owner, property kinds, events, the errors of a
// broken document (which leave the owner untouched), and writing a form that reads back the same.

#include "platform/formstream.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;

class TBox;

// A component with one property of every streamed kind; it lives in a TBox as its parent.
class TItem : public TComponent
{
    Q_OBJECT
    Q_PROPERTY(QString Text MEMBER m_text)
    Q_PROPERTY(int Count MEMBER m_count)
    Q_PROPERTY(quint8 Level MEMBER m_level)
    Q_PROPERTY(bool Active MEMBER m_active)
    Q_PROPERTY(double Ratio MEMBER m_ratio)
    Q_PROPERTY(TKind Kind MEMBER m_kind)
    Q_PROPERTY(QStringList Lines MEMBER m_lines)
    Q_PROPERTY(TNotifyEvent OnChange READ onChange WRITE setOnChange)
    Q_PROPERTY(QString Transient MEMBER m_transient STORED false)

public:
    enum TKind
    {
        KindOne,
        KindTwo
    };
    Q_ENUM(TKind)

    using TComponent::TComponent;
    ~TItem() override;

    bool HasParent() const override { return true; }
    TComponent *GetParentComponent() const override;
    void SetParentComponent(TComponent *Value) override;
    void Loaded() override
    {
        loadedWhileLoading = ComponentState().testFlag(csLoading);
        TComponent::Loaded();
    }
    void change() { m_onChange(this); }
    TNotifyEvent onChange() const { return m_onChange; }
    void setOnChange(const TNotifyEvent &e) { m_onChange = e; }

    QString m_text;
    int m_count = 0;
    quint8 m_level = 0;
    bool m_active = true;
    double m_ratio = 0;
    TKind m_kind = KindOne;
    QStringList m_lines;
    TNotifyEvent m_onChange;
    QString m_transient;
    TBox *box = nullptr;
    QList<TComponent *> parentCalls;
    bool loadedWhileLoading = false;
};

// Holds items without owning them, like a message list.
class TBox : public TComponent
{
    Q_OBJECT

public:
    using TComponent::TComponent;
    ~TBox() override
    {
        for (TItem *i : std::as_const(items))
            i->box = nullptr;
    }
    void GetChildren(const TGetChildProc &Proc, TComponent *Root) override
    {
        TComponent::GetChildren(Proc, Root);
        for (TItem *i : std::as_const(items))
            Proc(i);
    }
    QList<TItem *> items;
};

TItem::~TItem()
{
    if (box)
        box->items.removeOne(this);
}

TComponent *TItem::GetParentComponent() const
{
    return box;
}

void TItem::SetParentComponent(TComponent *Value)
{
    parentCalls << Value;
    if (box)
        box->items.removeOne(this);
    box = qobject_cast<TBox *>(Value);
    if (box)
        box->items << this;
}

// Receives the events bound by name.
class TMethods : public QObject
{
    Q_OBJECT

public:
    QList<TComponent *> senders;

public Q_SLOTS:
    void ItemChanged(TComponent *Sender) { senders << Sender; }
};

class TestFormStream : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        RegisterClass<TItem>();
        RegisterClass<TBox>();
    }

    void readsNestedComponentsInResourceOrder()
    {
        TComponent owner;
        ReadComponentResource(&owner, QStringLiteral(PRAVIK_TEST_DATA "/components/formstream_box.form"));
        QCOMPARE(owner.ComponentCount(), 5);
        auto *box = owner.FindComponent<TBox>(u"Box"_s);
        QVERIFY(box);
        QStringList names;
        for (TItem *i : std::as_const(box->items))
            names << i->Name();
        QCOMPARE(names, QStringList({ u"Third"_s, u"First"_s, u"Second"_s }));

        auto *first = owner.FindComponent<TItem>(u"First"_s);
        QCOMPARE(first->Owner(), &owner);
        QCOMPARE(first->m_text, u"eins\r\nzwei"_s);
        QCOMPARE(first->m_count, -12);
        QCOMPARE(first->m_active, false);
        QCOMPARE(first->m_ratio, 0.25);
        QCOMPARE(first->m_kind, TItem::KindTwo);
        QCOMPARE(first->m_lines, QStringList({ u"a"_s, u"b"_s }));
        QCOMPARE(first->parentCalls, QList<TComponent *> { box });
        QVERIFY(first->loadedWhileLoading);
        QVERIFY(!(first->ComponentState() & (csLoading | csReading)));

        auto *loose = owner.FindComponent<TItem>(u"Loose"_s);
        QCOMPARE(loose->parentCalls, QList<TComponent *> { &owner }); // the top level's parent is the owner
        QCOMPARE(loose->box, nullptr);
    }

    void brokenDocumentsLeaveTheOwnerUntouched_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("message");

        const QByteArray head = R"({"format": "pravik-form", "version": 1, "components": )";
        QTest::newRow("not JSON") << QByteArray("{ nope") << u"test.form: "_s;
        QTest::newRow("other format") << QByteArray(R"({"format": "dfm", "version": 1})")
                                      << u"not a form document of format \"pravik-form\" version 1"_s;
        QTest::newRow("other version")
            << QByteArray(R"({"format": "pravik-form", "version": 2})") << u"version 1"_s;
        QTest::newRow("unknown class, after a good component")
            << head + R"([{"class": "TBox", "name": "B"}, {"class": "TNope"}]})"
            << u"Class TNope not found"_s;
        QTest::newRow("unknown property in a child")
            << head
                + R"([{"class": "TBox", "name": "B", "children": [{"class": "TItem", "name": "I", "properties": {"Colour": 1}}]}]})"
            << u"Error reading I.Colour: Property Colour does not exist"_s;
        QTest::newRow("property that is not stored")
            << head + R"([{"class": "TItem", "name": "I", "properties": {"Transient": "x"}}]})"
            << u"Property Transient does not exist"_s;
        QTest::newRow("number for a string")
            << head + R"([{"class": "TItem", "name": "I", "properties": {"Text": 5}}]})"
            << u"Error reading I.Text: a string is expected"_s;
        QTest::newRow("fraction for an integer")
            << head + R"([{"class": "TItem", "name": "I", "properties": {"Count": 1.5}}]})"
            << u"an integer"_s;
        QTest::newRow("integer out of range")
            << head + R"([{"class": "TItem", "name": "I", "properties": {"Count": 1e12}}]})"
            << u"an integer"_s;
        QTest::newRow("string for a bool")
            << head + R"([{"class": "TItem", "name": "I", "properties": {"Active": "yes"}}]})"
            << u"true or false"_s;
        QTest::newRow("unknown enum key")
            << head + R"([{"class": "TItem", "name": "I", "properties": {"Kind": "KindNine"}}]})"
            << u"\"KindNine\" is not a value of TKind"_s;
        QTest::newRow("event without method root")
            << head + R"([{"class": "TItem", "name": "I", "properties": {"OnChange": "ItemChanged"}}]})"
            << u"Error reading I.OnChange: method ItemChanged not found"_s;
        QTest::newRow("duplicate name")
            << head + R"([{"class": "TItem", "name": "I"}, {"class": "TItem", "name": "i"}]})"
            << u"A component named i already exists"_s;
        QTest::newRow("name taken in the owner") << head + R"([{"class": "TItem", "name": "Existing"}]})"
                                                 << u"A component named Existing already exists"_s;
        QTest::newRow("invalid name")
            << head + R"([{"class": "TItem", "name": "a b"}]})" << u"'a b' is not a valid component name"_s;
        QTest::newRow("children not an array")
            << head + R"([{"class": "TBox", "children": {}}]})" << u"\"children\" must be an array"_s;
        QTest::newRow("misspelt key")
            << head + R"([{"class": "TItem", "propertys": {}}]})" << u"unknown key \"propertys\""_s;
        QTest::newRow("name that is not a string")
            << head + R"([{"class": "TItem", "name": 7}]})" << u"the name of a TItem is not a string"_s;
        QTest::newRow("component without class") << head + R"([{"name": "X"}]})" << u"without \"class\""_s;
    }

    void brokenDocumentsLeaveTheOwnerUntouched()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, message);
        TComponent owner;
        auto *existing = new TItem(&owner);
        existing->SetName(u"Existing"_s);
        try {
            ReadComponentData(&owner, json, u"test.form"_s);
            QFAIL("no error");
        } catch (const Exception &e) {
            QVERIFY2(e.message().contains(message), qPrintable(e.message()));
        }
        QCOMPARE(owner.ComponentCount(), 1);
        QCOMPARE(owner.Components(0), existing);
    }

    void eventsBindToMethodsByName()
    {
        TMethods methods;
        TComponent owner;
        ReadComponentData(&owner,
            R"({"format": "pravik-form", "version": 1, "components": [
                                {"class": "TItem", "name": "I", "properties": {"OnChange": "ItemChanged"}}]})",
            QString(), &methods);
        auto *item = owner.FindComponent<TItem>(u"I"_s);
        item->change();
        QCOMPARE(methods.senders, QList<TComponent *> { item });
        const QJsonObject written = QJsonDocument::fromJson(WriteComponentData(&owner)).object();
        QCOMPARE(written[u"components"][0][u"properties"][u"OnChange"].toString(), u"ItemChanged"_s);
    }

    void writtenFormReadsBackTheSame()
    {
        TComponent source;
        source.SetName(u"Source"_s);
        auto *box = new TBox(&source);
        box->SetName(u"Box"_s);
        for (const QString &n : { u"Zulu"_s, u"Alpha"_s }) {
            auto *i = new TItem(&source);
            i->SetName(n);
            i->SetParentComponent(box);
        }
        auto *zulu = source.FindComponent<TItem>(u"Zulu"_s);
        zulu->m_text = u"Die Datei %s\r\nüberschreiben?"_s;
        zulu->m_active = false;
        zulu->m_kind = TItem::KindTwo;
        zulu->m_lines = { u"x"_s };
        zulu->m_level = 200; // a byte-sized integer is written as a number, as the wider ones are
        zulu->m_transient = u"not written"_s;

        const QByteArray data = WriteComponentData(&source);
        const QJsonObject doc = QJsonDocument::fromJson(data).object();
        QCOMPARE(doc[u"name"].toString(), u"Source"_s);
        const QJsonObject alphaJson = doc[u"components"][0][u"children"][1].toObject();
        QCOMPARE(alphaJson[u"name"].toString(), u"Alpha"_s);
        const QJsonValue level = doc[u"components"][0][u"children"][0][u"properties"][u"Level"];
        QCOMPARE(level.type(), QJsonValue::Double);
        QCOMPARE(level.toInt(), 200);
        QVERIFY2(!alphaJson.contains(u"properties"), "default values are not written");

        TComponent target;
        ReadComponentData(&target, data);
        auto *box2 = target.FindComponent<TBox>(u"Box"_s);
        QCOMPARE(box2->items.size(), 2);
        QCOMPARE(box2->items[0]->Name(), u"Zulu"_s);
        QCOMPARE(box2->items[1]->Name(), u"Alpha"_s);
        const TItem *z = box2->items[0];
        QCOMPARE(z->m_text, zulu->m_text);
        QCOMPARE(z->m_active, false);
        QCOMPARE(z->m_kind, TItem::KindTwo);
        QCOMPARE(z->m_lines, zulu->m_lines);
        QCOMPARE(z->m_level, quint8(200));
        QCOMPARE(z->m_transient, QString());
        QCOMPARE(box2->items[1]->m_active, true);
    }

    void missingResource()
    {
        TComponent owner;
        QVERIFY_THROWS_EXCEPTION(EFOpenError, ReadComponentResource(&owner, u":/forms/NoSuchForm.form"_s));
    }
};

QTEST_GUILESS_MAIN(TestFormStream)
#include "tst_formstream.moc"

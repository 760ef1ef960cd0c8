#include "platform/formstream.h"

#include "platform/integraltype.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaProperty>
#include <QPointer>
#include <QSaveFile>
#include <QSet>

#include <cmath>

namespace {

const QString formatTag = QStringLiteral("pravik-form");
constexpr int formatVersion = 1;

// The properties a form stores: declared by TComponent or below, stored and writable.
QList<QMetaProperty> streamedProperties(const QMetaObject *mo)
{
    QList<QMetaProperty> props;
    for (int i = QObject::staticMetaObject.propertyCount(); i < mo->propertyCount(); ++i) {
        const QMetaProperty p = mo->property(i);
        if (p.isStored() && p.isWritable())
            props.append(p);
    }
    return props;
}

bool isEvent(const QMetaProperty &p)
{
    return p.metaType() == QMetaType::fromType<TNotifyEvent>();
}

class Reader
{
public:
    Reader(TComponent *owner, QString source, QObject *methodRoot)
        : m_owner(owner)
        , m_source(std::move(source))
        , m_methodRoot(methodRoot)
    {
    }

    void run(const QByteArray &data)
    {
        QJsonParseError err;
        const QJsonDocument doc = QJsonDocument::fromJson(data, &err);
        if (err.error != QJsonParseError::NoError) {
            const qsizetype line = data.left(err.offset).count('\n') + 1;
            fail(QStringLiteral("%1 in line %2").arg(err.errorString()).arg(line));
        }
        if (!doc.isObject())
            fail(QStringLiteral("the document is not a JSON object"));
        const QJsonObject root = doc.object();
        if (root.value(u"format").toString() != formatTag
            || root.value(u"version").toInt(-1) != formatVersion)
            fail(QStringLiteral("not a form document of format \"%1\" version %2")
                     .arg(formatTag)
                     .arg(formatVersion));
        try {
            readList(root.value(u"components"), m_owner, QStringLiteral("components"));
            for (const QPointer<TComponent> &c : std::as_const(m_created)) {
                if (c)
                    c->Loaded();
            }
        } catch (...) {
            // Leave the owner as it was: children before their parents.
            for (auto it = m_created.crbegin(); it != m_created.crend(); ++it)
                Free(it->data());
            throw;
        }
    }

private:
    [[noreturn]] void fail(const QString &why) const
    {
        throw EReadError(m_source.isEmpty() ? why : m_source + QStringLiteral(": ") + why);
    }

    void readList(const QJsonValue &list, TComponent *parent, const QString &where)
    {
        if (list.isUndefined())
            return;
        if (!list.isArray())
            fail(QStringLiteral("\"%1\" must be an array").arg(where));
        for (const QJsonValue &v : list.toArray()) {
            if (!v.isObject())
                fail(QStringLiteral("an entry of \"%1\" is not an object").arg(where));
            readComponent(v.toObject(), parent);
        }
    }

    void readComponent(const QJsonObject &obj, TComponent *parent)
    {
        for (auto it = obj.begin(); it != obj.end(); ++it) {
            static const QSet<QString> keys = { QStringLiteral("class"), QStringLiteral("name"),
                QStringLiteral("properties"), QStringLiteral("children") };
            if (!keys.contains(it.key()))
                fail(QStringLiteral("unknown key \"%1\" in a component").arg(it.key()));
        }
        const QString className = obj.value(u"class").toString();
        if (className.isEmpty())
            fail(QStringLiteral("a component without \"class\""));
        if (obj.contains(u"name") && !obj.value(u"name").isString())
            fail(QStringLiteral("the name of a %1 is not a string").arg(className));
        const TComponentClass &cls = FindClass(className);
        TComponent *comp = cls.Create(m_owner);
        m_created.append(comp);
        comp->SetComponentStateFlag(csLoading, true);
        comp->SetComponentStateFlag(csReading, true);
        comp->SetName(obj.value(u"name").toString());
        readProperties(comp, obj.value(u"properties"));
        comp->SetComponentStateFlag(csReading, false);
        comp->SetParentComponent(parent);
        readList(obj.value(u"children"), comp, QStringLiteral("children"));
    }

    void readProperties(TComponent *comp, const QJsonValue &value)
    {
        if (value.isUndefined())
            return;
        const QString who
            = comp->Name().isEmpty() ? QString::fromLatin1(comp->metaObject()->className()) : comp->Name();
        if (!value.isObject())
            fail(QStringLiteral("Error reading %1: \"properties\" must be an object").arg(who));
        const QJsonObject props = value.toObject();
        const QList<QMetaProperty> streamed = streamedProperties(comp->metaObject());
        QSet<QString> known;
        for (const QMetaProperty &p : streamed)
            known.insert(QString::fromLatin1(p.name()));
        for (auto it = props.begin(); it != props.end(); ++it) {
            if (!known.contains(it.key()))
                fail(QStringLiteral("Error reading %1.%2: Property %2 does not exist").arg(who, it.key()));
        }
        // In declaration order, so that reading does not depend on the order of keys in the file.
        for (const QMetaProperty &p : streamed) {
            const QString name = QString::fromLatin1(p.name());
            if (!props.contains(name))
                continue;
            QString why;
            const QVariant v = toVariant(p, props.value(name), why);
            if (why.isEmpty() && !p.write(comp, v))
                why = QStringLiteral("invalid property value");
            if (!why.isEmpty())
                fail(QStringLiteral("Error reading %1.%2: %3").arg(who, name, why));
        }
    }

    QVariant toVariant(const QMetaProperty &p, const QJsonValue &v, QString &why) const
    {
        if (isEvent(p))
            return eventValue(v, why);
        if (p.isEnumType()) {
            bool ok = false;
            const QMetaEnum e = p.enumerator();
            const QByteArray key = v.toString().toLatin1();
            const int value
                = e.isFlag() ? e.keysToValue(key.constData(), &ok) : e.keyToValue(key.constData(), &ok);
            if (!v.isString() || !ok)
                why = QStringLiteral("\"%1\" is not a value of %2")
                          .arg(v.toString(), QLatin1String(e.name()));
            return value;
        }
        const int type = p.metaType().id();
        if (type == QMetaType::QString) {
            if (!v.isString())
                why = QStringLiteral("a string is expected");
            return v.toString();
        }
        if (type == QMetaType::Bool) {
            if (!v.isBool())
                why = QStringLiteral("true or false is expected");
            return v.toBool();
        }
        if (type == QMetaType::Double || type == QMetaType::Float) {
            if (!v.isDouble())
                why = QStringLiteral("a number is expected");
            return v.toDouble();
        }
        if (integralType(type)) {
            const double d = v.toDouble();
            QVariant out = qlonglong(d);
            if (!v.isDouble() || std::floor(d) != d || !out.convert(p.metaType()) || out.toDouble() != d)
                why = QStringLiteral("an integer in the property's range is expected");
            return out;
        }
        QVariant out = v.toVariant();
        if (!out.convert(p.metaType()))
            why = QStringLiteral("invalid property value");
        return out;
    }

    QVariant eventValue(const QJsonValue &v, QString &why) const
    {
        const QString method = v.toString();
        if (!v.isString() || method.isEmpty()) {
            why = QStringLiteral("the name of a method is expected");
            return {};
        }
        const QByteArray sig = QMetaObject::normalizedSignature(
            (method + QStringLiteral("(TComponent*)")).toLatin1().constData());
        const int idx = m_methodRoot ? m_methodRoot->metaObject()->indexOfMethod(sig.constData()) : -1;
        if (idx < 0) {
            why = QStringLiteral("method %1 not found").arg(method);
            return {};
        }
        QPointer<QObject> target = m_methodRoot;
        TNotifyEvent ev(
            [target, idx](TComponent *Sender) {
                if (target)
                    target->metaObject()->method(idx).invoke(
                        target.data(), Qt::DirectConnection, Q_ARG(TComponent *, Sender));
            },
            method);
        return QVariant::fromValue(ev);
    }

    TComponent *m_owner;
    QString m_source;
    QObject *m_methodRoot;
    QList<QPointer<TComponent>> m_created;
};

class Writer
{
public:
    explicit Writer(TComponent *root)
        : m_root(root)
    {
    }

    QJsonArray children(TComponent *parent)
    {
        QJsonArray out;
        parent->GetChildren(
            [&](TComponent *child) {
                if (child && !m_written.contains(child)) {
                    m_written.insert(child);
                    out.append(component(child));
                }
            },
            m_root);
        return out;
    }

private:
    QJsonObject component(TComponent *c)
    {
        c->SetComponentStateFlag(csWriting, true);
        const QString className = QString::fromLatin1(c->metaObject()->className());
        const QVariantMap &defaults = defaultsOf(FindClass(className));
        QJsonObject obj;
        obj.insert(u"class", className);
        if (!c->Name().isEmpty())
            obj.insert(u"name", c->Name());
        QJsonObject props;
        for (const QMetaProperty &p : streamedProperties(c->metaObject())) {
            const QString name = QString::fromLatin1(p.name());
            const QVariant v = p.read(c);
            if (isEvent(p)) {
                const QString method = v.value<TNotifyEvent>().MethodName;
                if (!method.isEmpty())
                    props.insert(name, method);
                continue;
            }
            if (defaults.contains(name) && defaults.value(name) == v)
                continue;
            props.insert(name, toJson(p, v));
        }
        if (!props.isEmpty())
            obj.insert(u"properties", props);
        const QJsonArray kids = children(c);
        if (!kids.isEmpty())
            obj.insert(u"children", kids);
        c->SetComponentStateFlag(csWriting, false);
        return obj;
    }

    static QJsonValue toJson(const QMetaProperty &p, const QVariant &v)
    {
        if (p.isEnumType()) {
            const QMetaEnum e = p.enumerator();
            const int value = v.toInt();
            return QString::fromLatin1(e.isFlag() ? e.valueToKeys(value) : QByteArray(e.valueToKey(value)));
        }
        if (integralType(p.metaType().id()))
            return double(v.toLongLong());
        return QJsonValue::fromVariant(v);
    }

    const QVariantMap &defaultsOf(const TComponentClass &cls)
    {
        auto it = m_defaults.find(cls.MetaObject);
        if (it != m_defaults.end())
            return *it;
        QVariantMap values;
        const std::unique_ptr<TComponent, TComponentFree> fresh(cls.Create(nullptr));
        for (const QMetaProperty &p : streamedProperties(cls.MetaObject)) {
            if (!isEvent(p))
                values.insert(QString::fromLatin1(p.name()), p.read(fresh.get()));
        }
        return *m_defaults.insert(cls.MetaObject, values);
    }

    TComponent *m_root;
    QSet<TComponent *> m_written;
    QHash<const QMetaObject *, QVariantMap> m_defaults;
};

} // namespace

void ReadComponentResource(TComponent *Owner, const QString &ResourcePath, QObject *MethodRoot)
{
    QFile f(ResourcePath);
    if (!f.open(QIODevice::ReadOnly))
        throw EFOpenError(QStringLiteral("Resource %1 not found").arg(ResourcePath));
    ReadComponentData(Owner, f.readAll(), ResourcePath, MethodRoot);
}

void ReadComponentData(
    TComponent *Owner, const QByteArray &Data, const QString &SourceName, QObject *MethodRoot)
{
    Reader(Owner, SourceName, MethodRoot).run(Data);
}

QByteArray WriteComponentData(TComponent *Root)
{
    QJsonObject doc;
    doc.insert(u"format", formatTag);
    doc.insert(u"version", formatVersion);
    if (!Root->Name().isEmpty())
        doc.insert(u"name", Root->Name());
    doc.insert(u"components", Writer(Root).children(Root));
    return QJsonDocument(doc).toJson(QJsonDocument::Indented);
}

void WriteComponentResFile(const QString &FileName, TComponent *Root)
{
    const QByteArray data = WriteComponentData(Root);
    QSaveFile f(FileName);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit())
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(FileName, f.errorString()));
}

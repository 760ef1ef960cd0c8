#include "platform/component.h"

#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>

#include <map>

namespace {

bool isValidIdent(const QString &s)
{
    if (s.isEmpty() || !(s.front().isLetter() || s.front() == u'_'))
        return false;
    for (QChar c : s) {
        if (!(c.isLetterOrNumber() || c == u'_'))
            return false;
    }
    return true;
}

} // namespace

TComponent::TComponent(TComponent *AOwner)
{
    if (AOwner)
        AOwner->InsertComponent(this);
}

TComponent::~TComponent()
{
    // Mark first, so that components freeing each other below know who is already going.
    Destroying();
    DestroyComponents();
    if (m_owner)
        m_owner->RemoveComponent(this);
}

void TComponent::SetName(const QString &NewName)
{
    if (NewName == m_name)
        return;
    if (!NewName.isEmpty() && !isValidIdent(NewName))
        throw EComponentError(QStringLiteral("'%1' is not a valid component name").arg(NewName));
    if (m_owner && !NewName.isEmpty()) {
        TComponent *other = m_owner->FindComponent(NewName);
        if (other && other != this)
            throw EComponentError(QStringLiteral("A component named %1 already exists").arg(NewName));
    }
    m_name = NewName;
    setObjectName(NewName);
}

TComponent *TComponent::FindComponent(const QString &AName) const
{
    if (AName.isEmpty())
        return nullptr;
    for (TComponent *c : m_components) {
        if (c->m_name.compare(AName, Qt::CaseInsensitive) == 0)
            return c;
    }
    return nullptr;
}

void TComponent::InsertComponent(TComponent *AComponent)
{
    if (!AComponent || AComponent->m_owner == this)
        return;
    if (!AComponent->m_name.isEmpty() && FindComponent(AComponent->m_name))
        throw EComponentError(QStringLiteral("A component named %1 already exists").arg(AComponent->m_name));
    if (AComponent->m_owner)
        AComponent->m_owner->RemoveComponent(AComponent);
    m_components.append(AComponent);
    AComponent->m_owner = this;
}

void TComponent::RemoveComponent(TComponent *AComponent)
{
    if (!AComponent || AComponent->m_owner != this)
        return;
    m_components.removeOne(AComponent);
    AComponent->m_owner = nullptr;
}

void TComponent::Assign(TComponent *Source)
{
    if (Source)
        Source->AssignTo(this);
    else
        AssignError(nullptr);
}

void TComponent::AssignTo(TComponent *Dest)
{
    Dest->AssignError(this);
}

void TComponent::AssignError(const QObject *Source) const
{
    const QString from
        = Source ? QString::fromLatin1(Source->metaObject()->className()) : QStringLiteral("nil");
    throw EConvertError(QStringLiteral("Cannot assign a %1 to a %2")
                            .arg(from, QString::fromLatin1(metaObject()->className())));
}

void TComponent::GetChildren(const TGetChildProc &Proc, TComponent *Root)
{
    if (Root != this)
        return;
    // A component whose parent hook has nothing to offer is written at the top, so that nothing
    // owned is lost on a round trip.
    const QList<TComponent *> owned = m_components;
    for (TComponent *c : owned) {
        if (!c->HasParent() || !c->GetParentComponent())
            Proc(c);
    }
}

void TComponent::BeforeDestruction()
{
    Destroying();
}

void TComponent::Loaded()
{
    m_state.setFlag(csLoading, false);
}

void TComponent::SetComponentStateFlag(TComponentStateItem Flag, bool On)
{
    m_state.setFlag(Flag, On);
}

void TComponent::Destroying()
{
    if (m_state.testFlag(csDestroying))
        return;
    m_state |= csDestroying;
    for (TComponent *c : std::as_const(m_components))
        c->Destroying();
}

void TComponent::DestroyComponents()
{
    // Last first; re-read every round because a destructor may free a sibling as well.
    while (!m_components.isEmpty()) {
        TComponent *c = m_components.takeLast();
        c->m_owner = nullptr;
        Free(c);
    }
}

void Free(TComponent *AComponent)
{
    if (!AComponent)
        return;
    AComponent->BeforeDestruction();
    delete AComponent;
}

// ---- class register ----

namespace {

struct ClassRegister
{
    QMutex lock;
    std::map<QString, TComponentClass> classes; // node-based: entries never move
};

ClassRegister &classRegister()
{
    static ClassRegister r;
    return r;
}

} // namespace

TComponent *CompleteConstruction(TComponent *obj)
{
    try {
        obj->AfterConstruction();
    } catch (...) {
        delete obj;
        throw;
    }
    return obj;
}

TComponent *TComponentClass::Create(TComponent *AOwner) const
{
    return CompleteConstruction(Factory(AOwner));
}

void RegisterClass(const QMetaObject &Meta, TComponentFactory Factory)
{
    ClassRegister &r = classRegister();
    const QString name = QString::fromLatin1(Meta.className());
    QMutexLocker locker(&r.lock);
    auto it = r.classes.find(name);
    if (it != r.classes.end()) {
        if (it->second.MetaObject != &Meta)
            throw EComponentError(QStringLiteral("A class named %1 already exists").arg(name));
        return;
    }
    r.classes.emplace(name, TComponentClass { &Meta, Factory });
}

const TComponentClass *GetClass(const QString &AClassName)
{
    ClassRegister &r = classRegister();
    QMutexLocker locker(&r.lock);
    auto it = r.classes.find(AClassName);
    return it == r.classes.end() ? nullptr : &it->second;
}

const TComponentClass &FindClass(const QString &AClassName)
{
    const TComponentClass *c = GetClass(AClassName);
    if (!c)
        throw EClassNotFound(QStringLiteral("Class %1 not found").arg(AClassName));
    return *c;
}

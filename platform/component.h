#pragma once
// The component model: non-visual objects with an owner that frees them, a name unique within that
// owner, a parent used by form streaming, and a class register by name so that a form resource can
// create them. Components are QObjects so that their streamed properties are Q_PROPERTYs.

#include "platform/exception.h"

#include <QFlags>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <type_traits>

class TComponent;

// A component name is not a valid identifier or is taken within its owner.
class EComponentError : public Exception
{
public:
    using Exception::Exception;
};

enum TComponentStateItem
{
    csLoading = 0x1, // between creation by the form reader and Loaded()
    csReading = 0x2, // properties are being read
    csWriting = 0x4, // the form writer is writing it
    csDestroying = 0x8, // destruction has begun; the object must not be freed again
};
Q_DECLARE_FLAGS(TComponentState, TComponentStateItem)
Q_DECLARE_OPERATORS_FOR_FLAGS(TComponentState)

// A notify event: a handler taking the sender. A handler bound by the form reader keeps the name
// of the method it was bound to, so that the form writer can write it back.
struct TNotifyEvent
{
    std::function<void(TComponent *Sender)> Handler;
    QString MethodName;

    TNotifyEvent() = default;
    template <class F,
        class = std::enable_if_t<
            !std::is_same_v<std::decay_t<F>, TNotifyEvent> && std::is_invocable_v<F, TComponent *>>>
    TNotifyEvent(F f)
        : Handler(std::move(f))
    {
    }
    TNotifyEvent(std::function<void(TComponent *)> AHandler, QString AMethodName)
        : Handler(std::move(AHandler))
        , MethodName(std::move(AMethodName))
    {
    }
    explicit operator bool() const { return bool(Handler); }
    void operator()(TComponent *Sender) const { Handler(Sender); }
};

// Callback of GetChildren: called once for each child that belongs in a form below the component.
using TGetChildProc = std::function<void(TComponent *Child)>;

class TComponent : public QObject
{
    Q_OBJECT
    // Written by the form streamer itself, not as an ordinary property.
    Q_PROPERTY(QString Name READ Name WRITE SetName STORED false)

public:
    explicit TComponent(TComponent *AOwner = nullptr);
    ~TComponent() override;

    TComponent *Owner() const { return m_owner; }
    QString Name() const { return m_name; }
    // Raises EComponentError for a name that is not an identifier or that another component of the
    // same owner already has (compared without regard to case). An empty name is allowed.
    void SetName(const QString &NewName);

    int ComponentCount() const { return int(m_components.size()); }
    TComponent *Components(int Index) const { return m_components.at(Index); }
    // The owned component of that name, compared without regard to case; nullptr when there is none.
    TComponent *FindComponent(const QString &AName) const;
    template <class T> T *FindComponent(const QString &AName) const
    {
        return qobject_cast<T *>(FindComponent(AName));
    }
    // Takes ownership of AComponent (releasing it from its previous owner).
    void InsertComponent(TComponent *AComponent);
    // Gives up ownership; the component then has no owner.
    void RemoveComponent(TComponent *AComponent);

    TComponentState ComponentState() const { return m_state; }
    bool IsDestroying() const { return m_state.testFlag(csDestroying); }

    // Copies Source into this object. The base class knows no conversion and raises EConvertError
    // "Cannot assign a <source class> to a <this class>".
    virtual void Assign(TComponent *Source);

    // Parent hooks of form streaming. A component with a parent is written inside its parent's
    // block, and the reader hands it that parent through SetParentComponent.
    virtual bool HasParent() const { return false; }
    virtual TComponent *GetParentComponent() const { return nullptr; }
    virtual void SetParentComponent(TComponent *Value) { Q_UNUSED(Value) }
    // Calls Proc for every component written inside this one. The base passes, when this component
    // is the root, the components it owns that have no parent component.
    virtual void GetChildren(const TGetChildProc &Proc, TComponent *Root);

    // Called by Create<T>() and the form reader once the object is fully constructed.
    virtual void AfterConstruction() { }
    // Called by Free() and by the owner before the destructor runs; marks this component and the
    // ones it owns as being destroyed. Overrides must call the base.
    virtual void BeforeDestruction();
    // Called by the form reader after every component of one read has its properties.
    virtual void Loaded();

    // The form reader's view of the state flags.
    void SetComponentStateFlag(TComponentStateItem Flag, bool On);

protected:
    virtual void AssignTo(TComponent *Dest);
    // Raises the "cannot assign" error for Source (nullptr reads "nil").
    [[noreturn]] void AssignError(const QObject *Source) const;

private:
    void Destroying();
    void DestroyComponents();

    TComponent *m_owner = nullptr;
    QString m_name;
    QList<TComponent *> m_components;
    TComponentState m_state;
};

// Ends the construction of a new component with AfterConstruction. Should that raise, the object is
// freed and the exception propagates.
TComponent *CompleteConstruction(TComponent *obj);

// Creates a component the way the platform does: construction, then AfterConstruction.
template <class T, class... Args> T *Create(Args &&...args)
{
    return static_cast<T *>(CompleteConstruction(new T(std::forward<Args>(args)...)));
}

// Frees a component: BeforeDestruction, then delete. Does nothing for nullptr.
void Free(TComponent *AComponent);

template <class T> void FreeAndNil(T *&AComponent)
{
    T *obj = AComponent;
    AComponent = nullptr;
    Free(obj);
}

// Deleter for std::unique_ptr of components.
struct TComponentFree
{
    void operator()(TComponent *c) const { Free(c); }
};

// The class register: lets the form reader create a component from the class name in a resource.
class EClassNotFound : public Exception
{
public:
    using Exception::Exception;
};

using TComponentFactory = TComponent *(*)(TComponent *AOwner);

struct TComponentClass
{
    const QMetaObject *MetaObject = nullptr;
    TComponentFactory Factory = nullptr;

    QString ClassName() const { return QString::fromLatin1(MetaObject->className()); }
    // New instance with the given owner, AfterConstruction included.
    TComponent *Create(TComponent *AOwner) const;
};

// Registers a class under its C++ class name. Registering the same class again does nothing; another
// class of the same name raises EComponentError.
void RegisterClass(const QMetaObject &Meta, TComponentFactory Factory);
template <class T> void RegisterClass()
{
    RegisterClass(T::staticMetaObject, [](TComponent *AOwner) -> TComponent * { return new T(AOwner); });
}
// The registered class of that name (compared exactly), or nullptr.
const TComponentClass *GetClass(const QString &AClassName);
// As GetClass, but raises EClassNotFound "Class <name> not found" for an unknown name.
const TComponentClass &FindClass(const QString &AClassName);

Q_DECLARE_METATYPE(TNotifyEvent)

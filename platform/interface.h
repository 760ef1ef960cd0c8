#pragma once
// The platform's basic reference-counted interface: query for another interface, add a reference,
// release one. An object that implements it frees itself when its last reference is released.

#include <QUuid>

#include <utility>

using HRESULT = qint32;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);

class IInterface
{
public:
    static constexpr QUuid IID { 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 };

    // On success stores the interface in *Obj with a reference added; otherwise E_NOINTERFACE and
    // *Obj = nullptr.
    virtual HRESULT QueryInterface(const QUuid &AIID, void **Obj) = 0;
    // Both return the new reference count.
    virtual int _AddRef() = 0;
    virtual int _Release() = 0;

protected:
    virtual ~IInterface() = default;
};

// Holds one reference to an interface, like an interface variable.
template <class I> class TInterfacePtr
{
public:
    TInterfacePtr() = default;
    TInterfacePtr(I *p)
        : m_p(p)
    {
        if (m_p)
            m_p->_AddRef();
    }
    TInterfacePtr(const TInterfacePtr &o)
        : TInterfacePtr(o.m_p)
    {
    }
    TInterfacePtr(TInterfacePtr &&o) noexcept
        : m_p(std::exchange(o.m_p, nullptr))
    {
    }
    ~TInterfacePtr() { reset(); }
    TInterfacePtr &operator=(TInterfacePtr o) noexcept
    {
        std::swap(m_p, o.m_p);
        return *this;
    }

    void reset()
    {
        if (I *p = std::exchange(m_p, nullptr))
            p->_Release();
    }
    I *get() const { return m_p; }
    I *operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    I *m_p = nullptr;
};

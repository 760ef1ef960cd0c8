#pragma once
// TInterfacedDictionary: the generic dictionary, additionally reachable through the
// reference-counted interface Izc_Dictionary. An object handed out as the interface frees itself on
// its last release; an owner that never hands it out deletes it directly.

#include "platform/exception.h"
#include "platform/interface.h"

#include <QHash>
#include <QList>

#include <atomic>
#include <utility>

template <class K, class V> using TPair = std::pair<K, V>;

// The generic dictionary. It enumerates its pairs in the order their keys were first added, so that
// the same content added the same way enumerates alike in every process; a bare hash would follow
// its per-process seed. Replacing a value keeps the key's place; removing a key closes the gap.
template <class K, class V> class TDictionary
{
    using Items = QList<TPair<K, V>>;

public:
    virtual ~TDictionary() = default;

    // Raise EListError "Item not found" for an absent key.
    V GetItem(const K &Key) const { return m_items.at(indexOrRaise(Key)).second; }
    void SetItem(const K &Key, const V &Value) { m_items[indexOrRaise(Key)].second = Value; }
    int Count() const { return int(m_items.size()); }
    // Raises EListError "Duplicates not allowed" when Key is present.
    void Add(const K &Key, const V &Value)
    {
        if (!TryAdd(Key, Value))
            throw EListError(QStringLiteral("Duplicates not allowed"));
    }
    // An absent key is ignored.
    void Remove(const K &Key) { ExtractPair(Key); }
    // Removes Key and returns it with its value; an absent key gives (Key, default value).
    TPair<K, V> ExtractPair(const K &Key)
    {
        const auto it = m_index.constFind(Key);
        if (it == m_index.cend())
            return { Key, V() };
        const qsizetype at = it.value();
        TPair<K, V> pair = m_items.takeAt(at);
        m_index.erase(it);
        for (qsizetype &i : m_index) {
            if (i > at)
                --i;
        }
        return pair;
    }
    void Clear()
    {
        m_items.clear();
        m_index.clear();
    }
    void TrimExcess()
    {
        m_items.squeeze();
        m_index.squeeze();
    }
    bool TryGetValue(const K &Key, V &Value) const
    {
        const auto it = m_index.constFind(Key);
        Value = it == m_index.cend() ? V() : m_items.at(it.value()).second;
        return it != m_index.cend();
    }
    void AddOrSetValue(const K &Key, const V &Value)
    {
        const auto it = m_index.constFind(Key);
        if (it == m_index.cend())
            append(Key, Value);
        else
            m_items[it.value()].second = Value;
    }
    bool TryAdd(const K &Key, const V &Value)
    {
        if (m_index.contains(Key))
            return false;
        append(Key, Value);
        return true;
    }
    bool ContainsKey(const K &Key) const { return m_index.contains(Key); }

    class const_iterator
    {
    public:
        explicit const_iterator(typename Items::const_iterator at)
            : m_at(at)
        {
        }
        const K &key() const { return m_at->first; }
        const V &value() const { return m_at->second; }
        const TPair<K, V> &operator*() const { return *m_at; }
        const_iterator &operator++()
        {
            ++m_at;
            return *this;
        }
        bool operator==(const const_iterator &other) const = default;

    private:
        typename Items::const_iterator m_at;
    };
    const_iterator begin() const { return const_iterator(m_items.cbegin()); }
    const_iterator end() const { return const_iterator(m_items.cend()); }

private:
    qsizetype indexOrRaise(const K &Key) const
    {
        const auto it = m_index.constFind(Key);
        if (it == m_index.cend())
            throw EListError(QStringLiteral("Item not found"));
        return it.value();
    }
    void append(const K &Key, const V &Value)
    {
        m_items.append({ Key, Value });
        try {
            m_index.insert(Key, m_items.size() - 1);
        } catch (...) {
            m_items.removeLast(); // no pair without its index entry
            throw;
        }
    }

    Items m_items; // in the order keys were first added
    QHash<K, qsizetype> m_index; // key -> position in m_items
};

// Slots follow the three of IInterface in this order.
template <class K, class V> class Izc_Dictionary : public IInterface
{
public:
    // One identity for every instantiation, as generic interfaces with a GUID have on Windows.
    static constexpr QUuid IID { 0x7c4e1f0a, 0x52b3, 0x4d6e, 0x9a, 0x41, 0x3f, 0x0d, 0x6b, 0x28, 0xe5, 0x17 };

    virtual V GetItem(const K &Key) = 0;
    virtual void SetItem(const K &Key, const V &Value) = 0;
    virtual int GetCount() = 0;
    virtual void Add(const K &Key, const V &Value) = 0;
    virtual void Remove(const K &Key) = 0;
    virtual TPair<K, V> ExtractPair(const K &Key) = 0;
    virtual void Clear() = 0;
    virtual void TrimExcess() = 0;
    virtual bool TryGetValue(const K &Key, V &Value) = 0;
    virtual void AddOrSetValue(const K &Key, const V &Value) = 0;
    virtual bool TryAdd(const K &Key, const V &Value) = 0;
    virtual bool ContainsKey(const K &Key) = 0;
};

template <class K, class V>
class TInterfacedDictionary : public TDictionary<K, V>, public Izc_Dictionary<K, V>
{
    using Base = TDictionary<K, V>;

public:
    // The read operations stay callable on a const dictionary.
    using Base::ContainsKey;
    using Base::GetItem;
    using Base::TryGetValue;

    HRESULT QueryInterface(const QUuid &AIID, void **Obj) override
    {
        if (AIID == IInterface::IID || AIID == Izc_Dictionary<K, V>::IID) {
            *Obj = static_cast<Izc_Dictionary<K, V> *>(this);
            _AddRef();
            return S_OK;
        }
        *Obj = nullptr;
        return E_NOINTERFACE;
    }
    int _AddRef() override { return ++m_refCount; }
    int _Release() override
    {
        const int count = --m_refCount;
        if (count == 0)
            delete this;
        return count;
    }
    int RefCount() const { return m_refCount; }

    V GetItem(const K &Key) override { return Base::GetItem(Key); }
    void SetItem(const K &Key, const V &Value) override { Base::SetItem(Key, Value); }
    int GetCount() override { return Base::Count(); }
    void Add(const K &Key, const V &Value) override { Base::Add(Key, Value); }
    void Remove(const K &Key) override { Base::Remove(Key); }
    TPair<K, V> ExtractPair(const K &Key) override { return Base::ExtractPair(Key); }
    void Clear() override { Base::Clear(); }
    void TrimExcess() override { Base::TrimExcess(); }
    bool TryGetValue(const K &Key, V &Value) override { return Base::TryGetValue(Key, Value); }
    void AddOrSetValue(const K &Key, const V &Value) override { Base::AddOrSetValue(Key, Value); }
    bool TryAdd(const K &Key, const V &Value) override { return Base::TryAdd(Key, Value); }
    bool ContainsKey(const K &Key) override { return Base::ContainsKey(Key); }

    // Both bases have a virtual destructor; this one ends either way of freeing.
    ~TInterfacedDictionary() override = default;

private:
    std::atomic<int> m_refCount { 0 };
};

#include "idset.h"

#include <algorithm>
#include <cstring>

namespace sepa {

namespace {

uint64_t hashOf(QByteArrayView id)
{
    uint64_t h = 14695981039346656037ull; // FNV-1a
    for (const char c : id) {
        h ^= uint8_t(c);
        h *= 1099511628211ull;
    }
    h ^= h >> 29; // FNV's low bits are weak; the table uses them
    return h;
}

// The slot comes from the low bits, the tag from the high ones, so that a tag that matches is
// almost always the same identifier.
uint32_t tagOf(uint64_t hash)
{
    return uint32_t(hash >> 32) | 1u;
}

constexpr size_t kMaxReserved = size_t(1) << 18; // 4 MB of slots

} // namespace

qsizetype IdSet::insert(QByteArrayView id, qsizetype offset)
{
    if ((m_entries.size() + 1) * 2 > m_slots.size())
        grow();
    const uint64_t h = hashOf(id);
    const uint32_t tag = tagOf(h);
    const size_t mask = m_slots.size() - 1;
    for (size_t i = size_t(h) & mask;; i = (i + 1) & mask) {
        Slot &s = m_slots[i];
        if (s.tag == 0) {
            // Identifiers are values of one element, never gigabytes: the length fits 4 bytes.
            const uint32_t length = uint32_t(id.size());
            s = { tag, uint32_t(m_entries.size()) };
            m_entries.push_back({ m_arena.size(), offset });
            m_arena.append(reinterpret_cast<const char *>(&length), sizeof length);
            m_arena.append(id.data(), size_t(id.size()));
            return -1;
        }
        if (s.tag != tag)
            continue;
        const Entry &e = m_entries[s.entry];
        uint32_t length = 0;
        std::memcpy(&length, m_arena.data() + e.at, sizeof length);
        if (length == uint64_t(id.size())
            && std::memcmp(m_arena.data() + e.at + sizeof length, id.data(), size_t(length)) == 0)
            return e.offset;
    }
}

void IdSet::prefetch(QByteArrayView id) const
{
    if (!m_slots.empty())
        __builtin_prefetch(&m_slots[size_t(hashOf(id)) & (m_slots.size() - 1)]);
}

void IdSet::clear()
{
    m_slots.clear();
    m_entries.clear();
    m_arena.clear();
}

void IdSet::reserve(size_t count)
{
    // The count comes from the file, which may overstate it: room made before the identifiers come
    // stays a few megabytes at most, and a larger set grows from there.
    count = std::min<size_t>(count, kMaxReserved);
    if (!m_entries.empty() || count * 2 <= m_slots.size())
        return;
    size_t tableSize = 64;
    while (tableSize < count * 2)
        tableSize *= 2;
    m_slots.assign(tableSize, Slot());
    m_entries.reserve(count);
    // Room for references of the usual length (at most 35 characters), which only costs memory as
    // it fills; growing by doubling would copy the arena and touch fresh pages each time.
    m_arena.reserve(count * (sizeof(uint32_t) + 35));
}

void IdSet::grow()
{
    m_slots.assign(m_slots.empty() ? 64 : m_slots.size() * 2, Slot());
    const size_t mask = m_slots.size() - 1;
    for (size_t n = 0; n < m_entries.size(); ++n) {
        const Entry &e = m_entries[n];
        uint32_t length = 0;
        std::memcpy(&length, m_arena.data() + e.at, sizeof length);
        const uint64_t h = hashOf(QByteArrayView(m_arena.data() + e.at + sizeof length, qsizetype(length)));
        size_t i = size_t(h) & mask;
        while (m_slots[i].tag != 0)
            i = (i + 1) & mask;
        m_slots[i] = { tagOf(h), uint32_t(n) };
    }
}

} // namespace sepa

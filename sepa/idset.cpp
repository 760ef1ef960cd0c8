#include "idset.h"

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
    return h == 0 ? 1 : h;
}

constexpr size_t kHeader = 2 * sizeof(uint64_t); // offset and length before each identifier

} // namespace

qsizetype IdSet::insert(QByteArrayView id, qsizetype offset)
{
    if ((m_count + 1) * 2 > m_slots.size())
        grow();
    const uint64_t h = hashOf(id);
    const uint64_t length = uint64_t(id.size());
    const size_t mask = m_slots.size() - 1;
    for (size_t i = size_t(h) & mask;; i = (i + 1) & mask) {
        Slot &s = m_slots[i];
        if (s.hash == 0) {
            s = { m_arena.size(), h };
            const uint64_t header[2] = { uint64_t(offset), length };
            m_arena.append(reinterpret_cast<const char *>(header), kHeader);
            m_arena.append(id.data(), size_t(id.size()));
            ++m_count;
            return -1;
        }
        if (s.hash != h)
            continue;
        uint64_t header[2];
        std::memcpy(header, m_arena.data() + s.at, kHeader);
        if (header[1] == length
            && std::memcmp(m_arena.data() + s.at + kHeader, id.data(), size_t(length)) == 0)
            return qsizetype(header[0]);
    }
}

void IdSet::clear()
{
    m_slots.clear();
    m_arena.clear();
    m_count = 0;
}

void IdSet::grow()
{
    std::vector<Slot> old;
    old.swap(m_slots);
    m_slots.resize(old.empty() ? 64 : old.size() * 2);
    const size_t mask = m_slots.size() - 1;
    for (const Slot &s : old) {
        if (s.hash == 0)
            continue;
        size_t i = size_t(s.hash) & mask;
        while (m_slots[i].hash != 0)
            i = (i + 1) & mask;
        m_slots[i] = s;
    }
}

} // namespace sepa

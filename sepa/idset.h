#pragma once
// The identifiers of one kind seen in a file, each with the offset of its first element: an open
// addressing table over one arena of text, so that 100,000 references cost no allocation each.

#include <QByteArrayView>
#include <cstdint>
#include <string>
#include <vector>

namespace sepa {

class IdSet
{
public:
    // The offset remembered with an equal identifier seen before; otherwise remembers this one with
    // offset and returns -1.
    qsizetype insert(QByteArrayView id, qsizetype offset);
    void clear();

private:
    struct Slot
    {
        uint64_t hash = 0; // 0: empty
        uint64_t at = 0; // in m_arena
        uint64_t length = 0;
        qsizetype offset = 0;
    };
    void grow();

    std::vector<Slot> m_slots; // a power of two in size, at most half full
    std::string m_arena;
    size_t m_count = 0;
};

} // namespace sepa

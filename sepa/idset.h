#pragma once
// The identifiers of one kind seen in a file, each with the offset of its first element: an open
// addressing table over one arena of text, so that 100,000 references cost no allocation each.
// A slot is 16 bytes, with offset and length in the arena before the identifier, so that the table
// a file's 100,000 references fill and the memory it touches stay small.

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
        uint64_t at = 0; // in m_arena: the offset and the length (8 bytes each), then the identifier
        uint64_t hash = 0; // 0: empty
    };
    void grow();

    std::vector<Slot> m_slots; // a power of two in size, at most half full
    std::string m_arena;
    size_t m_count = 0;
};

} // namespace sepa

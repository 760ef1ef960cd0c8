#pragma once
// The identifiers of one kind seen in a file, each with the offset of its first element: an open
// addressing table over one arena of text, so that 100,000 references cost no allocation each.
// A slot is 8 bytes (a tag of the hash and the entry's number) and the entries stand one after the
// other, so that the table a file's references fill, which every insert reads at random, stays small.

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
    // Starts reading the slot insert(id) will read, for a caller with other work before it.
    void prefetch(QByteArrayView id) const;
    // Makes room for count identifiers (a few megabytes at most) before they come, sparing the
    // table's growth; an empty set only.
    void reserve(size_t count);
    void clear();

private:
    struct Slot
    {
        uint32_t tag = 0; // of the hash, apart from the bits that chose the slot; 0: empty
        uint32_t entry = 0; // in m_entries
    };
    struct Entry
    {
        uint64_t at = 0; // in m_arena
        qsizetype offset = 0;
    };
    void grow();

    std::vector<Slot> m_slots; // a power of two in size, at most half full
    std::vector<Entry> m_entries; // in the order of insertion
    std::string m_arena; // each identifier after its length (4 bytes)
};

} // namespace sepa

#pragma once
// The editor keeps its document as bytes: UTF-8, where an unpaired UTF-16 surrogate (which a UTF-16
// file may carry) is written as its own three-byte sequence so that it survives a load and a save
// (platform/textformat.h makes and reads that form). Error offsets count in the text joined by
// CR LF; this cursor finds their bytes.

#include <QtGlobal>

namespace documenttext {

// Finds the byte position of offsets into the CR LF-joined UTF-16 (or UTF-8) text of a document. Walks on
// from its last answer, so ascending offsets cost one pass over the document in all. An offset
// that falls inside a character or line end gives the position of that character or line end.
// The bytes at skip (ascending positions; virtual line breaks) are no part of the text: they count
// for nothing, and a position is given after those that stand before its byte.
class JoinedOffsetCursor
{
public:
    // What an offset counts: UTF-16 units of the joined text, or bytes of its UTF-8 form (where a
    // byte that starts no character is the three bytes of U+FFFD).
    enum class Unit
    {
        Utf16,
        Utf8,
    };
    void reset(const char *data, qsizetype size, const quint32 *skip = nullptr, qsizetype skipCount = 0,
        Unit unit = Unit::Utf16);
    qsizetype bytePosition(qint64 joinedOffset);

private:
    bool atSkip() const { return m_skipIndex < m_skipCount && m_skip[m_skipIndex] == m_byte; }

    const unsigned char *m_data = nullptr;
    qsizetype m_size = 0;
    const quint32 *m_skip = nullptr;
    qsizetype m_skipCount = 0;
    qsizetype m_skipIndex = 0;
    qsizetype m_byte = 0;
    qint64 m_offset = 0;
    Unit m_unit = Unit::Utf16;
};

} // namespace documenttext

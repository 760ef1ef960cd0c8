#include "editor/documenttext.h"

#include "platform/textformat.h"

#include <algorithm>

namespace documenttext {

using uchar = unsigned char;

void JoinedOffsetCursor::reset(
    const char *data, qsizetype size, const quint32 *skip, qsizetype skipCount, Unit unit)
{
    m_unit = unit;
    m_data = reinterpret_cast<const uchar *>(data);
    m_size = size;
    m_skip = skip;
    m_skipCount = skipCount;
    m_skipIndex = 0;
    m_byte = 0;
    m_offset = 0;
}

qsizetype JoinedOffsetCursor::bytePosition(qint64 joinedOffset)
{
    if (joinedOffset < m_offset) {
        m_byte = 0;
        m_offset = 0;
        m_skipIndex = 0;
    }
    const uchar *const end = m_data + m_size;
    for (;;) {
        while (atSkip()) {
            ++m_byte;
            ++m_skipIndex;
        }
        if (m_byte >= m_size || m_offset >= joinedOffset)
            break;
        const uchar *p = m_data + m_byte;
        // A run of plain ASCII up to the next skipped byte is one unit a byte.
        qsizetype limit = std::min<qsizetype>(m_size - m_byte, joinedOffset - m_offset);
        if (m_skipIndex < m_skipCount)
            limit = std::min<qsizetype>(limit, qsizetype(m_skip[m_skipIndex]) - m_byte);
        if (const qsizetype run = plainAsciiRun(reinterpret_cast<const char *>(p), limit); run > 0) {
            m_offset += run;
            m_byte += run;
            continue;
        }
        int length = lineEndLength(p, end);
        int units = 1;
        if (length == 1 && *p == '\r') {
            // A CR whose LF follows beyond skipped bytes is one line end with it.
            qsizetype next = m_byte + 1;
            for (qsizetype k = m_skipIndex; k < m_skipCount && m_skip[k] == next; ++k)
                ++next;
            if (next > m_byte + 1 && next < m_size && m_data[next] == '\n')
                length = int(next - m_byte + 1);
        }
        if (length > 0) {
            units = 2;
        } else if (*p < 0x80) {
            length = 1;
        } else {
            char16_t decoded[2];
            length = decodeUtf8Char(p, end, decoded, units);
            if (m_unit == Unit::Utf8)
                units = decoded[0] == u'\xFFFD' ? 3 : length;
        }
        if (m_offset + units > joinedOffset)
            break;
        m_offset += units;
        m_byte += length;
        while (m_skipIndex < m_skipCount && m_skip[m_skipIndex] < m_byte)
            ++m_skipIndex;
    }
    return m_byte;
}

} // namespace documenttext

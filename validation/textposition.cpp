#include "textposition.h"

#include <algorithm>
#include <limits>

namespace {

// UTF-16 code units of a stretch of UTF-8: one per lead byte, two for four-byte sequences.
int64_t utf16Units(const char *begin, const char *end)
{
    int64_t units = 0;
    for (const char *p = begin; p != end; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        units += (b & 0xC0) != 0x80;
        units += b >= 0xF0;
    }
    return units;
}

int32_t clamp32(int64_t v)
{
    return int32_t(std::min<int64_t>(v, std::numeric_limits<int32_t>::max()));
}

const char *nextBreak(const char *p, const char *end)
{
    return std::find_if(p, end, [](char c) { return c == '\n' || c == '\r'; });
}

// Cuts before a UTF-8 continuation byte would split a character.
qsizetype utf8Boundary(const char *data, qsizetype from, qsizetype to)
{
    while (to > from && (static_cast<unsigned char>(data[to]) & 0xC0) == 0x80)
        --to;
    return to;
}

} // namespace

void TextPositions::reset(const QByteArray &utf8)
{
    m_data = utf8.constData();
    m_size = utf8.size();
    m_lineStart = 0;
    m_line = 1;
    m_lineStartFilePos = 0;
}

TextPosition TextPositions::at(qsizetype byteOffset)
{
    byteOffset = std::clamp<qsizetype>(byteOffset, 0, m_size);
    if (byteOffset < m_lineStart)
        reset(QByteArray::fromRawData(m_data, m_size));

    const char *end = m_data + m_size;
    const char *target = m_data + byteOffset;
    const char *p = m_data + m_lineStart;
    for (const char *brk = nextBreak(p, target); brk != target; brk = nextBreak(p, target)) {
        m_lineStartFilePos += utf16Units(p, brk) + 2;
        p = brk + 1;
        if (*brk == '\r' && p != end && *p == '\n')
            ++p;
        ++m_line;
        // A CR LF split by the target: the target stands on the LF, which still ends this line.
        if (p > target)
            break;
    }
    m_lineStart = p - m_data;

    TextPosition pos;
    const int64_t column = utf16Units(p, std::max(p, target));
    pos.line = clamp32(m_line);
    pos.linePos = clamp32(column + 1);
    pos.filePos = clamp32(m_lineStartFilePos + column);

    const qsizetype lineEnd = nextBreak(p, end) - m_data;
    if (lineEnd - m_lineStart <= kMaxLineText) {
        pos.lineText = QString::fromUtf8(p, lineEnd - m_lineStart);
    } else {
        const qsizetype from = std::max(byteOffset, m_lineStart);
        const qsizetype to = utf8Boundary(m_data, from, std::min(lineEnd, from + kExcerpt));
        pos.lineText = QString::fromUtf8(m_data + from, to - from);
    }
    return pos;
}

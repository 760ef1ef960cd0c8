#include "textposition.h"

#include "platform/textformat.h"

#include <algorithm>
#include <limits>

namespace {

int32_t clamp32(int64_t v)
{
    return int32_t(std::min<int64_t>(v, std::numeric_limits<int32_t>::max()));
}

// Cuts before a UTF-8 continuation byte would split a character.
qsizetype utf8Boundary(const char *data, qsizetype from, qsizetype to)
{
    while (to > from && isUtf8Continuation(static_cast<unsigned char>(data[to])))
        --to;
    return to;
}

} // namespace

void TextPositions::reset(const QByteArray &utf8)
{
    m_data = utf8.constData();
    m_size = utf8.size();
    m_line = 1;
    m_lineStartFilePos = 0;
    m_marks.clear();
    startLine(0);
}

void TextPositions::rewind(qsizetype byteOffset)
{
    auto mark = std::upper_bound(m_marks.begin(), m_marks.end(), byteOffset,
        [](qsizetype offset, const LineMark &m) { return offset < m.start; });
    if (mark == m_marks.begin()) {
        m_line = 1;
        m_lineStartFilePos = 0;
        startLine(0);
        return;
    }
    --mark;
    m_line = mark->line;
    m_lineStartFilePos = mark->filePos;
    startLine(mark->start);
}

void TextPositions::startLine(qsizetype lineStart)
{
    m_lineStart = lineStart;
    m_lineEnd = -1;
    m_checkpoints.assign(1, 0);
}

qsizetype TextPositions::lineEnd()
{
    if (m_lineEnd < 0)
        m_lineEnd = m_lineStart + findLineBreak(m_data + m_lineStart, m_size - m_lineStart);
    return m_lineEnd;
}

int64_t TextPositions::column(qsizetype byteOffset)
{
    const qsizetype index = (byteOffset - m_lineStart) / kCheckpointBytes;
    while (qsizetype(m_checkpoints.size()) <= index) {
        const char *from = m_data + m_lineStart + qsizetype(m_checkpoints.size() - 1) * kCheckpointBytes;
        m_checkpoints.push_back(m_checkpoints.back() + utf16LengthOfValidUtf8(from, kCheckpointBytes));
    }
    const char *from = m_data + m_lineStart + index * kCheckpointBytes;
    return m_checkpoints[size_t(index)] + utf16LengthOfValidUtf8(from, m_data + byteOffset - from);
}

TextPosition TextPositions::at(qsizetype byteOffset)
{
    byteOffset = std::clamp<qsizetype>(byteOffset, 0, m_size);
    if (byteOffset < m_lineStart)
        rewind(byteOffset);

    // A break before the target ends the line; a target on a break still stands on its line.
    while (byteOffset > lineEnd()) {
        const qsizetype brk = lineEnd();
        m_lineStartFilePos += column(brk) + 2;
        const qsizetype next = brk + lineEndLength(m_data + brk, m_data + m_size);
        ++m_line;
        startLine(next);
        if (next - (m_marks.empty() ? 0 : m_marks.back().start) >= kMarkBytes)
            m_marks.push_back({ next, m_line, m_lineStartFilePos });
        // A CR LF split by the target: the target stands on the LF, which still ends this line.
        if (next > byteOffset)
            break;
    }

    TextPosition pos;
    const int64_t col = byteOffset > m_lineStart ? column(byteOffset) : 0;
    pos.line = clamp32(m_line);
    pos.linePos = clamp32(col + 1);
    pos.filePos = clamp32(m_lineStartFilePos + col);

    const qsizetype end = lineEnd();
    if (end - m_lineStart <= kMaxLineText) {
        pos.lineText = QString::fromUtf8(m_data + m_lineStart, end - m_lineStart);
    } else {
        const qsizetype from = std::max(byteOffset, m_lineStart);
        const qsizetype to = utf8Boundary(m_data, from, std::min(end, from + kExcerpt));
        pos.lineText = QString::fromUtf8(m_data + from, to - from);
    }
    return pos;
}

#include "textposition.h"

#include "platform/textformat.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdint>
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

// Sixteen bytes at a time, counted in byte lanes that are summed before they can overflow.
TextCounts countText(const char *data, qsizetype from, qsizetype to, qsizetype size)
{
    TextCounts c;
    qsizetype i = from;
#if defined(__SSE2__)
    // A pair is counted where its CR stands, from the sixteen bytes one further on; the pairs of
    // the last block are thus all counted, and the bytes after it start without a CR before them.
    auto load = [&](qsizetype at) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at)); };
    auto lanesSum = [](__m128i lanes) {
        const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
        return int64_t(_mm_cvtsi128_si64(sums)) + int64_t(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
    };
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i belowLead = _mm_set1_epi8(char(0xC0)); // continuation bytes are below, signed
    const __m128i belowFourByteLead = _mm_set1_epi8(char(0xEF));
    const __m128i zero = _mm_setzero_si128();
    int64_t continuations = 0;
    int64_t fourByteLeads = 0;
    while (to - i >= 17) {
        __m128i cont = zero, four = zero, lfs = zero, crs = zero, pairs = zero;
        for (int k = 0; k < 255 && to - i >= 17; ++k, i += 16) {
            const __m128i v = load(i);
            const __m128i isCr = _mm_cmpeq_epi8(v, cr);
            cont = _mm_sub_epi8(cont, _mm_cmplt_epi8(v, belowLead));
            four = _mm_sub_epi8(
                four, _mm_and_si128(_mm_cmpgt_epi8(v, belowFourByteLead), _mm_cmplt_epi8(v, zero)));
            lfs = _mm_sub_epi8(lfs, _mm_cmpeq_epi8(v, lf));
            crs = _mm_sub_epi8(crs, isCr);
            pairs = _mm_sub_epi8(pairs, _mm_and_si128(isCr, _mm_cmpeq_epi8(load(i + 1), lf)));
        }
        continuations += lanesSum(cont);
        fourByteLeads += lanesSum(four);
        c.lf += lanesSum(lfs);
        c.cr += lanesSum(crs);
        c.crlf += lanesSum(pairs);
    }
    c.units = (i - from) - continuations + fourByteLeads;
#endif
    bool crBefore = false; // the last byte counted was a CR
    for (; i < to; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        c.units += (b & 0xC0) != 0x80;
        c.units += b >= 0xF0;
        c.lf += b == '\n';
        c.crlf += crBefore && b == '\n';
        c.cr += b == '\r';
        crBefore = b == '\r';
    }
    // A CR LF pair split by the end of the stretch is one break all the same.
    if (crBefore && to < size && data[to] == '\n')
        ++c.crlf;
    return c;
}

void TextPositions::reset(const QByteArray &utf8)
{
    reset(utf8, 0, 1, 0);
}

void TextPositions::reset(const QByteArray &utf8, qsizetype lineStart, int64_t line, int64_t lineStartFilePos)
{
    m_data = utf8.constData();
    m_size = utf8.size();
    m_origin = { lineStart, line, lineStartFilePos };
    m_line = line;
    m_lineStartFilePos = lineStartFilePos;
    m_marks.clear();
    startLine(lineStart);
}

void TextPositions::rewind(qsizetype byteOffset)
{
    auto mark = std::upper_bound(m_marks.begin(), m_marks.end(), byteOffset,
        [](qsizetype offset, const LineMark &m) { return offset < m.start; });
    const LineMark &from = mark == m_marks.begin() ? m_origin : *std::prev(mark);
    m_line = from.line;
    m_lineStartFilePos = from.filePos;
    startLine(from.start);
}

void TextPositions::startLine(qsizetype lineStart)
{
    m_lineStart = lineStart;
    m_lineEnd = -1;
    m_checkpoints.assign(1, 0);
}

// Every break that begins before byteOffset is passed, even one whose LF the target stands on: the
// line starts behind it. Lines are not walked one by one: in each stretch the last break is found
// backwards and everything up to it counted at once.
void TextPositions::advance(qsizetype byteOffset)
{
    qsizetype from = lineEnd();
    while (from < byteOffset) {
        const qsizetype to = std::min(byteOffset, from + kStretchBytes);
        qsizetype last = to - 1;
        while (last >= from && m_data[last] != '\n' && m_data[last] != '\r')
            --last;
        if (last >= from) {
            const qsizetype next = last + lineEndLength(m_data + last, m_data + m_size);
            const TextCounts passed = countText(m_data, m_lineStart, next, m_size);
            m_line += passed.lineBreaks();
            m_lineStartFilePos += passed.filePos();
            startLine(next);
            if (next - (m_marks.empty() ? m_origin.start : m_marks.back().start) >= kMarkBytes)
                m_marks.push_back({ next, m_line, m_lineStartFilePos });
        }
        from = std::max(to, m_lineStart);
    }
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
    byteOffset = std::clamp<qsizetype>(byteOffset, m_origin.start, m_size);
    if (byteOffset < m_lineStart)
        rewind(byteOffset);

    // A break before the target ends the line; a target on a break still stands on its line.
    if (byteOffset > lineEnd())
        advance(byteOffset);

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

#include "editor/documenttext.h"

#include "platform/textformat.h"

#include <algorithm>
#include <cstring>

namespace documenttext {

namespace {

using uchar = unsigned char;
constexpr char16_t replacementChar = 0xFFFD;

inline bool isContinuation(uchar b)
{
    return (b & 0xC0) == 0x80;
}

// Decodes the character at p (p < end) into one or two UTF-16 units and returns its length in bytes.
// Three-byte surrogate sequences decode to the surrogate; a byte that starts no valid sequence
// becomes U+FFFD on its own, so the next byte is read afresh.
inline int decodeOne(const uchar *p, const uchar *end, char16_t units[2], int &unitCount)
{
    const uchar b = p[0];
    const qsizetype avail = end - p;
    unitCount = 1;
    if (b < 0x80) {
        units[0] = b;
        return 1;
    }
    if (b >= 0xC2 && b <= 0xDF) {
        if (avail >= 2 && isContinuation(p[1])) {
            units[0] = char16_t(((b & 0x1F) << 6) | (p[1] & 0x3F));
            return 2;
        }
    } else if (b >= 0xE0 && b <= 0xEF) {
        const uchar low = b == 0xE0 ? 0xA0 : 0x80;
        if (avail >= 3 && p[1] >= low && p[1] <= 0xBF && isContinuation(p[2])) {
            units[0] = char16_t(((b & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
            return 3;
        }
    } else if (b >= 0xF0 && b <= 0xF4) {
        const uchar low = b == 0xF0 ? 0x90 : 0x80;
        const uchar high = b == 0xF4 ? 0x8F : 0xBF;
        if (avail >= 4 && p[1] >= low && p[1] <= high && isContinuation(p[2]) && isContinuation(p[3])) {
            const char32_t c = char32_t((b & 0x07) << 18) | char32_t((p[1] & 0x3F) << 12)
                | char32_t((p[2] & 0x3F) << 6) | char32_t(p[3] & 0x3F);
            units[0] = QChar::highSurrogate(c);
            units[1] = QChar::lowSurrogate(c);
            unitCount = 2;
            return 4;
        }
    }
    units[0] = replacementChar;
    return 1;
}

// Upper bound of the units a CR LF join adds: one per CR or LF byte.
qsizetype lineBreakBytes(const char *data, qsizetype size)
{
    return countByte(data, size, '\r') + countByte(data, size, '\n');
}

// Writes the UTF-16 text of document bytes; with joinLines every line end becomes CR LF.
// out must hold size units, plus lineBreakBytes() more when joining.
qsizetype decodeInto(const char *data, qsizetype size, char16_t *out, bool joinLines)
{
    const auto *p = reinterpret_cast<const uchar *>(data);
    const uchar *const end = p + size;
    char16_t *w = out;
    while (p < end) {
        const uchar b = *p;
        if (b < 0x80) {
            const int lineEnd = joinLines ? lineEndLength(p, end) : 0;
            if (lineEnd > 0) {
                *w++ = u'\r';
                *w++ = u'\n';
                p += lineEnd;
            } else {
                *w++ = b;
                ++p;
            }
            continue;
        }
        char16_t units[2];
        int unitCount;
        p += decodeOne(p, end, units, unitCount);
        *w++ = units[0];
        if (unitCount == 2)
            *w++ = units[1];
    }
    return w - out;
}

} // namespace

QString toText(const char *data, qsizetype size)
{
    QString text(size, Qt::Uninitialized);
    text.resize(decodeInto(data, size, reinterpret_cast<char16_t *>(text.data()), false));
    return text;
}

QString toJoinedText(const char *data, qsizetype size)
{
    QString text(size + lineBreakBytes(data, size), Qt::Uninitialized);
    text.resize(decodeInto(data, size, reinterpret_cast<char16_t *>(text.data()), true));
    return text;
}

QByteArray toJoinedUtf8(const char *data, qsizetype size)
{
    static constexpr char replacementUtf8[] = "\xEF\xBF\xBD";
    QByteArray out(size + lineBreakBytes(data, size), Qt::Uninitialized);
    const auto *p = reinterpret_cast<const uchar *>(data);
    const uchar *const end = p + size;
    char *w = out.data();
    while (p < end) {
        // Copy runs of plain bytes at once; stop at line ends and at anything not ASCII.
        const uchar *run = p + plainAsciiRun(reinterpret_cast<const char *>(p), end - p);
        std::memcpy(w, p, size_t(run - p));
        w += run - p;
        p = run;
        if (p == end)
            break;
        if (const int lineEnd = lineEndLength(p, end)) {
            *w++ = '\r';
            *w++ = '\n';
            p += lineEnd;
            continue;
        }
        char16_t units[2];
        int unitCount;
        const int length = decodeOne(p, end, units, unitCount);
        // An unpaired surrogate goes through as it stands, so that the parser refuses the text
        // instead of judging one with U+FFFD in its place.
        if (length == 1) {
            // Three bytes where a bad byte was one: make sure the rest still fits.
            const qsizetype used = w - out.data();
            const qsizetype needed = used + 3 + 2 * (end - p);
            if (needed > out.size()) {
                out.resize(std::max(needed, out.size() + out.size() / 2));
                w = out.data() + used;
            }
            std::memcpy(w, replacementUtf8, 3);
            w += 3;
        } else {
            std::memcpy(w, p, size_t(length));
            w += length;
        }
        p += length;
    }
    out.truncate(w - out.data());
    return out;
}

QByteArray toJoinedUtf8(QByteArray &&bytes)
{
    const char *const data = bytes.constData();
    const char *const end = data + bytes.size();
    qsizetype lineFeeds = 0;
    for (const char *p = data; (p = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)))); ++p) {
        if (p == data || p[-1] != '\r')
            return toJoinedUtf8(data, bytes.size());
        ++lineFeeds;
    }
    if (countByte(data, bytes.size(), '\r') != lineFeeds || !isStrictUtf8(data, bytes.size()))
        return toJoinedUtf8(data, bytes.size());
    return std::move(bytes);
}

qsizetype utf16Length(const char *data, qsizetype size)
{
    const auto *p = reinterpret_cast<const uchar *>(data);
    const uchar *const end = p + size;
    qsizetype units = 0;
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            ++units;
            continue;
        }
        char16_t decoded[2];
        int unitCount;
        p += decodeOne(p, end, decoded, unitCount);
        units += unitCount;
    }
    return units;
}

void JoinedOffsetCursor::reset(const char *data, qsizetype size, const quint32 *skip, qsizetype skipCount)
{
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
            length = decodeOne(p, end, decoded, units);
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

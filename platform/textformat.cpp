#include "textformat.h"

#include "exception.h"

#include <QStringDecoder>

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Windows-1252 0x80..0x9F. The five bytes the code page leaves unassigned map to the C1 control of
// the same value, so that every byte decodes to a distinct character and encodes back to itself.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
};

inline char16_t cp1252ToUnicode(uchar b)
{
    return (b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : char16_t(b);
}

// The byte for a character, or -1 when Windows-1252 (as extended above) has none.
int unicodeToCp1252(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == c)
            return 0x80 + i;
    }
    return -1;
}

// The byte-order marks, spelt out here only.
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr char kUtf16LEMark[] = "\xFF\xFE";
constexpr char kUtf16BEMark[] = "\xFE\xFF";
constexpr qsizetype kUtf8MarkLength = sizeof(kUtf8Mark) - 1;
constexpr qsizetype kUtf16MarkLength = sizeof(kUtf16LEMark) - 1;

enum class Bom
{
    None,
    Utf8,
    Utf16LE,
    Utf16BE
};

Bom detectBom(QByteArrayView bytes)
{
    if (bytes.startsWith(QByteArrayView(kUtf8Mark, kUtf8MarkLength)))
        return Bom::Utf8;
    if (bytes.startsWith(QByteArrayView(kUtf16LEMark, kUtf16MarkLength)))
        return Bom::Utf16LE;
    if (bytes.startsWith(QByteArrayView(kUtf16BEMark, kUtf16MarkLength)))
        return Bom::Utf16BE;
    return Bom::None;
}

// UTF-16 code units are copied as they are, unpaired surrogates included.
QString decodeUtf16(const char *data, qsizetype size, bool bigEndian)
{
    const qsizetype n = size / 2;
    QString text(n, Qt::Uninitialized);
    auto *out = reinterpret_cast<char16_t *>(text.data());
    const auto *in = reinterpret_cast<const uchar *>(data);
    for (qsizetype i = 0; i < n; ++i) {
        const uchar a = in[2 * i], b = in[2 * i + 1];
        out[i] = bigEndian ? char16_t((a << 8) | b) : char16_t((b << 8) | a);
    }
    return text;
}

QString decodeCp1252(const char *data, qsizetype size)
{
    QString text(size, Qt::Uninitialized);
    auto *out = reinterpret_cast<char16_t *>(text.data());
    const auto *in = reinterpret_cast<const uchar *>(data);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = cp1252ToUnicode(in[i]);
    return text;
}

// Windows-1252 straight to UTF-8, without a UTF-16 copy of a possibly large file.
QByteArray cp1252ToUtf8(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (const char ch : bytes) {
        const char16_t c = cp1252ToUnicode(uchar(ch));
        if (c < 0x80) {
            out.append(char(c));
        } else if (c < 0x800) {
            out.append(char(0xC0 | (c >> 6)));
            out.append(char(0x80 | (c & 0x3F)));
        } else {
            out.append(char(0xE0 | (c >> 12)));
            out.append(char(0x80 | ((c >> 6) & 0x3F)));
            out.append(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

QString describeChar(const QString &text, qsizetype i)
{
    char32_t cp = text.at(i).unicode();
    QString shown = text.mid(i, 1);
    if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        cp = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
        shown = text.mid(i, 2);
    } else if (text.at(i).isSurrogate()) {
        shown.clear(); // a lone surrogate cannot be shown
    }
    const QString code = QStringLiteral("U+%1").arg(uint(cp), 4, 16, QLatin1Char('0')).toUpper();
    const QString what = shown.isEmpty() || cp < 0x20 || (cp >= 0x7F && cp < 0xA0)
        ? code
        : QStringLiteral("\"%1\" (%2)").arg(shown, code);
    const qsizetype lineStart = i == 0 ? 0 : text.lastIndexOf(u'\n', i - 1) + 1;
    const qsizetype line = text.first(lineStart).count(u'\n') + 1;
    return QStringLiteral("The character %1 in line %2, column %3")
        .arg(what)
        .arg(line)
        .arg(i - lineStart + 1);
}

QByteArray encodeUtf8Strict(const QString &text, TextEncoding encoding)
{
    const char16_t *u = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (QChar::isHighSurrogate(u[i]) && i + 1 < n && QChar::isLowSurrogate(u[i + 1])) {
            ++i;
        } else if (QChar::isSurrogate(u[i])) {
            throw EConvertError(QStringLiteral("%1 cannot be saved as %2.")
                                    .arg(describeChar(text, i), encodingName(encoding)));
        }
    }
    return text.toUtf8();
}

QByteArray encodeUtf16(const QString &text, bool bigEndian)
{
    QByteArray out(kUtf16MarkLength + 2 * text.size(), Qt::Uninitialized);
    std::memcpy(out.data(), bigEndian ? kUtf16BEMark : kUtf16LEMark, kUtf16MarkLength);
    auto *p = reinterpret_cast<uchar *>(out.data()) + kUtf16MarkLength;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        *p++ = uchar(bigEndian ? u >> 8 : u & 0xFF);
        *p++ = uchar(bigEndian ? u & 0xFF : u >> 8);
    }
    return out;
}

QByteArray encodeCp1252(const QString &text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = unicodeToCp1252(text.at(i).unicode());
        if (b < 0) {
            throw EConvertError(QStringLiteral("%1 cannot be saved as %2.")
                                    .arg(describeChar(text, i), encodingName(TextEncoding::Windows1252)));
        }
        out[i] = char(b);
    }
    return out;
}

} // namespace

QString encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf8Bom:
        return QStringLiteral("UTF-8 with BOM");
    case TextEncoding::Utf16LE:
        return QStringLiteral("UTF-16 LE");
    case TextEncoding::Utf16BE:
        return QStringLiteral("UTF-16 BE");
    case TextEncoding::Windows1252:
        return QStringLiteral("Windows-1252");
    }
    return {};
}

QByteArrayView byteOrderMark(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8Bom:
        return QByteArrayView(kUtf8Mark, kUtf8MarkLength);
    case TextEncoding::Utf16LE:
        return QByteArrayView(kUtf16LEMark, kUtf16MarkLength);
    case TextEncoding::Utf16BE:
        return QByteArrayView(kUtf16BEMark, kUtf16MarkLength);
    case TextEncoding::Utf8:
    case TextEncoding::Windows1252:
        break;
    }
    return {};
}

qsizetype utf8ByteOrderMarkLength(QByteArrayView bytes)
{
    return detectBom(bytes) == Bom::Utf8 ? kUtf8MarkLength : 0;
}

// A byte-order mark is believed only when the rest fits it: UTF-8 after EF BB BF must be valid, and
// UTF-16 must be a whole number of code units. Otherwise the file is read as Windows-1252, which
// keeps every byte (the mark included), so that a damaged file is shown and saved without loss
// rather than silently repaired.
// QString::fromUtf8 drops a leading U+FEFF; a second mark behind the file's own one is text.
static QString utf8KeepingMarks(const char *data, qsizetype size)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(data, size));
}

DecodedText decodeText(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    switch (detectBom(bytes)) {
    case Bom::Utf8:
        if (isValidUtf8(data + kUtf8MarkLength, size - kUtf8MarkLength))
            return { utf8KeepingMarks(data + kUtf8MarkLength, size - kUtf8MarkLength),
                TextEncoding::Utf8Bom };
        break;
    case Bom::Utf16LE:
    case Bom::Utf16BE:
        if (size % 2 == 0) {
            const bool be = detectBom(bytes) == Bom::Utf16BE;
            return { decodeUtf16(data + kUtf16MarkLength, size - kUtf16MarkLength, be),
                be ? TextEncoding::Utf16BE : TextEncoding::Utf16LE };
        }
        break;
    case Bom::None:
        if (isValidUtf8(data, size))
            return { utf8KeepingMarks(data, size), TextEncoding::Utf8 };
        break;
    }
    return { decodeCp1252(data, size), TextEncoding::Windows1252 };
}

QByteArray encodeText(const QString &text, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return encodeUtf8Strict(text, encoding);
    case TextEncoding::Utf8Bom:
        return byteOrderMark(encoding).toByteArray() + encodeUtf8Strict(text, encoding);
    case TextEncoding::Utf16LE:
        return encodeUtf16(text, false);
    case TextEncoding::Utf16BE:
        return encodeUtf16(text, true);
    case TextEncoding::Windows1252:
        return encodeCp1252(text);
    }
    return {};
}

QByteArray toUtf8Text(const QByteArray &bytes, TextEncoding *encoding)
{
    TextEncoding found = TextEncoding::Windows1252;
    QByteArray result;
    const Bom bom = detectBom(bytes);
    if (bom == Bom::None && isValidUtf8(bytes.constData(), bytes.size())) {
        found = TextEncoding::Utf8;
        result = bytes; // shared, not copied
    } else if (bom == Bom::Utf8
        && isValidUtf8(bytes.constData() + kUtf8MarkLength, bytes.size() - kUtf8MarkLength)) {
        found = TextEncoding::Utf8Bom;
        result = bytes.sliced(kUtf8MarkLength);
    } else if ((bom == Bom::Utf16LE || bom == Bom::Utf16BE) && bytes.size() % 2 == 0) {
        // Through QString exactly as the editor's text goes to the engine, so that both see the
        // same bytes, unpaired surrogates included.
        const DecodedText decoded = decodeText(bytes);
        found = decoded.encoding;
        result = toUtf8KeepingSurrogates(decoded.text);
    } else {
        result = cp1252ToUtf8(bytes);
    }
    if (encoding)
        *encoding = found;
    return result;
}

namespace {

constexpr quint64 lowBits = 0x0101010101010101ULL;
constexpr quint64 highBits = 0x8080808080808080ULL;

quint64 loadWord(const char *p)
{
    quint64 word;
    std::memcpy(&word, p, 8);
    return word;
}

// High bit set in each byte of word that is zero, and in no other.
quint64 zeroBytes(quint64 word)
{
    const quint64 low7 = ~highBits;
    return ~(((word & low7) + low7) | word | low7);
}

// The sum of the eight bytes of word. Without a population count instruction in the baseline,
// std::popcount is a library call; bytes summed by a multiplication are not.
qsizetype sumOfBytes(quint64 word)
{
    constexpr quint64 evenBytes = 0x00FF00FF00FF00FFULL;
    const quint64 pairs = (word & evenBytes) + ((word >> 8) & evenBytes); // four sums of at most 510
    return qsizetype((pairs * 0x0001000100010001ULL) >> 48);
}

// Words counted into byte lanes before the lanes are summed: a lane takes at most 255 ones.
constexpr int wordsPerLaneSum = 255;

#if defined(__SSE2__)
__m128i load16(const char *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}
#endif

// Length of the leading run of bytes below 0x80.
qsizetype asciiPrefix(const char *data, qsizetype size)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    for (; i + 32 <= size; i += 32) {
        if (_mm_movemask_epi8(_mm_or_si128(load16(data + i), load16(data + i + 16))) != 0)
            break;
    }
    for (; i + 16 <= size; i += 16) {
        if (const int high = _mm_movemask_epi8(load16(data + i)))
            return i + std::countr_zero(unsigned(high));
    }
#endif
    for (; i + 8 <= size; i += 8) {
        if (loadWord(data + i) & highBits)
            break;
    }
    while (i < size && uchar(data[i]) < 0x80)
        ++i;
    return i;
}

} // namespace

bool isValidUtf8(const char *data, qsizetype size)
{
    const auto *p = reinterpret_cast<const uchar *>(data);
    const uchar *const end = p + size;
    for (;;) {
        p += asciiPrefix(reinterpret_cast<const char *>(p), end - p);
        if (p == end)
            return true;
        // Characters of several bytes come in runs ("Grüße"); one at a time through the run.
        do {
            const int length = utf8SequenceLength(p, end, Surrogates::Refuse);
            if (length == 0)
                return false;
            p += length;
        } while (p < end && *p >= 0x80);
    }
}

bool isStrictUtf8(const char *data, qsizetype size)
{
    return isValidUtf8(data, size);
}

qsizetype countByte(const char *data, qsizetype size, char byte)
{
    const quint64 pattern = lowBits * uchar(byte);
    qsizetype count = 0;
    qsizetype i = 0;
    while (i + 8 <= size) {
        quint64 lanes = 0; // hits per byte place
        for (int k = 0; k < wordsPerLaneSum && i + 8 <= size; ++k, i += 8)
            lanes += zeroBytes(loadWord(data + i) ^ pattern) >> 7;
        count += sumOfBytes(lanes);
    }
    for (; i < size; ++i)
        count += data[i] == byte ? 1 : 0;
    return count;
}

namespace {

// Length of the leading run of data without a CR or an LF, nor a byte above 0x7F when
// stopAtNonAscii; sixteen bytes at a time with SSE2, else eight.
template <bool stopAtNonAscii> qsizetype runWithoutLineBreak(const char *data, qsizetype size)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= size; i += 16) {
        const __m128i bytes = load16(data + i);
        __m128i stops = _mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf));
        if (stopAtNonAscii)
            stops = _mm_or_si128(stops, bytes); // the top bit of a byte above 0x7F
        if (const int stop = _mm_movemask_epi8(stops))
            return i + std::countr_zero(unsigned(stop));
    }
#endif
    const quint64 nonAsciiMask = stopAtNonAscii ? highBits : 0;
    for (; i + 8 <= size; i += 8) {
        const quint64 word = loadWord(data + i);
        if ((word & nonAsciiMask) | zeroBytes(word ^ (lowBits * '\r')) | zeroBytes(word ^ (lowBits * '\n')))
            break;
    }
    while (i < size && (!stopAtNonAscii || uchar(data[i]) < 0x80) && data[i] != '\r' && data[i] != '\n')
        ++i;
    return i;
}

} // namespace

qsizetype plainAsciiRun(const char *data, qsizetype size)
{
    return runWithoutLineBreak<true>(data, size);
}

qsizetype findLineBreak(const char *data, qsizetype size)
{
    return runWithoutLineBreak<false>(data, size);
}

qsizetype utf16LengthOfValidUtf8(const char *data, qsizetype size)
{
    qsizetype units = 0;
    qsizetype i = 0;
    while (i + 8 <= size) {
        quint64 continuations = 0; // per byte place
        quint64 fourByteLeads = 0;
        int words = 0;
        for (; words < wordsPerLaneSum && i + 8 <= size; ++words, i += 8) {
            const quint64 word = loadWord(data + i);
            // Bit 7 of a byte meets its bits 6, 5 and 4 in the shifted words.
            continuations += (word & ~(word << 1) & highBits) >> 7;
            fourByteLeads += (word & (word << 1) & (word << 2) & (word << 3) & highBits) >> 7;
        }
        units += 8 * qsizetype(words) - sumOfBytes(continuations) + sumOfBytes(fourByteLeads);
    }
    for (; i < size; ++i) {
        const auto b = uchar(data[i]);
        units += isUtf8Continuation(b) ? 0 : 1;
        units += b >= 0xF0 ? 1 : 0;
    }
    return units;
}

namespace {

// Upper bound of the units a CR LF join adds: one per CR or LF byte.
qsizetype lineBreakBytes(const char *data, qsizetype size)
{
    return countByte(data, size, '\r') + countByte(data, size, '\n');
}

// Writes the UTF-16 text of UTF-8 bytes, surrogates kept; with joinLines every line end becomes
// CR LF. out must hold size units, plus lineBreakBytes() more when joining.
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
        p += decodeUtf8Char(p, end, units, unitCount);
        *w++ = units[0];
        if (unitCount == 2)
            *w++ = units[1];
    }
    return w - out;
}

} // namespace

QString fromUtf8KeepingSurrogates(const char *data, qsizetype size)
{
    QString text(size, Qt::Uninitialized);
    text.resize(decodeInto(data, size, reinterpret_cast<char16_t *>(text.data()), false));
    return text;
}

QString fromUtf8JoiningLines(const char *data, qsizetype size)
{
    QString text(size + lineBreakBytes(data, size), Qt::Uninitialized);
    text.resize(decodeInto(data, size, reinterpret_cast<char16_t *>(text.data()), true));
    return text;
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
        p += decodeUtf8Char(p, end, decoded, unitCount);
        units += unitCount;
    }
    return units;
}

QByteArray utf8JoiningLines(const char *data, qsizetype size)
{
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
        const int length = decodeUtf8Char(p, end, units, unitCount);
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
            std::memcpy(w, "\xEF\xBF\xBD", 3); // U+FFFD
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

QByteArray utf8JoiningLines(QByteArray &&bytes)
{
    const char *const data = bytes.constData();
    const char *const end = data + bytes.size();
    qsizetype lineFeeds = 0;
    for (const char *p = data; (p = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)))); ++p) {
        if (p == data || p[-1] != '\r')
            return utf8JoiningLines(data, bytes.size());
        ++lineFeeds;
    }
    if (countByte(data, bytes.size(), '\r') != lineFeeds || !isStrictUtf8(data, bytes.size()))
        return utf8JoiningLines(data, bytes.size());
    return std::move(bytes);
}

bool containsSurrogateSequence(const char *data, qsizetype size)
{
    const char *const end = data + size;
    for (const char *p = data; (p = static_cast<const char *>(std::memchr(p, 0xED, size_t(end - p))));) {
        ++p;
        if (p < end && uchar(*p) >= 0xA0)
            return true;
    }
    return false;
}

// Pieces end after a line end or before the start of a character; a surrogate pair is one
// four-byte character there, so it is never cut.
QByteArray encodeUtf8Text(const char *data, qsizetype size, TextEncoding encoding)
{
    constexpr qsizetype piece = 1024 * 1024;
    const qsizetype bomLength = byteOrderMark(encoding).size();
    const qsizetype units = utf16Length(data, size);
    QByteArray bytes;
    bytes.reserve(bomLength + (encoding == TextEncoding::Windows1252 ? units : 2 * units));
    qsizetype start = 0;
    do {
        qsizetype end = std::min(size, start + piece);
        if (end < size) {
            const void *lineEnd = std::memchr(data + end, '\n', size_t(std::min(size - end, piece)));
            end = lineEnd ? static_cast<const char *>(lineEnd) - data + 1 : end;
            while (end < size && isUtf8Continuation(uchar(data[end])))
                ++end;
        }
        QByteArray encoded;
        try {
            encoded = encodeText(fromUtf8KeepingSurrogates(data + start, end - start), encoding);
        } catch (const EConvertError &) {
            // Once more on the whole text, for a message that names the character's true line.
            return encodeText(fromUtf8KeepingSurrogates(data, size), encoding);
        }
        bytes.append(start == 0 ? encoded : encoded.sliced(bomLength));
        start = end;
    } while (start < size);
    return bytes;
}

// Sized first, then written in one pass: no run of lone surrogates makes it slow.
QByteArray toUtf8KeepingSurrogates(const QString &text)
{
    const auto *const begin = reinterpret_cast<const char16_t *>(text.utf16());
    const char16_t *const end = begin + text.size();
    qsizetype length = 0;
    for (const char16_t *s = begin; s < end; ++s) {
        const char16_t u = *s;
        if (u < 0x80)
            length += 1;
        else if (u < 0x800)
            length += 2;
        else if (QChar::isHighSurrogate(u) && s + 1 < end && QChar::isLowSurrogate(s[1])) {
            length += 4;
            ++s;
        } else
            length += 3;
    }

    QByteArray bytes(length, Qt::Uninitialized);
    auto *w = reinterpret_cast<uchar *>(bytes.data());
    for (const char16_t *s = begin; s < end; ++s) {
        const char16_t u = *s;
        if (u < 0x80) {
            *w++ = uchar(u);
        } else if (u < 0x800) {
            *w++ = uchar(0xC0 | (u >> 6));
            *w++ = uchar(0x80 | (u & 0x3F));
        } else if (QChar::isHighSurrogate(u) && s + 1 < end && QChar::isLowSurrogate(s[1])) {
            const char32_t c = QChar::surrogateToUcs4(u, s[1]);
            ++s;
            *w++ = uchar(0xF0 | (c >> 18));
            *w++ = uchar(0x80 | ((c >> 12) & 0x3F));
            *w++ = uchar(0x80 | ((c >> 6) & 0x3F));
            *w++ = uchar(0x80 | (c & 0x3F));
        } else {
            *w++ = uchar(0xE0 | (u >> 12));
            *w++ = uchar(0x80 | ((u >> 6) & 0x3F));
            *w++ = uchar(0x80 | (u & 0x3F));
        }
    }
    return bytes;
}

LineEnd dominantLineEnd(const char *data, qsizetype size)
{
    const char *const end = data + size;
    qsizetype crLf = 0;
    for (const char *p = data; (p = static_cast<const char *>(std::memchr(p, '\r', size_t(end - p))));) {
        ++p;
        if (p < end && *p == '\n')
            ++crLf;
    }
    const qsizetype lf = countByte(data, size, '\n') - crLf;
    const qsizetype cr = countByte(data, size, '\r') - crLf;
    if (crLf >= lf && crLf >= cr)
        return LineEnd::CrLf;
    return lf >= cr ? LineEnd::Lf : LineEnd::Cr;
}

QString trimControls(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

QStringList splitLines(const QString &text)
{
    if (!text.contains(u'\n') && !text.contains(u'\r'))
        return { text };
    QStringList lines;
    const auto *const begin = reinterpret_cast<const char16_t *>(text.utf16());
    const char16_t *const end = begin + text.size();
    for (const char16_t *p = begin; p < end;) {
        const char16_t *lineEnd = std::find_if(p, end, [](char16_t c) { return c == u'\n' || c == u'\r'; });
        lines.append(text.mid(p - begin, lineEnd - p));
        p = lineEnd == end ? end : lineEnd + lineEndLength(lineEnd, end);
    }
    return lines;
}

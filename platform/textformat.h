#pragma once
// The text format of payment files, in one place: encodings, byte-order marks, line ends and the
// trimming of blanks and control characters. The editor and the headless checker decode files the
// same way: a byte-order mark selects UTF-8 or UTF-16 LE/BE; without one the bytes are UTF-8 when
// they are valid UTF-8, otherwise Windows-1252 with its five unassigned bytes mapped to the C1
// controls, so that every byte value survives a load and a save.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

enum class TextEncoding
{
    Utf8, // no byte-order mark
    Utf8Bom,
    Utf16LE, // with byte-order mark
    Utf16BE, // with byte-order mark
    Windows1252, // single-byte fallback
};

QString encodingName(TextEncoding encoding);

// The byte-order mark that a file in encoding starts with; empty for UTF-8 and Windows-1252.
QByteArrayView byteOrderMark(TextEncoding encoding);

// The length of the UTF-8 byte-order mark that bytes start with, or 0 when they start without one.
qsizetype utf8ByteOrderMarkLength(QByteArrayView bytes);

struct DecodedText
{
    QString text;
    TextEncoding encoding = TextEncoding::Utf8;
};

// Decodes file bytes; never fails (invalid UTF-16 code units are kept as they are).
DecodedText decodeText(const QByteArray &bytes);

// Encodes text for saving, with the encoding's byte-order mark. Throws EConvertError naming the first
// character that the encoding cannot represent.
QByteArray encodeText(const QString &text, TextEncoding encoding);

// The UTF-8 form of a file's text for validation and for the editor's document, converting only when
// the file is not UTF-8 already (a UTF-8 file is returned as is, without its byte-order mark).
QByteArray toUtf8Text(const QByteArray &bytes, TextEncoding *encoding = nullptr);

// UTF-8 of a text whose unpaired surrogates (which a UTF-16 file may hold) stay what they are, as
// three-byte sequences, instead of becoming U+FFFD: a parser then sees the character that is really
// there and refuses it, rather than judging a different text. The editor keeps its document so.
QByteArray toUtf8KeepingSurrogates(const QString &text);

// The text of UTF-8 bytes as toUtf8KeepingSurrogates() makes them: three-byte surrogate sequences
// become their surrogate, each byte that starts no character becomes U+FFFD; line ends as they are.
QString fromUtf8KeepingSurrogates(const char *data, qsizetype size);
// The same with every line end (CR LF, LF or a lone CR) made CR LF.
QString fromUtf8JoiningLines(const char *data, qsizetype size);
// The same as UTF-8 for a parser: line ends made CR LF, bytes that start no character replaced by
// U+FFFD, unpaired surrogates kept as they are (so that the parser refuses them).
QByteArray utf8JoiningLines(const char *data, qsizetype size);
// The same for bytes the caller gives up: handed back as they are, without a copy, when they are
// strict UTF-8 whose line ends are all CR LF already.
QByteArray utf8JoiningLines(QByteArray &&bytes);
// Number of UTF-16 code units that fromUtf8KeepingSurrogates() makes of data.
qsizetype utf16Length(const char *data, qsizetype size);
// The same for well-formed UTF-8 only, counted eight bytes at a time: one unit for each byte that
// starts a character, two for a four-byte one. A one-line file is one stretch of many megabytes.
qsizetype utf16LengthOfValidUtf8(const char *data, qsizetype size);
// True when data holds a three-byte surrogate sequence, which only toUtf8KeepingSurrogates() makes.
bool containsSurrogateSequence(const char *data, qsizetype size);

// Encodes UTF-8 bytes (as toUtf8KeepingSurrogates() makes them) for saving, as encodeText() does the
// text they stand for, a line (or a megabyte) at a time so that no UTF-16 copy of a large text is
// made. Throws EConvertError as encodeText() does, naming the character's line in the whole text.
QByteArray encodeUtf8Text(const char *data, qsizetype size, TextEncoding encoding);

// How many bytes of data are byte; eight at a time.
qsizetype countByte(const char *data, qsizetype size, char byte);
// Length of the leading run of data without a CR, an LF or a byte above 0x7F; eight at a time.
qsizetype plainAsciiRun(const char *data, qsizetype size);
// Offset of the first CR or LF in data; size when there is none. Eight bytes at a time.
qsizetype findLineBreak(const char *data, qsizetype size);

// True for strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no sequence cut
// off at the end. Sixteen bytes at a time while they are ASCII.
bool isValidUtf8(const char *data, qsizetype size);
bool isStrictUtf8(const char *data, qsizetype size);

// The UTF-8 grammar, in one place.
inline bool isUtf8Continuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

enum class Surrogates
{
    Refuse, // strict UTF-8
    Keep, // ED A0..BF xx is the surrogate it spells
};

// The length (1 to 4) of the character whose UTF-8 sequence starts at p (p < end): a whole sequence
// in its shortest form, of a code point up to U+10FFFF. 0 when no character starts at p.
inline int utf8SequenceLength(const unsigned char *p, const unsigned char *end, Surrogates surrogates)
{
    const unsigned char lead = p[0];
    if (lead < 0x80)
        return 1;
    int extra;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        if (lead == 0xE0)
            low = 0xA0; // overlong
        else if (lead == 0xED && surrogates == Surrogates::Refuse)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        if (lead == 0xF0)
            low = 0x90; // overlong
        else if (lead == 0xF4)
            high = 0x8F; // above U+10FFFF
    } else {
        return 0;
    }
    if (end - p <= extra || p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i <= extra; ++i) {
        if (!isUtf8Continuation(p[i]))
            return 0;
    }
    return extra + 1;
}

// Decodes the character at p (p < end) into one or two UTF-16 units and returns its length in
// bytes, keeping surrogates. A byte that starts no character becomes U+FFFD on its own, so that the
// next byte is read afresh.
inline int decodeUtf8Char(const unsigned char *p, const unsigned char *end, char16_t units[2], int &unitCount)
{
    unitCount = 1;
    switch (utf8SequenceLength(p, end, Surrogates::Keep)) {
    case 1:
        units[0] = p[0];
        return 1;
    case 2:
        units[0] = char16_t(((p[0] & 0x1F) << 6) | (p[1] & 0x3F));
        return 2;
    case 3:
        units[0] = char16_t(((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
        return 3;
    case 4: {
        const char32_t c = char32_t((p[0] & 0x07) << 18) | char32_t((p[1] & 0x3F) << 12)
            | char32_t((p[2] & 0x3F) << 6) | char32_t(p[3] & 0x3F);
        units[0] = QChar::highSurrogate(c);
        units[1] = QChar::lowSurrogate(c);
        unitCount = 2;
        return 4;
    }
    default:
        units[0] = 0xFFFD;
        return 1;
    }
}

enum class LineEnd
{
    CrLf,
    Lf,
    Cr
};

// The length of the line end at p (p < end; bytes as char or unsigned char): 2 for CR LF, 1 for a
// lone CR or LF, 0 for none.
template <typename Byte> inline int lineEndLength(const Byte *p, const Byte *end)
{
    if (*p == '\n')
        return 1;
    if (*p != '\r')
        return 0;
    return p + 1 < end && p[1] == '\n' ? 2 : 1;
}

// The lines of text: a CR, an LF or both end a line, and a line end at the very end opens no
// empty line. A text without a line end is one line, the empty text too.
QStringList splitLines(const QString &text);

// The line end used most often; CR LF for a text without any (and on a tie with it).
LineEnd dominantLineEnd(const char *data, qsizetype size);

// The text without the characters up to U+0020 (blanks, line breaks, control characters) at either
// end; the characters between stay.
QString trimControls(const QString &text);

#pragma once
// The text format of payment files, in one place: encodings, byte-order marks, line ends and the
// trimming of blanks and control characters. The editor and the headless checker decode files the
// same way: a byte-order mark selects UTF-8 or UTF-16 LE/BE; without one the bytes are UTF-8 when
// they are valid UTF-8, otherwise Windows-1252 with its five unassigned bytes mapped to the C1
// controls, so that every byte value survives a load and a save.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

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

// How many bytes of data are byte; eight at a time.
qsizetype countByte(const char *data, qsizetype size, char byte);
// Length of the leading run of data without a CR, an LF or a byte above 0x7F; eight at a time.
qsizetype plainAsciiRun(const char *data, qsizetype size);

// True for strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isStrictUtf8(const char *data, qsizetype size);

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

// The line end used most often; CR LF for a text without any (and on a tie with it).
LineEnd dominantLineEnd(const char *data, qsizetype size);

// The text without the characters up to U+0020 (blanks, line breaks, control characters) at either
// end; the characters between stay.
QString trimControls(const QString &text);

#pragma once
// Reading and writing payment files as text. The editor and the headless checker decode files the
// same way: a byte-order mark selects UTF-8 or UTF-16 LE/BE; without one the bytes are UTF-8 when
// they are valid UTF-8, otherwise Windows-1252 with its five unassigned bytes mapped to the C1
// controls, so that every byte value survives a load and a save.

#include <QByteArray>
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

// The UTF-8 form of a file's text for validation, converting only when the file is not UTF-8 already
// (a UTF-8 file is returned as is, without its byte-order mark).
QByteArray toUtf8Text(const QByteArray &bytes, TextEncoding *encoding = nullptr);

// UTF-8 of a text whose unpaired surrogates (which a UTF-16 file may hold) stay what they are, as
// three-byte sequences, instead of becoming U+FFFD: a parser then sees the character that is really
// there and refuses it, rather than judging a different text.
QByteArray toUtf8KeepingSurrogates(const QString &text);

// Reads a whole regular file. Throws EFOpenError with a clear message for a missing, unreadable or
// non-regular file (directory, FIFO, device) and for one larger than maxBytes, judged by its size
// before anything is allocated. The default is far above any payment file, yet low enough that the
// editor's and the validator's copies of a file at the limit still fit in a desktop's memory.
inline constexpr qint64 MaxTextFileBytes = qint64(512) << 20;
QByteArray readFileBytes(const QString &path, qint64 maxBytes = MaxTextFileBytes);

// Writes bytes to path atomically: a temporary file beside it is written, flushed and renamed over
// the target, keeping an existing file's permissions; a symbolic link is followed and its target
// replaced. On failure the old file is untouched and EFCreateError is thrown.
void writeFileAtomically(const QString &path, const QByteArray &bytes);

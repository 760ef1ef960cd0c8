#pragma once
// File names as the system has them: on Linux a name is bytes, and not every name is UTF-8 (a file
// named in Latin-1 holds a byte 0xDC for "Ü"). Names travel through the program as QString in a
// lossless form: valid UTF-8 is decoded as usual, and each byte that is not part of valid UTF-8
// becomes the lone surrogate U+DC00 + byte (U+DC80..U+DCFF), which no valid UTF-8 name can give.
// Encoding turns those surrogates back into their bytes, so a name read from the command line,
// a directory or a dropped URL opens the file it names and is printed back as given.

#include <QByteArray>
#include <QString>
#include <QStringList>

QString decodeFileName(const QByteArray &bytes);
QByteArray encodeFileName(const QString &name);

// True when the name holds bytes that are not UTF-8 (it then has no exact UTF-8 form).
bool hasRawBytes(const QString &name);

// The name as valid Unicode for display: each raw byte shown as U+FFFD.
QString displayFileName(const QString &name);

// stat() on the encoded name; symbolic links followed.
bool fileNameExists(const QString &name);
bool fileNameIsFile(const QString &name);

// A name that Qt decoded on its own (the file dialog, QCoreApplication::arguments) has each raw
// byte replaced by U+FFFD. When such a name names no file, its folders are searched for the one
// entry per replaced component that the name can stand for; with none, or more than one, the
// name is returned unchanged.
QString resolveFileName(const QString &name);

// QCoreApplication::arguments() with each argument in the lossless form, read from the process's
// own command line (/proc/self/cmdline) where Qt's decoding lost bytes.
QStringList losslessArguments(const QStringList &qtArguments);

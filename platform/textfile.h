#pragma once
// Reading and writing payment files: whole files in, atomic replacement out. What the bytes mean
// (encodings, byte-order marks, line ends) is textformat.h's.

#include "platform/textformat.h"

#include <QByteArray>
#include <QString>

// Reads a whole regular file. Throws EFOpenError with a clear message for a missing, unreadable or
// non-regular file (directory, FIFO, device) and for one larger than maxBytes, judged by its size
// before anything is allocated. The default is far above any payment file, yet low enough that the
// editor's and the validator's copies of a file at the limit still fit in a desktop's memory.
inline constexpr qint64 MaxTextFileBytes = qint64(512) << 20;
QByteArray readFileBytes(const QString &path, qint64 maxBytes = MaxTextFileBytes);

// Reads an open descriptor (standard input, a pipe) to its end, named `name` in messages. Throws
// EFOpenError when it holds more than maxBytes: reading stops at the first byte past the limit, so
// an endless pipe costs at most maxBytes of memory.
QByteArray readStreamBytes(int fd, const QString &name, qint64 maxBytes = MaxTextFileBytes);

// Writes bytes to path atomically: a temporary file beside it is written, flushed and renamed over
// the target, keeping an existing file's permissions; a symbolic link is followed and its target
// replaced. On failure the old file is untouched and EFCreateError is thrown.
void writeFileAtomically(const QString &path, const QByteArray &bytes);

class EFCreateError;

// writeFileAtomically in steps, for a text written as it is produced and read back before it may
// replace the target: the temporary file is created at once, filled by write, closed by finish (then
// it can be read at writtenPath) and renamed over the target by commit. Without commit it is removed.
// Every failure throws EFCreateError and removes the temporary file.
class AtomicFile
{
public:
    explicit AtomicFile(const QString &path);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    void write(const char *data, qsizetype size);
    void finish();
    QString writtenPath() const;
    void commit();
    // commit under another name in the target's folder (a name beside it, as for a copy kept aside).
    void commitAs(const QString &sibling);

private:
    EFCreateError failure(int err) const;
    EFCreateError abandon(int err);
    void commitTo(const QByteArray &target);

    QString m_path;
    QByteArray m_target; // links resolved
    QByteArray m_dir;
    QByteArray m_temp; // empty once renamed or removed
    int m_fd = -1;
};

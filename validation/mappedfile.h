#pragma once
// A payment file's bytes, mapped rather than copied when it is a regular file, so that a large file
// costs no fresh memory and no copy. Another program may shorten the file while it is mapped: the
// pages past its new end then read as zeros instead of killing the process, and the file is reported
// as changed (changedWhileRead), so that nothing read from it is trusted.

#include "platform/textfile.h"

#include <QByteArray>
#include <QString>
#include <sys/stat.h>

class MappedFile
{
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    // The file's bytes, valid while this object lives and until the next open. A file that is not
    // a regular one, is empty or cannot be mapped is read as readFileBytes reads it, with its
    // refusals (EFOpenError).
    QByteArray open(const QString &path, qint64 maxBytes = MaxTextFileBytes);

    bool isMapped() const { return m_data != nullptr; }

    // The mapped file was shortened, replaced in place or written to since open.
    bool changedWhileRead() const;

    // The sentence a check of such a file reports instead of its outcome.
    static QString changedMessage(const QString &path);

private:
    void close();

    const char *m_data = nullptr;
    qsizetype m_size = 0;
    int m_fd = -1;
    int m_slot = -1; // in the table the bus-error handler reads
    struct stat m_opened
    {
    };
};

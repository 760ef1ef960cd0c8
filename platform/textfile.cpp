#include "textfile.h"

#include "exception.h"
#include "filename.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// Reads fd to its end into bytes, whose size is the first guess, within maxBytes: false when there is
// more. A full buffer is grown by half only once a probe byte shows there is more, so a file whose
// size was known is not copied, and a source at the limit is told from a longer one. A failed read
// throws fail(the system's message).
template <class Fail> bool readUpTo(int fd, QByteArray &bytes, qint64 maxBytes, Fail fail)
{
    qsizetype have = 0;
    for (;;) {
        char probe;
        const bool full = have == bytes.size();
        const ssize_t r
            = full ? ::read(fd, &probe, 1) : ::read(fd, bytes.data() + have, size_t(bytes.size() - have));
        if (r == 0)
            break;
        if (r < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                // A descriptor shared with a process that made it non-blocking: wait for data.
                pollfd p { fd, POLLIN, 0 };
                ::poll(&p, 1, -1);
                continue;
            }
            const int err = errno;
            throw fail(errnoText(err) + u'.');
        }
        if (full) {
            if (have >= maxBytes)
                return false;
            bytes.resize(qsizetype(qMin<qint64>(maxBytes, qint64(have) + qMax<qint64>(have / 2, 65536))));
            bytes[have] = probe;
        }
        have += r;
    }
    bytes.resize(have);
    return true;
}

} // namespace

QByteArray readFileBytes(const QString &path, qint64 maxBytes)
{
    const QByteArray native = encodeFileName(path);
    auto fail = [&](const QString &why) -> EFOpenError {
        return EFOpenError(QStringLiteral("Cannot read \"%1\": %2").arg(path, why));
    };
    auto checkKind = [&](const struct stat &st) {
        if (S_ISDIR(st.st_mode))
            throw fail(QStringLiteral("it is a folder, not a file."));
        if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
            throw fail(QStringLiteral("it is a pipe or socket, not a regular file."));
        if (!S_ISREG(st.st_mode))
            throw fail(QStringLiteral("it is a device, not a regular file."));
        if (st.st_size > maxBytes) {
            throw fail(QStringLiteral("the file is too large (%1 bytes; at most %2 bytes can be read).")
                           .arg(qint64(st.st_size))
                           .arg(maxBytes));
        }
    };
    if (path.isEmpty())
        throw EFOpenError(QStringLiteral("Cannot read a file without a name."));

    // Judge the kind before opening: opening a FIFO would block and opening a device may act.
    struct stat st;
    if (::stat(native.constData(), &st) != 0) {
        const int err = errno;
        throw fail(err == ENOENT ? QStringLiteral("the file does not exist.") : errnoText(err) + u'.');
    }
    checkKind(st);

    // O_NONBLOCK in case the path was swapped for a FIFO in between; fstat then judges the open file.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        throw fail(errnoText(err) + u'.');
    }
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer { fd };
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        throw fail(errnoText(err) + u'.');
    }
    checkKind(st);

    // The file may have grown since fstat: it is read to its end, within the limit.
    QByteArray bytes;
    bytes.resize(qsizetype(st.st_size));
    if (!readUpTo(fd, bytes, maxBytes, fail))
        throw fail(QStringLiteral("the file is too large (more than %1 bytes).").arg(maxBytes));
    return bytes;
}

QByteArray readStreamBytes(int fd, const QString &name, qint64 maxBytes)
{
    auto fail = [&](const QString &why) -> EFOpenError {
        return EFOpenError(QStringLiteral("Cannot read \"%1\": %2").arg(name, why));
    };
    auto tooLarge = [&] {
        return fail(QStringLiteral("the input is too large (at most %1 bytes can be read).").arg(maxBytes));
    };
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        throw fail(errnoText(err) + u'.');
    }
    if (S_ISDIR(st.st_mode))
        throw fail(QStringLiteral("it is a folder, not a file."));
    // A regular file redirected in is judged by what is left of it before anything is allocated.
    if (S_ISREG(st.st_mode)) {
        const off_t at = ::lseek(fd, 0, SEEK_CUR);
        if (st.st_size - qMax<off_t>(at, 0) > maxBytes)
            throw tooLarge();
    }

    QByteArray bytes;
    if (!readUpTo(fd, bytes, maxBytes, fail))
        throw tooLarge();
    return bytes;
}

namespace {

// The file a path finally names after following symbolic links; a dangling link names its target.
QByteArray resolveLinks(const QByteArray &path)
{
    QByteArray current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(current.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        QByteArray target(qsizetype(st.st_size > 0 ? st.st_size : 4096), Qt::Uninitialized);
        const ssize_t n = ::readlink(current.constData(), target.data(), size_t(target.size()));
        if (n < 0)
            return current;
        target.truncate(n);
        if (!target.startsWith('/')) {
            const qsizetype slash = current.lastIndexOf('/');
            target.prepend(slash < 0 ? QByteArray() : current.left(slash + 1));
        }
        current = target;
    }
    return current; // a loop: the write fails with the system's message
}

bool writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t w = ::write(fd, data, size_t(qMin<qsizetype>(size, qsizetype(1) << 30)));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += w;
        size -= w;
    }
    return true;
}

} // namespace

AtomicFile::AtomicFile(const QString &path)
    : m_path(path)
{
    if (path.isEmpty())
        throw EFCreateError(QStringLiteral("Cannot save a file without a name."));

    m_target = resolveLinks(encodeFileName(path));
    struct stat old;
    const bool exists = ::stat(m_target.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        throw failure(errno);
    if (exists && S_ISDIR(old.st_mode))
        throw failure(EISDIR);

    const qsizetype slash = m_target.lastIndexOf('/');
    m_dir = slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : m_target.left(slash));
    const QByteArray base = m_target.mid(slash + 1);

    // Created with 0666 so that the umask applies to a new file as it would to a plain write.
    for (int attempt = 0; m_fd < 0; ++attempt) {
        m_temp = m_dir + '/' + '.' + base + '.'
            + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        m_fd = ::open(m_temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && (errno != EEXIST || attempt > 100))
            throw failure(errno);
    }
    if (exists) {
        if (::fchown(m_fd, old.st_uid, old.st_gid) != 0) {
            // Not permitted for a foreign owner; the file then belongs to whoever saves it.
        }
        if (::fchmod(m_fd, old.st_mode & 07777) != 0)
            throw abandon(errno);
    }
}

AtomicFile::~AtomicFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temp.isEmpty())
        ::unlink(m_temp.constData());
}

EFCreateError AtomicFile::failure(int err) const
{
    return EFCreateError(QStringLiteral("Cannot save \"%1\": %2.").arg(m_path, errnoText(err)));
}

EFCreateError AtomicFile::abandon(int err)
{
    ::close(m_fd);
    m_fd = -1;
    ::unlink(m_temp.constData());
    m_temp.clear();
    return failure(err);
}

void AtomicFile::write(const char *data, qsizetype size)
{
    if (m_fd < 0)
        throw failure(EBADF);
    if (!writeAll(m_fd, data, size))
        throw abandon(errno);
}

void AtomicFile::finish()
{
    if (m_fd < 0)
        throw failure(EBADF);
    if (::fsync(m_fd) != 0)
        throw abandon(errno);
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(m_temp.constData());
        m_temp.clear();
        throw failure(err);
    }
}

QString AtomicFile::writtenPath() const
{
    return decodeFileName(m_temp);
}

void AtomicFile::commit()
{
    commitTo(m_target);
}

void AtomicFile::commitAs(const QString &sibling)
{
    const QByteArray name = encodeFileName(sibling);
    commitTo(m_dir + '/' + name.mid(name.lastIndexOf('/') + 1));
}

void AtomicFile::commitTo(const QByteArray &target)
{
    if (m_fd >= 0)
        finish();
    if (m_temp.isEmpty())
        throw failure(EBADF);
    if (::rename(m_temp.constData(), target.constData()) != 0) {
        const int err = errno;
        ::unlink(m_temp.constData());
        m_temp.clear();
        throw failure(err);
    }
    m_temp.clear();
    // Make the rename itself durable; a failure here leaves a complete file, so it is not reported.
    const int dirFd = ::open(m_dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

void writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    AtomicFile file(path);
    file.write(bytes.constData(), bytes.size());
    file.commit();
}

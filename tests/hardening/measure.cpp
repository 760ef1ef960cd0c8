#include "hostile.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace hostile {

namespace {

bool readProcStatus(const char *field, qint64 *bytes)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix)) {
            *bytes = line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
            return true;
        }
    }
    return false;
}

struct Caps
{
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] = {};
    bool get() { return syscall(SYS_capget, &header, data) == 0; }
    bool set() { return syscall(SYS_capset, &header, data) == 0; }
};

constexpr unsigned kReadOverride = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

} // namespace

PeakMemory::PeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    m_valid = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
    clear.close();
    m_valid = m_valid && readProcStatus("VmRSS", &m_base);
}

qint64 PeakMemory::growth() const
{
    qint64 peak = 0;
    if (!m_valid || !readProcStatus("VmHWM", &peak))
        return -1;
    return qMax<qint64>(0, peak - m_base);
}

qint64 memoryBound(qint64 inputBytes)
{
#ifdef PRAVIK_SANITIZED
    return 10 * inputBytes + (600 << 20);
#else
    return 10 * inputBytes + (100 << 20);
#endif
}

qint64 timeBoundMs(qint64 plainMs)
{
#ifdef PRAVIK_SANITIZED
    return 5 * plainMs;
#else
    return plainMs;
#endif
}

// ---------------------------------------------------------------------------------------------

ProcessRun runProcess(
    const QString &program, const QStringList &arguments, qint64 timeoutMs, bool withoutReadOverride)
{
    ProcessRun run;
    char reportPath[] = "/tmp/pravik-peakrss-XXXXXX";
    const int reportFd = ::mkstemp(reportPath);
    if (reportFd < 0)
        return run;
    ::close(reportFd);

    // Everything the child needs is prepared before fork: after it only async-signal-safe calls.
    QList<QByteArray> args { QByteArray(PRAVIK_PEAKRSS_EXE), QByteArray::number(timeoutMs),
        QByteArray(reportPath), QFile::encodeName(program) };
    for (const QString &a : arguments)
        args.append(QFile::encodeName(a));
    std::vector<char *> argv;
    for (QByteArray &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    FILE *out = std::tmpfile();
    FILE *err = std::tmpfile();
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (!out || !err || devNull < 0)
        return run;

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(devNull, 0);
        ::dup2(fileno(out), 1);
        ::dup2(fileno(err), 2);
        if (withoutReadOverride) {
            // For root the permitted set after exec is the bounding set: take them out of it.
            if (::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) != 0
                || ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0) != 0)
                ::_exit(126);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(devNull);
    if (pid > 0) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
        QFile report(QString::fromLocal8Bit(reportPath));
        const QList<QByteArray> fields = report.open(QIODevice::ReadOnly)
            ? report.readAll().simplified().split(' ')
            : QList<QByteArray>();
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && fields.size() == 4) {
            run.exitCode = fields[0].toInt();
            run.signal = fields[1].toInt();
            run.peakBytes = fields[2].toLongLong() * 1024;
            run.elapsedMs = fields[3].toLongLong();
            run.finished = run.signal == 0;
        }
    }
    ::unlink(reportPath);
    auto slurp = [](FILE *f) {
        QByteArray bytes;
        std::rewind(f);
        char buffer[65536];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            bytes.append(buffer, qsizetype(n));
        std::fclose(f);
        return bytes;
    };
    run.out = slurp(out);
    run.err = slurp(err);
    return run;
}

// ---------------------------------------------------------------------------------------------

WithoutReadOverride::WithoutReadOverride()
{
    Caps caps;
    if (!caps.get())
        return;
    m_saved[0] = caps.data[0].effective;
    m_saved[1] = caps.data[1].effective;
    if (caps.data[0].effective & kReadOverride) {
        caps.data[0].effective &= ~kReadOverride;
        if (!caps.set())
            return;
        m_changed = true;
    }
    m_active = true;
}

WithoutReadOverride::~WithoutReadOverride()
{
    if (!m_changed)
        return;
    Caps caps;
    if (caps.get()) {
        caps.data[0].effective = m_saved[0];
        caps.data[1].effective = m_saved[1];
        caps.set();
    }
}

bool unreadable(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0)
        ::close(fd);
    return fd < 0 && errno == EACCES;
}

} // namespace hostile

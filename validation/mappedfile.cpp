#include "mappedfile.h"

#include "platform/filename.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The mappings the bus-error handler may repair. A signal handler may only touch lock-free atomics,
// so the table is fixed; a file that finds no free slot is read instead of mapped.
constexpr int kSlots = 256;

struct Slot
{
    std::atomic<uintptr_t> begin { 0 };
    std::atomic<uintptr_t> end { 0 };
    std::atomic<bool> faulted { false };
};

struct MappingTable
{
    Slot slots[kSlots];
    struct sigaction previous
    {
    };
};

// Lives for the whole process: the handler may run at any time after it is installed.
MappingTable &table()
{
    static MappingTable *t = new MappingTable;
    return *t;
}

// A read past the end of a file that was shortened after it was mapped raises SIGBUS. Inside one of
// our mappings the missing page is replaced by a page of zeros and the read goes on; the owner then
// sees faulted and reports the file as changed. Any other bus error goes to the handler before ours.
void onBusError(int signal, siginfo_t *info, void *context)
{
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    MappingTable &t = table();
    for (Slot &slot : t.slots) {
        const uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address >= slot.end.load(std::memory_order_acquire))
            continue;
        const auto page = uintptr_t(sysconf(_SC_PAGESIZE));
        void *at = reinterpret_cast<void *>(address & ~(page - 1));
        if (mmap(at, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            slot.faulted.store(true, std::memory_order_release);
            return;
        }
        break;
    }
    if (t.previous.sa_flags & SA_SIGINFO) {
        if (t.previous.sa_sigaction)
            t.previous.sa_sigaction(signal, info, context);
        return;
    }
    if (t.previous.sa_handler == SIG_IGN)
        return;
    if (t.previous.sa_handler != SIG_DFL) {
        t.previous.sa_handler(signal);
        return;
    }
    // The default action: returning repeats the faulting read, which now ends the process.
    struct sigaction dfl
    {
    };
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(SIGBUS, &dfl, nullptr);
}

bool installHandler()
{
    static std::once_flag once;
    static bool installed = false;
    std::call_once(once, [] {
        MappingTable &t = table();
        struct sigaction action
        {
        };
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        installed = sigaction(SIGBUS, &action, &t.previous) == 0;
    });
    return installed;
}

int claimSlot(const char *data, qsizetype size)
{
    MappingTable &t = table();
    for (int i = 0; i < kSlots; ++i) {
        uintptr_t expected = 0;
        const auto begin = reinterpret_cast<uintptr_t>(data);
        if (t.slots[i].begin.compare_exchange_strong(expected, begin, std::memory_order_acq_rel)) {
            t.slots[i].faulted.store(false, std::memory_order_relaxed);
            t.slots[i].end.store(begin + uintptr_t(size), std::memory_order_release);
            return i;
        }
    }
    return -1;
}

bool sameState(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size
        && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec
        && a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

} // namespace

MappedFile::~MappedFile()
{
    close();
}

void MappedFile::close()
{
    if (m_data) {
        if (m_slot >= 0) {
            Slot &slot = table().slots[m_slot];
            slot.end.store(0, std::memory_order_release);
            slot.begin.store(0, std::memory_order_release);
        }
        munmap(const_cast<char *>(m_data), size_t(m_size));
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_data = nullptr;
    m_size = 0;
    m_fd = -1;
    m_slot = -1;
}

QByteArray MappedFile::open(const QString &path, qint64 maxBytes)
{
    close();
    const QByteArray native = encodeFileName(path);
    struct stat st;
    // Anything but a plain regular file of a size we take goes the reading way, which judges it.
    if (path.isEmpty() || ::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0
        || st.st_size > maxBytes || !installHandler())
        return readFileBytes(path, maxBytes);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return readFileBytes(path, maxBytes);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 || st.st_size > maxBytes) {
        ::close(fd);
        return readFileBytes(path, maxBytes);
    }
    void *map = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) {
        ::close(fd);
        return readFileBytes(path, maxBytes);
    }
    m_data = static_cast<const char *>(map);
    m_size = qsizetype(st.st_size);
    m_fd = fd;
    m_opened = st;
    m_slot = claimSlot(m_data, m_size);
    if (m_slot < 0) {
        close();
        return readFileBytes(path, maxBytes);
    }
    madvise(map, size_t(m_size), MADV_WILLNEED);
    return QByteArray::fromRawData(m_data, m_size);
}

bool MappedFile::changedWhileRead() const
{
    if (!m_data)
        return false;
    if (m_slot >= 0 && table().slots[m_slot].faulted.load(std::memory_order_acquire))
        return true;
    struct stat now;
    return ::fstat(m_fd, &now) != 0 || !sameState(now, m_opened);
}

QString MappedFile::changedMessage(const QString &path)
{
    return QStringLiteral("Cannot read \"%1\": the file was changed by another program while it was checked; "
                          "check it again.")
        .arg(path);
}

#pragma once
// Hostile inputs for the hardening tests: files that attack the reader, the decoder or the parser,
// made at run time in a temporary folder (the big ones are never kept in the repository), and the
// means to show that handling them stays within bounds: the peak memory of a piece of work, a child
// process's own peak memory and time, and traps that notice any file opened or connection made.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace hostile {

// What handling a file must end in.
enum class Outcome
{
    Valid, // "XML is valid according the schema."
    Report, // a report of schema errors
    Refused, // the engine's refusal
    ReadError, // the file is not read, with a message saying why
};

// A local file that no input may open and a local port that no input may connect to: hostile files
// name them in entities, DTDs, schema hints and inclusions.
class Traps
{
public:
    explicit Traps(const QString &folder);
    ~Traps();
    Traps(const Traps &) = delete;
    Traps &operator=(const Traps &) = delete;

    bool ready() const { return m_inotify >= 0 && m_listener >= 0; }
    QString watchedFile() const { return m_watchedFile; }
    QString listenerUrl(const QString &path) const;

    // Starts watching the folder afresh: every file opened, created, changed or removed in it is
    // noted from now on.
    void arm();
    // The names of the files in the folder that were opened since arm(), except allowedName.
    QStringList filesOpened(const QString &allowedName);
    // The names of the files in the folder that were created, written, changed or removed since
    // arm(). Call before filesOpened(), which consumes the events.
    QStringList filesChanged();
    // True when something connected to the port since the traps were made.
    bool connectionAttempted();

private:
    QString m_folder;
    QString m_watchedFile;
    int m_inotify = -1;
    int m_watch = -1;
    int m_listener = -1;
    quint16 m_port = 0;
    QStringList m_opened; // events read, not yet asked for
    QStringList m_changed;
    void readEvents();
};

// A valid credit transfer (tests/data/hardening/valid-credit-transfer.xml).
QByteArray validPayment();

// Writes the file of the named kind into folder and returns its path; see hostile.cpp for the kinds.
// Returns an empty path when the kind cannot be made here (QSKIP-worthy, see skipReason()).
QString makeFile(const QString &kind, const QString &folder, const Traps &traps);
// Why the last makeFile returned an empty path.
QString skipReason();

// Peak resident memory of this process, from /proc/self/status.
class PeakMemory
{
public:
    // Resets the kernel's high-water mark to the present resident size.
    PeakMemory();
    bool valid() const { return m_valid; }
    // How far the resident size rose above its level at construction, in bytes.
    qint64 growth() const;

private:
    qint64 m_base = 0;
    bool m_valid = false;
};

// The memory a piece of work with input of that size may take: ten times the input and 100 MB.
// Sanitizer builds keep freed memory in quarantine and shadow every byte, so they get more room.
qint64 memoryBound(qint64 inputBytes);
// Generous time bounds; sanitizer builds run several times slower.
qint64 timeBoundMs(qint64 plainMs);

// One run of a child process.
struct ProcessRun
{
    bool finished = false; // exited by itself within the time allowed
    int exitCode = -1; // when it exited; -1 after a signal
    int signal = 0; // the signal that ended it, 0 when none
    QByteArray out;
    QByteArray err;
    qint64 elapsedMs = 0;
    qint64 peakBytes = 0; // the child's own peak resident memory
};

// Runs program with arguments, stdin from /dev/null, through pravik-peakrss (a small process, so
// that the child's peak is its own, not that of this process it would otherwise be forked from).
// withoutReadOverride drops the capabilities that let root read any file (so that a file's
// permission bits count even when the tests run as root). The child is killed after timeoutMs.
ProcessRun runProcess(
    const QString &program, const QStringList &arguments, qint64 timeoutMs, bool withoutReadOverride = false);

// Drops, for the calling thread and while it lives, the effective capabilities that let root read
// any file; restores them afterwards.
class WithoutReadOverride
{
public:
    WithoutReadOverride();
    ~WithoutReadOverride();
    WithoutReadOverride(const WithoutReadOverride &) = delete;
    WithoutReadOverride &operator=(const WithoutReadOverride &) = delete;
    bool active() const { return m_active; }

private:
    bool m_active = false;
    bool m_changed = false;
    unsigned m_saved[2] = { 0, 0 };
};

// True when the file at path, opened as this process would be, cannot be read.
bool unreadable(const QString &path);

} // namespace hostile

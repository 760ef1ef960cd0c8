// Reading payment files safely and saving them atomically.

#include "platform/exception.h"
#include "platform/textfile.h"
#include "tests/support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using testsupport::readAll;
using testsupport::writeAll;

namespace {

mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

QStringList entriesOf(const QString &dir)
{
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestFileIo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsWholeFile_data();
    void readsWholeFile();
    void readsFileWhoseSizeIsNotKnownInAdvance();
    void refusesFileThatGrowsPastTheLimit();
    void refusesToRead_data();
    void refusesToRead();
    void refusesUnreadableFile();
    void readsStreamWithinItsLimit_data();
    void readsStreamWithinItsLimit();
    void writesFile_data();
    void writesFile();
    void followsSymbolicLinks_data();
    void followsSymbolicLinks();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
    void failedWriteInReadOnlyFolder();
    void writeCutShortByFileSizeLimitKeepsOldFile();
};

void TestFileIo::readsWholeFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint64>("maxBytes");

    QTest::newRow("empty file") << QByteArray() << qint64(100);
    QTest::newRow("NUL and high bytes") << QByteArray("a\0\xff\r\n\x80", 6) << qint64(100);
    QTest::newRow("exactly the size limit") << QByteArray(64, 'x') << qint64(64);
    QTest::newRow("larger than a read chunk") << QByteArray(3 << 20, '<') << (qint64(1) << 31);
}

void TestFileIo::readsWholeFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint64, maxBytes);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("payment.xml"));
    QVERIFY(writeAll(path, bytes));
    QCOMPARE(readFileBytes(path, maxBytes), bytes);
}

// Files of /proc report size 0; the reader must go on until the end rather than trust the size.
void TestFileIo::readsFileWhoseSizeIsNotKnownInAdvance()
{
    const QString path = QStringLiteral("/proc/self/status");
    if (!QFile::exists(path))
        QSKIP("No /proc file system here");
    const QByteArray bytes = readFileBytes(path);
    QVERIFY2(bytes.contains("Name:"), bytes.constData());
}

// Its size said nothing, so only the reading finds that it holds more than the limit.
void TestFileIo::refusesFileThatGrowsPastTheLimit()
{
    const QString path = QStringLiteral("/proc/self/status");
    if (!QFile::exists(path))
        QSKIP("No /proc file system here");
    try {
        readFileBytes(path, 10);
        QFAIL("the read was not refused");
    } catch (const EFOpenError &e) {
        QCOMPARE(e.message(),
            QStringLiteral("Cannot read \"%1\": the file is too large (more than 10 bytes).").arg(path));
    }
}

void TestFileIo::refusesToRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing file") << QStringLiteral("missing") << QStringLiteral("the file does not exist.");
    QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("it is a folder, not a file.");
    QTest::newRow("FIFO without a writer")
        << QStringLiteral("fifo") << QStringLiteral("it is a pipe or socket, not a regular file.");
    QTest::newRow("character device")
        << QStringLiteral("device") << QStringLiteral("it is a device, not a regular file.");
    QTest::newRow("file above the size limit") << QStringLiteral(
        "large") << QStringLiteral("the file is too large (11 bytes; at most 10 bytes can be read).");
    QTest::newRow("path below a regular file")
        << QStringLiteral("below-file") << QStringLiteral("Not a directory.");
}

void TestFileIo::refusesToRead()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Zahlung ä.xml"));
    if (kind == u"folder") {
        QVERIFY(QDir().mkdir(path));
    } else if (kind == u"fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == u"device") {
        path = QStringLiteral("/dev/null");
    } else if (kind == u"large") {
        QVERIFY(writeAll(path, QByteArray(11, 'x')));
    } else if (kind == u"below-file") {
        QVERIFY(writeAll(path, "x"));
        path += QStringLiteral("/inner.xml");
    }

    try {
        readFileBytes(path, 10);
        QFAIL("the read was not refused");
    } catch (const EFOpenError &e) {
        QCOMPARE(e.message(), QStringLiteral("Cannot read \"%1\": %2").arg(path, reason));
    }
}

void TestFileIo::refusesUnreadableFile()
{
    if (::geteuid() == 0)
        QSKIP("Running as root, which may read any file whatever its permissions");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("secret.xml"));
    QVERIFY(writeAll(path, "x"));
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0), 0);
    QVERIFY_THROWS_EXCEPTION(EFOpenError, readFileBytes(path));
}

void TestFileIo::writesFile_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("mode");

    QTest::newRow("new file") << false << 0;
    QTest::newRow("existing file keeps read-write for owner only") << true << 0600;
    QTest::newRow("existing file keeps group read") << true << 0640;
    QTest::newRow("existing executable file keeps its mode") << true << 0755;
}

void TestFileIo::writesFile()
{
    QFETCH(bool, exists);
    QFETCH(int, mode);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("payment.xml"));
    if (exists) {
        QVERIFY(writeAll(path, "old content that is longer than the new one"));
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
    }

    const QByteArray bytes("<Document>\r\n</Document>\n", 24);
    writeFileAtomically(path, bytes);

    QCOMPARE(readAll(path), bytes);
    if (exists) {
        QCOMPARE(modeOf(path), mode_t(mode));
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        QCOMPARE(modeOf(path), mode_t(0666 & ~mask));
    }
    QCOMPARE(entriesOf(dir.path()), QStringList { QStringLiteral("payment.xml") });
}

void TestFileIo::followsSymbolicLinks_data()
{
    QTest::addColumn<QString>("linkTarget"); // relative to the link's folder "links"
    QTest::addColumn<bool>("targetExists");

    QTest::newRow("relative link into another folder") << QStringLiteral("../data/payment.xml") << true;
    QTest::newRow("link to a link") << QStringLiteral("second-link.xml") << true;
    QTest::newRow("dangling link creates its target") << QStringLiteral("../data/payment.xml") << false;
}

void TestFileIo::followsSymbolicLinks()
{
    QFETCH(QString, linkTarget);
    QFETCH(bool, targetExists);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("data")));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("links")));
    const QString target = dir.filePath(QStringLiteral("data/payment.xml"));
    if (targetExists) {
        QVERIFY(writeAll(target, "old"));
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    }
    const QString link = dir.filePath(QStringLiteral("links/link.xml"));
    QVERIFY(QFile::link(linkTarget, link));
    if (linkTarget == u"second-link.xml")
        QVERIFY(QFile::link(
            QStringLiteral("../data/payment.xml"), dir.filePath(QStringLiteral("links/second-link.xml"))));

    writeFileAtomically(link, "new");

    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readAll(target), QByteArray("new"));
    if (targetExists)
        QCOMPARE(modeOf(target), mode_t(0640));
    QCOMPARE(entriesOf(dir.filePath(QStringLiteral("data"))), QStringList { QStringLiteral("payment.xml") });
}

void TestFileIo::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("parent is a regular file")
        << QStringLiteral("below-file") << QStringLiteral("Not a directory");
    QTest::newRow("target is a folder") << QStringLiteral("folder") << QStringLiteral("Is a directory");
    QTest::newRow("parent folder missing")
        << QStringLiteral("no-parent") << QStringLiteral("No such file or directory");
    QTest::newRow("symbolic link loop")
        << QStringLiteral("loop") << QStringLiteral("Too many levels of symbolic links");
}

void TestFileIo::failedWriteKeepsOldFile()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("payment.xml"));
    QVERIFY(writeAll(existing, "old"));
    QString path;
    if (kind == u"below-file") {
        path = existing + QStringLiteral("/new.xml");
    } else if (kind == u"folder") {
        path = dir.filePath(QStringLiteral("folder"));
        QVERIFY(QDir().mkdir(path));
        QVERIFY(writeAll(path + QStringLiteral("/inside.xml"), "inside"));
    } else if (kind == u"no-parent") {
        path = dir.filePath(QStringLiteral("missing/new.xml"));
    } else if (kind == u"loop") {
        path = dir.filePath(QStringLiteral("a.xml"));
        QVERIFY(QFile::link(QStringLiteral("b.xml"), path));
        QVERIFY(QFile::link(QStringLiteral("a.xml"), dir.filePath(QStringLiteral("b.xml"))));
    }
    const QStringList before = entriesOf(dir.path());

    try {
        writeFileAtomically(path, "new");
        QFAIL("the write did not fail");
    } catch (const EFCreateError &e) {
        QCOMPARE(e.message(), QStringLiteral("Cannot save \"%1\": %2.").arg(path, reason));
    }
    QCOMPARE(readAll(existing), QByteArray("old"));
    QCOMPARE(entriesOf(dir.path()), before);
    if (kind == u"folder")
        QCOMPARE(readAll(path + QStringLiteral("/inside.xml")), QByteArray("inside"));
}

void TestFileIo::failedWriteInReadOnlyFolder()
{
    if (::geteuid() == 0)
        QSKIP("Running as root, which may write into a read-only folder");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("payment.xml"));
    QVERIFY(writeAll(path, "old"));
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    QVERIFY_THROWS_EXCEPTION(EFCreateError, writeFileAtomically(path, "new"));
    QCOMPARE(readAll(path), QByteArray("old"));
    QCOMPARE(entriesOf(dir.path()), QStringList { QStringLiteral("payment.xml") });
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
}

// A full disk cannot be had without privileges; a file-size limit fails the write the same way,
// part-way through, and binds root too.
void TestFileIo::writeCutShortByFileSizeLimitKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("payment.xml"));
    QVERIFY(writeAll(path, "old"));

    struct rlimit saved;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 4096;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    QString message;
    try {
        writeFileAtomically(path, QByteArray(100000, 'x'));
    } catch (const EFCreateError &e) {
        message = e.message();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(message, QStringLiteral("Cannot save \"%1\": File too large.").arg(path));
    QCOMPARE(readAll(path), QByteArray("old"));
    QCOMPARE(entriesOf(dir.path()), QStringList { QStringLiteral("payment.xml") });
}

void TestFileIo::readsStreamWithinItsLimit_data()
{
    QTest::addColumn<bool>("pipe"); // else a regular file in place of standard input
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<bool>("refused");

    QTest::newRow("empty pipe") << true << qint64(0) << qint64(100) << false;
    QTest::newRow("pipe exactly at the limit") << true << qint64(100000) << qint64(100000) << false;
    QTest::newRow("pipe one byte past the limit") << true << qint64(100001) << qint64(100000) << true;
    QTest::newRow("pipe far past the limit") << true << qint64(1000000) << qint64(100000) << true;
    QTest::newRow("file exactly at the limit") << false << qint64(70000) << qint64(70000) << false;
    QTest::newRow("file past the limit") << false << qint64(70001) << qint64(70000) << true;
}

// The bytes come from a writer thread, so that a pipe larger than its buffer is read as it fills.
void TestFileIo::readsStreamWithinItsLimit()
{
    QFETCH(bool, pipe);
    QFETCH(qint64, size);
    QFETCH(qint64, limit);
    QFETCH(bool, refused);

    QByteArray bytes(qsizetype(size), 'x');
    for (qsizetype i = 0; i < bytes.size(); i += 997)
        bytes[i] = char('a' + i % 26);
    int fd = -1;
    int writeEnd = -1;
    QTemporaryDir dir;
    if (pipe) {
        int fds[2];
        QCOMPARE(::pipe(fds), 0);
        fd = fds[0];
        writeEnd = fds[1];
    } else {
        const QString path = dir.filePath(QStringLiteral("in.xml"));
        QVERIFY(testsupport::writeAll(path, bytes));
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
    }
    std::signal(SIGPIPE, SIG_IGN); // the reader stops early when refusing
    std::thread writer([&] {
        if (writeEnd < 0)
            return;
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t w = ::write(writeEnd, bytes.constData() + done, size_t(bytes.size() - done));
            if (w <= 0)
                break;
            done += w;
        }
        ::close(writeEnd);
    });
    QString error;
    QByteArray got;
    try {
        got = readStreamBytes(fd, QStringLiteral("<stdin>"), limit);
    } catch (const EFOpenError &e) {
        error = e.message();
    }
    ::close(fd); // lets a writer blocked on a full pipe end
    writer.join();
    if (refused) {
        QCOMPARE(error,
            QStringLiteral("Cannot read \"<stdin>\": the input is too large (at most %1 bytes can be read).")
                .arg(limit));
    } else {
        QCOMPARE(error, QString());
        QCOMPARE(got, bytes);
    }
}

QTEST_GUILESS_MAIN(TestFileIo)
#include "tst_fileio.moc"

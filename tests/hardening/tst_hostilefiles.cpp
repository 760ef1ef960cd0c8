// Hostile files through the validation engine (read and decoded as the checker reads them) and
// through pravik-check as a process: each ends in its expected outcome within bounded time and
// memory; nothing but the file itself is opened, no file is created or changed, no connection is
// made.

#include "hostile.h"

#include "platform/exception.h"
#include "platform/textfile.h"
#include "validation/validationengine.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

using hostile::Outcome;

Q_DECLARE_METATYPE(hostile::Outcome)

namespace {

const QString kRefusal
    = QStringLiteral("The file cannot be validated! This file may not be a valid SEPA XML file.");

struct EngineResult
{
    Outcome outcome = Outcome::Valid;
    QString message;
    qsizetype errorCount = 0;
};

// What the checker does with one file, in this process.
EngineResult checkInProcess(const QString &path)
{
    EngineResult result;
    try {
        QByteArray utf8;
        {
            const QByteArray bytes = readFileBytes(path);
            utf8 = toUtf8Text(bytes);
        }
        std::unique_ptr<TXMLParseErrors> errors;
        if (ValidationEngine::ValidateXMLUtf8(utf8, errors)) {
            result.outcome = Outcome::Valid;
        } else {
            result.outcome = Outcome::Report;
            result.errorCount = errors ? errors->size() : 0;
        }
    } catch (const ESEPAXMLValidateException &e) {
        result.outcome = Outcome::Refused;
        result.message = e.message();
    } catch (const EFOpenError &e) {
        result.outcome = Outcome::ReadError;
        result.message = e.message();
    }
    return result;
}

int exitStatusOf(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Valid:
        return 0;
    case Outcome::Report:
        return 1;
    case Outcome::Refused:
    case Outcome::ReadError:
        return 2;
    }
    return -1;
}

} // namespace

class TestHostileFiles : public QObject
{
    Q_OBJECT

    // The file of a row, made in its own folder so that big files go with the row.
    struct Row
    {
        QTemporaryDir dir;
        std::optional<hostile::Traps> traps;
        QString path;
        qint64 inputBytes = 0;
        bool dropReadOverride = false;
    };

    // Makes the row's file; false (with the test skipped or failed) when it cannot be made here.
    static bool prepare(Row &row, const QString &kind, Outcome outcome)
    {
        if (!row.dir.isValid()) {
            QTest::qFail("no temporary folder", __FILE__, __LINE__);
            return false;
        }
        row.traps.emplace(row.dir.path());
        if (!row.traps->ready()) {
            QTest::qFail("the traps could not be set", __FILE__, __LINE__);
            return false;
        }
        row.path = hostile::makeFile(kind, row.dir.path(), *row.traps);
        if (row.path.isEmpty()) {
            QTest::qSkip(qPrintable(hostile::skipReason()), __FILE__, __LINE__);
            return false;
        }
        if (kind == u"unreadable") {
            // Root reads any file whatever its permission bits; without those capabilities it cannot.
            row.dropReadOverride = ::geteuid() == 0;
            hostile::WithoutReadOverride without;
            if (!hostile::unreadable(row.path)) {
                QTest::qSkip("a file without permissions is readable here even without the capabilities "
                             "that override them",
                    __FILE__, __LINE__);
                return false;
            }
        }
        // A file that is not read costs nothing however large it claims to be.
        row.inputBytes = outcome == Outcome::ReadError ? 0 : QFileInfo(row.path).size();
        return true;
    }

private Q_SLOTS:
    void trapsNoticeWhatTheyWatch();
    void hostileFile_data();
    void hostileFile();
};

// The traps would let every row pass if they noticed nothing: they must see a read, a write and a
// connection.
void TestHostileFiles::trapsNoticeWhatTheyWatch()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    hostile::Traps traps(dir.path());
    QVERIFY(traps.ready());
    traps.arm();
    QVERIFY(!traps.connectionAttempted());
    {
        QFile watched(traps.watchedFile());
        QVERIFY(watched.open(QIODevice::ReadOnly));
        QFile created(dir.filePath(QStringLiteral("created")));
        QVERIFY(created.open(QIODevice::WriteOnly));
    }
    QCOMPARE(traps.filesChanged(), QStringList { QStringLiteral("created") });
    QCOMPARE(traps.filesOpened(QStringLiteral("created")), QStringList { QStringLiteral("secret.txt") });

    const QUrl url(traps.listenerUrl(QStringLiteral("x")));
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(url.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    QVERIFY(traps.connectionAttempted());
    ::close(s);
}

void TestHostileFiles::hostileFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("message"); // what the refusal or read error says
    QTest::addColumn<qint64>("boundMs");

    const qint64 quick = 10000, heavy = 60000;
    auto row
        = [](const char *name, const char *kind, Outcome outcome, const QString &message, qint64 boundMs) {
              QTest::newRow(name) << QString::fromLatin1(kind) << outcome << message << boundMs;
          };
    row("billion laughs entity bomb", "billion-laughs", Outcome::Refused, kRefusal, quick);
    row("quadratic blowup entity", "quadratic-blowup", Outcome::Refused, kRefusal, quick);
    row("external entity to /etc/passwd", "entity-etc-passwd", Outcome::Refused, kRefusal, quick);
    row("external entity to a local file", "entity-local-file", Outcome::Refused, kRefusal, quick);
    row("external entity to a network address", "entity-network-address", Outcome::Refused, kRefusal, quick);
    row("external entity to a listening port", "entity-listening-port", Outcome::Refused, kRefusal, quick);
    row("external DTD on a listening port", "external-dtd", Outcome::Refused, kRefusal, quick);
    row("parameter entity to a local file", "parameter-entity", Outcome::Refused, kRefusal, quick);
    row("DOCTYPE in a valid payment file", "doctype-in-valid-file", Outcome::Refused, kRefusal, quick);
    row("schema hints to a local file and a port", "schema-location-hints", Outcome::Valid, QString(), quick);
    row("XInclude of a local file and a port", "xinclude", Outcome::Report, QString(), quick);
    row("100,000 nested elements", "nested-100000", Outcome::Refused, kRefusal, quick);
    row("50 MB single line of transactions", "single-line-50mb", Outcome::Valid, QString(), heavy);
    row("50 MB text node", "text-node-50mb", Outcome::Report, QString(), heavy);
    row("10 MB on one line with an error in every transaction", "errors-on-one-line-10mb", Outcome::Report,
        QString(), heavy);
    row("10 MB with stray text in every transaction", "stray-text-in-every-transaction-10mb", Outcome::Report,
        QString(), heavy);
    row("100,000 differently named siblings", "distinct-siblings-100000", Outcome::Report, QString(), quick);
    // The parser takes no attribute value above 10,000,000 bytes (nor two of 9.5 MB close together:
    // "Huge input lookup"): the document counts as not well-formed.
    row("10 MB attribute value", "attribute-10mb", Outcome::Refused, kRefusal, quick);
    row("9.5 MB attribute value", "attribute-9mb", Outcome::Report, QString(), quick);
    row("NUL bytes", "nul-bytes", Outcome::Refused, kRefusal, quick);
    // Not UTF-8, so read as Windows-1252, where every byte is a character the schema allows.
    row("invalid UTF-8", "invalid-utf8", Outcome::Valid, QString(), quick);
    // Kept in the text and handed to the parser as they are: no XML character, so no XML document.
    row("unpaired UTF-16 surrogates", "unpaired-surrogates", Outcome::Refused, kRefusal, quick);
    // Read as Windows-1252 to keep every byte; the NUL high bytes then are no XML.
    row("UTF-16 with an odd byte count", "utf16-odd-length", Outcome::Refused, kRefusal, quick);
    row("UTF-8 byte-order mark alone", "utf8-bom-alone", Outcome::Refused, kRefusal, quick);
    row("UTF-16 byte-order mark alone", "utf16-bom-alone", Outcome::Refused, kRefusal, quick);
    row("empty file", "empty", Outcome::Refused, kRefusal, quick);
    row("only whitespace", "whitespace", Outcome::Refused, kRefusal, quick);
    // Refused by its size before anything is allocated.
    row("2 GB sparse file", "sparse-2gb", Outcome::ReadError,
        QStringLiteral("the file is too large (2147483648 bytes; at most 536870912 bytes can be read)."),
        quick);
    row("directory", "directory", Outcome::ReadError, QStringLiteral("it is a folder, not a file."), quick);
    row("FIFO", "fifo", Outcome::ReadError, QStringLiteral("it is a pipe or socket, not a regular file."),
        quick);
    row("endless device", "device", Outcome::ReadError, QStringLiteral("it is a device, not a regular file."),
        quick);
    row("unreadable file", "unreadable", Outcome::ReadError, QStringLiteral("Permission denied."), quick);
}

void TestHostileFiles::hostileFile()
{
    QFETCH(QString, kind);
    QFETCH(Outcome, outcome);
    QFETCH(QString, message);
    QFETCH(qint64, boundMs);

    Row row;
    if (!prepare(row, kind, outcome))
        return;
    const QString fileName = QFileInfo(row.path).fileName();
    const qint64 memoryBound = hostile::memoryBound(row.inputBytes);
    const qint64 timeBound = hostile::timeBoundMs(boundMs);

    qsizetype errorCount = 0;
    // In this process, as the checker reads and validates a file.
    {
        row.traps->arm();
        EngineResult result;
        const hostile::PeakMemory peak;
        QVERIFY(peak.valid());
        QElapsedTimer timer;
        timer.start();
        {
            std::optional<hostile::WithoutReadOverride> without;
            if (row.dropReadOverride)
                without.emplace();
            result = checkInProcess(row.path);
        }
        const qint64 elapsed = timer.elapsed();
        const qint64 growth = peak.growth();
        qInfo("engine: %lld ms, memory growth %lld MB (bound %lld MB)", elapsed, growth >> 20,
            memoryBound >> 20);

        QCOMPARE(result.outcome, outcome);
        if (outcome == Outcome::Refused)
            QCOMPARE(result.message, message);
        if (outcome == Outcome::ReadError) {
            QCOMPARE(result.message, QStringLiteral("Cannot read \"%1\": %2").arg(row.path, message));
        }
        if (outcome == Outcome::Report)
            QVERIFY(result.errorCount > 0);
        errorCount = result.errorCount;
        QVERIFY2(elapsed < timeBound, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
        QVERIFY2(growth >= 0 && growth < memoryBound, qPrintable(QStringLiteral("%1 bytes").arg(growth)));
        QCOMPARE(row.traps->filesChanged(), QStringList());
        QCOMPARE(row.traps->filesOpened(fileName), QStringList());
        QVERIFY(!row.traps->connectionAttempted());
    }

    // pravik-check as a process: exit status, message, report, its own peak memory.
    {
        row.traps->arm();
        const hostile::ProcessRun run = hostile::runProcess(
            QStringLiteral(PRAVIK_CHECK_EXE), { row.path }, timeBound, row.dropReadOverride);
        qInfo("pravik-check: %lld ms, peak memory %lld MB", run.elapsedMs, run.peakBytes >> 20);
        QVERIFY2(run.finished,
            qPrintable(QStringLiteral("exit %1, signal %2, %3 ms: %4")
                           .arg(run.exitCode)
                           .arg(run.signal)
                           .arg(run.elapsedMs)
                           .arg(QString::fromUtf8(run.err))));
        QCOMPARE(run.exitCode, exitStatusOf(outcome));
        switch (outcome) {
        case Outcome::Valid:
            QCOMPARE(run.out, QByteArray("XML is valid according the schema.\n"));
            QCOMPARE(run.err, QByteArray());
            break;
        case Outcome::Report:
            QVERIFY(run.out.startsWith(QByteArray(70, '-') + "\nErrorCode: "));
            // A hostile value is not echoed whole: every error's record stays small.
            QVERIFY2(run.out.size() < (errorCount + 1) * 4096, qPrintable(QString::number(run.out.size())));
            QCOMPARE(run.err, QByteArray());
            break;
        case Outcome::Refused:
            QCOMPARE(run.out, QByteArray());
            {
                // The refusal line, then for text that is not well-formed one line of where the
                // parser stopped; a hostile value is not echoed whole there either.
                const QString err = QString::fromUtf8(run.err);
                const QString refusal = QStringLiteral("pravik-check: %1: %2\n").arg(row.path, message);
                QVERIFY2(err.startsWith(refusal), qPrintable(err.left(400)));
                const QString detail = err.mid(refusal.size());
                if (!detail.isEmpty()) {
                    QVERIFY2(detail.startsWith(QStringLiteral("pravik-check: %1: line ").arg(row.path)),
                        qPrintable(detail.left(400)));
                    QCOMPARE(detail.count(u'\n'), 1);
                    QVERIFY2(detail.size() < 4096, qPrintable(QString::number(detail.size())));
                }
            }
            break;
        case Outcome::ReadError:
            QCOMPARE(run.out, QByteArray());
            QCOMPARE(QString::fromUtf8(run.err),
                QStringLiteral("pravik-check: Cannot read \"%1\": %2\n").arg(row.path, message));
            break;
        }
        QVERIFY(!run.out.contains("root:") && !run.err.contains("root:"));
        QVERIFY2(run.peakBytes > 0 && run.peakBytes < memoryBound,
            qPrintable(QStringLiteral("%1 bytes").arg(run.peakBytes)));
        QCOMPARE(row.traps->filesChanged(), QStringList());
        QCOMPARE(row.traps->filesOpened(fileName), QStringList());
        QVERIFY(!row.traps->connectionAttempted());
    }
}

QTEST_GUILESS_MAIN(TestHostileFiles)

#include "tst_hostilefiles.moc"

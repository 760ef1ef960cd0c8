// The chunked validation against one pass: for every document the same verdict, the same errors in
// the same order with the same positions, XPaths and texts, the same cap and the same refusal.

#include "platform/textformat.h"
#include "tests/support/paymentcorpus.h"
#include "validation/chunkedvalidation.h"
#include "validation/chunkplan.h"
#include "validation/validationengine.h"
#include "validation/xmlservices.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QTest>

using namespace paymentcorpus;

namespace {

// Every event the observer sees, written down.
class Recorder : public xmlservices::DocumentObserver
{
public:
    QByteArray log;
    void startElement(const char *localName, const char *namespaceUri, qsizetype tagOffset) override
    {
        log += '<' + QByteArray(localName) + ' ' + QByteArray(namespaceUri ? namespaceUri : "") + ' '
            + QByteArray::number(tagOffset) + '\n';
    }
    void endElement() override { log += ">\n"; }
    void characters(const char *text, int length) override { log += QByteArray(text, length) + '\n'; }
};

struct Outcome
{
    xmlservices::LoadResult result = xmlservices::LoadResult::Valid;
    QStringList lines; // every error and the stop, one line each
    QByteArray events;
};

QString describe(const xmlservices::ParseErrorEntry &e)
{
    return QStringLiteral("%1 | %2:%3 @%4 | %5 | %6 | %7")
        .arg(e.errorCode)
        .arg(e.line)
        .arg(e.linepos)
        .arg(e.filepos)
        .arg(e.xpath, e.reason, e.srcText);
}

std::shared_ptr<const xmlservices::Schema> schemaFor(const QString &ns)
{
    static SchemaCache *cache = new SchemaCache; // compiled once for the whole test
    return cache->schema(ValidationEngine::resourceNameForNamespace(ns));
}

Outcome validate(const QByteArray &utf8, int jobs, qsizetype chunkBytes, qsizetype *chunks)
{
    Outcome out;
    const QString ns = xmlservices::firstNamespace(utf8);
    const auto schema = schemaFor(ns);
    if (!schema) {
        out.lines << QStringLiteral("no schema");
        return out;
    }
    xmlservices::ParseError errors;
    Recorder recorder;
    xmlservices::ChunkedRun run;
    run.jobs = jobs;
    run.chunkBytes = chunkBytes;
    run.chunksUsed = chunks;
    out.result = xmlservices::validateChunked(utf8, *schema, ns, errors, &recorder, run);
    for (const auto &e : errors.allErrors())
        out.lines << describe(e);
    out.lines << QStringLiteral("unlisted %1").arg(errors.unlisted());
    out.lines << QStringLiteral("stop ") + describe(errors.stop());
    out.events = recorder.log;
    return out;
}

// Compares one pass with the chunked validation at several chunk sizes; returns the most chunks
// any of them used.
qsizetype compareWithOnePass(const QByteArray &utf8)
{
    const Outcome one = validate(utf8, 1, 0, nullptr);
    qsizetype most = 0;
    for (const qsizetype chunkBytes : { qsizetype(1), qsizetype(700), qsizetype(9000) }) {
        qsizetype chunks = 0;
        const Outcome chunked = validate(utf8, 3, chunkBytes, &chunks);
        most = std::max(most, chunks);
        if (chunked.lines != one.lines) {
            for (qsizetype i = 0; i < std::min(one.lines.size(), chunked.lines.size()); ++i) {
                if (one.lines[i] != chunked.lines[i]) {
                    qWarning("chunks of %lld bytes, line %lld:\n  one pass: %s\n  chunked:  %s",
                        qint64(chunkBytes), qint64(i), qPrintable(one.lines[i]),
                        qPrintable(chunked.lines[i]));
                    break;
                }
            }
        }
        [&] {
            QCOMPARE(chunked.lines.size(), one.lines.size());
            QCOMPARE(chunked.lines, one.lines);
            QCOMPARE(int(chunked.result), int(one.result));
            QCOMPARE(chunked.events, one.events);
        }();
        if (QTest::currentTestFailed())
            return most;
    }
    return most;
}

QByteArray transactionFault(const QByteArray &tx, const QString &fault)
{
    if (fault == u"value too long")
        return replaceOnce(tx, "<Nm>", "<Nm>" + QByteArray(80, 'W'));
    if (fault == u"value refused by its pattern")
        return replaceOnce(tx, "<IBAN>DE", "<IBAN>de");
    if (fault == u"element missing")
        return replaceOnce(tx, "<EndToEndId>", "<EndToEndIdX>").replace("</EndToEndId>", "</EndToEndIdX>");
    if (fault == u"unexpected element")
        return replaceOnce(tx, "</PmtId>", "</PmtId><Foo>x</Foo>");
    if (fault == u"bad attribute value")
        return replaceOnce(tx, "Ccy=\"EUR\"", "Ccy=\"EURO\"");
    if (fault == u"unknown attribute")
        return replaceOnce(tx, "Ccy=\"EUR\"", "Ccy=\"EUR\" foo='1'");
    if (fault == u"text in element-only content")
        return replaceOnce(tx, "<PmtId>", "<PmtId>stray text");
    if (fault == u"value in CDATA")
        return replaceOnce(tx, "<Nm>", "<Nm><![CDATA[</CdtTrfTxInf></PmtInf>]]>");
    if (fault == u"entity references")
        return replaceOnce(tx, "<Nm>", "<Nm>M&amp;M &#x4E2D;&#128512;");
    if (fault == u"four-byte characters")
        return replaceOnce(tx, "<Nm>", "<Nm>\xF0\x9F\x98\x80\xC3\xA4\xE2\x82\xAC");
    if (fault == u"comment with markup")
        return "<!-- </CdtTrfTxInf>\n <PmtInf> <![CDATA[ -->\n" + tx;
    if (fault == u"processing instruction")
        return "<?note a > b </PmtInf> ?>\n" + tx;
    if (fault == u"not well-formed")
        return replaceOnce(tx, "</PmtId>", "</PmtIdd>");
    return tx;
}

} // namespace

class TestChunkedValidation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameAsOnePass_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<bool>("cut"); // the chunked validation is expected to stand (no one pass)

        const Parts ct = creditTransfer();
        const Parts dd = directDebit();
        QTest::newRow("valid credit transfers") << build(ct, 3, 20) << true;
        QTest::newRow("valid direct debits") << build(dd, 2, 30) << true;
        QTest::newRow("one block of many transactions") << build(ct, 1, 80) << true;
        QTest::newRow("many blocks of one transaction") << build(ct, 60, 1) << true;

        const QStringList faults { QStringLiteral("value too long"),
            QStringLiteral("value refused by its pattern"), QStringLiteral("element missing"),
            QStringLiteral("unexpected element"), QStringLiteral("bad attribute value"),
            QStringLiteral("unknown attribute"), QStringLiteral("text in element-only content"),
            QStringLiteral("value in CDATA"), QStringLiteral("entity references"),
            QStringLiteral("four-byte characters"), QStringLiteral("comment with markup"),
            QStringLiteral("processing instruction") };
        for (const QString &fault : faults) {
            const QByteArray doc = build(ct, 3, 12, [&](int b, int t, QByteArray tx) {
                return (b * 12 + t) % 5 == 2 ? transactionFault(tx, fault) : tx;
            });
            QTest::addRow("%s", qPrintable(fault)) << doc << true;
            QTest::addRow("%s, on one line", qPrintable(fault)) << oneLine(doc) << true;
            QTest::addRow("%s, CR LF", qPrintable(fault)) << withLineEnds(doc, "\r\n") << true;
        }
        // Lines that hold two transactions: chunks begin and end inside short lines.
        const QByteArray pairs = build(ct, 3, 12, [&](int b, int t, QByteArray tx) {
            const QByteArray line = oneLine((b * 12 + t) % 3 == 1 ? transactionFault(tx, faults[t % 7]) : tx);
            return t % 2 ? line + '\n' : line;
        });
        QTest::newRow("two transactions a line") << pairs << true;
        QTest::newRow("two transactions a line, CR LF") << withLineEnds(pairs, "\r\n") << true;
        const QByteArray allFaults = build(ct, 4, 15, [&](int b, int t, QByteArray tx) {
            return transactionFault(tx, faults[(b * 15 + t) % faults.size()]);
        });
        QTest::newRow("every fault") << allFaults << true;
        QTest::newRow("every fault, lone CR") << withLineEnds(allFaults, "\r") << true;
        QTest::newRow("every fault, byte-order mark") << "\xEF\xBB\xBF" + allFaults << true;
        QTest::newRow("every fault, UTF-16") << toUtf8Text(utf16le(allFaults)) << true;
        QTest::newRow("every fault, Windows-1252")
            << toUtf8Text(windows1252(replaceOnce(allFaults, "<Nm>", "<Nm>Gr\xC3\xBC\xC3\x9F"))) << true;

        const QByteArray valid = build(ct, 3, 10);
        QTest::newRow("error in the group header") << replaceOnce(valid, "<NbOfTxs>", "<NbOfTxs>x") << true;
        QTest::newRow("error in a block's own elements")
            << replaceOnce(valid, "<PmtMtd>TRF", "<PmtMtd>XXX") << true;
        QTest::newRow("group header missing")
            << replaceOnce(valid, "<GrpHdr>", "<GrpHdrX>").replace("</GrpHdr>", "</GrpHdrX>") << false;
        QTest::newRow("block element refused by its parent")
            << replaceOnce(valid, "<PmtInf>", "<PmtInf xmlns=\"urn:other\">") << false;
        QTest::newRow("later block refused by its parent") << valid.left(valid.lastIndexOf("<PmtInf>"))
                + "<PmtInf xmlns=\"urn:other\">" + valid.mid(valid.lastIndexOf("<PmtInf>") + 8)
                                                           << false;
        QTest::newRow("element between transactions")
            << replaceOnce(valid, "</CdtTrfTxInf>", "</CdtTrfTxInf><Foo/>") << true;
        QTest::newRow("element after the blocks")
            << replaceOnce(valid, "</CstmrCdtTrfInitn>", "<Foo/></CstmrCdtTrfInitn>") << false;
        QTest::newRow("text between blocks") << replaceOnce(valid, "</PmtInf>", "</PmtInf>text") << false;
        QTest::newRow("empty block") << replaceOnce(valid, "</GrpHdr>", "</GrpHdr><PmtInf/>") << true;
        QTest::newRow("prefixed elements") << QByteArray(valid)
                                                  .replace("<Document xmlns=", "<p:Document xmlns:p=")
                                                  .replace("</", "</p:")
                                                  .replace(QByteArray("<"), QByteArray("<p:"))
                                                  .replace("<p:?", "<?")
                                                  .replace("<p:/p:", "</p:")
                                                  .replace("<p:p:", "<p:")
                                           << true;
        QTest::newRow("schema location attribute")
            << replaceOnce(valid, "<Document ", "<Document xsi:schemaLocation='a b' ") << true;

        // Hostile documents.
        QTest::newRow("not well-formed in a late chunk") << build(ct, 3, 10, [](int b, int t, QByteArray tx) {
            return b == 2 && t == 7 ? transactionFault(tx, QStringLiteral("not well-formed")) : tx;
        }) << false;
        QTest::newRow("file cut in the middle of a chunk") << valid.left(valid.size() * 3 / 5) << false;
        QTest::newRow("block that never ends") << valid.left(valid.lastIndexOf("</PmtInf>")) << false;
        QByteArray deep = "<Foo>";
        for (int i = 0; i < 300; ++i)
            deep += "<Foo>";
        QTest::newRow("deep nesting") << replaceOnce(valid, "<PmtId>", "<PmtId>" + deep) << false;
        QTest::newRow("chunk boundary inside a comment")
            << replaceOnce(valid, "</PmtInf>\n", "</PmtInf>\n<!--\n    <PmtInf>\n  -->\n") << true;
        QTest::newRow("chunk boundary inside CDATA")
            << replaceOnce(valid, "<Nm>", "<Nm><![CDATA[\n      </CdtTrfTxInf>\n      <CdtTrfTxInf>\n]]>")
            << true;
        QTest::newRow("document type declaration")
            << replaceOnce(valid, "<Document", "<!DOCTYPE Document>\n<Document") << false;
    }

    void sameAsOnePass()
    {
        QFETCH(QByteArray, document);
        QFETCH(bool, cut);
        const qsizetype chunks = compareWithOnePass(document);
        if (QTest::currentTestFailed())
            return;
        if (cut)
            QVERIFY2(chunks > 1, "the document was validated in one pass");
        else
            QCOMPARE(chunks, qsizetype(0));
    }

    // The project's own files, whatever they hold, cut wherever the pre-scan allows.
    void projectFilesSameAsOnePass_data()
    {
        QTest::addColumn<QString>("path");
        for (const QString &root :
            { QStringLiteral(PRAVIK_SOURCE_DIR "/examples"), QStringLiteral(PRAVIK_TEST_DATA) }) {
            QDirIterator it(root, { QStringLiteral("*.xml") }, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                QTest::newRow(qPrintable(QDir(QStringLiteral(PRAVIK_SOURCE_DIR)).relativeFilePath(path)))
                    << path;
            }
        }
    }

    void projectFilesSameAsOnePass()
    {
        QFETCH(QString, path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        compareWithOnePass(toUtf8Text(f.readAll()));
    }

    // The cap of listed errors and its count, across chunks.
    void errorCapSameAsOnePass()
    {
        // The merge of the cap runs on one thread; under the thread checker it only costs minutes.
        if (kUnderThreadSanitizer)
            QSKIP("110,000 errors take minutes under ThreadSanitizer; the merge runs on one thread");
        const Parts ct = creditTransfer();
        QByteArray doc = ct.head;
        for (int i = 0; i < 110000; ++i)
            doc += "<PmtInf/>";
        doc += ct.tail;
        const Outcome one = validate(doc, 1, 0, nullptr);
        qsizetype chunks = 0;
        const Outcome chunked = validate(doc, 3, 100000, &chunks);
        QVERIFY(chunks > 1);
        QCOMPARE(one.lines.size(), xmlservices::kMaxListedErrors + 2);
        QVERIFY(one.lines.at(xmlservices::kMaxListedErrors).startsWith(u"unlisted 10000"));
        QCOMPARE(chunked.lines, one.lines);
    }

    // The UTF-8 check spread over threads reads every file as the one-thread conversion does, also
    // where a character or a fault straddles the places the check is cut.
    void utf8TextOnThreadsAsOnOneThread_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        // The check is cut into 32 pieces of size / 32 bytes; this size puts a cut every 40000.
        const qsizetype piece = 40000;
        QByteArray ascii(32 * piece, 'a');
        auto atEveryCut = [&](const QByteArray &what, qsizetype before) {
            QByteArray out = ascii;
            for (qsizetype cut = piece; cut < out.size(); cut += piece)
                out.replace(cut - before, what.size(), what);
            return out;
        };
        QTest::newRow("ASCII") << ascii;
        QTest::newRow("UTF-8 byte-order mark") << "\xEF\xBB\xBF" + ascii;
        for (const qsizetype before : { 1, 2, 3 }) {
            QTest::newRow(
                qPrintable(QStringLiteral("four-byte characters over every cut, %1 byte before").arg(before)))
                << atEveryCut("\xF0\x9F\x98\x80", before);
        }
        QTest::newRow("two-byte characters over every cut") << atEveryCut("\xC3\xA4", 1);
        QTest::newRow("stray continuation byte at every cut") << atEveryCut("\x80", 0);
        QTest::newRow("four continuation bytes over a cut") << atEveryCut("\x80\x80\x80\x80", 2);
        QTest::newRow("sequence cut off at the end") << ascii + "\xE2\x82";
        QTest::newRow("Windows-1252 in the last piece") << ascii + "Gr\xFC\xDF";
        QTest::newRow("UTF-16 little endian") << utf16le(ascii.left(700000));
        QByteArray be = utf16le(ascii.left(700000));
        for (qsizetype i = 0; i + 1 < be.size(); i += 2)
            std::swap(be[i], be[i + 1]);
        QTest::newRow("UTF-16 big endian") << be;
    }

    void utf8TextOnThreadsAsOnOneThread()
    {
        QFETCH(QByteArray, bytes);
        TextEncoding expected = TextEncoding::Utf8;
        const QByteArray text = toUtf8Text(bytes, &expected);
        for (const int jobs : { 2, 3 }) {
            TextEncoding found = TextEncoding::Windows1252;
            int besideRan = 0;
            const QByteArray threaded = xmlservices::toUtf8TextOnThreads(bytes, &found, jobs, [&] {
                ++besideRan;
                throw std::runtime_error("dropped");
            });
            QCOMPARE(int(found), int(expected));
            QVERIFY(threaded == text);
            QCOMPARE(besideRan, 1);
        }
    }

    // A million tiny blocks: the pre-scan stays linear.
    void millionBlocksPlannedInBoundedTime()
    {
        const Parts ct = creditTransfer();
        QByteArray doc = ct.head;
        for (int i = 0; i < 1000000; ++i)
            doc += "<PmtInf/>\n";
        doc += ct.tail;
        QElapsedTimer clock;
        clock.start();
        const chunking::Plan plan = chunking::plan(doc, 0, 1 << 20);
        QVERIFY(plan.chunks.size() >= 8);
        // Linear takes well under a second; quadratic would take hours. Generous for sanitizers.
        QVERIFY2(clock.elapsed() < 30000, "the pre-scan of a million blocks took more than 30 s");
    }
};

QTEST_GUILESS_MAIN(TestChunkedValidation)
#include "tst_chunkedvalidation.moc"

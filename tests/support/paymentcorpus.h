#pragma once
// Payment documents built from the examples for the chunked validation's differential tests: many
// blocks of many transactions, faults put into chosen transactions, and the same document in other
// layouts and encodings.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <functional>

namespace paymentcorpus {

// Under ThreadSanitizer every run is many times slower: the tests then take a smaller corpus.
#if defined(__SANITIZE_THREAD__)
inline constexpr bool kUnderThreadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
inline constexpr bool kUnderThreadSanitizer = true;
#else
inline constexpr bool kUnderThreadSanitizer = false;
#endif
#else
inline constexpr bool kUnderThreadSanitizer = false;
#endif

inline QByteArray readExample(const QString &name)
{
    QFile f(QStringLiteral(PRAVIK_SOURCE_DIR "/examples/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing example %s", qPrintable(name));
    return f.readAll();
}

// An example cut where blocks and transactions repeat; each part ends behind a line break.
struct Parts
{
    QByteArray head, blockHead, transaction, blockTail, tail;
    QByteArray transactionName;
};

inline qsizetype lineStartOf(const QByteArray &d, qsizetype at)
{
    return d.lastIndexOf('\n', at) + 1;
}

inline Parts split(const QByteArray &doc, const QByteArray &transactionName)
{
    Parts p;
    p.transactionName = transactionName;
    const QByteArray open = '<' + transactionName + '>';
    const QByteArray close = "</" + transactionName + '>';
    const qsizetype block = lineStartOf(doc, doc.indexOf("<PmtInf>"));
    const qsizetype first = lineStartOf(doc, doc.indexOf(open));
    const qsizetype firstEnd = doc.indexOf('\n', doc.indexOf(close)) + 1;
    const qsizetype lastEnd = doc.indexOf('\n', doc.lastIndexOf(close)) + 1;
    const qsizetype blockEnd = doc.indexOf('\n', doc.indexOf("</PmtInf>")) + 1;
    p.head = doc.left(block);
    p.blockHead = doc.mid(block, first - block);
    p.transaction = doc.mid(first, firstEnd - first);
    p.blockTail = doc.mid(lastEnd, blockEnd - lastEnd);
    p.tail = doc.mid(blockEnd);
    return p;
}

inline Parts creditTransfer()
{
    return split(readExample(QStringLiteral("valid-credit-transfer.xml")), "CdtTrfTxInf");
}

inline Parts directDebit()
{
    return split(readExample(QStringLiteral("valid-direct-debit.xml")), "DrctDbtTxInf");
}

// (block, transaction, its text) -> the text to write instead.
using Edit = std::function<QByteArray(int, int, QByteArray)>;

inline QByteArray build(const Parts &p, int blocks, int perBlock, const Edit &edit = {})
{
    QByteArray out = p.head;
    for (int b = 0; b < blocks; ++b) {
        out += p.blockHead;
        for (int t = 0; t < perBlock; ++t)
            out += edit ? edit(b, t, p.transaction) : p.transaction;
        out += p.blockTail;
    }
    return out + p.tail;
}

// The first occurrence of `from` replaced.
inline QByteArray replaceOnce(QByteArray text, const QByteArray &from, const QByteArray &to)
{
    const qsizetype at = text.indexOf(from);
    if (at >= 0)
        text.replace(at, from.size(), to);
    return text;
}

// Every line break and the indentation after it dropped: the document on one line.
inline QByteArray oneLine(const QByteArray &doc)
{
    QByteArray out;
    out.reserve(doc.size());
    for (qsizetype i = 0; i < doc.size(); ++i) {
        if (doc[i] == '\n') {
            while (i + 1 < doc.size() && doc[i + 1] == ' ')
                ++i;
            continue;
        }
        out += doc[i];
    }
    return out;
}

inline QByteArray withLineEnds(QByteArray doc, const QByteArray &lineEnd)
{
    return doc.replace("\n", lineEnd);
}

inline QByteArray utf16le(const QByteArray &utf8)
{
    QStringEncoder encode(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    return encode(QString::fromUtf8(utf8));
}

inline QByteArray windows1252(const QByteArray &utf8)
{
    QByteArray out;
    const QString text = QString::fromUtf8(utf8);
    for (const QChar c : text)
        out += c.unicode() < 0x100 ? char(c.unicode()) : '?';
    return out;
}

} // namespace paymentcorpus

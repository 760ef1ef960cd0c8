// pravik-check on large files: the reports of one pass (-j 1) and of the chunked validation (-j 4)
// are the same bytes, in text, JSON and JUnit, with and without the SEPA rules.

#include "tests/support/paymentcorpus.h"
#include "tests/support/programrun.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace paymentcorpus;

namespace {

using testsupport::Run;
using testsupport::runCheck;

// The durations and the date of a JUnit report differ from run to run.
QByteArray withoutTimes(QByteArray junit)
{
    static const QRegularExpression times(QStringLiteral("(time|timestamp)=\"[^\"]*\""));
    return QString::fromUtf8(junit).replace(times, QStringLiteral("\\1=\"\"")).toUtf8();
}

} // namespace

class TestChunkedReports : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private Q_SLOTS:
    void sameReportsAsOnePass_data()
    {
        QTest::addColumn<QByteArray>("document");
        const Parts ct = creditTransfer();
        const QByteArray errors = build(ct, 4, 350, [](int b, int t, QByteArray tx) {
            if ((b * 350 + t) % 61 == 3)
                return replaceOnce(tx, "<IBAN>DE", "<IBAN>de");
            if ((b * 350 + t) % 89 == 7)
                return replaceOnce(tx, "</PmtId>", "</PmtId><Foo/>");
            if ((b * 350 + t) % 97 == 11)
                return replaceOnce(tx, "<EndToEndId>", "<EndToEndId>\xC3\xA4\xF0\x9F\x98\x80")
                    .replace("RE-", "");
            return tx;
        });
        QTest::newRow("valid") << build(ct, 4, 350);
        QTest::newRow("errors") << errors;
        QTest::newRow("not well-formed late") << errors.left(errors.size() - 3000) + "</Foo>";
        if (kUnderThreadSanitizer)
            return;
        QTest::newRow("errors on one line") << oneLine(errors);
        QTest::newRow("errors, CR LF") << withLineEnds(errors, "\r\n");
        QTest::newRow("errors, UTF-16") << utf16le(errors);
        QTest::newRow("errors, Windows-1252") << windows1252(errors);
        QTest::newRow("direct debits") << build(directDebit(), 3, 400, [](int, int t, QByteArray tx) {
            return t % 50 == 1 ? replaceOnce(tx, "Ccy=\"EUR\"", "Ccy=\"EURO\"") : tx;
        });
    }

    void sameReportsAsOnePass()
    {
        QFETCH(QByteArray, document);
        QVERIFY(document.size() > (512 << 10)); // large enough to be cut into chunks
        const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(document);
        f.close();
        QList<QStringList> formats { { QStringLiteral("--rules") },
            { QStringLiteral("--json"), QStringLiteral("--rules") },
            { QStringLiteral("--format"), QStringLiteral("junit") } };
        if (kUnderThreadSanitizer)
            formats.resize(1); // the threads are the same whatever the format
        for (const QStringList &format : formats) {
            const Run one = runCheck(QStringList { QStringLiteral("-j1") } + format + QStringList { path });
            const Run chunked
                = runCheck(QStringList { QStringLiteral("-j4") } + format + QStringList { path });
            QVERIFY(one.status >= 0);
            QCOMPARE(chunked.status, one.status);
            QCOMPARE(chunked.err, one.err);
            QCOMPARE(withoutTimes(chunked.out), withoutTimes(one.out));
        }
    }
};

QTEST_GUILESS_MAIN(TestChunkedReports)
#include "tst_chunkedreports.moc"

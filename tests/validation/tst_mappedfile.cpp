// A file mapped for reading: what is mapped, what is read, and a file shortened while it is mapped.

#include "validation/mappedfile.h"

#include "platform/exception.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

class TestMappedFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsWhatTheFileHolds_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("mapped");
        QTest::newRow("a regular file is mapped") << QByteArray("<Document/>\n") << true;
        QTest::newRow("an empty file is read") << QByteArray() << false;
    }

    void readsWhatTheFileHolds()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, mapped);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.xml"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        MappedFile file;
        QCOMPARE(file.open(path), content);
        QCOMPARE(file.isMapped(), mapped);
        QVERIFY(!file.changedWhileRead());
    }

    void refusesWhatReadingRefuses_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing file") << QStringLiteral("missing");
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("pipe") << QStringLiteral("fifo");
    }

    void refusesWhatReadingRefuses()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("x"));
        if (kind == u"folder")
            path = dir.path();
        if (kind == u"fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        MappedFile file;
        QString mapMessage;
        try {
            file.open(path);
        } catch (const EFOpenError &e) {
            mapMessage = e.message();
        }
        QString readMessage;
        try {
            readFileBytes(path);
        } catch (const EFOpenError &e) {
            readMessage = e.message();
        }
        QVERIFY(!readMessage.isEmpty());
        QCOMPARE(mapMessage, readMessage);
    }

    // Reading a page past the new end raises SIGBUS; the page reads as zeros and the file is reported.
    void fileShortenedWhileMappedIsReportedNotFatal()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.xml"));
        const qsizetype size = 1 << 20;
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
        f.close();
        MappedFile file;
        const QByteArray bytes = file.open(path);
        QVERIFY(file.isMapped());
        QCOMPARE(bytes.at(size - 1), 'x');
        QCOMPARE(::truncate(QFile::encodeName(path).constData(), 4096), 0);
        QCOMPARE(bytes.at(4095), 'x');
        QCOMPARE(bytes.at(size - 1), '\0');
        QVERIFY(file.changedWhileRead());
    }

    void fileRewrittenWhileMappedIsReported()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("f.xml"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<a/>\n");
        f.close();
        MappedFile file;
        file.open(path);
        QVERIFY(!file.changedWhileRead());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Append));
        f.write("<b/>\n");
        f.close();
        QVERIFY(file.changedWhileRead());
    }
};

QTEST_GUILESS_MAIN(TestMappedFile)
#include "tst_mappedfile.moc"

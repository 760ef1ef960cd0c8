// File names that are not UTF-8: the lossless form, its bytes, and finding a file from a name Qt
// decoded with replacement characters.

#include "platform/filename.h"

#include "../support/rawtempdir.h"

#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>

#include <cstdio>

namespace {

bool createFile(const QByteArray &path)
{
    std::FILE *f = std::fopen(path.constData(), "wb");
    if (!f)
        return false;
    std::fputs("<a/>", f);
    return std::fclose(f) == 0;
}

} // namespace

class TestFileName : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bytesComeBackExactly_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("raw");
        QTest::newRow("ASCII") << QByteArray("/tmp/run-42.xml") << false;
        QTest::newRow("UTF-8 umlaut") << QByteArray("/tmp/\xC3\x9C"
                                                    "berweisung.xml")
                                      << false;
        QTest::newRow("four-byte UTF-8") << QByteArray("\xF0\x9F\x92\xB6.xml") << false;
        QTest::newRow("Latin-1 byte") << QByteArray("/tmp/\xDC"
                                                    "berweisung.xml")
                                      << true;
        QTest::newRow("Latin-1 byte at the end") << QByteArray("M\xFC") << true;
        QTest::newRow("overlong encoding") << QByteArray("a\xC0\xAF"
                                                         "b")
                                           << true;
        QTest::newRow("encoded surrogate") << QByteArray("a\xED\xB3\x9C"
                                                         "b")
                                           << true;
        QTest::newRow("sequence cut short") << QByteArray("a\xE2\x82") << true;
        QTest::newRow("beyond U+10FFFF") << QByteArray("\xF5\x80\x80\x80") << true;
        QTest::newRow("UTF-8 and raw bytes mixed") << QByteArray("\xC3\xA4\xE4\xC3\xA4") << true;
    }

    void bytesComeBackExactly()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, raw);
        const QString name = decodeFileName(bytes);
        QCOMPARE(encodeFileName(name), bytes);
        QCOMPARE(hasRawBytes(name), raw);
        if (!raw)
            QCOMPARE(name, QString::fromUtf8(bytes));
        // For display every raw byte is a replacement character, and the rest is as decoded.
        const QString shown = displayFileName(name);
        QCOMPARE(shown.toUtf8().isValidUtf8(), true);
        QCOMPARE(hasRawBytes(shown), false);
    }

    void existingFileIsFound()
    {
        testsupport::RawTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path());
        const QByteArray latin1 = folder
            + "/\xDC"
              "berweisung.xml";
        QVERIFY(createFile(latin1));
        const QString name = decodeFileName(latin1);
        QVERIFY(fileNameExists(name));
        QVERIFY(fileNameIsFile(name));
        QVERIFY(!fileNameIsFile(dir.path()));
        QVERIFY(!fileNameExists(QFile::decodeName(latin1))); // Qt's own decoding loses the byte
    }

    // The tests' temporary folders go with their raw names, which Qt's own removal cannot list.
    void rawNamesLeaveNoFolderBehind()
    {
        QString path;
        {
            testsupport::RawTemporaryDir dir;
            QVERIFY(dir.isValid());
            path = dir.path();
            const QByteArray folder = QFile::encodeName(path);
            QVERIFY(createFile(folder + "/\xDC.xml"));
            QCOMPARE(::mkdir((folder + "/\xC4rger").constData(), 0700), 0);
            QVERIFY(createFile(folder + "/\xC4rger/\xD6l.xml"));
        }
        QVERIFY(!QFileInfo::exists(path));
    }

    void resolvingANameQtDecoded()
    {
        testsupport::RawTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path());
        QVERIFY(createFile(folder
            + "/\xDC"
              "ber.xml"));
        QVERIFY(createFile(folder + "/\xC4nderung.xml"));
        QVERIFY(createFile(folder + "/\xD6l.xml"));
        QVERIFY(createFile(folder + "/\xDCl.xml"));
        // One entry fits: the lossless name.
        QCOMPARE(encodeFileName(resolveFileName(QFile::decodeName(folder
                     + "/\xDC"
                       "ber.xml"))),
            folder
                + "/\xDC"
                  "ber.xml");
        // Two entries fit "\uFFFDl.xml": the name stays as it was.
        const QString ambiguous = QFile::decodeName(folder + "/\xD6l.xml");
        QCOMPARE(resolveFileName(ambiguous), ambiguous);
        // A name that exists or has nothing replaced is returned unchanged.
        QCOMPARE(resolveFileName(dir.path()), dir.path());
        const QString missing = QFile::decodeName(folder
            + "/\xDC"
              "brig.xml");
        QCOMPARE(resolveFileName(missing), missing);
    }
};

QTEST_GUILESS_MAIN(TestFileName)
#include "tst_filename.moc"

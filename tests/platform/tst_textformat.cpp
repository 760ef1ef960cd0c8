// The text format's line ends and trimming; encodings are tst_textdecoding's.

#include "platform/textformat.h"

#include <QTest>

class TestTextFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lineEndLength_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("expected");
        QTest::newRow("CR LF") << QByteArray("\r\nx") << 2;
        QTest::newRow("LF") << QByteArray("\nx") << 1;
        QTest::newRow("lone CR") << QByteArray("\rx") << 1;
        QTest::newRow("CR at the very end") << QByteArray("\r") << 1;
        QTest::newRow("LF before CR is a line end of its own") << QByteArray("\n\r") << 1;
        QTest::newRow("no line end") << QByteArray("x\n") << 0;
    }
    void lineEndLength()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, expected);
        QCOMPARE(::lineEndLength(bytes.constData(), bytes.constData() + bytes.size()), expected);
    }

    void dominantLineEnd_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<int>("expected");
        QTest::newRow("no line end") << QByteArray("abc") << int(LineEnd::CrLf);
        QTest::newRow("CR LF only") << QByteArray("a\r\nb\r\n") << int(LineEnd::CrLf);
        QTest::newRow("LF only") << QByteArray("a\nb\n") << int(LineEnd::Lf);
        QTest::newRow("lone CR only") << QByteArray("a\rb\r") << int(LineEnd::Cr);
        QTest::newRow("mostly LF, one CR LF") << QByteArray("a\r\nb\nc\nd") << int(LineEnd::Lf);
        QTest::newRow("mostly CR LF, one LF") << QByteArray("a\r\nb\r\nc\nd") << int(LineEnd::CrLf);
        QTest::newRow("CR followed by CR LF") << QByteArray("\r\r\n\r") << int(LineEnd::Cr);
    }
    void dominantLineEnd()
    {
        QFETCH(QByteArray, document);
        QFETCH(int, expected);
        QCOMPARE(int(::dominantLineEnd(document.constData(), document.size())), expected);
    }

    // Eight bytes at a time: hits in every place of a word, at the ends and in the odd tail.
    void byteScans_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("shorter than a word") << QByteArray("a\nb");
        QTest::newRow("line ends in every place of a word") << QByteArray("\n\r\na\r\n\rb\n\r\n\r\n\n\r\r\r");
        QTest::newRow("plain run ending in the tail") << QByteArray("abcdefghijklm\n");
        QTest::newRow("byte above 0x7F in the middle of a word") << QByteArray("abcdefghij\xC3\xA4klmnop\n");
        QTest::newRow("bytes one off from CR and LF")
            << QByteArray("\x0B\x0C\x0E\x09\x8A\x8D\x0B\x0C\x0B\x0C\n");
        QTest::newRow("no hit at all") << QByteArray(100, 'x');
    }
    void byteScans()
    {
        QFETCH(QByteArray, bytes);
        for (const char byte : { '\r', '\n', 'x' })
            QCOMPARE(countByte(bytes.constData(), bytes.size(), byte), bytes.count(byte));
        qsizetype run = 0;
        while (run < bytes.size() && uchar(bytes[run]) < 0x80 && bytes[run] != '\r' && bytes[run] != '\n')
            ++run;
        QCOMPARE(plainAsciiRun(bytes.constData(), bytes.size()), run);
        // From every start, so that each byte meets every place in a word.
        for (qsizetype from = 1; from < bytes.size(); ++from)
            QCOMPARE(
                countByte(bytes.constData() + from, bytes.size() - from, '\n'), bytes.mid(from).count('\n'));
    }

    void trimControls_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("blanks and line breaks at both ends")
            << QStringLiteral(" \t<Nm>\r\n") << QStringLiteral("<Nm>");
        QTest::newRow("control characters up to U+0020")
            << QStringLiteral("\x01\x1f a \x1f\x01") << QStringLiteral("a");
        QTest::newRow("NUL at both ends") << QString::fromUtf16(u"\0a\0", 3) << QStringLiteral("a");
        QTest::newRow("blanks inside kept") << QStringLiteral(" a \t b ") << QStringLiteral("a \t b");
        QTest::newRow("DEL and no-break space are kept")
            << QStringLiteral("\x7f\u00a0a\u00a0\x7f") << QStringLiteral("\x7f\u00a0a\u00a0\x7f");
        QTest::newRow("nothing but blanks") << QStringLiteral(" \r\n\t ") << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void trimControls()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(::trimControls(text), expected);
    }
};

QTEST_APPLESS_MAIN(TestTextFormat)
#include "tst_textformat.moc"

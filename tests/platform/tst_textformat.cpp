// The text format's UTF-8 grammar, byte scans, line ends and trimming; encodings are
// tst_textdecoding's.

#include "platform/textformat.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTest>

namespace {

// The byte-by-byte check that the word-at-a-time one replaced, kept as the reference.
bool referenceIsValidUtf8(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    const uchar *const end = p + bytes.size();
    while (p < end) {
        const uchar c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        uchar lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            lo = c == 0xE0 ? 0xA0 : lo;
            hi = c == 0xED ? 0x9F : hi;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            lo = c == 0xF0 ? 0x90 : lo;
            hi = c == 0xF4 ? 0x8F : hi;
        } else {
            return false;
        }
        if (end - p <= extra || p[1] < lo || p[1] > hi)
            return false;
        for (int i = 2; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
        }
        p += extra + 1;
    }
    return true;
}

// Qt's own decoder, an independent judge: strict UTF-8 decodes without an error.
bool qtDecodesWithoutError(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

// Mostly ASCII with characters of every length, then a few bytes changed at random.
QByteArray randomText(QRandomGenerator &random)
{
    static const QByteArray pieces[] = { "a", "<Nm>", "\xC3\xA4", "\xE2\x82\xAC", "\xF0\x9D\x84\x9E",
        "\xED\x9F\xBF", "\xEF\xBF\xBD", "\xF4\x8F\xBF\xBF", QByteArray(40, 'x') };
    QByteArray bytes;
    const int count = int(random.bounded(1, 30));
    for (int i = 0; i < count; ++i)
        bytes += pieces[random.bounded(int(std::size(pieces)))];
    const int changes = int(random.bounded(3));
    for (int i = 0; i < changes && !bytes.isEmpty(); ++i)
        bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
    return bytes;
}

} // namespace

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
        QTest::newRow("hits after two sixteen-byte blocks")
            << QByteArray(37, 'x') + "\r\xC3\xA4\n" + QByteArray(20, 'y');
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
        qsizetype breakAt = 0;
        while (breakAt < bytes.size() && bytes[breakAt] != '\r' && bytes[breakAt] != '\n')
            ++breakAt;
        QCOMPARE(findLineBreak(bytes.constData(), bytes.size()), breakAt);
    }

    // Each row is judged at every alignment, behind ASCII and before ASCII, so that it falls in
    // every place of a sixteen-byte block and across the end of the fast path.
    void validUtf8_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("valid");
        QTest::newRow("ASCII") << QByteArray("<Nm>Mueller</Nm>") << true;
        QTest::newRow("two-byte character") << QByteArray("\xC3\xA4") << true;
        QTest::newRow("three-byte character") << QByteArray("\xE2\x82\xAC") << true;
        QTest::newRow("four-byte character") << QByteArray("\xF0\x9D\x84\x9E") << true;
        QTest::newRow("highest code point U+10FFFF") << QByteArray("\xF4\x8F\xBF\xBF") << true;
        QTest::newRow("last before the surrogates U+D7FF") << QByteArray("\xED\x9F\xBF") << true;
        QTest::newRow("run of umlauts") << QByteArray("Gr\xC3\xBC\xC3\x9F\xC3\xA9\xC3\xA4") << true;
        QTest::newRow("overlong two-byte slash") << QByteArray("\xC0\xAF") << false;
        QTest::newRow("overlong C1 lead") << QByteArray("\xC1\xBF") << false;
        QTest::newRow("overlong three-byte") << QByteArray("\xE0\x9F\xBF") << false;
        QTest::newRow("overlong four-byte") << QByteArray("\xF0\x8F\xBF\xBF") << false;
        QTest::newRow("high surrogate") << QByteArray("\xED\xA0\x80") << false;
        QTest::newRow("low surrogate") << QByteArray("\xED\xBF\xBF") << false;
        QTest::newRow("above U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << false;
        QTest::newRow("lead F5") << QByteArray("\xF5\x80\x80\x80") << false;
        QTest::newRow("byte FF") << QByteArray("\xFF") << false;
        QTest::newRow("lone continuation byte") << QByteArray("\x80") << false;
        QTest::newRow("two-byte lead before ASCII") << QByteArray("\xC3"
                                                                  "a")
                                                    << false;
        QTest::newRow("three-byte sequence missing its last byte") << QByteArray("\xE2\x82"
                                                                                 "a")
                                                                   << false;
        QTest::newRow("four-byte sequence with a bad third byte") << QByteArray("\xF0\x9D\x24\x9E") << false;
    }
    void validUtf8()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, valid);
        QCOMPARE(referenceIsValidUtf8(bytes), valid);
        for (int offset = 0; offset < 16; ++offset) {
            for (const QByteArray &after : { QByteArray(), QByteArray(40, 'z') }) {
                const QByteArray text = QByteArray(offset, 'a') + bytes + after;
                QVERIFY2(
                    isValidUtf8(text.constData(), text.size()) == valid, qPrintable(QString::number(offset)));
            }
        }
        // Cut anywhere, at any alignment: a sequence cut off at the very end is no character.
        for (qsizetype cut = 1; cut < bytes.size(); ++cut) {
            for (int offset = 0; offset < 16; ++offset) {
                const QByteArray text = QByteArray(offset, 'a') + bytes.first(cut);
                QCOMPARE(isValidUtf8(text.constData(), text.size()), referenceIsValidUtf8(text));
            }
        }
        if (valid && uchar(bytes.back()) >= 0x80)
            QVERIFY(!isValidUtf8(bytes.constData(), bytes.size() - 1));
    }

    void validUtf8AgreesWithTheByteByByteCheck()
    {
        QRandomGenerator random(27);
        int validOnes = 0;
        for (int i = 0; i < 20000; ++i) {
            const QByteArray bytes = randomText(random);
            const bool valid = referenceIsValidUtf8(bytes);
            validOnes += valid ? 1 : 0;
            QVERIFY2(isValidUtf8(bytes.constData(), bytes.size()) == valid, bytes.toHex(' ').constData());
            QVERIFY2(qtDecodesWithoutError(bytes) == valid, bytes.toHex(' ').constData());
        }
        // Both kinds were met often.
        QVERIFY(validOnes > 2000 && validOnes < 18000);
    }

    // The units of well-formed UTF-8 counted a word at a time, over more words than a lane holds.
    void utf16LengthOfValidUtf8_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("ASCII shorter than a word") << QByteArray("abc");
        QTest::newRow("characters of every length")
            << QByteArray("a\xC3\xA4\xE2\x82\xAC\xF0\x9D\x84\x9E\xF4\x8F\xBF\xBFz");
        QTest::newRow("four-byte characters beyond 255 words")
            << QByteArray("\xF0\x9D\x84\x9E").repeated(700);
        QTest::newRow("mixed beyond 255 words")
            << QByteArray("<Nm>M\xC3\xBCller \xE2\x82\xAC \xF0\x9D\x84\x9E</Nm>\r\n").repeated(200);
    }
    void utf16LengthOfValidUtf8()
    {
        QFETCH(QByteArray, bytes);
        const qsizetype expected = QString::fromUtf8(bytes).size();
        for (qsizetype from = 0; from < std::min<qsizetype>(bytes.size(), 16); ++from) {
            if (isUtf8Continuation(uchar(bytes[from])))
                continue;
            const qsizetype units = QString::fromUtf8(bytes.sliced(from)).size();
            QCOMPARE(::utf16LengthOfValidUtf8(bytes.constData() + from, bytes.size() - from), units);
        }
        QCOMPARE(::utf16LengthOfValidUtf8(bytes.constData(), bytes.size()), expected);
        QCOMPARE(::utf16Length(bytes.constData(), bytes.size()), expected);
    }

    void countByteBeyondTheLanes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("every byte a hit, more than 255 words") << QByteArray(255 * 8 * 3 + 5, '\n');
        QTest::newRow("one hit in every word") << QByteArray("\nabcdefg").repeated(1000);
    }
    void countByteBeyondTheLanes()
    {
        QFETCH(QByteArray, bytes);
        QCOMPARE(countByte(bytes.constData(), bytes.size(), '\n'), bytes.count('\n'));
    }

    void splitLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("no line end") << QStringLiteral("a b") << QStringList { QStringLiteral("a b") };
        QTest::newRow("empty text is one line") << QString() << QStringList { QString() };
        QTest::newRow("CR LF, LF and lone CR") << QStringLiteral("a\r\nb\nc\rd")
                                               << QStringList { QStringLiteral("a"), QStringLiteral("b"),
                                                      QStringLiteral("c"), QStringLiteral("d") };
        QTest::newRow("line end at the very end opens no line")
            << QStringLiteral("a\r\n") << QStringList { QStringLiteral("a") };
        QTest::newRow("LF before CR makes an empty line") << QStringLiteral(
            "a\n\rb") << QStringList { QStringLiteral("a"), QString(), QStringLiteral("b") };
        QTest::newRow("only a line end") << QStringLiteral("\n") << QStringList { QString() };
    }
    void splitLines()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(::splitLines(text), lines);
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

// Decoding and encoding of payment files: every byte string must load and save back unchanged, and
// the validation text must be what the editor would hand to the engine.

#include "platform/exception.h"
#include "platform/textfile.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out.append(char(v));
    return out;
}

QByteArray allByteValues()
{
    QByteArray out;
    for (int i = 0; i < 256; ++i)
        out.append(char(i));
    return out;
}

QByteArray utf16(const QString &text, bool bigEndian, bool bom = true)
{
    QByteArray out;
    if (bom)
        out = bigEndian ? bytesOf({ 0xFE, 0xFF }) : bytesOf({ 0xFF, 0xFE });
    for (const QChar c : text) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
        out.append(bigEndian ? hi : lo).append(bigEndian ? lo : hi);
    }
    return out;
}

QString chars(std::initializer_list<char16_t> units)
{
    QString out;
    for (const char16_t u : units)
        out.append(QChar(u));
    return out;
}

const QByteArray kUtf8Bom = bytesOf({ 0xEF, 0xBB, 0xBF });

} // namespace

class TestTextDecoding : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesBytes_data();
    void decodesBytes();
    void roundTripsExactly_data();
    void roundTripsExactly();
    void roundTripsEveryShortFile();
    void roundTripsRandomFiles();
    void validationTextMatchesEditorText_data();
    void validationTextMatchesEditorText();
    void validationTextOfUtf8FileIsNotCopied();
    void refusesUnrepresentableCharacters_data();
    void refusesUnrepresentableCharacters();
};

void TestTextDecoding::decodesBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QString>("text");

    const QString umlauts = QStringLiteral(u"Müller & Söhne – 5 €");
    QTest::newRow("empty file") << QByteArray() << TextEncoding::Utf8 << QString();
    QTest::newRow("UTF-8 byte-order mark only") << kUtf8Bom << TextEncoding::Utf8Bom << QString();
    QTest::newRow("UTF-16 LE byte-order mark only")
        << bytesOf({ 0xFF, 0xFE }) << TextEncoding::Utf16LE << QString();
    QTest::newRow("UTF-16 BE byte-order mark only")
        << bytesOf({ 0xFE, 0xFF }) << TextEncoding::Utf16BE << QString();
    QTest::newRow("ASCII") << QByteArray("<Nm>A</Nm>") << TextEncoding::Utf8 << QStringLiteral("<Nm>A</Nm>");
    QTest::newRow("UTF-8 umlauts") << umlauts.toUtf8() << TextEncoding::Utf8 << umlauts;
    QTest::newRow("UTF-8 with byte-order mark")
        << kUtf8Bom + umlauts.toUtf8() << TextEncoding::Utf8Bom << umlauts;
    QTest::newRow("UTF-8 four-byte character")
        << bytesOf({ 'a', 0xF0, 0x9F, 0x92, 0xB6 }) << TextEncoding::Utf8 << QStringLiteral(u"a\U0001F4B6");
    QTest::newRow("UTF-16 LE") << utf16(umlauts, false) << TextEncoding::Utf16LE << umlauts;
    QTest::newRow("UTF-16 BE") << utf16(umlauts, true) << TextEncoding::Utf16BE << umlauts;
    QTest::newRow("UTF-16 LE surrogate pair") << utf16(QStringLiteral(u"\U0001F4B6"), false)
                                              << TextEncoding::Utf16LE << QStringLiteral(u"\U0001F4B6");
    QTest::newRow("UTF-16 LE unpaired high surrogate kept")
        << bytesOf({ 0xFF, 0xFE, 'a', 0, 0x00, 0xD8, 'b', 0 }) << TextEncoding::Utf16LE
        << chars({ u'a', 0xD800, u'b' });
    QTest::newRow("UTF-16 BE unpaired low surrogate kept")
        << bytesOf({ 0xFE, 0xFF, 0xDC, 0x00 }) << TextEncoding::Utf16BE << chars({ 0xDC00 });

    // Windows-1252, and everything that looks like another encoding but does not fit it.
    QTest::newRow("Windows-1252 euro and dash")
        << bytesOf({ 0x80, ' ', 0x96, ' ', 0xFC }) << TextEncoding::Windows1252 << QStringLiteral(u"€ – ü");
    QTest::newRow("Windows-1252 unassigned bytes as C1 controls")
        << bytesOf({ 0x81, 0x8D, 0x8F, 0x90, 0x9D }) << TextEncoding::Windows1252
        << chars({ 0x81, 0x8D, 0x8F, 0x90, 0x9D });
    QTest::newRow("UTF-16 LE with odd trailing byte")
        << bytesOf({ 0xFF, 0xFE, 'a', 0, 'b' }) << TextEncoding::Windows1252
        << chars({ 0xFF, 0xFE, u'a', 0, u'b' });
    QTest::newRow("UTF-8 mark followed by invalid UTF-8")
        << kUtf8Bom + bytesOf({ 'a', 0xE4 }) << TextEncoding::Windows1252 << QStringLiteral(u"ï»¿aä");
    QTest::newRow("overlong two-byte UTF-8 form")
        << bytesOf({ 0xC0, 0xAF }) << TextEncoding::Windows1252 << QStringLiteral(u"À¯");
    QTest::newRow("overlong three-byte UTF-8 form")
        << bytesOf({ 0xE0, 0x80, 0xAF }) << TextEncoding::Windows1252 << QStringLiteral(u"à€¯");
    QTest::newRow("overlong four-byte UTF-8 form")
        << bytesOf({ 0xF0, 0x8F, 0xBF, 0xBF }) << TextEncoding::Windows1252
        << chars({ 0xF0, 0x8F, 0xBF, 0xBF });
    QTest::newRow("UTF-8 encoded surrogate")
        << bytesOf({ 0xED, 0xA0, 0x80 }) << TextEncoding::Windows1252 << chars({ 0xED, 0xA0, 0x20AC });
    QTest::newRow("code point above U+10FFFF")
        << bytesOf({ 0xF4, 0x90, 0x80, 0x80 }) << TextEncoding::Windows1252
        << chars({ 0xF4, 0x0090, 0x20AC, 0x20AC });
    QTest::newRow("UTF-8 sequence cut off at the end")
        << bytesOf({ 'a', 'b', 0xC3 }) << TextEncoding::Windows1252 << QStringLiteral(u"abÃ");
    QTest::newRow("invalid byte right after eight ASCII bytes")
        << QByteArray("abcdefgh\xFF") << TextEncoding::Windows1252 << QStringLiteral(u"abcdefghÿ");
    QTest::newRow("continuation byte without a lead byte") << QByteArray(
        "abcdefghijklmno\x80") << TextEncoding::Windows1252 << QStringLiteral(u"abcdefghijklmno€");
}

void TestTextDecoding::decodesBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(TextEncoding, encoding);
    QFETCH(QString, text);

    const DecodedText decoded = decodeText(bytes);
    QCOMPARE(encodingName(decoded.encoding), encodingName(encoding));
    QCOMPARE(decoded.text, text);
}

void TestTextDecoding::roundTripsExactly_data()
{
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray mixedEnds("<a>\r\n<b/>\n<c/>\r<d/>\r\n\r\n</a>\n\r");
    const QString mixedText = QString::fromLatin1(mixedEnds) + QStringLiteral(u"€ü\U0001F4B6");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("all 256 byte values without mark") << allByteValues();
    QByteArray reversed = allByteValues();
    std::reverse(reversed.begin(), reversed.end());
    QTest::newRow("all 256 byte values starting FF FE") << reversed;
    QTest::newRow("all byte values after UTF-8 mark") << kUtf8Bom + allByteValues();
    QTest::newRow("all byte values after UTF-16 BE mark") << bytesOf({ 0xFE, 0xFF }) + allByteValues();
    QTest::newRow("UTF-8 mark only") << kUtf8Bom;
    QTest::newRow("UTF-16 LE mark only") << bytesOf({ 0xFF, 0xFE });
    QTest::newRow("UTF-16 BE mark only") << bytesOf({ 0xFE, 0xFF });
    QTest::newRow("mixed line ends UTF-8") << mixedText.toUtf8();
    QTest::newRow("mixed line ends UTF-8 with mark") << kUtf8Bom + mixedText.toUtf8();
    QTest::newRow("mixed line ends UTF-16 LE") << utf16(mixedText, false);
    QTest::newRow("mixed line ends UTF-16 BE") << utf16(mixedText, true);
    QTest::newRow("mixed line ends Windows-1252") << mixedEnds + bytesOf({ 0x80, 0xFC, 0x9D });
    QTest::newRow("UTF-16 with odd byte count") << bytesOf({ 0xFE, 0xFF, 0, 'a', 0 });
    QTest::newRow("UTF-16 with unpaired surrogates") << bytesOf({ 0xFF, 0xFE, 0x00, 0xDC, 0x00, 0xD8 });
    QTest::newRow("NUL bytes in UTF-8") << QByteArray("a\0b\0", 4);
}

void TestTextDecoding::roundTripsExactly()
{
    QFETCH(QByteArray, bytes);
    const DecodedText decoded = decodeText(bytes);
    QCOMPARE(encodeText(decoded.text, decoded.encoding), bytes);
}

// Every file of one or two bytes: this covers each lead byte and each mark prefix on its own.
void TestTextDecoding::roundTripsEveryShortFile()
{
    for (int a = 0; a < 256; ++a) {
        const QByteArray one(1, char(a));
        QCOMPARE(encodeText(decodeText(one).text, decodeText(one).encoding), one);
        for (int b = 0; b < 256; ++b) {
            const QByteArray two = one + char(b);
            const DecodedText decoded = decodeText(two);
            if (encodeText(decoded.text, decoded.encoding) != two)
                QFAIL(qPrintable(QStringLiteral("%1 does not survive a load and a save")
                                     .arg(QString::fromLatin1(two.toHex()))));
        }
    }
}

// Random files drawn towards the hard cases: marks at the start, high bytes, broken sequences.
void TestTextDecoding::roundTripsRandomFiles()
{
    QRandomGenerator rng(20251210);
    const QByteArray prefixes[]
        = { QByteArray(), kUtf8Bom, bytesOf({ 0xFF, 0xFE }), bytesOf({ 0xFE, 0xFF }) };
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes = prefixes[rng.bounded(4)];
        const int length = rng.bounded(40);
        for (int i = 0; i < length; ++i) {
            const int kind = rng.bounded(4);
            bytes.append(char(kind == 0 ? rng.bounded(0x80)
                    : kind == 1         ? 0x80 + rng.bounded(0x40)
                    : kind == 2         ? 0xC0 + rng.bounded(0x40)
                                        : rng.bounded(256)));
        }
        const DecodedText decoded = decodeText(bytes);
        if (encodeText(decoded.text, decoded.encoding) != bytes)
            QFAIL(qPrintable(QStringLiteral("%1 does not survive a load and a save")
                                 .arg(QString::fromLatin1(bytes.toHex()))));
        const QByteArray forValidation = toUtf8Text(bytes);
        if (forValidation != toUtf8KeepingSurrogates(decoded.text))
            QFAIL(qPrintable(QStringLiteral("%1 is validated as other text than shown")
                                 .arg(QString::fromLatin1(bytes.toHex()))));
    }
}

void TestTextDecoding::validationTextMatchesEditorText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<TextEncoding>("encoding");

    const QString text = QStringLiteral(u"<Nm>Müller – 5 €</Nm>\r\n");
    QTest::newRow("UTF-8") << text.toUtf8() << text.toUtf8() << TextEncoding::Utf8;
    QTest::newRow("UTF-8 with mark loses the mark")
        << kUtf8Bom + text.toUtf8() << text.toUtf8() << TextEncoding::Utf8Bom;
    QTest::newRow("UTF-16 LE") << utf16(text, false) << text.toUtf8() << TextEncoding::Utf16LE;
    QTest::newRow("UTF-16 BE") << utf16(text, true) << text.toUtf8() << TextEncoding::Utf16BE;
    QTest::newRow("Windows-1252") << QByteArray("<Nm>M\xFCller \x96 5 \x80</Nm>\r\n") << text.toUtf8()
                                  << TextEncoding::Windows1252;
    QTest::newRow("Windows-1252 unassigned byte")
        << bytesOf({ 0x9D }) << bytesOf({ 0xC2, 0x9D }) << TextEncoding::Windows1252;
    QTest::newRow("UTF-16 unpaired surrogate stays itself")
        << bytesOf({ 0xFF, 0xFE, 'a', 0, 0x00, 0xD8, 'b', 0 }) << bytesOf({ 'a', 0xED, 0xA0, 0x80, 'b' })
        << TextEncoding::Utf16LE;
    QTest::newRow("UTF-16 surrogate pair") << utf16(QStringLiteral(u"\U0001F4B6"), true)
                                           << bytesOf({ 0xF0, 0x9F, 0x92, 0xB6 }) << TextEncoding::Utf16BE;
    QTest::newRow("empty file") << QByteArray() << QByteArray() << TextEncoding::Utf8;
    QTest::newRow("UTF-8 mark only") << kUtf8Bom << QByteArray() << TextEncoding::Utf8Bom;
}

void TestTextDecoding::validationTextMatchesEditorText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, utf8);
    QFETCH(TextEncoding, encoding);

    TextEncoding found = TextEncoding::Windows1252;
    QCOMPARE(toUtf8Text(bytes, &found), utf8);
    QCOMPARE(encodingName(found), encodingName(encoding));
    QCOMPARE(toUtf8Text(bytes), toUtf8KeepingSurrogates(decodeText(bytes).text));
}

void TestTextDecoding::validationTextOfUtf8FileIsNotCopied()
{
    const QByteArray bytes = QStringLiteral(u"<Nm>Müller</Nm>").toUtf8().repeated(1000);
    QCOMPARE(toUtf8Text(bytes).constData(), bytes.constData());
}

void TestTextDecoding::refusesUnrepresentableCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<TextEncoding>("encoding");
    QTest::addColumn<QString>("message");

    QTest::newRow("Greek letter in Windows-1252")
        << QStringLiteral(u"<a>\n  Ωmega</a>") << TextEncoding::Windows1252
        << QStringLiteral(
               u"The character \"Ω\" (U+03A9) in line 2, column 3 cannot be saved as Windows-1252.");
    QTest::newRow("C1 control that Windows-1252 uses for the euro")
        << chars({ 0x80 }) << TextEncoding::Windows1252
        << QStringLiteral("The character U+0080 in line 1, column 1 cannot be saved as Windows-1252.");
    QTest::newRow("character outside the basic plane in Windows-1252")
        << QStringLiteral(u"x\U0001F4B6") << TextEncoding::Windows1252
        << QStringLiteral(u"The character \"\U0001F4B6\" (U+1F4B6) in line 1, column 2 cannot be saved as "
                          u"Windows-1252.");
    QTest::newRow("unpaired surrogate in UTF-8")
        << chars({ u'a', 0xD800 }) << TextEncoding::Utf8
        << QStringLiteral("The character U+D800 in line 1, column 2 cannot be saved as UTF-8.");
    QTest::newRow("unpaired surrogate in UTF-8 with mark")
        << chars({ 0xDFFF }) << TextEncoding::Utf8Bom
        << QStringLiteral("The character U+DFFF in line 1, column 1 cannot be saved as UTF-8 with BOM.");
}

void TestTextDecoding::refusesUnrepresentableCharacters()
{
    QFETCH(QString, text);
    QFETCH(TextEncoding, encoding);
    QFETCH(QString, message);

    try {
        encodeText(text, encoding);
        QFAIL("encodeText accepted a character its encoding cannot hold");
    } catch (const EConvertError &e) {
        QCOMPARE(e.message(), message);
    }
}

QTEST_GUILESS_MAIN(TestTextDecoding)
#include "tst_textdecoding.moc"

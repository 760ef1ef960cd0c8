// The editor's byte form of its text and the conversions out of it.

#include "editor/documenttext.h"
#include "platform/textformat.h"

#include <QMap>
#include <QTest>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;
using namespace documenttext;

namespace {

QString fromUnits(std::initializer_list<char16_t> units)
{
    return QString(reinterpret_cast<const QChar *>(std::data(units)), qsizetype(units.size()));
}

// The joined text the engine sees, made the obvious way.
QString joinedByHand(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r') {
            out += u"\r\n"_s;
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else if (text[i] == u'\n') {
            out += u"\r\n"_s;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

class TestDocumentText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textSurvivesTheDocumentForm_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("ASCII with mixed line ends") << u"<a>\r\n<b/>\n<c/>\r</a>"_s;
        QTest::newRow("two- and three-byte characters") << u"Grüße € ﬁ"_s;
        QTest::newRow("character outside the BMP") << u"<a>𝄞</a>"_s;
        QTest::newRow("NUL and control characters") << QString::fromUtf16(u"a\0b\x01\x1F\x7F\x80\x9D", 8);
        QTest::newRow("unpaired high surrogate") << fromUnits({ u'a', 0xD800, u'b' });
        QTest::newRow("unpaired low surrogate at the end") << fromUnits({ u'a', 0xDC00 });
        QTest::newRow("surrogates in the wrong order") << fromUnits({ 0xDC00, 0xD800 });
        QTest::newRow("U+FFFD itself") << u"\uFFFD"_s;
    }
    void textSurvivesTheDocumentForm()
    {
        QFETCH(QString, text);
        const QByteArray bytes = toUtf8KeepingSurrogates(text);
        QCOMPARE(fromUtf8KeepingSurrogates(bytes.constData(), bytes.size()), text);
        QCOMPARE(utf16Length(bytes.constData(), bytes.size()), text.size());
        if (text.isValidUtf16())
            QCOMPARE(bytes, text.toUtf8());
    }

    void joinedTextHasCrLfLineEnds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("LF") << u"<a>\n<b/>\n</a>\n"_s;
        QTest::newRow("CR LF") << u"<a>\r\n<b/>\r\n</a>"_s;
        QTest::newRow("lone CR") << u"<a>\r<b/>\r</a>\r"_s;
        QTest::newRow("mixed, CR before CR LF") << u"a\r\r\nb\n\rc\n\n"_s;
        QTest::newRow("no line end") << u"<a/>"_s;
        QTest::newRow("only line ends") << u"\n\r\n\r"_s;
        QTest::newRow("non-ASCII around line ends") << u"ä\n𝄞\r€"_s;
    }
    void joinedTextHasCrLfLineEnds()
    {
        QFETCH(QString, text);
        const QByteArray bytes = toUtf8KeepingSurrogates(text);
        const QString expected = joinedByHand(text);
        QCOMPARE(fromUtf8JoiningLines(bytes.constData(), bytes.size()), expected);
        QCOMPARE(utf8JoiningLines(bytes.constData(), bytes.size()), expected.toUtf8());
    }

    void parserTextReplacesWhatIsNoUtf8_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QString>("expected");
        QTest::newRow("stray continuation bytes") << QByteArray("\x80\x80\n") << u"\uFFFD\uFFFD\r\n"_s;
        QTest::newRow("sequence cut off at the end") << QByteArray("ab\xE2\x82") << u"ab\uFFFD\uFFFD"_s;
        QTest::newRow("overlong form") << QByteArray("\xC0\xAF") << u"\uFFFD\uFFFD"_s;
        QTest::newRow("many bad bytes in a row") << QByteArray(1000, '\xFF') << QString(1000, QChar(0xFFFD));
    }
    void parserTextReplacesWhatIsNoUtf8()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, expected);
        QCOMPARE(utf8JoiningLines(document.constData(), document.size()), expected.toUtf8());
        // Both forms count the same UTF-16 units, so that error offsets agree.
        QCOMPARE(fromUtf8JoiningLines(document.constData(), document.size()).size(), expected.size());
    }

    void parserTextKeepsUnpairedSurrogates()
    {
        // The parser must see the surrogate, which no XML document may hold, and refuse the text.
        const QByteArray document("a\xED\xA0\x80z");
        QCOMPARE(utf8JoiningLines(document.constData(), document.size()), document);
        QCOMPARE(fromUtf8JoiningLines(document.constData(), document.size()), u"a\xD800z"_s);
    }

    void offsetsOfTheJoinedTextFindTheirBytes()
    {
        // Every offset of the joined text maps to the byte where its character or line end starts.
        const QString text = u"<a>\n ä𝄞\r\n<b/>\r€\n"_s;
        const QByteArray bytes = toUtf8KeepingSurrogates(text);
        const QString joined = joinedByHand(text);
        QList<qsizetype> expected;
        qsizetype byte = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            const bool crLf = c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
            const bool pair = c.isHighSurrogate();
            const qsizetype units = (c == u'\r' || c == u'\n') ? 2 : (pair ? 2 : 1);
            for (qsizetype u = 0; u < units; ++u)
                expected.append(byte);
            const QString piece = text.mid(i, crLf || pair ? 2 : 1);
            byte += piece.toUtf8().size();
            i += piece.size() - 1;
        }
        QCOMPARE(expected.size(), joined.size());

        JoinedOffsetCursor ascending;
        ascending.reset(bytes.constData(), bytes.size());
        for (qsizetype offset = 0; offset < joined.size(); ++offset)
            QCOMPARE(ascending.bytePosition(offset), expected[offset]);
        QCOMPARE(ascending.bytePosition(joined.size()), bytes.size());
        QCOMPARE(ascending.bytePosition(joined.size() + 100), bytes.size());

        JoinedOffsetCursor descending;
        descending.reset(bytes.constData(), bytes.size());
        for (qsizetype offset = joined.size() - 1; offset >= 0; --offset)
            QCOMPARE(descending.bytePosition(offset), expected[offset]);
    }

    // Byte offsets into the parser's UTF-8 text map to the document byte where their character (or
    // line end) starts: at each character's start the parser's text of the bytes before it is as
    // long as the offset.
    void utf8OffsetsOfTheJoinedTextFindTheirBytes_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::newRow("mixed line ends") << QByteArray("<a>\r\n<b/>\n<c/>\r</a>\r\n");
        QTest::newRow("characters of two, three and four bytes") << u"<a>Grüße €\n𝄞</a>"_s.toUtf8();
        QTest::newRow("bytes that start no character") << QByteArray("<a>\xFF\n\xFEz</a>");
        QTest::newRow("unpaired surrogate") << QByteArray("a\xED\xA0\x80\nz");
    }
    void utf8OffsetsOfTheJoinedTextFindTheirBytes()
    {
        QFETCH(QByteArray, document);
        const qsizetype size = utf8JoiningLines(document.constData(), document.size()).size();
        QMap<qsizetype, qsizetype> starts; // parser offset -> document byte, at each character's start
        for (qsizetype q = 0; q <= document.size(); ++q) {
            const bool inside = q < document.size()
                && ((uchar(document[q]) & 0xC0) == 0x80
                    || (document[q] == '\n' && q > 0 && document[q - 1] == '\r'));
            if (!inside)
                starts.insert(utf8JoiningLines(document.constData(), q).size(), q);
        }
        QCOMPARE(starts.lastKey(), size);
        JoinedOffsetCursor cursor;
        cursor.reset(document.constData(), document.size(), nullptr, 0, JoinedOffsetCursor::Unit::Utf8);
        for (qsizetype offset = 0; offset <= size; ++offset) {
            // An offset inside a character or line end finds where that one starts.
            const auto start = std::prev(starts.upperBound(offset));
            QCOMPARE(cursor.bytePosition(offset), start.value());
        }
    }

    // Virtual breaks put into the document bytes count for nothing: every offset maps to the byte
    // it maps to without them, moved on by the breaks before that byte.
    void offsetsSkipVirtualBreaks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<qsizetype>>("breaks"); // byte offsets of the text, each before its byte
        QTest::newRow("breaks between tags") << u"<a><b/><c/></a>"_s << QList<qsizetype> { 3, 7 };
        QTest::newRow("break between a CR and its LF") << u"<a>\r\n<b/>"_s << QList<qsizetype> { 4 };
        QTest::newRow("breaks before characters of two and four bytes, and at the end")
            << u"<a>ä𝄞€"_s << QList<qsizetype> { 3, 5, 12 };
        QTest::newRow("two breaks in a row") << u"<a><b/>\n<c/>"_s << QList<qsizetype> { 3, 3, 8 };
    }
    void offsetsSkipVirtualBreaks()
    {
        QFETCH(QString, text);
        QFETCH(QList<qsizetype>, breaks);
        const QByteArray bytes = toUtf8KeepingSurrogates(text);
        const QString joined = joinedByHand(text);
        QByteArray document;
        std::vector<quint32> skip;
        for (qsizetype i = 0, next = 0; i <= bytes.size(); ++i) {
            for (; next < breaks.size() && breaks[next] == i; ++next) {
                skip.push_back(quint32(document.size()));
                document += '\r';
            }
            if (i < bytes.size())
                document += bytes[i];
        }
        const auto moved = [&](qsizetype byte) {
            return byte + qsizetype(std::count_if(breaks.begin(), breaks.end(), [&](qsizetype b) {
                return b <= byte;
            }));
        };
        JoinedOffsetCursor plain;
        plain.reset(bytes.constData(), bytes.size());
        JoinedOffsetCursor skipping;
        skipping.reset(document.constData(), document.size(), skip.data(), qsizetype(skip.size()));
        for (qsizetype offset = 0; offset <= joined.size(); ++offset) {
            const qsizetype byte = plain.bytePosition(offset);
            QCOMPARE(skipping.bytePosition(offset), moved(byte));
        }
        for (qsizetype offset = joined.size(); offset >= 0; --offset)
            QCOMPARE(skipping.bytePosition(offset), moved(plain.bytePosition(offset)));
    }
};

QTEST_APPLESS_MAIN(TestDocumentText)
#include "tst_documenttext.moc"

// The error list and the report written from it.

#include "validation/xmlparseerrors.h"
#include "validation/xmlservices.h"

#include <QTest>
#include <algorithm>
#include <stdexcept>

namespace {

xmlservices::ParseError threeErrors()
{
    xmlservices::ParseError pe;
    pe.append({ QStringLiteral("    <Nm>x</Nm>\r\n"), QStringLiteral("Element 'Nm': too long.\n"),
        QStringLiteral("/a[1]"), 1824, 12, 5, 300 });
    pe.append({ QStringLiteral("<B/>"), QStringLiteral("Element 'B': not expected."),
        QStringLiteral(" /b[1] "), int32_t(0xC00CE014), 40, 1, 900 });
    pe.append({ QStringLiteral("<C/>"), QStringLiteral("Element 'C': missing."), QStringLiteral("/c[1]"),
        1871, 40, 9, 908 });
    return pe;
}

// Reads a report field back, independently of the writer: \n, \r, \t, \\ and \uXXXX are escapes,
// any other backslash stands for itself.
QString readBack(const QString &field)
{
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field.at(i);
        if (c != u'\\' || i + 1 == field.size()) {
            out += c;
            continue;
        }
        const QChar next = field.at(i + 1);
        if (next == u'n') {
            out += u'\n';
        } else if (next == u'r') {
            out += u'\r';
        } else if (next == u't') {
            out += u'\t';
        } else if (next == u'\\') {
            out += u'\\';
        } else if (next == u'u') {
            out += QChar(char16_t(field.mid(i + 2, 4).toUShort(nullptr, 16)));
            i += 4;
        } else {
            out += c;
            continue;
        }
        ++i;
    }
    return out;
}

bool breaksALine(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029;
}

QStringList texts(const TTaggedLines &lines)
{
    QStringList out;
    for (const auto &l : lines)
        out << l.text;
    return out;
}

} // namespace

class TestXmlParseErrors : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void createCopiesAndTrims()
    {
        const TXMLParseErrors list = TXMLParseErrors::Create(threeErrors());
        QCOMPARE(list.size(), 3);
        QCOMPARE(list[0].FSrcText, QStringLiteral("<Nm>x</Nm>"));
        QCOMPARE(list[0].FReason, QStringLiteral("Element 'Nm': too long."));
        QCOMPARE(list[1].FXPath, QStringLiteral(" /b[1] ")); // stored unchanged
        QCOMPARE(list[1].FErrorCode, int32_t(0xC00CE014));
        QCOMPARE(list[2].FLine, 40);
        QCOMPARE(list[2].FLinePos, 9);
        QCOMPARE(list[2].FFilePos, 908);
        QVERIFY(TXMLParseErrors::Create(xmlservices::ParseError()).isEmpty());
    }

    void trimming_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("trimmed");
        QTest::newRow("indentation") << QStringLiteral("\t   <Nm>") << QStringLiteral("<Nm>");
        QTest::newRow("line break at the end") << QStringLiteral("reason.\r\n") << QStringLiteral("reason.");
        QTest::newRow("control characters at both ends")
            << QStringLiteral("\x01\x1f a b \x7f\x02") << QStringLiteral("a b \x7f");
        QTest::newRow("blanks inside kept") << QStringLiteral("a  \t b") << QStringLiteral("a  \t b");
        QTest::newRow("only blanks") << QStringLiteral(" \r\n\t") << QString();
        QTest::newRow("no-break space is not trimmed")
            << QStringLiteral("\u00a0x\u00a0") << QStringLiteral("\u00a0x\u00a0");
    }

    void trimming()
    {
        QFETCH(QString, raw);
        QFETCH(QString, trimmed);
        const auto item = TXMLParseErrorItem::New(raw, raw, raw, 0, 0, 0, 0);
        QCOMPARE(item.FSrcText, trimmed);
        QCOMPARE(item.FReason, trimmed);
        QCOMPARE(item.FXPath, raw);
    }

    void reportWithCallback()
    {
        const TXMLParseErrors list = TXMLParseErrors::Create(threeErrors());
        TTaggedLines lines;
        lines.append({ QStringLiteral("kept"), 99 });
        QList<std::pair<int, int>> calls;
        QList<qsizetype> linesAtCall;
        list.ToStrings(lines, [&](int32_t tag, int32_t line) {
            calls.append({ tag, line });
            linesAtCall.append(lines.size());
        });
        QCOMPARE(lines.size(), 1 + 21);
        QCOMPARE(calls, (QList<std::pair<int, int>> { { 1, 12 }, { 2, 40 }, { 3, 40 } }));
        QCOMPARE(linesAtCall, (QList<qsizetype> { 1, 8, 15 })); // before each error's lines
        for (int i = 0; i < 21; ++i)
            QCOMPARE(lines[1 + i].tag, i / 7 + 1);
        const QStringList expectedFirst = {
            QString(70, u'-'),
            QStringLiteral("ErrorCode: 1824"),
            QStringLiteral("Reason: Element 'Nm': too long."),
            QStringLiteral("SrcText: <Nm>x</Nm>"),
            QStringLiteral("Line: 12"),
            QStringLiteral("LinePos: 5"),
            QStringLiteral("FilePos: 300"),
        };
        QCOMPARE(texts(lines).mid(1, 7), expectedFirst);
        QCOMPARE(lines[9].text, QStringLiteral("ErrorCode: -1072898028"));
        QCOMPARE(lines[0], (TTaggedLine { QStringLiteral("kept"), 99 }));
        QVERIFY(!texts(lines).join(u'\n').contains(QStringLiteral("/b[1]")));
    }

    void reportWithoutCallback()
    {
        const TXMLParseErrors list = TXMLParseErrors::Create(threeErrors());
        TTaggedLines tagged;
        list.ToStrings(tagged, [](int32_t, int32_t) {});
        TTaggedLines plain;
        list.ToStrings(plain);
        QCOMPARE(texts(plain), texts(tagged));
        for (const auto &l : plain)
            QCOMPARE(l.tag, 0);
    }

    void validSentence()
    {
        TTaggedLines lines;
        int calls = 0;
        TXMLParseErrors().ToStrings(lines, [&](int32_t, int32_t) { ++calls; });
        QCOMPARE(lines, (TTaggedLines { { QStringLiteral("XML is valid according the schema."), 0 } }));
        QCOMPARE(calls, 0);
    }

    void reportFieldsStayOnOneLine_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("shown");
        QTest::newRow("IBAN split over two lines")
            << QStringLiteral("The value 'DE89 3704\n0044 0532' is not accepted")
            << QStringLiteral("The value 'DE89 3704\\n0044 0532' is not accepted");
        QTest::newRow("CR LF and tab") << QStringLiteral("a\r\n\tb") << QStringLiteral("a\\r\\n\\tb");
        QTest::newRow("other control characters") << QStringLiteral("a\x01"
                                                                    "b\x1b[31mc\x7f")
                                                  << QStringLiteral("a\\u0001b\\u001b[31mc\\u007f");
        QTest::newRow("C1 next line") << QStringLiteral("a\u0085b") << QStringLiteral("a\\u0085b");
        QTest::newRow("Unicode line and paragraph separators")
            << QStringLiteral("a\u2028b\u2029c") << QStringLiteral("a\\u2028b\\u2029c");
        QTest::newRow("pattern with backslashes kept as written")
            << QStringLiteral("pattern '\\+[0-9]{1,3}-[0-9()+\\-]{1,30}'")
            << QStringLiteral("pattern '\\+[0-9]{1,3}-[0-9()+\\-]{1,30}'");
        QTest::newRow("backslash before n that is no line break")
            << QStringLiteral("C:\\new") << QStringLiteral("C:\\\\new");
        QTest::newRow("backslash before a line break")
            << QStringLiteral("a\\\nb") << QStringLiteral("a\\\\\\nb");
        QTest::newRow("two backslashes") << QStringLiteral("a\\\\b") << QStringLiteral("a\\\\\\b");
        QTest::newRow("backslash at the end") << QStringLiteral("a\\") << QStringLiteral("a\\");
        QTest::newRow("plain text unchanged")
            << QStringLiteral("Müller & Söhne") << QStringLiteral("Müller & Söhne");
    }

    void reportFieldsStayOnOneLine()
    {
        QFETCH(QString, raw);
        QFETCH(QString, shown);
        QCOMPARE(reportField(raw), shown);
        QCOMPARE(readBack(shown), raw);

        // In the report: seven lines for the error, none broken, reason and source text readable back.
        xmlservices::ParseError pe;
        pe.append({ QStringLiteral("x") + raw + QStringLiteral("x"),
            QStringLiteral("y") + raw + QStringLiteral("y"), QStringLiteral("/a[1]"), 1839, 3, 4, 5 });
        const TXMLParseErrors list = TXMLParseErrors::Create(pe);
        TTaggedLines lines;
        list.ToStrings(lines);
        QCOMPARE(lines.size(), 7);
        for (const auto &l : std::as_const(lines))
            QVERIFY2(std::none_of(l.text.begin(), l.text.end(), breaksALine), qPrintable(l.text));
        QCOMPARE(readBack(lines[2].text.mid(8)), list[0].FReason);
        QCOMPARE(readBack(lines[3].text.mid(9)), list[0].FSrcText);
        QCOMPARE(
            list[0].FReason, QStringLiteral("y") + raw + QStringLiteral("y")); // the record keeps the text
    }

    void unlistedErrorsAreCounted()
    {
        xmlservices::ParseError pe = threeErrors();
        pe.setUnlisted(12345);
        const TXMLParseErrors list = TXMLParseErrors::Create(pe);
        QCOMPARE(list.FUnlisted, 12345);
        TTaggedLines lines;
        list.ToStrings(lines, [](int32_t, int32_t) {});
        QCOMPARE(lines.size(), 21 + 1);
        QCOMPARE(lines.last(),
            (TTaggedLine {
                QStringLiteral("Not listed: 12345 further errors (the report stops at 3 errors)."), 0 }));
        QCOMPARE(TXMLParseErrors::Create(threeErrors()).FUnlisted, 0);
    }

    void throwingCallbackKeepsLinesWritten()
    {
        const TXMLParseErrors list = TXMLParseErrors::Create(threeErrors());
        TTaggedLines lines;
        int calls = 0;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, list.ToStrings(lines, [&](int32_t, int32_t) {
            if (++calls == 2)
                throw std::runtime_error("stop");
        }));
        QCOMPARE(lines.size(), 7);
        QCOMPARE(lines.last().text, QStringLiteral("FilePos: 300"));
    }
};

QTEST_GUILESS_MAIN(TestXmlParseErrors)
#include "tst_xmlparseerrors.moc"

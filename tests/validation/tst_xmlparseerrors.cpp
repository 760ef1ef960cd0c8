// The error list and the report written from it.

#include "validation/xmlparseerrors.h"
#include "validation/xmlservices.h"

#include <QTest>
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

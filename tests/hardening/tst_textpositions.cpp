// Error positions in hostile texts: the position finder answers exactly as a plain scan from the
// start of the text does, and a text on one long line with an error at every few bytes costs one
// pass, not one pass per error.

#include "hostile.h"

#include "validation/textposition.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

namespace {

// The reference: every position found by walking from the start of the text, as the definition
// says (breaks CR LF, LF or a lone CR each count two; a target on the LF of a CR LF stands at the
// start of the next line; long lines are shown from the target on).
TextPosition scanFromStart(const QByteArray &text, qsizetype offset)
{
    auto units = [&](qsizetype from, qsizetype to) {
        qint64 n = 0;
        for (qsizetype i = from; i < to; ++i) {
            const auto b = uchar(text[i]);
            n += (b & 0xC0) != 0x80;
            n += b >= 0xF0;
        }
        return n;
    };
    auto isBreak = [&](qsizetype i) { return text[i] == '\n' || text[i] == '\r'; };
    offset = qBound<qsizetype>(0, offset, text.size());
    qsizetype lineStart = 0;
    qint64 line = 1, filePos = 0;
    for (qsizetype i = 0; i < offset; ++i) {
        if (!isBreak(i))
            continue;
        filePos += units(lineStart, i) + 2;
        qsizetype next = i + 1;
        if (text[i] == '\r' && next < text.size() && text[next] == '\n')
            ++next;
        ++line;
        lineStart = next;
        i = next - 1;
    }
    TextPosition pos;
    const qint64 column = units(lineStart, qMax(lineStart, offset));
    pos.line = int32_t(line);
    pos.linePos = int32_t(column + 1);
    pos.filePos = int32_t(filePos + column);
    qsizetype lineEnd = lineStart;
    while (lineEnd < text.size() && !isBreak(lineEnd))
        ++lineEnd;
    if (lineEnd - lineStart <= TextPositions::kMaxLineText) {
        pos.lineText = QString::fromUtf8(text.constData() + lineStart, lineEnd - lineStart);
    } else {
        const qsizetype from = qMax(offset, lineStart);
        qsizetype to = qMin(lineEnd, from + TextPositions::kExcerpt);
        while (to > from && (uchar(text.constData()[to]) & 0xC0) == 0x80)
            --to;
        pos.lineText = QString::fromUtf8(text.constData() + from, to - from);
    }
    return pos;
}

QByteArray randomText(QRandomGenerator &random, qsizetype size, int longestLine)
{
    static const QByteArray pieces[] = { "<a>", "x", "yz", "\n", "\r\n", "\r", "\xC3\xA4", "\xE2\x82\xAC",
        "\xF0\x9F\x92\xB6", " ", "</a>" };
    QByteArray text;
    while (text.size() < size) {
        const int kind = random.bounded(100);
        if (kind < 3) // now and then a long line
            text += QByteArray(random.bounded(500, longestLine), 'L');
        else
            text += pieces[random.bounded(int(std::size(pieces)))];
    }
    return text;
}

} // namespace

class TestTextPositions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersAsAScanFromTheStart_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("backwardPercent");
        QTest::addColumn<int>("textSize");
        QTest::addColumn<int>("longestLine");
        QTest::addColumn<int>("longestStep");
        for (quint32 seed = 1; seed <= 6; ++seed)
            QTest::newRow(qPrintable(QStringLiteral("ascending, seed %1").arg(seed)))
                << seed << 0 << 60000 << 9000 << 400;
        for (quint32 seed = 1; seed <= 6; ++seed)
            QTest::newRow(qPrintable(QStringLiteral("now and then backwards, seed %1").arg(seed)))
                << seed << 15 << 60000 << 9000 << 400;
        // Steps and lines longer than the stretches the finder counts at once.
        for (quint32 seed = 1; seed <= 2; ++seed)
            QTest::newRow(qPrintable(QStringLiteral("far apart, seed %1").arg(seed)))
                << seed << 10 << 400000 << 150000 << 30000;
    }

    void answersAsAScanFromTheStart()
    {
        QFETCH(quint32, seed);
        QFETCH(int, backwardPercent);
        QFETCH(int, textSize);
        QFETCH(int, longestLine);
        QFETCH(int, longestStep);
        QRandomGenerator random(seed);
        const QByteArray text = randomText(random, textSize, longestLine);
        TextPositions positions;
        positions.reset(text);
        qsizetype offset = 0;
        for (int i = 0; i < 400; ++i) {
            if (random.bounded(100) < backwardPercent)
                offset = random.bounded(offset + 1);
            else
                offset = qMin<qsizetype>(text.size() + 3, offset + random.bounded(longestStep));
            const TextPosition expected = scanFromStart(text, offset);
            const TextPosition actual = positions.at(offset);
            const QString where = QStringLiteral("offset %1").arg(offset);
            QVERIFY2(actual.line == expected.line, qPrintable(where));
            QVERIFY2(actual.linePos == expected.linePos, qPrintable(where));
            QVERIFY2(actual.filePos == expected.filePos, qPrintable(where));
            QVERIFY2(actual.lineText == expected.lineText, qPrintable(where));
        }
    }

    // Errors come in document order, except those about an element, which point back at its start
    // tag: on one line, or lines back when the element spans several.
    void manyPositionsCostOnePass_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("back");
        QTest::newRow("8 MB on one line") << QByteArray(8 << 20, 'x') << 300;
        QTest::newRow("4 MB of short lines, back across lines")
            << QByteArray("<a>\r\n").repeated(800 << 10) << 2000;
    }

    void manyPositionsCostOnePass()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, back);
        TextPositions positions;
        positions.reset(text);
        QElapsedTimer timer;
        timer.start();
        int checked = 0;
        for (qsizetype offset = 1000; offset < text.size(); offset += 200) {
            const TextPosition pos = positions.at(offset);
            const TextPosition earlier = positions.at(offset - back);
            checked += pos.filePos > earlier.filePos;
        }
        qInfo("%lld ms for %lld positions", timer.elapsed(), 2 * qint64(text.size() / 200));
        // A scan from the start per position would take many minutes; one pass takes a second.
        QVERIFY2(timer.elapsed() < hostile::timeBoundMs(10000),
            qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
        QCOMPARE(checked, int((text.size() - 1000 + 199) / 200));
        const TextPosition last = positions.at(text.size() - 1);
        const TextPosition expected = scanFromStart(text, text.size() - 1);
        QCOMPARE(last.line, expected.line);
        QCOMPARE(last.filePos, expected.filePos);
    }
};

QTEST_GUILESS_MAIN(TestTextPositions)

#include "tst_textpositions.moc"

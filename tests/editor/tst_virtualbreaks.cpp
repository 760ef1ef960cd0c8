// Where the editor puts virtual breaks into long lines, and how their places follow edits: compared
// with a plain list that moves every place on each edit.

#include "editor/virtualbreaks.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

namespace {

using Places = std::vector<qsizetype>;

Places placesOf(const VirtualBreaks &breaks)
{
    return Places(breaks.positions().begin(), breaks.positions().end());
}

QByteArray entries(int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += "<Tx><Id>" + QByteArray::number(i) + "</Id></Tx>";
    return out;
}

// Every break lies before a character's first byte, never next to a line end, and ends a piece
// that is a tag followed by a tag or is at least a piece long.
void checkPlaces(const QByteArray &text, const Places &breaks)
{
    QVERIFY(std::is_sorted(breaks.begin(), breaks.end()));
    qsizetype pieceStart = 0;
    for (const qsizetype at : breaks) {
        QVERIFY(at > 0 && at < text.size());
        QVERIFY((uchar(text[at]) & 0xC0) != 0x80);
        QVERIFY(text[at] != '\r' && text[at] != '\n' && text[at - 1] != '\r' && text[at - 1] != '\n');
        const qsizetype lineStart
            = std::max(text.lastIndexOf('\n', at - 1), text.lastIndexOf('\r', at - 1)) + 1;
        pieceStart = std::max(pieceStart, lineStart);
        const bool betweenTags = text[at - 1] == '>' && text[at] == '<';
        QVERIFY(betweenTags || at - pieceStart >= VirtualBreaks::pieceLength);
        QVERIFY(at - pieceStart <= VirtualBreaks::pieceLength + 3);
        pieceStart = at;
    }
}

} // namespace

class TestVirtualBreaks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placesInALongLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("any");
        const QByteArray longLine = entries(2000);
        QTest::newRow("one line of tags") << longLine << true;
        QTest::newRow("long line between CR LF lines") << "<a>\r\n" + longLine + "\r\n</a>\r\n" << true;
        QTest::newRow("long lines cut by lone CRs") << longLine + "\r" + longLine << true;
        QTest::newRow("text without tags, of two-byte characters")
            << "<a>" + QString(30000, QChar(0xE4)).toUtf8() + "</a>" << true;
        QTest::newRow("text without tags, of four-byte characters") << "<a>"
                + QString(20000, QChar(0xD83D)).replace(QChar(0xD83D), QStringLiteral("\U0001F600")).toUtf8()
                + "</a>" << true;
        QTest::newRow("short lines only") << QByteArray("<a>\r\n<b/>\r\n</a>") << false;
        QByteArray many = longLine;
        for (qsizetype i = 0; i < 50000; ++i)
            many += "\n<b/>";
        QTest::newRow("a long line among many short ones") << many << true;
    }
    void placesInALongLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, any);
        const VirtualBreaks::Places found = VirtualBreaks::find(text.constData(), text.size());
        const Places breaks(found.begin(), found.end());
        QCOMPARE(!breaks.empty(), any);
        checkPlaces(text, breaks);
    }

    // Random edits, undos of deletions included, against a list that moves every place each time.
    void placesFollowEdits_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("spread");
        QTest::newRow("edits close together, as typing") << 1u << 40;
        QTest::newRow("edits all over the text") << 2u << 1000000;
    }
    void placesFollowEdits()
    {
        QFETCH(quint32, seed);
        QFETCH(int, spread);
        QRandomGenerator random(seed);
        QByteArray document;
        Places model;
        for (int i = 0; i < 3000; ++i) {
            document += "<a>\r";
            model.push_back(document.size() - 1);
        }
        VirtualBreaks::Places fileOffsets;
        for (size_t i = 0; i < model.size(); ++i)
            fileOffsets.push_back(quint32(model[i] - qsizetype(i)));
        VirtualBreaks breaks;
        breaks.reset(fileOffsets);
        const auto charAt = [&](qsizetype at) { return document.at(at); };
        struct Undo
        {
            qsizetype position;
            QByteArray text;
            Places taken;
        };
        std::vector<Undo> undos;
        qsizetype place = document.size() / 2;
        for (int step = 0; step < 3000; ++step) {
            place
                = std::clamp<qsizetype>(place + random.bounded(2 * spread + 1) - spread, 0, document.size());
            const int kind = random.bounded(10);
            if (kind < 5) {
                const QByteArray typed = kind == 0 ? QByteArray("x\r\n") : QByteArray("xy");
                document.insert(place, typed);
                for (qsizetype &p : model)
                    p += p >= place ? typed.size() : 0;
                breaks.inserted(place, typed.size(), VirtualBreaks::Change::User, charAt);
            } else if (kind < 9 || undos.empty()) {
                const qsizetype length = std::min<qsizetype>(random.bounded(12), document.size() - place);
                Undo undo { place, document.mid(place, length), {} };
                for (auto it = model.begin(); it != model.end();) {
                    if (*it >= place && *it < place + length) {
                        undo.taken.push_back(*it);
                        it = model.erase(it);
                    } else {
                        *it -= *it >= place + length ? length : 0;
                        ++it;
                    }
                }
                document.remove(place, length);
                breaks.deleted(place, length, VirtualBreaks::Change::User);
                undos.push_back(undo);
            } else {
                // The latest deletion comes back, as an undo would bring it.
                const Undo undo = undos.back();
                undos.pop_back();
                document.insert(undo.position, undo.text);
                for (qsizetype &p : model)
                    p += p >= undo.position ? undo.text.size() : 0;
                model.insert(model.end(), undo.taken.begin(), undo.taken.end());
                std::sort(model.begin(), model.end());
                breaks.inserted(undo.position, undo.text.size(), VirtualBreaks::Change::Undo, charAt);
            }
            if (step % 97 == 0) {
                QCOMPARE(placesOf(breaks), model);
            }
            const qsizetype probe = random.bounded(int(document.size()) + 1);
            QCOMPARE(breaks.contains(probe), std::binary_search(model.begin(), model.end(), probe));
            // The file offset of probe's byte, and back to the document.
            const qsizetype before = std::lower_bound(model.begin(), model.end(), probe) - model.begin();
            if (!breaks.contains(probe))
                QCOMPARE(breaks.before(probe - before), before);
        }
        QCOMPARE(placesOf(breaks), model);
        QByteArray real = document;
        for (auto it = model.rbegin(); it != model.rend(); ++it)
            real.remove(*it, 1);
        QCOMPARE(breaks.withoutBreaks(document.constData(), document.size()), real);
    }
};

QTEST_GUILESS_MAIN(TestVirtualBreaks)
#include "tst_virtualbreaks.moc"

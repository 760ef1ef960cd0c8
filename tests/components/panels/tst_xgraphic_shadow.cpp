// The drop shadow: its tiles, both fall-off curves, the pieces it draws and the region it leaves.

#include "components/panels/xgraphic_shadow.h"

#include <QPainter>
#include <QRegion>
#include <QTest>

using namespace Qt::StringLiterals;

class TestDropShadow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tilesOfTheDefaultRadius()
    {
        TDropShadow shadow;
        QImage canvas(100, 100, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        for (int i = 0; i < 8; ++i)
            QVERIFY(!shadow.Tile(i));
        {
            QPainter p(&canvas);
            shadow.DropShadow(p, QRect(30, 30, 40, 40), false);
        }
        const QList<QSize> sizes { { 20, 20 }, { 1, 20 }, { 20, 20 }, { 20, 1 }, { 20, 20 }, { 1, 20 },
            { 20, 20 }, { 20, 1 } };
        for (int i = 0; i < 8; ++i) {
            QVERIFY(shadow.Tile(i));
            QCOMPARE(shadow.Tile(i)->size(), sizes[i]);
        }
        // The blob's centre is the first pixel of the bottom edge, the bottom-right corner and the right
        // edge.
        for (int i : { 1, 2, 3 })
            QCOMPARE(qAlpha(shadow.Tile(i)->pixel(0, 0)), 255 - 128);
        QCOMPARE(shadow.Tile(2)->pixel(5, 5) & 0xFFFFFF, 0u);
    }

    void tileAlpha_data()
    {
        QTest::addColumn<bool>("cosinusFull");
        QTest::addColumn<int>("globalAlpha");
        QTest::addColumn<int>("tile");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("alpha");
        QTest::newRow("false curve half way") << false << 96 << 3 << QPoint(10, 0) << 48;
        QTest::newRow("false curve beyond the radius") << false << 96 << 2 << QPoint(19, 19) << 1;
        QTest::newRow("false curve at the radius") << false << 96 << 4 << QPoint(0, 0) << 1;
        QTest::newRow("false curve at the centre") << false << 96 << 1 << QPoint(0, 0) << 159;
        QTest::newRow("global alpha 0 gives an opaque core") << false << 0 << 1 << QPoint(0, 0) << 255;
        QTest::newRow("global alpha 255 next to the centre") << false << 255 << 5 << QPoint(0, 19) << 1;
        QTest::newRow("cosine curve half way") << true << 127 << 7 << QPoint(10, 0) << 64;
        QTest::newRow("cosine curve outside") << true << 127 << 6 << QPoint(0, 0) << 0;
        QTest::newRow("cosine curve at the centre") << true << 127 << 2 << QPoint(0, 0) << 128;
    }
    void tileAlpha()
    {
        QFETCH(bool, cosinusFull);
        QFETCH(int, globalAlpha);
        QFETCH(int, tile);
        QFETCH(QPoint, at);
        QFETCH(int, alpha);
        TDropShadow shadow;
        shadow.SetCosinusFull(cosinusFull);
        shadow.SetGlobalAlpha(quint8(globalAlpha));
        shadow.SetColor(0x00336699);
        QImage canvas(80, 80, QImage::Format_RGB32);
        QPainter p(&canvas);
        shadow.DropShadow(p, QRect(30, 30, 10, 10), true);
        QCOMPARE(qAlpha(shadow.Tile(tile)->pixel(at)), alpha);
        QCOMPARE(shadow.Tile(tile)->pixel(at) & 0xFFFFFF, 0x996633u);
    }

    void invisibleWhenGlobalAlphaIs255()
    {
        TDropShadow shadow;
        shadow.SetGlobalAlpha(255);
        QImage canvas(80, 80, QImage::Format_RGB32);
        QPainter p(&canvas);
        shadow.DropShadow(p, QRect(30, 30, 10, 10), false);
        for (int i = 0; i < 8; ++i)
            for (int y = 0; y < shadow.Tile(i)->height(); ++y)
                for (int x = 0; x < shadow.Tile(i)->width(); ++x)
                    QVERIFY(qAlpha(shadow.Tile(i)->pixel(x, y)) <= 1);
    }

    void settersKeepOrFreeTheTiles()
    {
        TDropShadow shadow;
        QImage canvas(80, 80, QImage::Format_RGB32);
        QPainter p(&canvas);
        shadow.DropShadow(p, QRect(30, 30, 10, 10), false);
        shadow.SetRadius(20);
        shadow.SetGlobalAlpha(128);
        shadow.SetCosinusFull(false);
        shadow.SetColor(clBlack);
        QVERIFY(shadow.Tile(7));
        shadow.SetRadius(8);
        QVERIFY(!shadow.Tile(7));
        QVERIFY(!shadow.Tile(0));
        shadow.DropShadow(p, QRect(30, 30, 10, 10), false);
        QCOMPARE(shadow.Tile(0)->size(), QSize(8, 8));
        shadow.SetColor(0x0000FF);
        QVERIFY(!shadow.Tile(7));
        shadow.DropShadow(p, QRect(30, 30, 10, 10), false);
        shadow.Clear();
        QVERIFY(!shadow.Tile(3));
    }

    void pieces_data()
    {
        QTest::addColumn<bool>("onlyRightBottom");
        QTest::addColumn<QList<QPoint>>("shaded");
        QTest::addColumn<QList<QPoint>>("untouched");
        // Core 40..59 x 40..59, radius 20; each probe sits next to the core in one piece.
        const QList<QPoint> rightBottom { { 39, 60 }, { 50, 60 }, { 60, 60 }, { 60, 50 }, { 60, 39 } };
        const QList<QPoint> topLeft { { 50, 39 }, { 39, 39 }, { 39, 50 } };
        const QList<QPoint> elsewhere { { 50, 50 }, { 10, 10 }, { 85, 85 }, { 50, 15 }, { 15, 50 } };
        QTest::newRow("only right and bottom draws five pieces")
            << true << rightBottom << topLeft + elsewhere;
        QTest::newRow("all around draws eight pieces") << false << rightBottom + topLeft << elsewhere;
    }
    void pieces()
    {
        QFETCH(bool, onlyRightBottom);
        QFETCH(QList<QPoint>, shaded);
        QFETCH(QList<QPoint>, untouched);
        TDropShadow shadow;
        QImage canvas(100, 100, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        {
            QPainter p(&canvas);
            shadow.DropShadow(p, QRect(40, 40, 20, 20), onlyRightBottom);
        }
        for (const QPoint &at : shaded)
            QVERIFY2(canvas.pixelColor(at).red() < 200, qPrintable(u"%1,%2"_s.arg(at.x()).arg(at.y())));
        for (const QPoint &at : untouched)
            QVERIFY2(canvas.pixel(at) == qRgb(255, 255, 255), qPrintable(u"%1,%2"_s.arg(at.x()).arg(at.y())));
    }

    void onABackgroundThePiecesAreOpaqueAndLeaveTheRegion()
    {
        TDropShadow shadow;
        shadow.SetRadius(10);
        QImage canvas(60, 60, QImage::Format_RGB32);
        canvas.fill(Qt::green);
        QRegion toPaint(canvas.rect());
        {
            QPainter p(&canvas);
            shadow.DropShadow(p, QRect(20, 20, 20, 20), true, RGB(255, 255, 255), &toPaint);
        }
        // The five pieces: bottom-left, bottom, bottom-right, right, top-right.
        const QRegion pieces = QRegion(10, 40, 10, 10) + QRegion(20, 40, 20, 10) + QRegion(40, 40, 10, 10)
            + QRegion(40, 20, 10, 20) + QRegion(40, 10, 10, 10);
        QCOMPARE(toPaint, QRegion(canvas.rect()) - pieces);
        for (int y = 0; y < 60; ++y) {
            for (int x = 0; x < 60; ++x) {
                const bool inPiece = pieces.contains(QPoint(x, y));
                const QColor c = canvas.pixelColor(x, y);
                // Painted over: no green left, the shadow blended onto white.
                if (inPiece)
                    QVERIFY2(
                        c.red() == c.green() && c.green() == c.blue(), qPrintable(u"%1,%2"_s.arg(x).arg(y)));
                else
                    QVERIFY2(c == QColor(Qt::green), qPrintable(u"%1,%2"_s.arg(x).arg(y)));
            }
        }
        QCOMPARE(canvas.pixelColor(40, 40).red(), 128);
    }

    void edgesAreStretchedAlongTheSides()
    {
        TDropShadow shadow;
        shadow.SetRadius(4);
        QImage canvas(60, 30, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        {
            QPainter p(&canvas);
            shadow.DropShadow(p, QRect(10, 10, 40, 10), true);
        }
        // Every column under the core gets the same row of the bottom edge tile.
        for (int y = 20; y < 24; ++y)
            for (int x = 10; x < 50; ++x)
                QCOMPARE(canvas.pixel(x, y), canvas.pixel(10, y));
        QVERIFY(canvas.pixel(10, 20) != canvas.pixel(10, 23));
    }
};

QTEST_MAIN(TestDropShadow)
#include "tst_xgraphic_shadow.moc"

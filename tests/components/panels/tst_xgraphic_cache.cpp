// The graphics unit's cache with its lock, the cached header gradient and PNG icons.

#include "components/panels/xgraphic_cache.h"
#include "components/panels/xgraphic_png.h"

#include "../../support/unitsmain.h"

#include <QBuffer>
#include <QPainter>
#include <QTest>

#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const TUnit *const g_units[] = { &XGraphicUnit };

QImage filled(int w, int h, QColor c)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(c);
    return image;
}

QByteArray pngData(const QImage &image)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
}

} // namespace

class TestGraphicCache : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unitOwnsTheCache()
    {
        QVERIFY(GraphicCache());
        {
            // A second run of the unit replaces the cache and finishes with it.
            TUnitRun again { &XGraphicUnit };
            QCOMPARE(again.Started(), QStringList { u"XGraphic"_s });
            QVERIFY(GraphicCache());
        }
        QCOMPARE(GraphicCache(), nullptr);
        startOurs();
    }

    void addRefusesADuplicateKey()
    {
        TGraphicCacheList cache;
        cache.Add(u"k"_s, filled(1, 1, Qt::red));
        QVERIFY_THROWS_EXCEPTION(EListError, cache.Add(u"k"_s, filled(1, 1, Qt::blue)));
        QImage value;
        QVERIFY(cache.TryGetValue(u"k"_s, value));
        QCOMPARE(value.pixelColor(0, 0), QColor(Qt::red));
        QCOMPARE(cache.Count(), 1);
    }

    void addOrSetValueReplaces()
    {
        TGraphicCacheList cache;
        cache.AddOrSetValue(u"k"_s, filled(1, 1, Qt::red));
        cache.AddOrSetValue(u"k"_s, filled(2, 1, Qt::blue));
        QImage value;
        QVERIFY(cache.TryGetBitmap(u"k"_s, value));
        QCOMPARE(value.size(), QSize(2, 1));
        QVERIFY(cache.TryGetPngImage(u"k"_s, value));
        QCOMPARE(value.pixelColor(1, 0), QColor(Qt::blue));
        QVERIFY(!cache.TryGetValue(u"K"_s, value));
        QVERIFY(value.isNull());
        QCOMPARE(cache.Count(), 1);
    }

    void workerThreadsShareTheCacheThroughTheLock()
    {
        TGraphicCacheList cache;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&cache, t] {
                for (int i = 0; i < 300; ++i) {
                    cache.AddOrSetValue(u"shared %1"_s.arg(i % 50), filled(1, 1, Qt::red));
                    cache.Add(u"%1;%2"_s.arg(t).arg(i), filled(1, 1, Qt::blue));
                    QImage value;
                    cache.TryGetValue(u"shared %1"_s.arg(i % 50), value);
                }
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        QCOMPARE(cache.Count(), 50 + 4 * 300);
    }

    void gradientRows()
    {
        const qsizetype before = GraphicCache()->Count();
        QImage canvas(3, 8, QImage::Format_RGB32);
        canvas.fill(Qt::green);
        QPainter p(&canvas);
        p.setBrush(QColor(Qt::black));
        DrawCachedGradient(p, canvas.rect(), clWhite, 1.0f);
        p.end();
        // Row 2 gets 75 % of white, rows 0 and 1 (and 4 and 3) less; the lower half stays black.
        const QList<int> rows { 135, 177, 191, 177, 135, 0, 0, 0 };
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 3; ++x)
                QCOMPARE(canvas.pixel(x, y), qRgb(rows[y], rows[y], rows[y]));
        QImage strip;
        QVERIFY(GraphicCache()->TryGetBitmap(u"0;8"_s, strip));
        QCOMPARE(strip.size(), QSize(1, 8));
        QCOMPARE(GraphicCache()->Count(), before + 1);
    }

    void gradientKeys_data()
    {
        QTest::addColumn<QColor>("brush");
        QTest::addColumn<int>("height");
        QTest::addColumn<TColor>("to");
        QTest::addColumn<float>("strength");
        QTest::addColumn<QString>("key");
        QTest::newRow("white at full strength") << QColor(1, 2, 3) << 40 << clWhite << 1.0f << u"197121;40"_s;
        QTest::newRow("blended colour")
            << QColor(0, 0, 0) << 40 << RGB(200, 100, 50) << 0.5f << u"0;1651300;40Rx2"_s;
        QTest::newRow("strength above 1 is limited")
            << QColor(0, 0, 0) << 10 << RGB(200, 100, 50) << 3.0f << u"0;3302600;10Rx2"_s;
        QTest::newRow("a blend that gives white keeps the short key")
            << QColor(0, 0, 0) << 10 << RGB(255, 255, 255) << 2.0f << u"0;10"_s;
        QTest::newRow("height over 128 uses a strip of 128")
            << QColor(0, 0, 0) << 300 << clWhite << 1.0f << u"0;128"_s;
        QTest::newRow("height 0 makes an empty strip") << QColor(0, 0, 0) << 0 << clWhite << 1.0f << u"0;0"_s;
    }
    void gradientKeys()
    {
        QFETCH(QColor, brush);
        QFETCH(int, height);
        QFETCH(TColor, to);
        QFETCH(float, strength);
        QFETCH(QString, key);
        QImage canvas(4, 310, QImage::Format_RGB32);
        canvas.fill(Qt::green);
        QPainter p(&canvas);
        for (int call = 0; call < 2; ++call) {
            p.setBrush(brush);
            DrawCachedGradient(p, QRect(0, 5, 4, height), to, strength);
            QCOMPARE(p.brush().style(), Qt::NoBrush);
        }
        p.end();
        QImage strip;
        QVERIFY(GraphicCache()->TryGetBitmap(key, strip));
        QCOMPARE(strip.height(), std::min(height, 128));
        // The strip covers the rectangle and nothing else.
        QCOMPARE(canvas.pixelColor(0, 4), QColor(Qt::green));
        QCOMPARE(canvas.pixelColor(0, 5 + height), QColor(Qt::green));
        if (height > 0) {
            QCOMPARE(canvas.pixel(3, 5), strip.pixel(0, 0));
            QCOMPARE(canvas.pixel(3, 4 + height), strip.pixel(0, strip.height() - 1));
            QCOMPARE(canvas.pixelColor(3, 4 + height), brush);
        }
    }

    void twoCallsMakeOneEntry()
    {
        const qsizetype before = GraphicCache()->Count();
        QImage canvas(4, 20, QImage::Format_RGB32);
        QPainter p(&canvas);
        for (int call = 0; call < 3; ++call) {
            p.setBrush(QColor(10, 20, 30));
            DrawCachedGradient(p, QRect(0, 0, 4, 17), RGB(90, 90, 90), 0.25f);
        }
        QCOMPARE(GraphicCache()->Count(), before + 1);
    }

    void iconOfAnImageWithoutAlphaIsOpaque()
    {
        QImage image(16, 16, QImage::Format_RGB888);
        image.fill(QColor(10, 20, 30));
        image.setPixelColor(3, 4, QColor(200, 100, 50));
        const TIconHandle handle = PngToIconHandle(pngData(image), false, 0, 0);
        QCOMPARE(handle.Image.size(), QSize(16, 16));
        QCOMPARE(handle.Image.format(), QImage::Format_ARGB32);
        QVERIFY(!handle.IsCursor);
        QCOMPARE(handle.Image.pixel(0, 0), qRgba(10, 20, 30, 255));
        QCOMPARE(handle.Image.pixel(3, 4), qRgba(200, 100, 50, 255));
        const QIcon icon = PngToIcon(pngData(image), false, 0, 0);
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.availableSizes(), QList<QSize> { QSize(16, 16) });
    }

    void iconKeepsPartialTransparency()
    {
        QImage image(4, 2, QImage::Format_ARGB32);
        image.fill(qRgba(0, 0, 0, 0));
        image.setPixel(1, 1, qRgba(255, 128, 0, 77));
        const TIconHandle handle = PngToIconHandle(pngData(image), true, 2, 1);
        QCOMPARE(handle.Image.pixel(1, 1), qRgba(255, 128, 0, 77));
        QCOMPARE(qAlpha(handle.Image.pixel(0, 0)), 0);
        QVERIFY(handle.IsCursor);
        QCOMPARE(handle.HotSpot, QPoint(2, 1));
    }

    void unreadablePngDataIsRefused()
    {
        QVERIFY_THROWS_EXCEPTION(Exception, PngToIconHandle(QByteArray("not a png"), false, 0, 0));
        QVERIFY_THROWS_EXCEPTION(Exception, PngToIcon(QByteArray(), false, 0, 0));
        QVERIFY_THROWS_EXCEPTION(Exception, PngToIconHandle(QImage(), false, 0, 0));
    }

private:
    // After the nested run above finished the unit, start it again for the tests that follow.
    void startOurs() { m_again.emplace(std::span<const TUnit *const>(g_units)); }
    std::optional<TUnitRun> m_again;
};

PRAVIK_TEST_MAIN(TestGraphicCache, g_units)
#include "tst_xgraphic_cache.moc"

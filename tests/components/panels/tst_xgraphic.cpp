// Colour arithmetic and drawing routines of the graphics unit, pixel for pixel.

#include "components/panels/xgraphic.h"

#include "../../support/sharpfont.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

using testsupport::sharpFont;

constexpr QRgb buttonFace = qRgb(0x12, 0x34, 0x56);

QImage canvas(int w, int h, QColor background = Qt::white)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(background);
    return image;
}

TColor pixel(const QImage &image, int x, int y)
{
    return FromQColor(image.pixelColor(x, y));
}

// A small picture of letters: each letter one colour, rows separated by '/'.
QImage letters(const QString &rows)
{
    const QStringList lines = rows.split(u'/');
    QImage image(int(lines.first().size()), int(lines.size()), QImage::Format_RGB32);
    for (int y = 0; y < lines.size(); ++y)
        for (int x = 0; x < lines[y].size(); ++x)
            image.setPixel(x, y, qRgb(lines[y][x].unicode(), 0, 0));
    return image;
}

void gradientRecorder(QPainter &, const QRect &, TColor, TColor, bool)
{
    QFAIL("the gradient routine was called");
}

// Restores the gradient-fill entry a test changed.
class TEntryGuard
{
public:
    explicit TEntryGuard(TGradientFillProc entry)
        : m_saved(SetGradientFillEntry(entry))
    {
    }
    ~TEntryGuard() { SetGradientFillEntry(m_saved); }

private:
    TGradientFillProc m_saved;
};

} // namespace

class TestXGraphic : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QPalette palette = QGuiApplication::palette();
        palette.setColor(QPalette::Button, QColor(buttonFace));
        QGuiApplication::setPalette(palette);
    }

    void blendColors_data()
    {
        QTest::addColumn<TColor>("a");
        QTest::addColumn<TColor>("b");
        QTest::addColumn<double>("weight");
        QTest::addColumn<TColor>("expected");
        QTest::newRow("blue and white at 0.4") << TColor(0xFF0000) << clWhite << 0.4 << TColor(0xFF9999);
        QTest::newRow("weight 1 gives A") << TColor(0x123456) << TColor(0xABCDEF) << 1.0 << TColor(0x123456);
        QTest::newRow("weight 0 gives B") << TColor(0x123456) << TColor(0xABCDEF) << 0.0 << TColor(0xABCDEF);
        QTest::newRow("a half rounds to even") << clBlack << RGB(1, 3, 5) << 0.5 << RGB(0, 2, 2);
        QTest::newRow("single precision decides a half") << clBlack << RGB(45, 0, 0) << 0.3 << RGB(32, 0, 0);
        QTest::newRow("weight above 1 is limited")
            << clWhite << RGB(0, 128, 255) << 1.5 << RGB(255, 255, 255);
        QTest::newRow("weight below 0 is limited") << clWhite << RGB(0, 128, 255) << -0.5 << RGB(0, 64, 255);
        QTest::newRow("palette-relative marker dropped")
            << TColor(0x02123456) << clBlack << 1.0 << TColor(0x123456);
        QTest::newRow("system colour by its current value")
            << clBtnFace << clBlack << 1.0 << RGB(qRed(buttonFace), qGreen(buttonFace), qBlue(buttonFace));
    }
    void blendColors()
    {
        QFETCH(TColor, a);
        QFETCH(TColor, b);
        QFETCH(double, weight);
        QFETCH(TColor, expected);
        QCOMPARE(BlendColors(a, b, weight), expected);
    }

    void systemColorsComeFromThePalette()
    {
        QCOMPARE(ColorToRGB(clBtnFace), RGB(0x12, 0x34, 0x56));
        QCOMPARE(
            ColorToRGB(clActiveCaption), FromQColor(QGuiApplication::palette().color(QPalette::Highlight)));
        QCOMPARE(ColorToRGB(clSystemColor | 25), clBlack);
        QCOMPARE(ColorToRGB(clSystemColor | 200), clBlack);
        QCOMPARE(ColorToRGB(0x02ABCDEF), TColor(0x02ABCDEF));
    }

    void colorToHLS_data()
    {
        QTest::addColumn<TColor>("color");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("s");
        QTest::addColumn<int>("l");
        QTest::newRow("pure red") << RGB(255, 0, 0) << 0 << 240 << 120;
        QTest::newRow("pure green") << RGB(0, 255, 0) << 80 << 240 << 120;
        QTest::newRow("pure blue") << RGB(0, 0, 255) << 160 << 240 << 120;
        QTest::newRow("grey") << RGB(128, 128, 128) << 0 << 0 << 120;
        QTest::newRow("white") << clWhite << 0 << 0 << 240;
        QTest::newRow("yellow: green's rule overrides red's") << RGB(255, 255, 0) << 40 << 240 << 120;
        QTest::newRow("cyan: blue's rule overrides green's") << RGB(0, 255, 255) << 120 << 240 << 120;
        QTest::newRow("red with more blue than green wraps the hue") << RGB(255, 0, 128) << 220 << 240 << 120;
        QTest::newRow("light red, luminance above a half") << RGB(255, 128, 128) << 0 << 240 << 180;
        QTest::newRow("dark teal") << RGB(0, 64, 64) << 120 << 240 << 30;
    }
    void colorToHLS()
    {
        QFETCH(TColor, color);
        QFETCH(int, h);
        QFETCH(int, s);
        QFETCH(int, l);
        const THLS hls = ColorToHLS(color);
        QCOMPARE(int(hls.H), h);
        QCOMPARE(int(hls.S), s);
        QCOMPARE(int(hls.L), l);
    }

    void hlsToColor_data()
    {
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("s");
        QTest::addColumn<int>("l");
        QTest::addColumn<TColor>("expected");
        QTest::newRow("red") << 0 << 240 << 120 << TColor(0x020000FF);
        QTest::newRow("green") << 80 << 240 << 120 << TColor(0x0200FF00);
        QTest::newRow("blue") << 160 << 240 << 120 << TColor(0x02FF0000);
        QTest::newRow("yellow") << 40 << 240 << 120 << TColor(0x0200FFFF);
        QTest::newRow("hue 240 equals hue 0") << 240 << 240 << 120 << TColor(0x020000FF);
        QTest::newRow("grey, a half rounds to even") << 0 << 0 << 120 << TColor(0x02808080);
        QTest::newRow("white") << 0 << 0 << 240 << TColor(0x02FFFFFF);
        QTest::newRow("light red") << 0 << 240 << 180 << TColor(0x028080FF);
        QTest::newRow("half saturated blue-green") << 100 << 120 << 60 << TColor(0x02406020);
    }
    void hlsToColor()
    {
        QFETCH(int, h);
        QFETCH(int, s);
        QFETCH(int, l);
        QFETCH(TColor, expected);
        QCOMPARE(HLSToColor(h, s, l), expected);
    }

    void lightenColor_data()
    {
        QTest::addColumn<TColor>("color");
        QTest::addColumn<double>("amount");
        QTest::addColumn<TColor>("expected");
        QTest::newRow("darken white by 0.33 keeps 67 percent") << clWhite << -0.33 << TColor(0x02ABABAB);
        QTest::newRow("amount 0 returns the colour unchanged") << TColor(0x123456) << 0.0 << TColor(0x123456);
        QTest::newRow("amount 0 of a system colour gives its value") << clBtnFace << 0.0 << TColor(0x563412);
        QTest::newRow("lighten black by a half") << clBlack << 0.5 << TColor(0x02808080);
        QTest::newRow("amount beyond 1 is limited") << clBlack << 3.0 << TColor(0x02FFFFFF);
        QTest::newRow("darken red by a half") << RGB(255, 0, 0) << -0.5 << TColor(0x02000080);
        QTest::newRow("lighten red by a half") << RGB(255, 0, 0) << 0.5 << TColor(0x028080FF);
    }
    void lightenColor()
    {
        QFETCH(TColor, color);
        QFETCH(double, amount);
        QFETCH(TColor, expected);
        QCOMPARE(LightenColor(color, amount), expected);
        QCOMPARE(DarkenColor(color, -amount), expected);
    }

    void brightness()
    {
        QCOMPARE(ColorBrightness(clWhite), 1.0);
        QCOMPARE(ColorBrightness(clBlack), 0.0);
        QCOMPARE(ColorBrightness(RGB(1, 2, 0)), 3 / 765.0);
        QCOMPARE(ColorBrightnessDiff(clBlack, clWhite), 1.0);
        QCOMPARE(ColorBrightnessDiff(RGB(10, 0, 0), RGB(0, 0, 4)), 6 / 765.0);
        QCOMPARE(ColorBrightnessDiff(RGB(0, 0, 4), RGB(10, 0, 0)), 6 / 765.0);
    }

    void contrastColor_data()
    {
        QTest::addColumn<TColor>("base");
        QTest::addColumn<double>("weight");
        QTest::addColumn<TColor>("expected");
        QTest::newRow("just below the threshold turns to white") << RGB(168, 168, 168) << 1.0 << clWhite;
        QTest::newRow("at the threshold turns to black") << RGB(169, 168, 168) << 1.0 << clBlack;
        QTest::newRow("half way to white") << RGB(168, 168, 168) << 0.5 << RGB(212, 212, 212);
        QTest::newRow("half way to black") << RGB(200, 200, 200) << 0.5 << RGB(100, 100, 100);
    }
    void contrastColor()
    {
        QFETCH(TColor, base);
        QFETCH(double, weight);
        QFETCH(TColor, expected);
        QCOMPARE(ContrastColor(base, weight, 0.66f), expected);
    }

    void fillGradientRectByBands_data()
    {
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<bool>("horizontal");
        QTest::addColumn<TColor>("c1");
        QTest::addColumn<TColor>("c2");
        QTest::addColumn<QList<TColor>>("lines");
        QTest::newRow("three columns, the middle half away from zero")
            << QRect(1, 1, 3, 2) << true << clBlack << RGB(0, 0, 255)
            << QList<TColor> { RGB(0, 0, 0), RGB(0, 0, 128), RGB(0, 0, 255) };
        QTest::newRow("five columns falling, halves away from zero")
            << QRect(0, 0, 5, 3) << true << RGB(10, 0, 0) << clBlack
            << QList<TColor> { RGB(10, 0, 0), RGB(7, 0, 0), RGB(5, 0, 0), RGB(2, 0, 0), RGB(0, 0, 0) };
        QTest::newRow("height one by rows is one band in C1")
            << QRect(2, 3, 4, 1) << false << RGB(20, 30, 40) << clWhite << QList<TColor> { RGB(20, 30, 40) };
        QTest::newRow("four rows") << QRect(0, 1, 3, 4) << false << clBlack << RGB(30, 60, 90)
                                   << QList<TColor> { RGB(0, 0, 0), RGB(10, 20, 30), RGB(20, 40, 60),
                                          RGB(30, 60, 90) };
    }
    void fillGradientRectByBands()
    {
        QFETCH(QRect, rect);
        QFETCH(bool, horizontal);
        QFETCH(TColor, c1);
        QFETCH(TColor, c2);
        QFETCH(QList<TColor>, lines);
        TEntryGuard bands(nullptr);
        QImage image = canvas(8, 8, Qt::green);
        {
            QPainter p(&image);
            FillGradientRect(p, rect, c1, c2, horizontal);
        }
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QPoint at(x, y);
                const int line = horizontal ? x - rect.left() : y - rect.top();
                const TColor expected = rect.contains(at) ? lines.at(line) : FromQColor(Qt::green);
                QVERIFY2(pixel(image, x, y) == expected,
                    qPrintable(u"pixel %1,%2 is %3"_s.arg(x).arg(y).arg(pixel(image, x, y), 6, 16)));
            }
        }
    }

    void bandsOfAWideRectangleAreTwoPixels()
    {
        TEntryGuard bands(nullptr);
        QImage image = canvas(512, 1);
        {
            QPainter p(&image);
            FillGradientRect(p, image.rect(), clBlack, RGB(255, 0, 0), true);
        }
        for (int x = 0; x < 512; ++x)
            QCOMPARE(pixel(image, x, 0), RGB(x / 2, 0, 0));
    }

    void equalColoursFillSolidly()
    {
        TEntryGuard recorder(&gradientRecorder);
        QImage image = canvas(6, 6);
        {
            QPainter p(&image);
            FillGradientRect(p, QRect(1, 1, 4, 4), RGB(9, 8, 7), 0x02070809, true);
        }
        QCOMPARE(pixel(image, 0, 0), clWhite);
        QCOMPARE(pixel(image, 1, 1), RGB(9, 8, 7));
        QCOMPARE(pixel(image, 4, 4), RGB(9, 8, 7));
        QCOMPARE(pixel(image, 5, 5), clWhite);
    }

    void gradientRoutineInterpolatesEachLine()
    {
        TEntryGuard gradient(&QtGradientFill);
        QImage image = canvas(4, 2);
        {
            QPainter p(&image);
            FillGradientRect(p, QRect(0, 0, 4, 1), clBlack, RGB(255, 0, 100), true);
        }
        const QList<TColor> expected { RGB(0, 0, 0), RGB(63, 0, 25), RGB(127, 0, 50), RGB(191, 0, 75) };
        for (int x = 0; x < 4; ++x) {
            QCOMPARE(pixel(image, x, 0), expected[x]);
            QCOMPARE(pixel(image, x, 1), clWhite);
        }
    }

    void transposeRect_data()
    {
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("plain") << QRect(10, 20, 30, 40) << QRect(20, 10, 40, 30);
        QTest::newRow("at the origin") << QRect(0, 0, 200, 17) << QRect(0, 0, 17, 200);
        QTest::newRow("inverted columns") << QRect(QPoint(50, 0), QPoint(9, 9)) << QRect(0, 10, 10, 40);
        QTest::newRow("empty") << QRect(5, 6, 0, 3) << QRect(6, 5, 3, 0);
    }
    void transposeRect()
    {
        QFETCH(QRect, rect);
        QFETCH(QRect, expected);
        QCOMPARE(TransposeRect(rect), expected);
    }

    void rotateBitmap_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("copy") << 0 << u"abc/def"_s;
        QTest::newRow("quarter clockwise") << 1 << u"da/eb/fc"_s;
        QTest::newRow("quarter clockwise, second kind") << 6 << u"da/eb/fc"_s;
        QTest::newRow("quarter counter-clockwise") << 4 << u"cf/be/ad"_s;
        QTest::newRow("quarter counter-clockwise, second kind") << 3 << u"cf/be/ad"_s;
        QTest::newRow("half turn keeps every pixel") << 2 << u"fed/cba"_s;
        QTest::newRow("half turn, second kind") << 5 << u"fed/cba"_s;
    }
    void rotateBitmap()
    {
        QFETCH(int, kind);
        QFETCH(QString, expected);
        const QImage source = letters(u"abc/def"_s);
        QImage dest = canvas(9, 9);
        QVERIFY(RotateBitmap(source, dest, kind));
        QCOMPARE(dest, letters(expected));
        QCOMPARE(source, letters(u"abc/def"_s));

        QImage same = source;
        QVERIFY(RotateBitmap(same, same, kind));
        QCOMPARE(same, letters(expected));
    }

    void rotateBitmapRefusesUnknownKinds()
    {
        const QImage source = letters(u"abc/def"_s);
        QImage dest = canvas(2, 2);
        QVERIFY(!RotateBitmap(source, dest, 7));
        QVERIFY(!RotateBitmap(source, dest, -1));
        QVERIFY(!RotateBitmap(QImage(), dest, 1));
        QCOMPARE(dest, canvas(2, 2));
    }

    void haloSurroundsTheTextByOnePixel()
    {
        const QRect rect(0, 0, 120, 30);
        const QString text = u"Halo Wg"_s;
        QImage plain = canvas(120, 30);
        QImage haloed = canvas(120, 30);
        int plainHeight = 0;
        int haloHeight = 0;
        {
            QPainter p(&plain);
            p.setFont(sharpFont());
            p.setPen(Qt::black);
            plainHeight = DrawOutlinedText(
                p, rect, false, text, txaCenter, false, false, 0, 0, 0, 0, true, false, clNone);
        }
        {
            QPainter p(&haloed);
            p.setFont(sharpFont());
            p.setPen(Qt::black);
            haloHeight = DrawOutlinedText(
                p, rect, false, text, txaCenter, false, false, 0, 0, 0, 0, true, false, RGB(255, 0, 0));
        }
        QPainter measure(&plain);
        measure.setFont(sharpFont());
        QCOMPARE(plainHeight, measure.boundingRect(rect, Qt::TextSingleLine, u"x"_s).height());
        QCOMPARE(haloHeight, plainHeight);
        int inked = 0;
        for (int y = 1; y < 29; ++y) {
            for (int x = 1; x < 119; ++x) {
                const bool ink = pixel(plain, x, y) == clBlack;
                bool near = false;
                for (int dx = -1; dx <= 1; ++dx)
                    for (int dy = -1; dy <= 1; ++dy)
                        near = near || pixel(plain, x + dx, y + dy) == clBlack;
                const TColor expected = ink ? clBlack : near ? RGB(255, 0, 0) : clWhite;
                QVERIFY2(pixel(haloed, x, y) == expected, qPrintable(u"pixel %1,%2"_s.arg(x).arg(y)));
                inked += ink;
            }
        }
        QVERIFY(inked > 20);
    }

    void marginsAndBackground()
    {
        QImage image = canvas(100, 40);
        {
            QPainter p(&image);
            p.setFont(sharpFont());
            p.setPen(Qt::black);
            p.setBrush(QColor(Qt::yellow));
            DrawOutlinedText(p, QRect(10, 5, 80, 30), true, u"WWWWWWWWWWWWWWWWWWWWWWWW"_s, txaTopLeft, false,
                false, 4, 2, 7, 5, true, false, clNone);
        }
        // The background covers the whole rectangle, the text only the part inside the margins.
        QCOMPARE(pixel(image, 9, 5), clWhite);
        QCOMPARE(pixel(image, 10, 5), FromQColor(Qt::yellow));
        QCOMPARE(pixel(image, 89, 34), FromQColor(Qt::yellow));
        QCOMPARE(pixel(image, 90, 34), clWhite);
        bool inked = false;
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 100; ++x) {
                if (pixel(image, x, y) != clBlack)
                    continue;
                inked = true;
                QVERIFY2(QRect(17, 9, 68, 24).contains(x, y), qPrintable(u"ink at %1,%2"_s.arg(x).arg(y)));
            }
        }
        QVERIFY(inked);
    }

    void wordBreakGivesTheHeightOfSeveralLines()
    {
        QImage image = canvas(60, 200);
        QPainter p(&image);
        p.setFont(sharpFont());
        const int lineHeight = p.boundingRect(QRect(0, 0, 60, 200), Qt::TextSingleLine, u"x"_s).height();
        const QString text = u"one two three four five six"_s;
        const int wrapped = DrawOutlinedText(
            p, QRect(0, 0, 60, 200), false, text, txaTopLeft, true, false, 0, 0, 0, 0, true, false, clNone);
        const int single = DrawOutlinedText(
            p, QRect(0, 0, 60, 200), false, text, txaTopLeft, false, false, 0, 0, 0, 0, true, false, clNone);
        QCOMPARE(single, lineHeight);
        QVERIFY2(wrapped >= 3 * lineHeight, qPrintable(QString::number(wrapped)));
    }

    void wrappedTextStartsAtTheTop_data()
    {
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("sameAs");
        QTest::addColumn<bool>("multiLine");
        QTest::addColumn<bool>("same");
        QTest::newRow("centred, several lines: at the top")
            << int(txaCenter) << int(txaTopCenter) << true << true;
        QTest::newRow("bottom right, several lines: at the top")
            << int(txaBottomRight) << int(txaTopRight) << true << true;
        QTest::newRow("centred left, several lines: at the top")
            << int(txaCenterLeft) << int(txaTopLeft) << true << true;
        QTest::newRow("centred, one line: centred") << int(txaCenter) << int(txaTopCenter) << false << false;
        QTest::newRow("bottom left, one line: at the bottom")
            << int(txaBottomLeft) << int(txaTopLeft) << false << false;
    }
    void wrappedTextStartsAtTheTop()
    {
        QFETCH(int, alignment);
        QFETCH(int, sameAs);
        QFETCH(bool, multiLine);
        QFETCH(bool, same);
        const auto draw = [multiLine](int a) {
            QImage image = canvas(90, 120);
            QPainter p(&image);
            p.setFont(sharpFont());
            p.setPen(Qt::black);
            DrawOutlinedText(p, QRect(0, 0, 90, 120), false, u"one two three four"_s, TTextAlignment(a),
                multiLine, false, 0, 0, 0, 0, true, false, clNone);
            return image;
        };
        QCOMPARE(draw(alignment) == draw(sameAs), same);
    }

    void rotatedText_data()
    {
        QTest::addColumn<int>("turn");
        QTest::addColumn<qreal>("degrees");
        QTest::newRow("turn 1 reads from bottom to top") << 1 << qreal(-90);
        QTest::newRow("turn 0 reads from top to bottom") << 0 << qreal(90);
    }
    void rotatedText()
    {
        QFETCH(int, turn);
        QFETCH(qreal, degrees);
        const QString text = u"Title band"_s;
        // The text as it reads before the turn, on a 200 x 17 band.
        QImage flat = canvas(200, 17);
        {
            QPainter p(&flat);
            p.setFont(sharpFont());
            p.setPen(Qt::black);
            p.drawText(flat.rect().adjusted(3, 0, 0, 0),
                Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        }
        const QImage expected = flat.transformed(QTransform().rotate(degrees));
        QCOMPARE(expected.size(), QSize(17, 200));

        QImage image = canvas(30, 220, Qt::green);
        {
            QPainter p(&image);
            p.setFont(sharpFont());
            p.setPen(Qt::black);
            QCOMPARE(DrawRotatedText(p, QRect(5, 10, 17, 200), 99, text, txaCenterLeft, false, false, 0, 0, 3,
                         0, true, false, turn, clNone),
                0);
        }
        // Text pixels where the turned band has them; the background shows through everywhere else.
        for (int y = 0; y < 220; ++y) {
            for (int x = 0; x < 30; ++x) {
                const bool inside = QRect(5, 10, 17, 200).contains(x, y);
                const bool ink = inside && expected.pixelColor(x - 5, y - 10) == Qt::black;
                const TColor want = ink ? clBlack : FromQColor(Qt::green);
                QVERIFY2(pixel(image, x, y) == want, qPrintable(u"pixel %1,%2"_s.arg(x).arg(y)));
            }
        }
    }
};

QTEST_MAIN(TestXGraphic)
#include "tst_xgraphic.moc"

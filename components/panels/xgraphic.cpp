#include "components/panels/xgraphic.h"

#include "platform/numbers.h"

#include <QColor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPalette>
#include <QtMath>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

std::atomic<TGradientFillProc> g_gradientFill { &QtGradientFill };

struct TSysColorRole
{
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// Indexed by the platform's system colour number; NoRole where the platform has no colour.
constexpr TSysColorRole g_sysColors[] = {
    { QPalette::Active, QPalette::Button }, // 0 scroll bar
    { QPalette::Active, QPalette::Window }, // 1 desktop
    { QPalette::Active, QPalette::Highlight }, // 2 active caption
    { QPalette::Inactive, QPalette::Highlight }, // 3 inactive caption
    { QPalette::Active, QPalette::Window }, // 4 menu
    { QPalette::Active, QPalette::Base }, // 5 window
    { QPalette::Active, QPalette::Shadow }, // 6 window frame
    { QPalette::Active, QPalette::WindowText }, // 7 menu text
    { QPalette::Active, QPalette::Text }, // 8 window text
    { QPalette::Active, QPalette::HighlightedText }, // 9 caption text
    { QPalette::Active, QPalette::Window }, // 10 active border
    { QPalette::Active, QPalette::Window }, // 11 inactive border
    { QPalette::Active, QPalette::Dark }, // 12 application workspace
    { QPalette::Active, QPalette::Highlight }, // 13 highlight
    { QPalette::Active, QPalette::HighlightedText }, // 14 highlight text
    { QPalette::Active, QPalette::Button }, // 15 button face
    { QPalette::Active, QPalette::Dark }, // 16 button shadow
    { QPalette::Disabled, QPalette::Text }, // 17 grey text
    { QPalette::Active, QPalette::ButtonText }, // 18 button text
    { QPalette::Inactive, QPalette::HighlightedText }, // 19 inactive caption text
    { QPalette::Active, QPalette::Light }, // 20 button highlight
    { QPalette::Active, QPalette::Shadow }, // 21 3D dark shadow
    { QPalette::Active, QPalette::Midlight }, // 22 3D light
    { QPalette::Active, QPalette::ToolTipText }, // 23 tooltip text
    { QPalette::Active, QPalette::ToolTipBase }, // 24 tooltip background
    { QPalette::Active, QPalette::NoRole }, // 25 unused
    { QPalette::Active, QPalette::Link }, // 26 hot light
    { QPalette::Active, QPalette::Highlight }, // 27 gradient active caption
    { QPalette::Inactive, QPalette::Highlight }, // 28 gradient inactive caption
    { QPalette::Active, QPalette::Highlight }, // 29 menu highlight
    { QPalette::Active, QPalette::Window }, // 30 menu bar
};

int clampChannel(int v)
{
    return std::clamp(v, 0, 255);
}

void fillSolid(QPainter &DC, const QRect &Rect, TColor C)
{
    DC.fillRect(Rect, ToQColor(C));
}

int alignmentFlags(TTextAlignment a, bool multiLine)
{
    static constexpr int horizontal[] = { Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight };
    static constexpr int vertical[] = { Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom };
    const int i = std::clamp(int(a), 0, 8);
    // Centred and bottom placement hold for a single line only; word-wrapped text starts at the
    // top, as the platform's text drawing places it.
    return horizontal[i % 3] | (multiLine ? int(Qt::AlignTop) : vertical[i / 3]);
}

} // namespace

TColor ColorToRGB(TColor C)
{
    if ((C & 0xFF000000) != clSystemColor)
        return C;
    const quint32 index = C & 0x00FFFFFF;
    if (index >= std::size(g_sysColors) || g_sysColors[index].role == QPalette::NoRole)
        return clBlack;
    // qGuiApp is only a cast: a console application object is no GUI application.
    const bool gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
    const QPalette palette = gui ? QGuiApplication::palette() : QPalette();
    return FromQColor(palette.color(g_sysColors[index].group, g_sysColors[index].role));
}

QColor ToQColor(TColor C)
{
    const TColor c = ColorToRGB(C);
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

TColor FromQColor(const QColor &c)
{
    const QColor rgb = c.toRgb();
    return RGB(rgb.red(), rgb.green(), rgb.blue());
}

TColor BlendColors(TColor A, TColor B, double Weight)
{
    const TColor a = ColorToRGB(A);
    const TColor b = ColorToRGB(B);
    const auto mix = [Weight](int ca, int cb) {
        // Through single precision as the original arithmetic did; it decides some halves.
        const float v = float(ca + (cb - ca) * (1.0 - Weight));
        return clampChannel(RoundHalfEven(double(v)));
    };
    return RGB(
        mix(GetRValue(a), GetRValue(b)), mix(GetGValue(a), GetGValue(b)), mix(GetBValue(a), GetBValue(b)));
}

THLS ColorToHLS(TColor C)
{
    const TColor c = ColorToRGB(C);
    const double r = GetRValue(c) / 255.0;
    const double g = GetGValue(c) / 255.0;
    const double b = GetBValue(c) / 255.0;
    const double mx = std::max({ r, g, b });
    const double mn = std::min({ r, g, b });
    const double l = (mx + mn) / 2;
    const double d = mx - mn;
    THLS result;
    result.L = quint8(RoundHalfEven(l * 240));
    if (mx == mn)
        return result;
    const double s = l <= 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
    // Where two channels share the largest value, the later rule wins.
    double h = r == mx ? (g - b) / d : 9999;
    if (g == mx)
        h = (b - r) / d + 2;
    if (b == mx)
        h = (r - g) / d + 4;
    int hue = RoundHalfEven(h * 40);
    if (h * 40 < 0)
        hue += 240;
    result.H = quint8(hue);
    result.S = quint8(RoundHalfEven(s * 240));
    return result;
}

TColor HLSToColor(int H, int S, int L)
{
    const double l = L / 240.0;
    const double s = S / 240.0;
    int red, green, blue;
    if (s == 0) {
        red = green = blue = RoundHalfEven(l * 255);
    } else {
        const double m2 = l <= 0.5 ? l * (1 + s) : l + s - l * s;
        const double m1 = 2 * l - m2;
        const double h = H * 360.0 / 240.0;
        const auto value = [m1, m2](double x) {
            if (x < 0)
                x += 360;
            else if (x > 360)
                x -= 360;
            if (x < 60)
                return m1 + (m2 - m1) * x / 60;
            if (x < 180)
                return m2;
            if (x < 240)
                return m1 + (m2 - m1) * (240 - x) / 60;
            return m1;
        };
        red = RoundHalfEven(255 * value(h + 120));
        green = RoundHalfEven(255 * value(h));
        blue = RoundHalfEven(255 * value(h - 120));
    }
    return clPaletteRelative | RGB(clampChannel(red), clampChannel(green), clampChannel(blue));
}

TColor LightenColor(TColor C, double Amount)
{
    Amount = std::clamp(Amount, -1.0, 1.0);
    if (Amount == 0)
        return ColorToRGB(C);
    const THLS hls = ColorToHLS(C);
    int l = hls.L;
    if (Amount < 0)
        l -= RoundHalfEven(l * -Amount);
    else
        l += RoundHalfEven((240 - l) * Amount);
    return HLSToColor(hls.H, hls.S, std::clamp(l, 0, 240));
}

TColor DarkenColor(TColor C, double Amount)
{
    return LightenColor(C, -Amount);
}

namespace {
int channelSum(TColor C)
{
    const TColor c = ColorToRGB(C);
    return GetRValue(c) + GetGValue(c) + GetBValue(c);
}
} // namespace

double ColorBrightness(TColor C)
{
    return channelSum(C) / 765.0;
}

double ColorBrightnessDiff(TColor A, TColor B)
{
    return std::abs(channelSum(A) - channelSum(B)) / 765.0;
}

TColor ContrastColor(TColor Base, double Weight, float Threshold)
{
    const TColor target = ColorBrightness(Base) < double(Threshold) ? clWhite : clBlack;
    return BlendColors(target, Base, Weight);
}

void QtGradientFill(QPainter &DC, const QRect &Rect, TColor C1, TColor C2, bool Horizontal)
{
    const TColor a = ColorToRGB(C1);
    const TColor b = ColorToRGB(C2);
    // A line per device pixel: on a scaled device the steps are as fine as the screen's.
    const qreal ratio = PaintRatio(DC);
    const int size = qRound((Horizontal ? Rect.width() : Rect.height()) * ratio);
    // Channels in 8.8 fixed point from the first line's C1 towards the far edge's C2, truncated.
    const auto channel = [size](int ca, int cb, int i) {
        return int((qint64(ca) * 256 + (qint64(cb) - ca) * 256 * i / size) >> 8);
    };
    for (int i = 0; i < size; ++i) {
        const TColor c = RGB(channel(GetRValue(a), GetRValue(b), i), channel(GetGValue(a), GetGValue(b), i),
            channel(GetBValue(a), GetBValue(b), i));
        const QRectF line = Horizontal ? QRectF(Rect.left() + i / ratio, Rect.top(), 1 / ratio, Rect.height())
                                       : QRectF(Rect.left(), Rect.top() + i / ratio, Rect.width(), 1 / ratio);
        DC.fillRect(line, ToQColor(c));
    }
}

TGradientFillProc GradientFillEntry()
{
    return g_gradientFill.load();
}

TGradientFillProc SetGradientFillEntry(TGradientFillProc Entry)
{
    return g_gradientFill.exchange(Entry);
}

void FillGradientRect(QPainter &DC, const QRect &Rect, TColor C1, TColor C2, bool Horizontal)
{
    const TColor a = ColorToRGB(C1) & 0xFFFFFF;
    const TColor b = ColorToRGB(C2) & 0xFFFFFF;
    if (a == b) {
        fillSolid(DC, Rect, a);
        return;
    }
    if (const TGradientFillProc entry = GradientFillEntry()) {
        entry(DC, Rect, a, b, Horizontal);
        return;
    }
    const int size = Horizontal ? Rect.width() : Rect.height();
    const int n = std::min(256, size);
    const int start = Horizontal ? Rect.left() : Rect.top();
    int from = start;
    for (int i = 0; i < n; ++i) {
        const int to = start + MulDiv(i + 1, size, n);
        const auto channel = [i, n](int c1, int c2) { return n == 1 ? c1 : c1 + MulDiv(i, c2 - c1, n - 1); };
        const TColor c = RGB(channel(GetRValue(a), GetRValue(b)), channel(GetGValue(a), GetGValue(b)),
            channel(GetBValue(a), GetBValue(b)));
        if (to > from) {
            fillSolid(DC,
                Horizontal ? QRect(from, Rect.top(), to - from, Rect.height())
                           : QRect(Rect.left(), from, Rect.width(), to - from),
                c);
        }
        from = to;
        if (to >= start + size)
            break;
    }
}

int DrawOutlinedText(QPainter &Canvas, const QRect &Rect, bool FillBackground, const QString &Text,
    TTextAlignment Alignment, bool MultiLine, bool EndEllipsis, int MarginTop, int MarginBottom,
    int MarginLeft, int MarginRight, bool NoPrefix, bool RightToLeft, TColor HaloColor)
{
    const QRect tr = Rect.adjusted(MarginLeft, MarginTop, -MarginRight, -MarginBottom);
    if (FillBackground)
        Canvas.fillRect(Rect, Canvas.brush());

    int flags = alignmentFlags(Alignment, MultiLine) | Qt::TextExpandTabs;
    flags |= MultiLine ? Qt::TextWordWrap : Qt::TextSingleLine;
    if (!NoPrefix)
        flags |= Qt::TextShowMnemonic;
    QString text = Text;
    if (EndEllipsis && !MultiLine)
        text = Canvas.fontMetrics().elidedText(Text, Qt::ElideRight, tr.width(), flags);

    Canvas.save();
    // Right-to-left changes the reading order only; the alignment stays where it was asked.
    if (RightToLeft) {
        Canvas.setLayoutDirection(Qt::RightToLeft);
        flags |= Qt::AlignAbsolute;
    }
    Canvas.setBrush(Qt::NoBrush);
    const QPen pen = Canvas.pen();
    if (HaloColor != clNone) {
        Canvas.setPen(ToQColor(HaloColor));
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                Canvas.drawText(tr.translated(dx, dy), flags, text);
        Canvas.setPen(pen);
    }
    QRect bounds;
    Canvas.drawText(tr, flags, text, &bounds);
    Canvas.restore();
    return bounds.height();
}

int DrawRotatedText(QPainter &Canvas, const QRect &Rect, int Flag, const QString &Text,
    TTextAlignment Alignment, bool MultiLine, bool EndEllipsis, int MarginTop, int MarginBottom,
    int MarginLeft, int MarginRight, bool NoPrefix, bool RightToLeft, int Turn, TColor HaloColor)
{
    Q_UNUSED(Flag);
    const QRect tr = TransposeRect(Rect);
    if (tr.isEmpty())
        return 0;
    // The key is close to the halo, so that the text's soft edges blend towards it.
    const TColor key = BlendColors(HaloColor, clWhite, 0.8);
    // Written and turned at the device's resolution, so that the text is as sharp as unturned text.
    QImage bitmap = DeviceImage(tr.size(), PaintRatio(Canvas), QImage::Format_RGB32);
    bitmap.fill(ToQColor(key));
    {
        QPainter p(&bitmap);
        p.setFont(Canvas.font());
        p.setPen(Canvas.pen());
        p.setRenderHints(Canvas.renderHints());
        DrawOutlinedText(p, QRect(QPoint(0, 0), tr.size()), false, Text, Alignment, MultiLine, EndEllipsis,
            MarginTop, MarginBottom, MarginLeft, MarginRight, NoPrefix, RightToLeft, HaloColor);
    }
    const bool turned = Turn == 0 || Turn == 1;
    if (turned)
        RotateBitmap(bitmap, bitmap, Turn == 0 ? 1 : 4);

    QImage shown = bitmap.convertToFormat(QImage::Format_ARGB32);
    const QRgb keyRgb = ToQColor(key).rgb();
    for (int y = 0; y < shown.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(shown.scanLine(y));
        for (int x = 0; x < shown.width(); ++x)
            if (line[x] == keyRgb)
                line[x] = 0;
    }
    DrawDeviceImage(Canvas, QRect(Rect.topLeft(), turned ? tr.size().transposed() : tr.size()), shown);
    return 0;
}

bool RotateBitmap(const QImage &Source, QImage &Dest, int Kind)
{
    if (Kind < 0 || Kind > 6 || Source.isNull())
        return false;
    if (Kind == 0) {
        if (&Source != &Dest)
            Dest = Source.copy();
        return true;
    }
    const QImage src = Source.depth() < 8 ? Source.convertToFormat(QImage::Format_ARGB32) : Source;
    const int w = src.width();
    const int h = src.height();
    const bool half = Kind == 2 || Kind == 5;
    QImage n(half ? w : h, half ? h : w, src.format());
    if (n.isNull())
        return false;
    n.setColorTable(src.colorTable());
    const int bytes = src.depth() / 8;
    for (int y = 0; y < h; ++y) {
        const uchar *from = src.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            int dx, dy;
            if (Kind == 1 || Kind == 6) { // top edge goes to the right
                dx = h - 1 - y;
                dy = x;
            } else if (half) {
                dx = w - 1 - x;
                dy = h - 1 - y;
            } else { // top edge goes to the left
                dx = y;
                dy = w - 1 - x;
            }
            std::memcpy(n.scanLine(dy) + dx * bytes, from + x * bytes, size_t(bytes));
        }
    }
    n.setDevicePixelRatio(src.devicePixelRatio());
    Dest = n;
    return true;
}

qreal PaintRatio(const QPainter &Canvas)
{
    const QPaintDevice *device = Canvas.device();
    return device ? device->devicePixelRatio() : 1.0;
}

QImage DeviceImage(const QSize &ALogicalSize, qreal ARatio, QImage::Format AFormat)
{
    const qreal ratio = ARatio > 0 ? ARatio : 1.0;
    // Whole device pixels that cover the logical size; the guard keeps 20 x 1.5 at 30.
    const auto device = [ratio](int v) { return std::max(0, qCeil(v * ratio - 1e-9)); };
    QImage image(device(ALogicalSize.width()), device(ALogicalSize.height()), AFormat);
    image.setDevicePixelRatio(ratio);
    return image;
}

void DrawDeviceImage(QPainter &Canvas, const QRect &ATarget, const QImage &AImage)
{
    const qreal ratio = AImage.devicePixelRatio();
    Canvas.drawImage(
        QRectF(ATarget), AImage, QRectF(0, 0, ATarget.width() * ratio, ATarget.height() * ratio));
}

QRect TransposeRect(const QRect &R)
{
    // On the exclusive edges, so that an empty or inverted rectangle turns like any other.
    const int top = R.top();
    const int bottom = R.top() + R.height();
    const int left = R.left();
    const int right = R.left() + R.width();
    return QRect(QPoint(std::min(top, bottom), std::min(left, right)),
        QPoint(std::max(top, bottom) - 1, std::max(left, right) - 1));
}

#include "components/panels/xgraphic_shadow.h"

#include "platform/numbers.h"

#include <QPainter>
#include <QRegion>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

struct TTileShape
{
    bool wide; // R pixels wide, else one
    bool high; // R pixels high, else one
    bool shiftX; // samples from x = R on
    bool shiftY;
};

// Indexed by tile: the piece of the 2R x 2R blob centred at (R, R) each one samples.
constexpr TTileShape g_tiles[8] = {
    { true, true, false, true }, // 0 bottom-left corner
    { false, true, true, true }, // 1 bottom edge
    { true, true, true, true }, // 2 bottom-right corner
    { true, false, true, true }, // 3 right edge
    { true, true, true, false }, // 4 top-right corner
    { false, true, true, false }, // 5 top edge
    { true, true, false, false }, // 6 top-left corner
    { true, false, false, true }, // 7 left edge
};

// From exclusive edges, swapped where they run backwards.
QRect pieceRect(int l, int t, int r, int b)
{
    return QRect(QPoint(std::min(l, r), std::min(t, b)), QPoint(std::max(l, r) - 1, std::max(t, b) - 1));
}

} // namespace

void TDropShadow::Clear()
{
    for (auto &tile : fPngArray)
        tile.reset();
}

void TDropShadow::SetRadius(int Value)
{
    if (Value != fRadius) {
        fRadius = Value;
        Clear();
    }
}

void TDropShadow::SetCosinusFull(bool Value)
{
    if (Value != fCosinusFull) {
        fCosinusFull = Value;
        Clear();
    }
}

void TDropShadow::SetGlobalAlpha(quint8 Value)
{
    if (Value != fGlobalAlpha) {
        fGlobalAlpha = Value;
        Clear();
    }
}

void TDropShadow::SetColor(TColor Value)
{
    if (Value != fColor) {
        fColor = Value;
        Clear();
    }
}

const QImage *TDropShadow::Tile(int Index) const
{
    if (Index < 0 || Index >= int(fPngArray.size()) || !fPngArray[size_t(Index)])
        return nullptr;
    return &*fPngArray[size_t(Index)];
}

quint8 TDropShadow::blobAlpha(double px, double py) const
{
    const int a = 255 - fGlobalAlpha;
    if (px == fRadius && py == fRadius)
        return quint8(a);
    const double d = std::hypot(px - fRadius, py - fRadius);
    const double t = 1 - std::clamp(fRadius > 0 ? d / fRadius : 1.0, 0.0, 1.0);
    constexpr double pi = std::numbers::pi;
    const int alpha = fCosinusFull ? RoundHalfEven(a * (std::cos(t * pi + pi) + 1) / 2)
                                   // Steep near the centre, flat at the edge, never below 1.
                                   : RoundHalfEven(a / 255.0 * 255 * std::cos(t * pi / 2 + pi) + 1) + a;
    return quint8(std::clamp(alpha, 0, 255));
}

void TDropShadow::buildTiles(qreal ARatio)
{
    Clear();
    const int r = std::max(0, fRadius);
    const QColor color = ToQColor(fColor);
    // A tile has a pixel per device pixel; each samples the blob at its centre, in logical units.
    // The one-pixel edges stay one pixel across (they are stretched along their side) and sample
    // the blob's centre line.
    const int across = std::max(0, qCeil(r * ARatio - 1e-9));
    const auto at = [ARatio](int device) { return (device + 0.5) / ARatio - 0.5; };
    for (size_t i = 0; i < fPngArray.size(); ++i) {
        const TTileShape &shape = g_tiles[i];
        QImage tile(shape.wide ? across : 1, shape.high ? across : 1, QImage::Format_ARGB32);
        tile.setDevicePixelRatio(ARatio);
        const int ox = shape.shiftX ? r : 0;
        const int oy = shape.shiftY ? r : 0;
        for (int y = 0; y < tile.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(tile.scanLine(y));
            const double py = (shape.high ? at(y) : 0) + oy;
            for (int x = 0; x < tile.width(); ++x) {
                const double px = (shape.wide ? at(x) : 0) + ox;
                line[x] = qRgba(color.red(), color.green(), color.blue(), blobAlpha(px, py));
            }
        }
        fPngArray[i] = std::move(tile);
    }
    m_tileRatio = ARatio;
}

void TDropShadow::DropShadow(QPainter &ACanvas, const QRect &DestRect, bool OnlyRightBottom)
{
    DropShadow(ACanvas, DestRect, OnlyRightBottom, clNone, nullptr);
}

void TDropShadow::DropShadow(QPainter &ACanvas, const QRect &DestRect, bool OnlyRightBottom,
    TColor BackGroudColor, QRegion *ExcludeRegion)
{
    // Tiles of the device's resolution: stretched 1x tiles would show their pixels as blocks.
    const qreal ratio = PaintRatio(ACanvas);
    if (!fPngArray[7] || m_tileRatio != ratio)
        buildTiles(ratio);
    const int l = DestRect.left();
    const int t = DestRect.top();
    const int rt = DestRect.left() + DestRect.width();
    const int b = DestRect.top() + DestRect.height();
    const int r = fRadius;

    const bool smooth = ACanvas.testRenderHint(QPainter::SmoothPixmapTransform);
    ACanvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const auto piece = [&](int index, const QRect &rect) {
        const QImage &tile = *fPngArray[size_t(index)];
        if (rect.isEmpty() || tile.isNull())
            return;
        if (BackGroudColor == clNone) {
            ACanvas.drawImage(QRectF(rect), tile, QRectF(tile.rect()));
            return;
        }
        QImage back = DeviceImage(rect.size(), ratio, QImage::Format_RGB32);
        back.fill(ToQColor(BackGroudColor));
        {
            QPainter p(&back);
            p.drawImage(QRectF(0, 0, rect.width(), rect.height()), tile, QRectF(tile.rect()));
        }
        DrawDeviceImage(ACanvas, rect, back);
        if (ExcludeRegion)
            *ExcludeRegion -= rect;
    };
    if (!OnlyRightBottom) {
        piece(5, pieceRect(l, t - r, rt, t));
        piece(6, pieceRect(l - r, t - r, l, t));
        piece(7, pieceRect(l - r, t, l, b));
    }
    piece(0, pieceRect(l - r, b, l, b + r));
    piece(1, pieceRect(l, b, rt, b + r));
    piece(2, pieceRect(rt, b, rt + r, b + r));
    piece(3, pieceRect(rt, t, rt + r, b));
    piece(4, pieceRect(rt, t - r, rt + r, t));
    ACanvas.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
}

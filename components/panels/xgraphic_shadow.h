#pragma once
// A soft shadow around a rectangle, drawn from eight small tiles with an alpha channel that are built
// once per setting: four corners and four one-pixel edges stretched along the sides.

#include "components/panels/xgraphic.h"

#include <QImage>

#include <array>
#include <optional>

class QPainter;
class QRegion;

class TDropShadow
{
public:
    TDropShadow() = default;
    ~TDropShadow() = default;
    TDropShadow(const TDropShadow &) = delete;
    TDropShadow &operator=(const TDropShadow &) = delete;

    // Frees the tiles; the next draw builds them again.
    void Clear();

    // The soft border around DestRect, not DestRect itself (the object casting the shadow covers
    // it). OnlyRightBottom leaves out the top edge, the top-left corner and the left edge. With a
    // BackGroudColor other than clNone each piece is first blended onto that colour and then copied
    // opaquely, and its rectangle is taken out of ExcludeRegion when one is given.
    void DropShadow(QPainter &ACanvas, const QRect &DestRect, bool OnlyRightBottom);
    void DropShadow(QPainter &ACanvas, const QRect &DestRect, bool OnlyRightBottom, TColor BackGroudColor,
        QRegion *ExcludeRegion);

    int Radius() const { return fRadius; }
    void SetRadius(int Value);
    bool CosinusFull() const { return fCosinusFull; }
    void SetCosinusFull(bool Value);
    quint8 GlobalAlpha() const { return fGlobalAlpha; }
    void SetGlobalAlpha(quint8 Value);
    TColor Color() const { return fColor; }
    void SetColor(TColor Value);

    // Tile 0..7 of the table (bottom-left, bottom, bottom-right, right, top-right, top, top-left,
    // left), or null while it is not built. Built for the device last drawn on: R x R logical
    // pixels, R x ratio device pixels (the one-pixel edges stay one device pixel across).
    const QImage *Tile(int Index) const;

private:
    void buildTiles(qreal ARatio);
    quint8 blobAlpha(double px, double py) const;

    std::array<std::optional<QImage>, 8> fPngArray;
    int fRadius = 20;
    bool fCosinusFull = false;
    quint8 fGlobalAlpha = 128;
    TColor fColor = clBlack;
    qreal m_tileRatio = 1.0; // the device pixel ratio the tiles were built for
};

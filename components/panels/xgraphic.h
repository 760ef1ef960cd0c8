#pragma once
// The library's colour arithmetic and drawing routines (unit XGraphic): colour mixing in the
// hue-luminance-saturation model, brightness and contrast, a two-colour gradient fill, text with
// margins and a one-pixel halo, text turned by a quarter, and the bitmap turns behind it.
//
// Rules:
// - Colours are 32-bit platform values: 00BBGGRR an RGB colour, FF0000nn system colour nn (its RGB
//   value is taken from the application's palette, see ColorToRGB), 02BBGGRR palette-relative (what
//   HLSToColor returns), clNone 1FFFFFFF. The channels of a colour are the low three bytes of its RGB
//   value, red lowest.
// - Integer scaling is MulDiv (halves away from zero); doubles round halves to the even neighbour.
// - Stateless and GUI thread only, apart from the gradient-fill entry, which the unit sets.

#include <QImage>
#include <QRect>
#include <QString>
#include <QtGlobal>

class QColor;
class QPainter;

using TColor = quint32;

inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clSystemColor = 0xFF000000;
inline constexpr TColor clPaletteRelative = 0x02000000;
inline constexpr TColor clActiveCaption = clSystemColor | 2;
inline constexpr TColor clBtnFace = clSystemColor | 15;

constexpr TColor RGB(int r, int g, int b)
{
    return TColor(r & 0xFF) | TColor(g & 0xFF) << 8 | TColor(b & 0xFF) << 16;
}
constexpr int GetRValue(TColor c)
{
    return int(c & 0xFF);
}
constexpr int GetGValue(TColor c)
{
    return int(c >> 8 & 0xFF);
}
constexpr int GetBValue(TColor c)
{
    return int(c >> 16 & 0xFF);
}

// A system colour replaced by its current RGB value from the application's palette; any other value
// unchanged. System colours map to palette roles as follows (an index without a role gives black):
//   0 scroll bar, 15 button face: Button        1 desktop, 4 menu, 10/11 borders, 30 menu bar: Window
//   2 active caption, 13 highlight, 27 gradient active caption, 29 menu highlight: Highlight
//   3 inactive caption, 28 gradient inactive caption: Highlight of the inactive group
//   5 window: Base      6 window frame: Shadow      7 menu text: WindowText      8 window text: Text
//   9 caption text, 14 highlight text: HighlightedText    19 inactive caption text: the same, inactive
//   12 application workspace, 16 button shadow: Dark     17 grey text: Text of the disabled group
//   18 button text: ButtonText      20 button highlight: Light      21 3D dark shadow: Shadow
//   22 3D light: Midlight     23 tooltip text: ToolTipText     24 tooltip back: ToolTipBase
//   26 hot light: Link
TColor ColorToRGB(TColor C);
// The opaque colour of C's channels.
QColor ToQColor(TColor C);
TColor FromQColor(const QColor &c);

struct THLS
{
    quint8 H = 0; // 0..240, 240 equals 0
    quint8 S = 0;
    quint8 L = 0;
    friend bool operator==(const THLS &, const THLS &) = default;
};

// A x Weight + B x (1 - Weight) per channel, a plain RGB colour; weights outside 0..1 extrapolate and
// are limited to the channel range.
TColor BlendColors(TColor A, TColor B, double Weight);
THLS ColorToHLS(TColor C);
// A palette-relative colour (02BBGGRR).
TColor HLSToColor(int H, int S, int L);
// Luminance raised (Amount > 0, the share of the distance to white) or lowered (Amount < 0, the share
// of the luminance taken away); Amount 0 returns C's RGB value unchanged.
TColor LightenColor(TColor C, double Amount);
TColor DarkenColor(TColor C, double Amount);
// (red + green + blue) / 765.
double ColorBrightness(TColor C);
double ColorBrightnessDiff(TColor A, TColor B);
// Base pushed towards white when it is darker than Threshold, else towards black.
TColor ContrastColor(TColor Base, double Weight, float Threshold);

// The gradient-fill entry: fills Rect from C1 (left or top) to C2 (right or bottom) line by line in
// 16-bit channels. Empty means FillGradientRect draws bands itself.
using TGradientFillProc = void (*)(QPainter &DC, const QRect &Rect, TColor C1, TColor C2, bool Horizontal);
void QtGradientFill(QPainter &DC, const QRect &Rect, TColor C1, TColor C2, bool Horizontal);
TGradientFillProc GradientFillEntry();
// For tests: returns the previous entry.
TGradientFillProc SetGradientFillEntry(TGradientFillProc Entry);
void FillGradientRect(QPainter &DC, const QRect &Rect, TColor C1, TColor C2, bool Horizontal);

enum TTextAlignment
{
    txaTopLeft,
    txaTopCenter,
    txaTopRight,
    txaCenterLeft,
    txaCenter,
    txaCenterRight,
    txaBottomLeft,
    txaBottomCenter,
    txaBottomRight
};

// Draws Text inside Rect less the margins with the painter's font and pen colour; with a HaloColor
// other than clNone the text is first drawn nine times in that colour, shifted by one pixel in every
// direction. FillBackground fills the whole Rect with the painter's brush first. Returns the height
// of the drawn text.
int DrawOutlinedText(QPainter &Canvas, const QRect &Rect, bool FillBackground, const QString &Text,
    TTextAlignment Alignment, bool MultiLine, bool EndEllipsis, int MarginTop, int MarginBottom,
    int MarginLeft, int MarginRight, bool NoPrefix, bool RightToLeft, TColor HaloColor);
// The same text turned by a quarter into Rect: Turn 0 reads top to bottom, Turn 1 bottom to top, any
// other value not turned. Margins apply in the text's own orientation. Returns 0; Flag is unused.
int DrawRotatedText(QPainter &Canvas, const QRect &Rect, int Flag, const QString &Text,
    TTextAlignment Alignment, bool MultiLine, bool EndEllipsis, int MarginTop, int MarginBottom,
    int MarginLeft, int MarginRight, bool NoPrefix, bool RightToLeft, int Turn, TColor HaloColor);
// The device pixel ratio of what Canvas paints on (2 on a screen at 200 %); 1 without a device.
qreal PaintRatio(const QPainter &Canvas);
// An image of ALogicalSize at ARatio: its pixels are device pixels, its painters work in logical
// ones. Off-screen pieces are made so, and so stay sharp on a scaled screen.
QImage DeviceImage(const QSize &ALogicalSize, qreal ARatio, QImage::Format AFormat);
// Draws AImage (made by DeviceImage) into ATarget, its pixels onto the device's one to one.
void DrawDeviceImage(QPainter &Canvas, const QRect &ATarget, const QImage &AImage);

// Kind 0 copies; 1 and 6 turn a quarter clockwise; 3 and 4 a quarter counter-clockwise; 2 and 5 a
// half turn. Source and Dest may be the same image. False for a null Source or an unknown Kind
// (Dest then unchanged).
bool RotateBitmap(const QImage &Source, QImage &Dest, int Kind);
// x and y exchanged; an inverted rectangle comes back with its edges in order.
QRect TransposeRect(const QRect &R);

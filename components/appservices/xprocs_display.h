#pragma once
// The display's share of the start-up facts (unit xProcs): the snapshot of system metrics, the
// text-height cache of the font guideline, the font guideline itself, the menu font and the
// placement of a form inside the visible work area. Needs the GUI application for what it reads from
// the screen; the rules are separate functions fed their inputs by tests.

#include "platform/units.h"

#include <QFont>
#include <QHash>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QStringList>

#include <optional>

class QWidget;

// The raw inputs of a metrics snapshot.
struct TSystemMetricSource
{
    int Planes = 1;
    int BitsPerPixel = 32;
    int MenuHeight = 0;
    int CaptionHeight = 0;
    QPoint Border, Frame, DlgFrame, Bitmap, HScroll, VScroll, Thumb, FullScreen, Min, MinTrack, Cursor, Icon,
        DoubleClick, IconSpacing;

    // The screen and the style of the running GUI application: style pixel metrics in place of the
    // platform's system metrics. Zeros (and 32 bits per pixel) without one.
    static TSystemMetricSource Read();
};

// One snapshot of display metrics; never refreshed.
class TSystemMetric
{
public:
    explicit TSystemMetric(const TSystemMetricSource &ASource);

    // 1 shifted left by planes x bits per pixel, the count taken modulo 32: 1 at 32 bits.
    int ColorDepth() const { return FColorDepth; }
    int MenuHeight() const { return FMenuHeight; }
    int CaptionHeight() const { return FCaptionHeight; }
    QPoint Border() const { return FBorder; }
    QPoint Frame() const { return FFrame; }
    QPoint DlgFrame() const { return FDlgFrame; }
    QPoint Bitmap() const { return FBitmap; }
    QPoint HScroll() const { return FHScroll; }
    QPoint VScroll() const { return FVScroll; }
    QPoint Thumb() const { return FThumb; }
    QPoint FullScreen() const { return FFullScreen; }
    QPoint Min() const { return FMin; }
    QPoint MinTrack() const { return FMinTrack; }
    QPoint Cursor() const { return FCursor; }
    QPoint Icon() const { return FIcon; }
    QPoint DoubleClick() const { return FDoubleClick; }
    QPoint IconSpacing() const { return FIconSpacing; }

private:
    int FColorDepth;
    int FMenuHeight;
    int FCaptionHeight;
    QPoint FBorder, FFrame, FDlgFrame, FBitmap, FHScroll, FVScroll, FThumb, FFullScreen, FMin, FMinTrack,
        FCursor, FIcon, FDoubleClick, FIconSpacing;
};

// The snapshot, taken on the first request once the GUI application exists (the units start before
// it); null before that and outside the unit's run.
const TSystemMetric *SystemMetric();

struct TDefaultFontSizeItem
{
    QString fFontName; // upper case
    int fFontSize = 0; // points

    static TDefaultFontSizeItem Create(const QString &AFontname, int AFontSize);
    static TDefaultFontSizeItem Create(const QFont &aFont);
    friend bool operator==(const TDefaultFontSizeItem &, const TDefaultFontSizeItem &) = default;
};
size_t qHash(const TDefaultFontSizeItem &AItem, size_t ASeed = 0);

class TDefaultFontSizes
{
public:
    // The height of "09gjIJ" in pixels in this face and size; measured once per face (any case) and
    // size. Style, character set and quality are not part of the key.
    static int TextHeight(const QFont &aFont);
    // How often a height was actually measured (the cache missed).
    static int Measurements();
};

// The size of a font in points, also for one given in pixels (at 96 dots per inch).
int FontPoints(const QFont &AFont);

// What the guideline asks of the system, given by tests; Live() asks the running one.
struct TFontGuidelineEnvironment
{
    QStringList InstalledFonts;
    QString MenuFontName;
    bool VistaOrLater = true;

    static TFontGuidelineEnvironment Live();
};

// 1 on, 0 off, -1 not yet decided; decided by the first ApplyFontGuideline.
int FontGuidelineState();
void SetFontGuidelineState(int AState);
// A preferred font a program may set before the guideline runs.
void SetDefaultFontName(const QString &AName);
// The character set the guideline last chose (1, the default set, until then).
int DefaultFontCharset();

// The font the guideline takes: fontName, the parameters FONT and $FONT, the default font name, the
// menu font, Segoe UI (6.0 and later), Tahoma, MS Sans Serif, Arial, the first installed one as
// written; empty when none is installed. fontconfig's generic names ("Sans Serif", "Monospace") are
// no installed fonts, whatever the font list says.
QString ChooseGuidelineFont(const QString &AFontName, const TFontGuidelineEnvironment &AEnvironment);
// Makes the chosen font the application's default and applies it to the form's controls (see the
// guideline's rules in the .cpp). A negative quality comes from the parameter $FONTQUALITY (5 when
// absent). Controls carry their Tag and AutoSize as dynamic properties "Tag" and "AutoSize".
void ApplyFontGuideline(QWidget *AForm, const QString &AFontName, int AQuality);
void ApplyFontGuideline(
    QWidget *AForm, const QString &AFontName, int AQuality, const TFontGuidelineEnvironment &AEnvironment);

// The family the system's menu font is drawn with, fontconfig's aliases resolved.
QString GetMenuFontName();

struct TMonitor
{
    QRect Bounds;
    QRect WorkArea;
};
// Where the form's frame must go to lie inside the work area of the monitor nearest to it; nullopt
// when it stays (onlyIfOffScreen and its centre lies on some monitor).
std::optional<QRect> VisibleBounds(
    const QRect &ABounds, const QList<TMonitor> &AMonitors, bool AOnlyIfOffScreen);
// Brings a form back onto a monitor: a maximised one stays, a minimised one is restored first.
void EnsureFormVisible(QWidget *AForm, bool AOnlyIfOffScreen);

// Starts the text-height cache; at the end frees it and the metrics snapshot.
extern const TUnit xProcsDisplayUnit;

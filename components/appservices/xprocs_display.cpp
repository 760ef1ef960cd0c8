#include "components/appservices/xprocs_display.h"

#include <QApplication>
#include <QFontMetrics>
#include <QScreen>
#include <QStyle>
#include <QStyleHints>

#include <cmath>
#include <memory>

namespace {

std::unique_ptr<TSystemMetric> g_systemMetric;
bool g_unitRunning = false;

struct TFontSizeCache
{
    QHash<TDefaultFontSizeItem, int> heights;
    int measurements = 0;
};
std::unique_ptr<TFontSizeCache> g_fontSizes;

} // namespace

const TUnit xProcsDisplayUnit = {
    "xProcsDisplay",
    [] {
        g_fontSizes = std::make_unique<TFontSizeCache>();
        g_unitRunning = true;
    },
    [] {
        g_unitRunning = false;
        try {
            g_systemMetric.reset();
        } catch (...) {
        }
        g_fontSizes.reset();
    },
};

TSystemMetricSource TSystemMetricSource::Read()
{
    TSystemMetricSource s;
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!app)
        return s;
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QStyle *style = QApplication::style();
    const auto metric = [style](QStyle::PixelMetric m) { return style->pixelMetric(m); };
    const auto both = [](int v) { return QPoint(v, v); };
    if (screen)
        s.BitsPerPixel = screen->depth();
    const int menuFont = QFontMetrics(QApplication::font("QMenuBar")).height();
    s.MenuHeight = menuFont + 2 * (metric(QStyle::PM_MenuBarVMargin) + metric(QStyle::PM_MenuBarPanelWidth));
    s.CaptionHeight = metric(QStyle::PM_TitleBarHeight);
    s.Border = both(metric(QStyle::PM_DefaultFrameWidth));
    s.Frame = both(metric(QStyle::PM_MdiSubWindowFrameWidth));
    s.DlgFrame = both(metric(QStyle::PM_DefaultFrameWidth));
    s.Bitmap = both(metric(QStyle::PM_TitleBarButtonSize));
    s.HScroll = both(metric(QStyle::PM_ScrollBarExtent));
    s.VScroll = both(metric(QStyle::PM_ScrollBarExtent));
    s.Thumb = both(metric(QStyle::PM_ScrollBarSliderMin));
    if (screen)
        s.FullScreen = QPoint(screen->availableGeometry().width(), screen->availableGeometry().height());
    s.Min = QPoint(3 * s.Bitmap.x() + 2 * s.Frame.x(), s.CaptionHeight + 2 * s.Frame.y());
    s.MinTrack = s.Min;
    const int cursor
        = qEnvironmentVariableIsSet("XCURSOR_SIZE") ? qEnvironmentVariableIntValue("XCURSOR_SIZE") : 24;
    s.Cursor = both(cursor);
    s.Icon = both(metric(QStyle::PM_LargeIconSize));
    s.DoubleClick = both(QGuiApplication::styleHints()->mouseDoubleClickDistance());
    s.IconSpacing
        = both(metric(QStyle::PM_IconViewIconSize) + 2 * metric(QStyle::PM_LayoutHorizontalSpacing));
    return s;
}

TSystemMetric::TSystemMetric(const TSystemMetricSource &ASource)
    : FColorDepth(int(1u << ((ASource.Planes * ASource.BitsPerPixel) & 31)))
    , FMenuHeight(ASource.MenuHeight)
    , FCaptionHeight(ASource.CaptionHeight)
    , FBorder(ASource.Border)
    , FFrame(ASource.Frame)
    , FDlgFrame(ASource.DlgFrame)
    , FBitmap(ASource.Bitmap)
    , FHScroll(ASource.HScroll)
    , FVScroll(ASource.VScroll)
    , FThumb(ASource.Thumb)
    , FFullScreen(ASource.FullScreen)
    , FMin(ASource.Min)
    , FMinTrack(ASource.MinTrack)
    , FCursor(ASource.Cursor)
    , FIcon(ASource.Icon)
    , FDoubleClick(ASource.DoubleClick)
    , FIconSpacing(ASource.IconSpacing)
{
}

const TSystemMetric *SystemMetric()
{
    if (!g_systemMetric && g_unitRunning && qobject_cast<QApplication *>(QCoreApplication::instance()))
        g_systemMetric = std::make_unique<TSystemMetric>(TSystemMetricSource::Read());
    return g_systemMetric.get();
}

TDefaultFontSizeItem TDefaultFontSizeItem::Create(const QString &AFontname, int AFontSize)
{
    return { AFontname.toUpper(), AFontSize };
}

TDefaultFontSizeItem TDefaultFontSizeItem::Create(const QFont &aFont)
{
    return Create(aFont.family(), FontPoints(aFont));
}

size_t qHash(const TDefaultFontSizeItem &AItem, size_t ASeed)
{
    return qHashMulti(ASeed, AItem.fFontName, AItem.fFontSize);
}

int FontPoints(const QFont &AFont)
{
    if (AFont.pointSize() > 0)
        return AFont.pointSize();
    if (AFont.pointSizeF() > 0)
        return int(std::nearbyint(AFont.pointSizeF()));
    // Pixels at 96 dots per inch, halves away from zero as the platform's MulDiv rounds.
    return (AFont.pixelSize() * 72 + 48) / 96;
}

int TDefaultFontSizes::TextHeight(const QFont &aFont)
{
    // Outside the unit's run (a program that does not start it) nothing is cached.
    const TDefaultFontSizeItem key = TDefaultFontSizeItem::Create(aFont);
    if (g_fontSizes) {
        const auto it = g_fontSizes->heights.constFind(key);
        if (it != g_fontSizes->heights.cend())
            return *it;
    }
    const int height = QFontMetrics(aFont).boundingRect(QStringLiteral("09gjIJ")).height();
    if (g_fontSizes) {
        g_fontSizes->heights.insert(key, height);
        ++g_fontSizes->measurements;
    }
    return height;
}

int TDefaultFontSizes::Measurements()
{
    return g_fontSizes ? g_fontSizes->measurements : 0;
}

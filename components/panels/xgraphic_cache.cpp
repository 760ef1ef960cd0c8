#include "components/panels/xgraphic_cache.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<TGraphicCacheList> g_cache;

void startGraphics()
{
    // The gradient-fill entry is the built-in routine: there is no platform library to load. The
    // cache brings its own lock.
    g_cache = std::make_unique<TGraphicCacheList>();
}

void finishGraphics()
{
    try {
        g_cache.reset();
    } catch (...) {
    }
    // Nothing was loaded for the gradient fill, so nothing is released.
}

} // namespace

const TUnit XGraphicUnit = { "XGraphic", startGraphics, finishGraphics };

TGraphicCacheList *GraphicCache()
{
    return g_cache.get();
}

void TGraphicCacheList::Add(const QString &Key, const QImage &Value)
{
    const QMutexLocker lock(&m_lock);
    if (!m_items.try_emplace(Key, Value).second)
        throw EListError(u"Duplicates not allowed: the graphic cache holds \"%1\" already."_s.arg(Key));
}

void TGraphicCacheList::AddOrSetValue(const QString &Key, const QImage &Value)
{
    const QMutexLocker lock(&m_lock);
    m_items.insert_or_assign(Key, Value);
}

bool TGraphicCacheList::TryGetValue(const QString &Key, QImage &Value) const
{
    const QMutexLocker lock(&m_lock);
    const auto it = m_items.find(Key);
    Value = it == m_items.end() ? QImage() : it->second;
    return it != m_items.end();
}

bool TGraphicCacheList::TryGetBitmap(const QString &Key, QImage &Value) const
{
    return TryGetValue(Key, Value);
}

bool TGraphicCacheList::TryGetPngImage(const QString &Key, QImage &Value) const
{
    return TryGetValue(Key, Value);
}

QImage TGraphicCacheList::GetOrAdd(const QString &Key, const std::function<QImage()> &AMake)
{
    QImage found;
    if (TryGetValue(Key, found))
        return found;
    // Made outside the lock; whoever adds first wins and everyone gets that graphic.
    const QImage made = AMake();
    const QMutexLocker lock(&m_lock);
    return m_items.try_emplace(Key, made).first->second;
}

qsizetype TGraphicCacheList::Count() const
{
    const QMutexLocker lock(&m_lock);
    return qsizetype(m_items.size());
}

void DrawCachedGradient(QPainter &Canvas, const QRect &Rect, TColor ToColor, float Strength)
{
    const TColor from = FromQColor(Canvas.brush().color());
    const int n = std::max(0, std::min(128, Rect.height()));
    TColor to = clWhite;
    QString key;
    if (ToColor == clWhite && Strength == 1.0f) {
        key = u"%1;%2"_s.arg(from).arg(n);
    } else {
        to = BlendColors(ColorToRGB(ToColor), from, std::clamp(double(Strength), 0.0, 1.0));
        key = to == clWhite ? u"%1;%2"_s.arg(from).arg(n) : u"%1;%2;%3Rx2"_s.arg(from).arg(to).arg(n);
    }
    // On a scaled device the strip has a row per device pixel, so its steps are not stretched.
    const qreal ratio = PaintRatio(Canvas);
    if (ratio != 1.0)
        key += u'@' + QString::number(ratio);

    TGraphicCacheList *cache = GraphicCache();
    if (!cache)
        throw Exception(u"The graphic cache is used while the graphics unit is not running."_s);
    const QImage strip = cache->GetOrAdd(key, [&] {
        QImage made = DeviceImage(QSize(1, n), ratio, QImage::Format_RGB32);
        made.fill(ToQColor(from));
        // The curve over the logical rows, each device row taken at its centre; the curve is
        // shifted by two rows: row 2 gets the most of the target colour.
        const qreal half = n / 2;
        for (int j = 0; j < made.height(); ++j) {
            const double i = (j + 0.5) / ratio - 0.5;
            if (i > half + 1e-9)
                break;
            const double weight = 1 - 0.75 * std::sin((i - 2) / n * std::numbers::pi + std::numbers::pi / 2);
            const QColor c = ToQColor(BlendColors(from, to, weight));
            // A scaled strip may be more than one device pixel wide: every column alike.
            for (int x = 0; x < made.width(); ++x)
                made.setPixelColor(x, j, c);
        }
        return made;
    });
    if (!strip.isNull()) {
        const bool smooth = Canvas.testRenderHint(QPainter::SmoothPixmapTransform);
        Canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
        Canvas.drawImage(QRectF(Rect), strip, QRectF(strip.rect()));
        Canvas.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    }
    QBrush clear = Canvas.brush();
    clear.setStyle(Qt::NoBrush);
    Canvas.setBrush(clear);
}

#include "components/panels/xgraphic_cache.h"

#include <QCoreApplication>
#include <QMutex>
#include <QPainter>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<QMutex> g_lock;
std::unique_ptr<TGraphicCacheList> g_cache;

// Held around a cache operation off the GUI thread.
class TCacheGuard
{
public:
    TCacheGuard()
    {
        const QCoreApplication *app = QCoreApplication::instance();
        if (app && QThread::currentThread() == app->thread())
            return;
        if (!g_lock)
            throw Exception(
                u"The graphic cache is used off the GUI thread while the graphics unit is not running."_s);
        m_lock.emplace(*g_lock);
    }

private:
    std::optional<std::lock_guard<QMutex>> m_lock;
};

void startGraphics()
{
    g_lock = std::make_unique<QMutex>();
    // The gradient-fill entry is the built-in routine: there is no platform library to load.
    g_cache = std::make_unique<TGraphicCacheList>();
}

void finishGraphics()
{
    try {
        g_cache.reset();
    } catch (...) {
    }
    // Nothing was loaded for the gradient fill, so nothing is released.
    g_lock.reset();
}

} // namespace

const TUnit XGraphicUnit = { "XGraphic", startGraphics, finishGraphics };

TGraphicCacheList *GraphicCache()
{
    return g_cache.get();
}

void TGraphicCacheList::Add(const QString &Key, std::unique_ptr<QImage> Value)
{
    TCacheGuard guard;
    if (m_items.contains(Key))
        throw EListError(u"Duplicates not allowed: the graphic cache holds \"%1\" already."_s.arg(Key));
    m_items.emplace(Key, std::move(Value));
}

void TGraphicCacheList::AddOrSetValue(const QString &Key, std::unique_ptr<QImage> Value)
{
    TCacheGuard guard;
    m_items.insert_or_assign(Key, std::move(Value));
}

bool TGraphicCacheList::TryGetValue(const QString &Key, QImage *&Value) const
{
    TCacheGuard guard;
    const auto it = m_items.find(Key);
    Value = it == m_items.end() ? nullptr : it->second.get();
    return it != m_items.end();
}

bool TGraphicCacheList::TryGetBitmap(const QString &Key, QImage *&Value) const
{
    return TryGetValue(Key, Value);
}

bool TGraphicCacheList::TryGetPngImage(const QString &Key, QImage *&Value) const
{
    return TryGetValue(Key, Value);
}

qsizetype TGraphicCacheList::Count() const
{
    TCacheGuard guard;
    return m_items.size();
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

    TGraphicCacheList *cache = GraphicCache();
    if (!cache)
        throw Exception(u"The graphic cache is used while the graphics unit is not running."_s);
    QImage *strip = nullptr;
    if (!cache->TryGetBitmap(key, strip)) {
        auto made = std::make_unique<QImage>(1, n, QImage::Format_RGB32);
        made->fill(ToQColor(from));
        // The curve is shifted by two rows: row 2 gets the most of the target colour.
        for (int i = 0; i <= n / 2 && i < n; ++i) {
            const double weight
                = 1 - 0.75 * std::sin(double(i - 2) / n * std::numbers::pi + std::numbers::pi / 2);
            made->setPixelColor(0, i, ToQColor(BlendColors(from, to, weight)));
        }
        strip = made.get();
        cache->Add(key, std::move(made));
    }
    if (!strip->isNull()) {
        const bool smooth = Canvas.testRenderHint(QPainter::SmoothPixmapTransform);
        Canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
        Canvas.drawImage(Rect, *strip);
        Canvas.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    }
    QBrush clear = Canvas.brush();
    clear.setStyle(Qt::NoBrush);
    Canvas.setBrush(clear);
}

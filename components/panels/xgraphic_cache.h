#pragma once
// The process's graphic cache (a dictionary from text key to an owned image), the header gradient
// drawn through it, and the graphics unit that owns the cache and its lock.
//
// Rules:
// - Every operation takes the cache's lock, on every thread: a worker may draw a cached gradient
//   while the GUI thread paints. Reads hand out a shared copy of the graphic (QImage shares its
//   pixels), never a pointer into the cache, so a graphic replaced meanwhile stays valid for the
//   reader.
// - The cache only grows: graphics stay until the unit finishes. Keys are exact strings; the typed
//   reads do not check what kind of graphic a key holds.

#include "components/panels/xgraphic.h"
#include "platform/exception.h"
#include "platform/units.h"

#include <QImage>
#include <QMutex>
#include <QString>

#include <functional>
#include <unordered_map>

class QPainter;

class TGraphicCacheList
{
public:
    TGraphicCacheList() = default;
    TGraphicCacheList(const TGraphicCacheList &) = delete;
    TGraphicCacheList &operator=(const TGraphicCacheList &) = delete;

    // Raises EListError when Key is there already.
    void Add(const QString &Key, const QImage &Value);
    // Adds or replaces.
    void AddOrSetValue(const QString &Key, const QImage &Value);
    // Value is a null image when Key is missing.
    bool TryGetValue(const QString &Key, QImage &Value) const;
    bool TryGetBitmap(const QString &Key, QImage &Value) const;
    bool TryGetPngImage(const QString &Key, QImage &Value) const;
    // The graphic under Key; when there is none, AMake's graphic, added. Two threads asking for a
    // missing key at once both get the one graphic that was added.
    QImage GetOrAdd(const QString &Key, const std::function<QImage()> &AMake);
    qsizetype Count() const;

private:
    mutable QMutex m_lock;
    std::unordered_map<QString, QImage> m_items;
};

// The one cache of the process while the graphics unit runs, else null.
TGraphicCacheList *GraphicCache();

// A light gradient over the upper half of Rect from the painter's brush colour towards ToColor
// (blended with the brush colour by Strength), from a one-pixel strip of at most 128 rows kept in the
// graphic cache; on a scaled device the strip has the device's rows (its key ends in "@<ratio>").
// Leaves the painter's brush clear. Any thread.
void DrawCachedGradient(QPainter &Canvas, const QRect &Rect, TColor ToColor, float Strength);

// Graphics unit: starts the gradient-fill entry and the cache (with its lock).
extern const TUnit XGraphicUnit;

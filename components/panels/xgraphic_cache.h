#pragma once
// The process's graphic cache (a dictionary from text key to an owned image), the header gradient
// drawn through it, and the graphics unit that owns the cache and its lock.
//
// Rules:
// - On the GUI thread the cache is used without its lock; every other thread takes the unit's lock,
//   so threads other than the GUI thread serialise among themselves. A cache shared with worker
//   threads needs the GUI thread to keep off it while they run.
// - The cache only grows: graphics stay until the unit finishes. Keys are exact strings; the typed
//   reads do not check what kind of graphic a key holds.

#include "components/panels/xgraphic.h"
#include "platform/exception.h"
#include "platform/units.h"

#include <QImage>
#include <QString>

#include <memory>
#include <unordered_map>

class QPainter;

class TGraphicCacheList
{
public:
    TGraphicCacheList() = default;
    TGraphicCacheList(const TGraphicCacheList &) = delete;
    TGraphicCacheList &operator=(const TGraphicCacheList &) = delete;

    // Raises EListError when Key is there already; the cache owns Value.
    void Add(const QString &Key, std::unique_ptr<QImage> Value);
    // A replaced graphic is freed.
    void AddOrSetValue(const QString &Key, std::unique_ptr<QImage> Value);
    // Value is null when Key is missing; the graphic stays the cache's.
    bool TryGetValue(const QString &Key, QImage *&Value) const;
    bool TryGetBitmap(const QString &Key, QImage *&Value) const;
    bool TryGetPngImage(const QString &Key, QImage *&Value) const;
    qsizetype Count() const;

private:
    std::unordered_map<QString, std::unique_ptr<QImage>> m_items;
};

// The one cache of the process while the graphics unit runs, else null.
TGraphicCacheList *GraphicCache();

// A light gradient over the upper half of Rect from the painter's brush colour towards ToColor
// (blended with the brush colour by Strength), from a one-pixel strip of at most 128 rows kept in the
// graphic cache. Leaves the painter's brush clear.
void DrawCachedGradient(QPainter &Canvas, const QRect &Rect, TColor ToColor, float Strength);

// Graphics unit: starts the cache lock, the gradient-fill entry and the cache, in this order.
extern const TUnit XGraphicUnit;

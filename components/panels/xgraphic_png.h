#pragma once
// PNG images with transparency as icons (unit XGraphic.Png): the dialogs' custom icons.

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QPoint>

// What the platform's icon handle holds: 32-bit pixels with full alpha, and a hot spot for a cursor.
struct TIconHandle
{
    QImage Image; // Format_ARGB32, the PNG's size
    bool IsCursor = false;
    QPoint HotSpot;
};

// An image without partial transparency becomes fully opaque. Raises Exception for a null image.
TIconHandle PngToIconHandle(const QImage &Png, bool IsCursor, int HotX, int HotY);
// PNG data decoded first; raises Exception naming the fault when it is not a readable PNG image.
TIconHandle PngToIconHandle(const QByteArray &PngData, bool IsCursor, int HotX, int HotY);
QIcon PngToIcon(const QImage &Png, bool IsCursor, int HotX, int HotY);
QIcon PngToIcon(const QByteArray &PngData, bool IsCursor, int HotX, int HotY);

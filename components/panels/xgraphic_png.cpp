#include "components/panels/xgraphic_png.h"

#include "platform/exception.h"

#include <QBuffer>
#include <QImageReader>
#include <QPixmap>

using namespace Qt::StringLiterals;

namespace {

QImage decodePng(const QByteArray &PngData)
{
    QBuffer buffer;
    buffer.setData(PngData);
    QImageReader reader(&buffer, "png");
    QImage image = reader.read();
    if (image.isNull())
        throw Exception(u"The icon's PNG data cannot be read: %1."_s.arg(reader.errorString()));
    return image;
}

} // namespace

TIconHandle PngToIconHandle(const QImage &Png, bool IsCursor, int HotX, int HotY)
{
    if (Png.isNull())
        throw Exception(u"An empty image cannot become an icon."_s);
    TIconHandle handle;
    // Palette and grey images are widened to true colour; without an alpha channel every pixel
    // becomes opaque.
    handle.Image = Png.convertToFormat(QImage::Format_ARGB32);
    handle.IsCursor = IsCursor;
    if (IsCursor)
        handle.HotSpot = QPoint(HotX, HotY);
    return handle;
}

TIconHandle PngToIconHandle(const QByteArray &PngData, bool IsCursor, int HotX, int HotY)
{
    return PngToIconHandle(decodePng(PngData), IsCursor, HotX, HotY);
}

QIcon PngToIcon(const QImage &Png, bool IsCursor, int HotX, int HotY)
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(PngToIconHandle(Png, IsCursor, HotX, HotY).Image));
    return icon;
}

QIcon PngToIcon(const QByteArray &PngData, bool IsCursor, int HotX, int HotY)
{
    return PngToIcon(decodePng(PngData), IsCursor, HotX, HotY);
}

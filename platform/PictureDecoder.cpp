#include "PictureDecoder.h"

#include <QBuffer>
#include <QImageReader>

namespace PictureDecoder {

namespace {

// A JPEG cut short still decodes (the missing rows come out grey); a camera
// picture without its end marker is a failed transfer, not a picture.
bool isTruncatedJpeg(const QByteArray& data)
{
    if (!data.startsWith("\xFF\xD8"))
        return false;
    const QByteArray tail = data.right(32);
    return !tail.contains("\xFF\xD9");
}

} // namespace

QSize decodeSize(const QSize& pictureSize, const QSize& displaySize)
{
    if (!displaySize.isValid() || displaySize.isEmpty() || !pictureSize.isValid())
        return pictureSize;
    // Qt's reader picks libjpeg's n/8 from the size asked for, then rescales
    // (smoothly, costing as much as the decode itself) whatever libjpeg's size
    // misses. Asked for n/8 rounded down, it picks that same n, and for camera
    // sizes (multiples of 8) libjpeg's size is the one asked for: no rescale.
    for (int n = 1; n < 8; ++n) {
        const QSize scaled(pictureSize.width() * n / 8, pictureSize.height() * n / 8);
        if (scaled.width() >= displaySize.width() && scaled.height() >= displaySize.height())
            return scaled;
    }
    return pictureSize;
}

QImage decode(const QByteArray& data, const QSize& displaySize)
{
    if (data.isEmpty() || isTruncatedJpeg(data))
        return {};
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kMaxPixels)
        return {};
    const QSize scaled = decodeSize(size, displaySize);
    if (scaled != size)
        reader.setScaledSize(scaled);
    QImage image;
    if (!reader.read(&image))
        return {};
    return image;
}

} // namespace PictureDecoder

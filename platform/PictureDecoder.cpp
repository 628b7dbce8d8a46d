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
    if (displaySize.isValid() && !displaySize.isEmpty()
        && (size.width() > displaySize.width() || size.height() > displaySize.height())) {
        reader.setScaledSize(size.scaled(displaySize, Qt::KeepAspectRatioByExpanding));
    }
    QImage image;
    if (!reader.read(&image))
        return {};
    return image;
}

} // namespace PictureDecoder

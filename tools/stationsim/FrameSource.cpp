#include "FrameSource.h"

#include <QBuffer>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>

#include <algorithm>

namespace
{

QByteArray encodeJpeg(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

// Overwrites the height and width of the first start-of-frame segment; false if there is none.
bool patchFrameSize(QByteArray* jpeg, quint16 width, quint16 height)
{
    qsizetype pos = 2; // after SOI
    while (pos + 4 <= jpeg->size()) {
        if (static_cast<unsigned char>(jpeg->at(pos)) != 0xFF)
            return false;
        const auto marker = static_cast<unsigned char>(jpeg->at(pos + 1));
        const int length =
            (static_cast<unsigned char>(jpeg->at(pos + 2)) << 8) | static_cast<unsigned char>(jpeg->at(pos + 3));
        const bool isStartOfFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (isStartOfFrame && pos + 9 <= jpeg->size()) {
            // Segment layout: FF Cn, length(2), precision(1), height(2), width(2).
            (*jpeg)[pos + 5] = static_cast<char>(height >> 8);
            (*jpeg)[pos + 6] = static_cast<char>(height & 0xFF);
            (*jpeg)[pos + 7] = static_cast<char>(width >> 8);
            (*jpeg)[pos + 8] = static_cast<char>(width & 0xFF);
            return true;
        }
        if (marker == 0xDA) // start of scan: no frame header before the image data
            return false;
        pos += 2 + length;
    }
    return false;
}

} // namespace

FrameSource::FrameSource(int stationIndex, const QString& address, QSize size, int quality, int cycleLength)
    : m_stationIndex(stationIndex)
    , m_address(address)
    , m_size(size)
    , m_quality(quality)
    , m_cycleLength(std::max(0, cycleLength))
{
}

QByteArray FrameSource::nextFrame()
{
    const qint64 number = m_served++;
    if (m_cycleLength == 0)
        return render(number);
    const auto slot = static_cast<qsizetype>(number % m_cycleLength);
    if (m_cycle.size() <= slot)
        m_cycle.resize(m_cycleLength);
    if (m_cycle.at(slot).isEmpty())
        m_cycle[slot] = render(slot);
    return m_cycle.at(slot);
}

QByteArray FrameSource::render(qint64 number) const
{
    const int w = m_size.width();
    const int h = m_size.height();
    QImage image(m_size, QImage::Format_RGB32);
    const QColor background = QColor::fromHsv((m_stationIndex * 67) % 360, 150, 190);
    image.fill(background);

    QPainter painter(&image);
    // A band that moves with the counter makes consecutive frames differ even at a glance.
    const int bandWidth = std::max(8, w / 16);
    const auto bandX = static_cast<int>((number * bandWidth) % std::max(1, w));
    painter.fillRect(bandX, 0, bandWidth, h, background.darker(140));

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(std::max(8, h / 7));
    painter.setFont(font);
    painter.setPen(Qt::white);
    const QString counter = m_cycleLength > 0 ? QStringLiteral("frame %1/%2").arg(number + 1).arg(m_cycleLength)
                                              : QStringLiteral("frame %1").arg(number + 1);
    const QString text = QStringLiteral("Station %1\n%2\n%3").arg(m_stationIndex).arg(m_address, counter);
    painter.drawText(QRect(0, 0, w, h), Qt::AlignCenter, text);
    painter.end();
    return encodeJpeg(image, m_quality);
}

QByteArray FrameSource::bombJpeg()
{
    static const QByteArray bomb = [] {
        QImage image(64, 64, QImage::Format_RGB32);
        image.fill(QColor(200, 40, 40));
        QByteArray jpeg = encodeJpeg(image, 80);
        patchFrameSize(&jpeg, 60000, 60000);
        return jpeg;
    }();
    return bomb;
}

#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

/// The camera pictures of one simulated station: JPEG frames showing the station's index, its address
/// and a frame counter on a background colour of its own.
class FrameSource
{
public:
    /// cycleLength 0 renders every frame when it is asked for; n > 0 renders frames 0..n-1 once, on first
    /// use, and then repeats them, so large pictures cost no encoding time after the first cycle.
    FrameSource(int stationIndex, const QString& address, QSize size, int quality, int cycleLength);

    /// The next frame as JPEG bytes; consecutive calls never return the same bytes (cycles of 2 or more).
    QByteArray nextFrame();

    /// Frames handed out so far.
    qint64 frameCount() const { return m_served; }

    QSize size() const { return m_size; }

    /// A small, well-formed JPEG whose frame header claims 60000 x 60000 pixels.
    static QByteArray bombJpeg();

private:
    QByteArray render(qint64 number) const;

    int m_stationIndex;
    QString m_address;
    QSize m_size;
    int m_quality;
    int m_cycleLength;
    QList<QByteArray> m_cycle;
    qint64 m_served = 0;
};

#pragma once

// Wave files byte by byte, independently of the code that reads them.

#include <QByteArray>
#include <QtEndian>

#include <cmath>

namespace WaveBytes {

inline QByteArray le16(int v)
{
    QByteArray b(2, '\0');
    qToLittleEndian(quint16(v), b.data());
    return b;
}

inline QByteArray le32(qint64 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(quint32(v), b.data());
    return b;
}

/// A chunk: id, its size (declared, or the body's), the body and its pad byte.
inline QByteArray chunk(const char* id, const QByteArray& body, qint64 declared = -1)
{
    QByteArray c = QByteArray(id, 4) + le32(declared < 0 ? body.size() : declared) + body;
    if (body.size() & 1)
        c.append('\0');
    return c;
}

inline QByteArray fmt(int tag, int channels, int rate, int bits)
{
    const int block = channels * bits / 8;
    return chunk("fmt ",
                 le16(tag) + le16(channels) + le32(rate) + le32(qint64(rate) * block) + le16(block) + le16(bits));
}

inline QByteArray riff(const QByteArray& chunks)
{
    return "RIFF" + le32(4 + chunks.size()) + "WAVE" + chunks;
}

/// 16-bit mono 44.1 kHz sine of durationMs.
inline QByteArray toneWave(int durationMs)
{
    QByteArray data;
    for (int i = 0; i < 44100 * durationMs / 1000; ++i)
        data += le16(qint16(8000 * std::sin(2 * M_PI * 440 * i / 44100.0)));
    return riff(fmt(1, 1, 44100, 16) + chunk("data", data));
}

} // namespace WaveBytes

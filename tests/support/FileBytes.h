#pragma once

// Files and wave images byte by byte, independently of the code that reads them.

#include <QBuffer>
#include <QFile>
#include <QImage>

namespace FileBytes {

inline QByteArray readAll(const QString& path) { QFile f(path); return f.open(QFile::ReadOnly) ? f.readAll() : ""; }
inline bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QFile::WriteOnly) && f.write(bytes) == bytes.size();
}

/// A small JPEG of one colour.
inline QByteArray jpeg(QColor colour)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

/// A little-endian integer of 2 or 4 bytes.
inline QByteArray le(quint32 v, int n) { QByteArray b; for (int i = 0; i < n; ++i) b += char(v >> 8 * i); return b; }

/// A chunk: id, its size (declared, or the body's), the body and its pad byte.
inline QByteArray chunk(const char* id, const QByteArray& body, qint64 declared = -1)
{
    return QByteArray(id, 4) + le(declared < 0 ? body.size() : declared, 4) + body + QByteArray(body.size() & 1, '\0');
}

inline QByteArray fmt(int tag, int channels, int rate, int bits)
{
    const int block = channels * bits / 8;
    return chunk("fmt ", le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * block, 4) + le(block, 2) + le(bits, 2));
}

inline QByteArray riff(const QByteArray& chunks) { return "RIFF" + le(4 + chunks.size(), 4) + "WAVE" + chunks; }

/// durationMs of silence, 16-bit mono at 44.1 kHz.
inline QByteArray silenceWave(int durationMs)
{
    return riff(fmt(1, 1, 44100, 16) + chunk("data", QByteArray(88200 * durationMs / 1000, '\0')));
}

} // namespace FileBytes

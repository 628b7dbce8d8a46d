#include "WaveFile.h"

#include <QFile>
#include <QtEndian>

namespace {

quint32 le32(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint16 le16(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

bool playableFormat(int tag, int bits)
{
    if (tag == 1 || tag == 0xFFFE)
        return bits == 8 || bits == 16 || bits == 24 || bits == 32;
    return tag == 3 && bits == 32;
}

} // namespace

bool WaveFile::inspect(const QByteArray& bytes, WaveInfo* info, QString* error)
{
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return fail(error, QStringLiteral("not a RIFF/WAVE file"));

    WaveInfo found;
    bool haveFormat = false;
    bool haveData = false;
    qsizetype at = 12;
    // Chunks follow one another, each padded to an even length.
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const qint64 size = le32(bytes, at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt ") {
            if (size < 16 || body + 16 > bytes.size())
                return fail(error, QStringLiteral("format chunk is cut short"));
            found.formatTag = le16(bytes, body);
            found.channels = le16(bytes, body + 2);
            found.sampleRate = int(le32(bytes, body + 4));
            found.bitsPerSample = le16(bytes, body + 14);
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat)
                return fail(error, QStringLiteral("data chunk comes before the format chunk"));
            found.dataBytes = size;
            haveData = true;
            const qint64 present = bytes.size() - body;
            if (present < size) {
                return fail(error, QStringLiteral("truncated: %1 of %2 sound bytes present").arg(present).arg(size));
            }
            break;
        }
        at = body + qsizetype(size + (size & 1));
    }
    if (!haveFormat)
        return fail(error, QStringLiteral("no format chunk"));
    if (!playableFormat(found.formatTag, found.bitsPerSample)) {
        return fail(error, QStringLiteral("unsupported sample format (tag %1, %2 bits)")
                               .arg(found.formatTag)
                               .arg(found.bitsPerSample));
    }
    if (found.channels < 1 || found.channels > 8 || found.sampleRate < 1000 || found.sampleRate > 384000)
        return fail(error, QStringLiteral("implausible format (%1 channels, %2 Hz)")
                               .arg(found.channels)
                               .arg(found.sampleRate));
    if (!haveData)
        return fail(error, QStringLiteral("no data chunk"));
    if (found.dataBytes == 0)
        return fail(error, QStringLiteral("no sound data"));

    const qint64 bytesPerSecond = qint64(found.sampleRate) * found.channels * (found.bitsPerSample / 8);
    found.durationMs = found.dataBytes * 1000 / bytesPerSecond;
    if (info)
        *info = found;
    return true;
}

bool WaveFile::inspectFile(const QString& path, WaveInfo* info, QString* error)
{
    QFile file(path);
    if (!file.exists())
        return fail(error, QStringLiteral("%1 is missing").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
    if (file.size() > kMaxFileBytes)
        return fail(error, QStringLiteral("%1 is too large for a ring tone").arg(path));
    QString reason;
    if (!inspect(file.readAll(), info, &reason))
        return fail(error, QStringLiteral("%1: %2").arg(path, reason));
    return true;
}

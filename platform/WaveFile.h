#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

/// What a RIFF wave file holds, read from its header chunks.
struct WaveInfo
{
    int formatTag = 0; ///< 1 integer PCM, 3 float, 0xFFFE extensible
    int channels = 0;
    int sampleRate = 0; ///< frames per second
    int bitsPerSample = 0;
    qint64 dataBytes = 0;  ///< size of the "data" chunk as the header declares it
    qint64 durationMs = 0; ///< playing time of dataBytes
};

/// Checks a ring file before it is handed to the audio back end, which on a
/// truncated or odd file neither plays nor reports an error.
class WaveFile
{
public:
    /// Largest file inspectFile reads; a ring tone is a few hundred kilobytes.
    static constexpr qint64 kMaxFileBytes = 32 * 1024 * 1024;

    /// Reads the "fmt " and "data" chunks of a whole file's bytes. False with
    /// *error (a short English reason) when it is not a playable PCM wave:
    /// no RIFF/WAVE header, no format or data chunk, a format other than
    /// 8/16/24/32-bit PCM or 32-bit float, or data shorter than declared.
    static bool inspect(const QByteArray& bytes, WaveInfo* info, QString* error);

    /// inspect() on the file at path; a missing or unreadable file is an error too.
    static bool inspectFile(const QString& path, WaveInfo* info, QString* error);
};

#pragma once

#include <QByteArray>
#include <QString>

/// CPU time of libjpeg-turbo's djpeg decoding a JPEG at full size, the
/// reference the console's cost per picture is held against.
///
/// Each iteration is one djpeg process (output to /dev/null), its CPU time
/// (user + system) taken from wait4. The cost of starting djpeg at all is
/// measured the same way on a 16 x 16 JPEG and subtracted. The two kinds of
/// run alternate and the medians are taken, so that load from other programs
/// and drifting clock speeds touch both alike.
struct DjpegFigures
{
    bool ok = false;
    QString error;
    int iterations = 0;
    /// Median CPU time of one djpeg run on the picture, start-up included (ms).
    double perRunMs = 0;
    /// Median CPU time of one djpeg run on a 16 x 16 JPEG: the start-up (ms).
    double startupMs = 0;
    /// perRunMs - startupMs: the decode itself (ms).
    double decodeMs() const { return perRunMs - startupMs; }
};

class DjpegBench
{
public:
    /// Runs djpeg iterations times on jpeg and on a tiny JPEG, in scratchDir.
    static DjpegFigures measure(const QByteArray& jpeg, int iterations, const QString& scratchDir);

private:
    /// CPU time of one djpeg run on file, in microseconds; negative on failure.
    static qint64 runUs(const QString& file, QString* error);
};

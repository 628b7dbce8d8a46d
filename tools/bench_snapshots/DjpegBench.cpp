#include "DjpegBench.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

bool writeFile(const QString& path, const QByteArray& data, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QByteArray tinyJpeg()
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 80);
    return bytes;
}

double medianMs(std::vector<qint64>* us)
{
    if (us->empty())
        return 0;
    std::sort(us->begin(), us->end());
    const std::size_t n = us->size();
    const double median = n % 2 ? double((*us)[n / 2]) : (double((*us)[n / 2 - 1]) + double((*us)[n / 2])) / 2;
    return median / 1000.0;
}

} // namespace

DjpegFigures DjpegBench::measure(const QByteArray& jpeg, int iterations, const QString& scratchDir)
{
    DjpegFigures figures;
    figures.iterations = iterations;
    const QString picture = QDir(scratchDir).filePath(QStringLiteral("frame.jpg"));
    const QString tiny = QDir(scratchDir).filePath(QStringLiteral("tiny.jpg"));
    if (!writeFile(picture, jpeg, &figures.error) || !writeFile(tiny, tinyJpeg(), &figures.error))
        return figures;
    // Once each before timing: the program and the files come into the page cache.
    if (runUs(picture, &figures.error) < 0 || runUs(tiny, &figures.error) < 0)
        return figures;
    std::vector<qint64> pictureUs;
    std::vector<qint64> tinyUs;
    for (int i = 0; i < iterations; ++i) {
        pictureUs.push_back(runUs(picture, &figures.error));
        tinyUs.push_back(runUs(tiny, &figures.error));
        if (pictureUs.back() < 0 || tinyUs.back() < 0)
            return figures;
    }
    figures.perRunMs = medianMs(&pictureUs);
    figures.startupMs = medianMs(&tinyUs);
    figures.ok = true;
    return figures;
}

qint64 DjpegBench::runUs(const QString& file, QString* error)
{
    const QByteArray path = QFile::encodeName(file);
    char program[] = "djpeg";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char* argv[] = {program, const_cast<char*>(path.constData()), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        *error = QStringLiteral("cannot run djpeg (libjpeg-turbo-progs): %1")
                     .arg(QString::fromLocal8Bit(std::strerror(spawned)));
        return -1;
    }
    int status = 0;
    rusage usage{};
    pid_t waited = -1;
    do {
        waited = wait4(pid, &status, 0, &usage);
    } while (waited < 0 && errno == EINTR);
    if (waited != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        *error = QStringLiteral("djpeg failed on %1").arg(file);
        return -1;
    }
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000 + usage.ru_utime.tv_usec
           + usage.ru_stime.tv_usec;
}

#include "ProcessStats.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <algorithm>

#include <sys/resource.h>
#include <unistd.h>

namespace ProcessStats {

qint64 cpuTimeUs()
{
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return -1;
    const auto us = [](const timeval& t) { return qint64(t.tv_sec) * 1000000 + t.tv_usec; };
    return us(usage.ru_utime) + us(usage.ru_stime);
}

qint64 threadCpuUs(const QByteArray& name)
{
    const QString tasks = QStringLiteral("/proc/self/task/");
    const long ticksPerS = sysconf(_SC_CLK_TCK);
    qint64 ticks = -1;
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks + tid + QStringLiteral("/comm"));
        QFile stat(tasks + tid + QStringLiteral("/stat"));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name || !stat.open(QIODevice::ReadOnly))
            continue;
        // "tid (comm) state ppid ...": utime and stime are the 12th and 13th fields after the ")".
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            ticks = std::max<qint64>(ticks, 0) + fields.at(11).toLongLong() + fields.at(12).toLongLong();
    }
    return ticks < 0 || ticksPerS <= 0 ? -1 : ticks * 1000000 / ticksPerS;
}

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (!line.startsWith("VmRSS:"))
            continue;
        // "VmRSS:     61234 kB"
        const QList<QByteArray> fields = line.mid(6).simplified().split(' ');
        bool ok = false;
        const qint64 kib = fields.value(0).toLongLong(&ok);
        return ok ? kib : -1;
    }
    return -1;
}

} // namespace ProcessStats

#pragma once

#include <QByteArray>
#include <QtGlobal>

/// Resource figures of this process, for the benchmark's table.
namespace ProcessStats {

/// CPU time used so far by every thread of this process (user + system), in microseconds.
qint64 cpuTimeUs();

/// CPU time used so far by this process's threads named name (user + system, from
/// /proc/self/task), in microseconds, at the kernel's clock-tick resolution; -1 when none is.
qint64 threadCpuUs(const QByteArray& name);

/// Resident memory (VmRSS of /proc/self/status) in KiB; -1 when it cannot be read.
qint64 residentKiB();

} // namespace ProcessStats

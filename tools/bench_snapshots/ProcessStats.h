#pragma once

#include <QtGlobal>

/// Resource figures of this process, for the benchmark's table.
namespace ProcessStats {

/// CPU time used so far by every thread of this process (user + system), in microseconds.
qint64 cpuTimeUs();

/// Resident memory (VmRSS of /proc/self/status) in KiB; -1 when it cannot be read.
qint64 residentKiB();

} // namespace ProcessStats

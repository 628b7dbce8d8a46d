#pragma once

#include <QString>

/// What /proc tells about a process the testbed started (an engine daemon, a peer).
namespace ProcessProbe {

/// Resident memory in kB, -1 when it cannot be read.
qint64 residentKb(qint64 pid);
/// True when the process has ended (gone, or a zombie its parent has not reaped).
bool gone(qint64 pid);
/// Its command line, arguments joined by blanks; empty when it cannot be read.
QString commandLine(qint64 pid);

} // namespace ProcessProbe

#pragma once

#include <QString>

/// Where the engine daemon listens, and the second name of its socket that
/// wakes a daemon hanging in its shutdown. Requests go through EngineChannel.
namespace EngineSocket {

/// The daemon's socket for the current user: "/tmp/linphonec-" + uid.
QString defaultPath();

/// Makes linkPath a second name (hard link) of the socket at socketPath,
/// replacing an old linkPath. The daemon can still be reached through it
/// after it has removed its own name. Both must be on one file system.
bool createLink(const QString& socketPath, const QString& linkPath, QString* error = nullptr);

} // namespace EngineSocket

#pragma once

#include "ShellCommand.h"

#include <QString>

/// The engine shell's command lines: linphonecsh in the subfolder lp of the
/// program's directory, told to register with a SIP server at start-up and to
/// make the engine exit at shutdown.
namespace EngineShell {

/// programDir + "/lp/linphonecsh".
QString shellPath(const QString& programDir);

/// "--host " + server + " --username " + user + " --password " + password,
/// every field as stored (not trimmed). With maskPassword the password reads
/// "******", for texts that go to the log.
QString registerArgumentText(const QString& server, const QString& user, const QString& password, bool maskPassword);

/// linphonecsh register --host server --username user --password password,
/// each value one argument whatever blanks or quotes it holds. The log text
/// masks the password.
ShellCommand registerCommand(const QString& shellPath, const QString& server, const QString& user,
                             const QString& password);

/// linphonecsh exit.
ShellCommand exitCommand(const QString& shellPath);

} // namespace EngineShell

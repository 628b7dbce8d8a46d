#include "EngineShell.h"

namespace EngineShell {

QString shellPath(const QString& programDir)
{
    return programDir + QStringLiteral("/lp/linphonecsh");
}

QString registerArgumentText(const QString& server, const QString& user, const QString& password, bool maskPassword)
{
    return QStringLiteral("--host ") + server + QStringLiteral(" --username ") + user + QStringLiteral(" --password ") +
           (maskPassword ? QStringLiteral("******") : password);
}

ShellCommand registerCommand(const QString& shellPath, const QString& server, const QString& user,
                             const QString& password)
{
    ShellCommand command;
    command.program = shellPath;
    command.arguments = {QStringLiteral("register"),
                         QStringLiteral("--host"),
                         server,
                         QStringLiteral("--username"),
                         user,
                         QStringLiteral("--password"),
                         password};
    command.logText = shellPath + QStringLiteral(" register ") + registerArgumentText(server, user, password, true);
    return command;
}

ShellCommand exitCommand(const QString& shellPath)
{
    ShellCommand command;
    command.program = shellPath;
    command.arguments = {QStringLiteral("exit")};
    command.logText = shellPath + QStringLiteral(" exit");
    return command;
}

} // namespace EngineShell

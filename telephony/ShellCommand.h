#pragma once

#include <QString>
#include <QStringList>

/// One command for the engine shell: the program and its arguments, passed to
/// the child one by one (no shell parses them), plus the command line as it
/// may appear in the event log, with secrets masked.
struct ShellCommand
{
    QString program;
    QStringList arguments;
    QString logText;
};

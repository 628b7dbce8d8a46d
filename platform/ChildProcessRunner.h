#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/// What one child-process run produced.
struct ChildRunResult
{
    bool started = false;  ///< false: the program could not be started at all
    QByteArray output;     ///< the wanted streams' bytes, as the child wrote them
    bool timedOut = false; ///< the child was killed at the time limit; output holds what came before
};

/// Runs a program as a hidden child process and collects its output. The
/// program is started directly, never through a shell, so arguments reach it
/// exactly as given.
class ChildProcessRunner
{
public:
    virtual ~ChildProcessRunner() = default;

    /// Runs program with args in the parent's environment and current
    /// directory and blocks until it ends or timeoutMs passes; a child still
    /// running then is killed. wantStdOut / wantStdErr select the streams
    /// collected (both: merged in the order written); an unwanted stream is
    /// discarded.
    virtual ChildRunResult run(const QString& program, const QStringList& args, bool wantStdOut, bool wantStdErr,
                               int timeoutMs) = 0;
};

/// QProcess implementation.
class QtChildProcessRunner : public ChildProcessRunner
{
public:
    ChildRunResult run(const QString& program, const QStringList& args, bool wantStdOut, bool wantStdErr,
                       int timeoutMs) override;
};

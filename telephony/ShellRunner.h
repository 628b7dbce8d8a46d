#pragma once

#include "ShellCommand.h"

#include <QString>

class ChildProcessRunner;
class Logger;

/// Runs engine shell commands as hidden child processes and returns what they
/// printed (run). Blocks the calling thread for the child's run.
class ShellRunner
{
public:
    /// Time limit of one run unless setTimeoutMs says otherwise.
    static constexpr int kDefaultTimeoutMs = 15000;
    /// Runs in all of a command whose output keeps reporting a dead engine pipe.
    static constexpr int kMaxRuns = 3;
    /// Pause before each repeated run.
    static constexpr int kRetryPauseMs = 200;

    /// Both references must outlive the runner.
    ShellRunner(Logger& log, ChildProcessRunner& runner);

    /// Runs the command and returns the collected output of the wanted
    /// streams (at least one must be wanted; a call with neither runs nothing,
    /// logs the rejection and returns an empty text).
    ///
    /// - A program that cannot be started gives exactly
    ///   "Failed to create process, check the path of the command line.".
    /// - While the collected text contains "Failed to connect pipe" (the shell
    ///   found no engine), the command runs again after 200 ms, up to three
    ///   runs in all; each repeat is logged as the command's logText and
    ///   "retry", and the outputs of all runs are joined in order.
    /// - A run still going at the time limit is killed; its output so far is
    ///   kept and the kill is logged.
    ///
    /// Output is decoded in the locale's 8-bit encoding (UTF-8).
    QString run(const ShellCommand& command, bool wantStdOut, bool wantStdErr);

    /// Time limit of one run in milliseconds; negative for none.
    void setTimeoutMs(int timeoutMs);
    int timeoutMs() const { return m_timeoutMs; }

private:
    Logger& m_log;
    ChildProcessRunner& m_runner;
    int m_timeoutMs = kDefaultTimeoutMs;
};

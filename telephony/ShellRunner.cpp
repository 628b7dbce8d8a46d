#include "ShellRunner.h"

#include "ChildProcessRunner.h"
#include "Logger.h"

#include <chrono>
#include <thread>

namespace {

QString startFailureText()
{
    return QStringLiteral("Failed to create process, check the path of the command line.");
}

QString pipeFailureText()
{
    return QStringLiteral("Failed to connect pipe");
}

} // namespace

ShellRunner::ShellRunner(Logger& log, ChildProcessRunner& runner)
    : m_log(log)
    , m_runner(runner)
{}

void ShellRunner::setTimeoutMs(int timeoutMs)
{
    m_timeoutMs = timeoutMs;
}

QString ShellRunner::run(const ShellCommand& command, bool wantStdOut, bool wantStdErr)
{
    // There is no OEM code page to convert from on this platform.

    if (!wantStdOut && !wantStdErr) {
        m_log.write(command.logText + QStringLiteral(" not run: neither standard output nor standard error wanted"));
        return {};
    }

    QString collected;
    qint16 retries = 0;
    for (;;) {
        const ChildRunResult run =
            m_runner.run(command.program, command.arguments, wantStdOut, wantStdErr, m_timeoutMs);
        if (!run.started) {
            collected = startFailureText();
        } else {
            collected += QString::fromLocal8Bit(run.output);
            if (run.timedOut) {
                m_log.write(
                    command.logText +
                    QStringLiteral(" killed after %1 s without ending").arg(QString::number(m_timeoutMs / 1000.0)));
            }
        }

        if (!collected.contains(pipeFailureText())) {
            break;
        }
        ++retries;
        if (retries >= kMaxRuns) {
            break;
        }
        // The engine may still be opening its socket: give it a moment.
        std::this_thread::sleep_for(std::chrono::milliseconds(kRetryPauseMs));
        m_log.write(command.logText);
        m_log.write(QStringLiteral("retry"));
    }
    return collected;
}

#include "ChildProcessRunner.h"

#include <QDeadlineTimer>
#include <QProcess>

namespace {

// How long to wait for a killed child to be reaped.
constexpr int kReapMs = 5000;

int waitMs(const QDeadlineTimer& deadline)
{
    // QProcess takes -1 for "no limit"; a limit already reached is 0.
    const qint64 left = deadline.remainingTime();
    return left < 0 ? -1 : static_cast<int>(left);
}

} // namespace

ChildRunResult QtChildProcessRunner::run(const QString& program, const QStringList& args, bool wantStdOut,
                                         bool wantStdErr, int timeoutMs)
{
    ChildRunResult result;
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    process.setStandardInputFile(QProcess::nullDevice());
    if (wantStdOut && wantStdErr) {
        // One pipe for both keeps the child's lines in the order it wrote them.
        process.setProcessChannelMode(QProcess::MergedChannels);
    } else if (wantStdOut) {
        process.setStandardErrorFile(QProcess::nullDevice());
    } else if (wantStdErr) {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setReadChannel(QProcess::StandardError);
    } else {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
    }

    const QDeadlineTimer deadline(timeoutMs);
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(waitMs(deadline))) {
        // A program that cannot be executed never got a pid; one that is
        // merely slow to start is treated the same way after the time limit.
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(kReapMs);
        }
        return result;
    }
    result.started = true;

    if (!process.waitForFinished(waitMs(deadline)) && process.state() != QProcess::NotRunning) {
        result.timedOut = true;
        process.kill(); // SIGKILL to the child's pid
        process.waitForFinished(kReapMs);
    }
    if (wantStdOut) {
        result.output = process.readAllStandardOutput();
    } else if (wantStdErr) {
        result.output = process.readAllStandardError();
    }
    return result;
}

#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QProcess;

/// A long-running child process (an engine daemon, a test peer). Its standard
/// output and error go to a log file, never to a pipe nobody reads, and its
/// standard input is empty. The child is killed when this object goes away
/// and, on Linux, when the process that started it dies.
/// Not copyable; use from the thread that created it.
class DaemonProcess
{
public:
    DaemonProcess();
    /// Kills (SIGKILL) a child that still runs.
    ~DaemonProcess();

    DaemonProcess(const DaemonProcess&) = delete;
    DaemonProcess& operator=(const DaemonProcess&) = delete;

    /// Starts program with arguments; output is appended to logFilePath (an
    /// empty path discards it). Fails if a child of this object still runs or
    /// the program cannot be started.
    bool start(const QString& program, const QStringList& arguments, const QString& logFilePath,
               QString* error = nullptr);

    /// Working directory of the next child; empty (the default) keeps ours.
    void setWorkingDirectory(const QString& directory) { m_workingDirectory = directory; }

    /// PID of the running child, 0 when none runs.
    qint64 pid() const;
    bool isRunning() const;
    /// Waits up to timeoutMs for the child to end; true when it has ended (or
    /// never ran).
    bool waitForExit(int timeoutMs);
    /// Exit code of the ended child, -1 when it crashed, was killed or still runs.
    int exitCode() const;
    /// SIGKILL by PID, then reaps the child (bounded wait).
    void kill();

private:
    std::unique_ptr<QProcess> m_process;
    QString m_workingDirectory;
};

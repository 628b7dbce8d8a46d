#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QFile;
class QProcess;

/// A long-running child process of a test or a benchmark (sipp, the registrar). Its standard
/// output and error go to a log file, never to a pipe nobody reads, and its
/// standard input is empty. The child is killed when this object goes away
/// and, on Linux, when the process that started it dies.
///
/// With an output limit the output comes through a pipe that this object reads
/// (on the event loop) and appends to the log file, which it rotates once it
/// passes the limit: the file and its one predecessor "<file>.1" stay bounded
/// however long the child runs.
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

    /// Bytes of output the log file may reach before it is rotated; 0 (the
    /// default): the child writes to the file itself, unbounded. Set before start().
    void setOutputLimit(qint64 bytes) { m_outputLimit = bytes; }
    /// Called from the event loop when the child ends by itself or is killed:
    /// its exit code, or -1 when it crashed or was killed.
    void setExitHandler(std::function<void(int exitCode)> handler) { m_exitHandler = std::move(handler); }

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
    void copyOutput();

    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QFile> m_log;
    QString m_workingDirectory;
    qint64 m_outputLimit = 0;
    std::function<void(int exitCode)> m_exitHandler;
};

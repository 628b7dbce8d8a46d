#pragma once

#include "EngineOutputReader.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QFile;
class QProcess;

/// The engine's daemon process (linphonec --pipe), started and read without
/// waiting. Its standard output and error come through a pipe read on the
/// event loop: each line is checked for a call event (eventRead) and copied,
/// with the registration password masked, into a log file that only the
/// operator can read (0600) and that is rotated at a size limit (one old copy
/// kept). The child gets umask 077, so the configuration it rewrites stays
/// private too; it is killed when this object goes and, on Linux, when the
/// console dies. GUI thread only.
class EngineDaemon : public QObject
{
    Q_OBJECT
public:
    explicit EngineDaemon(QObject* parent = nullptr);
    /// Kills (SIGKILL) a child that still runs and reaps it.
    ~EngineDaemon() override;

    /// Starts program with arguments; returns at once. False (with why) when a child still runs, the log
    /// cannot be opened or the program does not exist; a start that fails later ends with ended(pid, -1).
    bool start(const QString& program, const QStringList& arguments, const QString& logPath, qint64 logLimitBytes,
               QString* error = nullptr);
    /// Text masked wherever it shows in the copied output (the SIP password).
    void setSecret(const QString& secret) { m_secret = secret.toUtf8(); }

    qint64 pid() const { return m_pid; }
    bool isRunning() const;
    /// SIGKILL by PID; ended() follows from the event loop.
    void kill();

signals:
    /// A call event line of the daemon's output.
    void eventRead(const EngineEvent& event);
    /// The child ended (by itself, killed, or failed to start): its exit code, -1 when it crashed or was killed.
    void ended(qint64 pid, int exitCode);

private:
    void readOutput();
    void copyLine(const QByteArray& line);
    void finish(int exitCode);

    std::unique_ptr<QProcess> m_process;
    std::unique_ptr<QFile> m_log;
    EngineOutputReader m_reader;
    QByteArray m_secret;
    qint64 m_logLimit = 0;
    qint64 m_pid = 0;
    bool m_endReported = false;
};

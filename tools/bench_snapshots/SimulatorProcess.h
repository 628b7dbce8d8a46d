#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

/// The door-station simulator (qz-stationsim) as a child process of the
/// benchmark. The destructor stops it by its PID (the quit command, SIGTERM,
/// then SIGKILL), so an early return or an exception never leaves it running;
/// should the benchmark itself be killed, the child gets SIGTERM from the
/// kernel (parent-death signal) and its stdin reaches its end.
class SimulatorProcess
{
public:
    SimulatorProcess() = default;
    ~SimulatorProcess();

    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    /// Starts program with arguments and waits up to readyTimeoutMs (running
    /// the event loop) for its "ready" line. False with error set when it does
    /// not start, ends, or stays silent.
    bool start(const QString& program, const QStringList& arguments, int readyTimeoutMs, QString* error);

    /// Stops the process by its PID; safe to call twice. Returns its stderr text.
    QString stop(int graceMs = 3000);

    qint64 pid() const { return m_process.processId(); }

private:
    void drain();

    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
    bool m_ready = false;
};

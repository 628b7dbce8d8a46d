#pragma once

#include <QByteArray>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

/// The door-station simulator (qz-stationsim, built with this library) as a
/// child process of a test or a benchmark. The constructor starts it and waits
/// for its "ready" line; the destructor stops it by its PID (the quit command,
/// SIGTERM, then SIGKILL), also when a test fails half-way. Should the parent
/// itself die, the child gets SIGTERM from the kernel and its stdin ends.
///
/// Waiting functions run the event loop, so the caller's own sockets and
/// requests make progress meanwhile. Give each user its own addresses
/// (--first) and ports, so tests, benchmarks and a demo can run side by side.
class StationSimulator
{
public:
    /// Starts the simulator with arguments and waits up to readyTimeoutMs for
    /// "ready"; isReady() tells whether it came, errorString() why not.
    explicit StationSimulator(const QStringList& arguments, int readyTimeoutMs = 10000);
    ~StationSimulator();

    StationSimulator(const StationSimulator&) = delete;
    StationSimulator& operator=(const StationSimulator&) = delete;

    bool isReady() const { return m_ready; }
    QString errorString() const { return m_error; }
    qint64 pid() const { return m_process.processId(); }

    /// Writes one command line ("call 0", "mode 2 hang", "status", ...).
    void send(const QString& command);

    /// Every stdout line so far, in order, without line ends.
    QStringList lines();
    /// Number of stdout lines so far: pass it to waitForLine() to look only at later ones.
    int lineCount() { return int(lines().size()); }
    /// Waits up to timeoutMs for a stdout line at index fromLine or later that
    /// pattern matches; fills match (if given) with the first such line.
    bool waitForLine(const QRegularExpression& pattern, int timeoutMs = 5000, int fromLine = 0,
                     QRegularExpressionMatch* match = nullptr);
    /// Sends "status" and returns the status line of station (empty if none came in time).
    QString status(int station, int timeoutMs = 5000);

    /// Stops the process: the quit command, SIGTERM after graceMs (it may run
    /// with --no-stdin), SIGKILL a second later. Returns its stderr text. Safe
    /// to call twice.
    QString stop(int graceMs = 3000);

    /// "127.0.0.(first + index)": station index of a simulator started with --first first.
    static QString address(int first, int index) { return QStringLiteral("127.0.0.%1").arg(first + index); }

private:
    void drain();
    /// Runs the event loop until new output, the process's end, or 100 ms (at most until remainingMs).
    void waitForOutput(qint64 remainingMs);

    QProcess m_process;
    QByteArray m_outBuffer;
    QByteArray m_errors;
    QStringList m_lines;
    QString m_error;
    bool m_ready = false;
};

#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTimer>

#ifndef QZ_STATIONSIM_PATH
#error "QZ_STATIONSIM_PATH must name the qz-stationsim executable"
#endif

/// A qz-stationsim process for a test: started by the constructor, stopped by the destructor (the quit
/// command, then a kill of its PID after a grace period), also when the test fails half-way.
///
/// Waiting functions run the event loop, so the test's own sockets and network requests make progress
/// while they wait. Give every test its own addresses (--first) and ports so that tests can run in
/// parallel with each other and with a demo.
class StationSimulator
{
public:
    /// Starts the simulator with arguments and waits up to readyTimeoutMs for its "ready" line;
    /// see isReady() and errorString().
    explicit StationSimulator(const QStringList& arguments, int readyTimeoutMs = 10000)
    {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process, [this] { drain(); });
        QObject::connect(&m_process, &QProcess::readyReadStandardError, &m_process, [this] { drain(); });
        m_process.start(QStringLiteral(QZ_STATIONSIM_PATH), arguments);
        m_ready = m_process.waitForStarted(readyTimeoutMs)
                  && waitForLine(QRegularExpression(QStringLiteral("^ready$")), readyTimeoutMs);
        if (!m_ready)
            m_error = QStringLiteral("no \"ready\" from the simulator (%1); stderr: %2")
                          .arg(m_process.errorString(), m_errorLines.join(QLatin1Char('\n')));
    }

    ~StationSimulator() { stop(); }

    StationSimulator(const StationSimulator&) = delete;
    StationSimulator& operator=(const StationSimulator&) = delete;

    /// True once "ready" has been seen; errorString() says why not.
    bool isReady() const { return m_ready; }
    QString errorString() const { return m_error; }

    /// Writes one command line to the simulator's stdin ("call 0", "mode 2 hang", "status"...).
    void send(const QString& command)
    {
        m_process.write(command.toUtf8() + '\n');
        m_process.waitForBytesWritten(1000);
    }

    /// Every stdout (stderr) line so far, in order, without line ends.
    QStringList lines()
    {
        drain();
        return m_lines;
    }
    QStringList errorLines()
    {
        drain();
        return m_errorLines;
    }

    /// Number of stdout lines so far; pass it to waitForLine() to look only at lines that come later.
    int lineCount() { return int(lines().size()); }

    /// Waits up to timeoutMs for a stdout line, at index fromLine or later, that pattern matches.
    /// Returns true and fills match (if given) with the first such line.
    bool waitForLine(const QRegularExpression& pattern, int timeoutMs = 5000, int fromLine = 0,
                     QRegularExpressionMatch* match = nullptr)
    {
        const QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            // Looked at before draining: a process that has ended has handed over all of its output.
            const bool ended = m_process.state() == QProcess::NotRunning;
            drain();
            for (qsizetype i = fromLine; i < m_lines.size(); ++i) {
                const QRegularExpressionMatch found = pattern.match(m_lines.at(i));
                if (found.hasMatch()) {
                    if (match)
                        *match = found;
                    return true;
                }
            }
            if (ended || deadline.hasExpired())
                return false;
            waitForEvent(deadline, &QProcess::readyReadStandardOutput);
        }
    }

    /// Sends "status" and returns the status line of station index (empty if none came in time).
    QString status(int index, int timeoutMs = 5000)
    {
        const int from = lineCount();
        send(QStringLiteral("status"));
        QRegularExpressionMatch match;
        if (!waitForLine(QRegularExpression(QStringLiteral("^status end$")), timeoutMs, from)
            || !waitForLine(QRegularExpression(QStringLiteral("^status %1 .*$").arg(index)), 0, from, &match))
            return QString();
        return match.captured(0);
    }

    /// Closes the simulator's stdin (it stops at the end of its input unless run with --no-stdin).
    void closeInput() { m_process.closeWriteChannel(); }

    /// Waits up to timeoutMs for the process to end, running the event loop; true if it has ended.
    bool waitForExit(int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (m_process.state() != QProcess::NotRunning && !deadline.hasExpired())
            waitForEvent(deadline, &QProcess::finished);
        drain();
        return m_process.state() == QProcess::NotRunning;
    }

    /// Exit code of an ended process; -1 if it crashed or still runs.
    int exitCode() const
    {
        const bool normal = m_process.state() == QProcess::NotRunning && m_process.exitStatus() == QProcess::NormalExit;
        return normal ? m_process.exitCode() : -1;
    }

    /// Stops the process: the quit command, SIGTERM after graceMs (for --no-stdin), then SIGKILL to its PID
    /// a second later. Safe to call twice.
    void stop(int graceMs = 3000)
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.write("quit\n");
        m_process.waitForBytesWritten(500);
        if (!m_process.waitForFinished(graceMs)) {
            m_process.terminate();
            if (!m_process.waitForFinished(1000)) {
                m_process.kill();
                m_process.waitForFinished(2000);
            }
        }
        drain();
    }

    /// "127.0.0.(first + index)", the address of station index of a simulator started with --first first.
    static QString address(int first, int index) { return QStringLiteral("127.0.0.%1").arg(first + index); }

private:
    /// Runs the event loop until signal comes or 100 ms (at most until deadline) pass.
    template <typename Signal>
    void waitForEvent(const QDeadlineTimer& deadline, Signal signal)
    {
        QEventLoop loop;
        QObject::connect(&m_process, signal, &loop, &QEventLoop::quit);
        QTimer::singleShot(int(qMin<qint64>(deadline.remainingTime(), 100)), &loop, &QEventLoop::quit);
        loop.exec();
    }

    void drain()
    {
        takeLines(m_process.readAllStandardOutput(), &m_outBuffer, &m_lines);
        takeLines(m_process.readAllStandardError(), &m_errBuffer, &m_errorLines);
    }

    static void takeLines(const QByteArray& bytes, QByteArray* buffer, QStringList* lines)
    {
        *buffer += bytes;
        qsizetype end;
        while ((end = buffer->indexOf('\n')) >= 0) {
            QByteArray line = buffer->left(end);
            buffer->remove(0, end + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            lines->append(QString::fromUtf8(line));
        }
    }

    QProcess m_process;
    QByteArray m_outBuffer;
    QByteArray m_errBuffer;
    QStringList m_lines;
    QStringList m_errorLines;
    QString m_error;
    bool m_ready = false;
};

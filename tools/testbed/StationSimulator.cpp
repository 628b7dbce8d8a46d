#include "StationSimulator.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <sys/prctl.h>

#ifndef QZ_STATIONSIM_PATH
#error "QZ_STATIONSIM_PATH must name the qz-stationsim executable"
#endif

StationSimulator::StationSimulator(const QStringList& arguments, int readyTimeoutMs)
{
    m_process.setChildProcessModifier([]() { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(QStringLiteral(QZ_STATIONSIM_PATH), arguments);
    if (!m_process.waitForStarted(readyTimeoutMs)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(m_process.program(), m_process.errorString());
        return;
    }
    static const QRegularExpression ready(QStringLiteral("^ready$"));
    m_ready = waitForLine(ready, readyTimeoutMs);
    if (!m_ready)
        m_error = QStringLiteral("no \"ready\" from the simulator (%1); stderr: %2")
                      .arg(m_process.state() == QProcess::NotRunning
                               ? QStringLiteral("it ended with exit code %1").arg(m_process.exitCode())
                               : QStringLiteral("still silent after %1 ms").arg(readyTimeoutMs),
                           QString::fromLocal8Bit(m_errors).trimmed());
}

StationSimulator::~StationSimulator()
{
    stop();
}

void StationSimulator::send(const QString& command)
{
    m_process.write(command.toUtf8() + '\n');
    m_process.waitForBytesWritten(1000);
}

QStringList StationSimulator::lines()
{
    drain();
    return m_lines;
}

bool StationSimulator::waitForLine(const QRegularExpression& pattern, int timeoutMs, int fromLine,
                                   QRegularExpressionMatch* match)
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
        waitForOutput(deadline.remainingTime());
    }
}

QString StationSimulator::status(int station, int timeoutMs)
{
    const int from = lineCount();
    send(QStringLiteral("status"));
    static const QRegularExpression end(QStringLiteral("^status end$"));
    QRegularExpressionMatch match;
    if (!waitForLine(end, timeoutMs, from)
        || !waitForLine(QRegularExpression(QStringLiteral("^status %1 .*$").arg(station)), 0, from, &match))
        return QString();
    return match.captured(0);
}

QString StationSimulator::stop(int graceMs)
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.write("quit\n");
        m_process.waitForBytesWritten(500);
        if (!m_process.waitForFinished(graceMs)) {
            m_process.terminate();
            if (!m_process.waitForFinished(1000)) {
                m_process.kill();
                m_process.waitForFinished(2000);
            }
        }
    }
    drain();
    return QString::fromLocal8Bit(m_errors).trimmed();
}

void StationSimulator::drain()
{
    m_outBuffer += m_process.readAllStandardOutput();
    m_errors += m_process.readAllStandardError();
    qsizetype end;
    while ((end = m_outBuffer.indexOf('\n')) >= 0) {
        QByteArray line = m_outBuffer.left(end);
        m_outBuffer.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        m_lines.append(QString::fromUtf8(line));
    }
}

void StationSimulator::waitForOutput(qint64 remainingMs)
{
    QEventLoop loop;
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
    QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(int(std::clamp<qint64>(remainingMs, 0, 100)), &loop, &QEventLoop::quit);
    loop.exec();
}

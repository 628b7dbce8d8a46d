#include "SimulatorProcess.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>

namespace {

// Only the start of the output matters ("ready", errors): keep no more of it.
constexpr qsizetype kMaxKeptBytes = 64 * 1024;

void keepTail(QByteArray* buffer)
{
    if (buffer->size() > kMaxKeptBytes)
        buffer->remove(0, buffer->size() - kMaxKeptBytes);
}

} // namespace

SimulatorProcess::~SimulatorProcess()
{
    stop();
}

bool SimulatorProcess::start(const QString& program, const QStringList& arguments, int readyTimeoutMs, QString* error)
{
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    m_process.setChildProcessModifier([]() { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process, [this]() { drain(); });
    QObject::connect(&m_process, &QProcess::readyReadStandardError, &m_process, [this]() { drain(); });
    m_process.start();
    if (!m_process.waitForStarted(readyTimeoutMs)) {
        *error = QStringLiteral("cannot start %1: %2").arg(program, m_process.errorString());
        return false;
    }
    const QDeadlineTimer deadline(readyTimeoutMs);
    while (!m_ready) {
        if (m_process.state() == QProcess::NotRunning || deadline.hasExpired()) {
            drain();
            *error = QStringLiteral("no \"ready\" from %1 (%2); stderr: %3")
                         .arg(program,
                              m_process.state() == QProcess::NotRunning
                                  ? QStringLiteral("it ended with exit code %1").arg(m_process.exitCode())
                                  : QStringLiteral("still silent after %1 ms").arg(readyTimeoutMs),
                              QString::fromLocal8Bit(m_err).trimmed());
            return false;
        }
        QEventLoop loop;
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
        QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
        drain();
    }
    return true;
}

QString SimulatorProcess::stop(int graceMs)
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.write("quit\n");
        m_process.waitForBytesWritten(500);
        if (!m_process.waitForFinished(graceMs)) {
            m_process.terminate(); // SIGTERM to its PID
            if (!m_process.waitForFinished(1000)) {
                m_process.kill(); // SIGKILL to its PID
                m_process.waitForFinished(2000);
            }
        }
    }
    drain();
    return QString::fromLocal8Bit(m_err).trimmed();
}

void SimulatorProcess::drain()
{
    m_out += m_process.readAllStandardOutput();
    m_err += m_process.readAllStandardError();
    if (!m_ready) {
        for (const QByteArray& line : m_out.split('\n')) {
            if (line.trimmed() == "ready")
                m_ready = true;
        }
    }
    keepTail(&m_out);
    keepTail(&m_err);
}

#include "DaemonProcess.h"

#include <QFile>
#include <QProcess>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace
{
// A killed child normally ends at once; this only bounds an unkillable one.
constexpr int ReapTimeoutMs = 3000;
} // namespace

DaemonProcess::DaemonProcess() = default;

DaemonProcess::~DaemonProcess()
{
    m_exitHandler = nullptr; // whoever set it may be going away too
    if (isRunning())
        kill();
}

bool DaemonProcess::start(const QString& program, const QStringList& arguments, const QString& logFilePath,
                          QString* error)
{
    if (isRunning()) {
        if (error)
            *error = QStringLiteral("%1 is already running (pid %2)").arg(program).arg(pid());
        return false;
    }

    m_process = std::make_unique<QProcess>();
    m_process->setProgram(program);
    m_process->setArguments(arguments);
    if (!m_workingDirectory.isEmpty())
        m_process->setWorkingDirectory(m_workingDirectory);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_log.reset();
    if (m_outputLimit > 0 && !logFilePath.isEmpty()) {
        m_log = std::make_unique<QFile>(logFilePath);
        if (!m_log->open(QIODevice::WriteOnly | QIODevice::Append)) {
            if (error)
                *error = QStringLiteral("cannot open %1: %2").arg(logFilePath, m_log->errorString());
            m_log.reset();
            m_process.reset();
            return false;
        }
        QObject::connect(m_process.get(), &QProcess::readyReadStandardOutput, m_process.get(),
                         [this]() { copyOutput(); });
    } else {
        m_process->setStandardOutputFile(logFilePath.isEmpty() ? QProcess::nullDevice() : logFilePath,
                                         QIODevice::Append);
    }
    QObject::connect(m_process.get(), &QProcess::finished, m_process.get(),
                     [this](int code, QProcess::ExitStatus status) {
                         if (m_log)
                             copyOutput();
                         if (m_exitHandler)
                             m_exitHandler(status == QProcess::NormalExit ? code : -1);
                     });

    const pid_t parentPid = ::getpid();
    m_process->setChildProcessModifier([parentPid]() {
        // The child must not outlive a console that crashed or was killed.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The parent may have died between fork and prctl.
        if (::getppid() != parentPid)
            ::_exit(127);
    });

    m_process->start();
    if (!m_process->waitForStarted()) {
        if (error)
            *error = QStringLiteral("cannot start %1: %2").arg(program, m_process->errorString());
        m_process.reset();
        return false;
    }
    return true;
}

void DaemonProcess::copyOutput()
{
    const QByteArray bytes = m_process->readAllStandardOutput();
    if (!m_log || bytes.isEmpty())
        return;
    m_log->write(bytes);
    m_log->flush();
    if (m_log->size() < m_outputLimit)
        return;
    // One predecessor is kept; what came before it is dropped.
    const QString path = m_log->fileName();
    m_log->close();
    QFile::remove(path + QStringLiteral(".1"));
    QFile::rename(path, path + QStringLiteral(".1"));
    m_log->open(QIODevice::WriteOnly | QIODevice::Append);
}

qint64 DaemonProcess::pid() const
{
    return m_process ? m_process->processId() : 0;
}

bool DaemonProcess::isRunning() const
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return false;
    // Without an event loop QProcess learns of the child's end only when asked.
    m_process->waitForFinished(0);
    return m_process->state() != QProcess::NotRunning;
}

bool DaemonProcess::waitForExit(int timeoutMs)
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return true;
    return m_process->waitForFinished(timeoutMs) || m_process->state() == QProcess::NotRunning;
}

int DaemonProcess::exitCode() const
{
    if (!m_process || m_process->state() != QProcess::NotRunning || m_process->exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process->exitCode();
}

void DaemonProcess::kill()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    const qint64 childPid = m_process->processId();
    if (childPid > 0)
        ::kill(pid_t(childPid), SIGKILL);
    m_process->waitForFinished(ReapTimeoutMs);
}

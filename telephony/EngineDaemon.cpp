#include "EngineDaemon.h"

#include <QFile>
#include <QProcess>

#include <csignal>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr QFileDevice::Permissions kPrivate = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

} // namespace

EngineDaemon::EngineDaemon(QObject* parent)
    : QObject(parent)
{
}

EngineDaemon::~EngineDaemon()
{
    if (!m_process)
        return;
    m_process->disconnect(this);
    if (m_process->state() != QProcess::NotRunning)
        ::kill(pid_t(m_process->processId()), SIGKILL);
    // QProcess's destructor reaps the child: a bounded wait for the kernel, which ends a killed process at once.
    m_process.reset();
}

bool EngineDaemon::start(const QString& program, const QStringList& arguments, const QString& logPath,
                         qint64 logLimitBytes, QString* error)
{
    if (isRunning()) {
        if (error)
            *error = QStringLiteral("%1 is already running (pid %2)").arg(program).arg(m_pid);
        return false;
    }
    m_log.reset();
    if (!logPath.isEmpty()) {
        auto log = std::make_unique<QFile>(logPath);
        // The daemon echoes every command it receives: the file is the operator's alone.
        if (!log->open(QIODevice::WriteOnly | QIODevice::Append, kPrivate) || !log->setPermissions(kPrivate)) {
            if (error)
                *error = QStringLiteral("cannot open %1: %2").arg(logPath, log->errorString());
            return false;
        }
        m_log = std::move(log);
    }
    m_logLimit = logLimitBytes;
    m_reader = EngineOutputReader();
    // A start refused inside start() is reported by its return value, not by ended().
    m_endReported = true;

    if (m_process)
        m_process->disconnect(this);
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(program);
    m_process->setArguments(arguments);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_process.get(), &QProcess::readyReadStandardOutput, this, &EngineDaemon::readOutput);
    connect(m_process.get(), &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        readOutput();
        finish(status == QProcess::NormalExit ? code : -1);
    });
    connect(m_process.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            finish(-1);
    });
    const pid_t parentPid = ::getpid();
    m_process->setChildProcessModifier([parentPid]() {
        // The engine must not outlive a console that crashed or was killed.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parentPid)
            ::_exit(127);
        // It rewrites its configuration, which holds the SIP password once registered.
        ::umask(077);
    });
    m_process->start();
    m_pid = m_process->processId();
    if (m_pid <= 0) {
        if (error)
            *error = QStringLiteral("cannot start %1: %2").arg(program, m_process->errorString());
        m_process->disconnect(this);
        return false;
    }
    m_endReported = false;
    return true;
}

bool EngineDaemon::isRunning() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

void EngineDaemon::kill()
{
    if (isRunning())
        ::kill(pid_t(m_process->processId()), SIGKILL);
}

void EngineDaemon::readOutput()
{
    if (!m_process)
        return;
    const QByteArray bytes = m_process->readAllStandardOutput();
    for (const QByteArray& line : m_reader.takeLines(bytes)) {
        copyLine(line);
        if (const std::optional<EngineEvent> event = EngineOutputReader::parse(line))
            emit eventRead(*event);
    }
}

void EngineDaemon::copyLine(const QByteArray& line)
{
    if (!m_log)
        return;
    m_log->write(EngineOutputReader::masked(line, m_secret) + '\n');
    m_log->flush();
    if (m_logLimit <= 0 || m_log->size() < m_logLimit)
        return;
    // One predecessor is kept; what came before it is dropped. The rename keeps the mode.
    const QString path = m_log->fileName();
    m_log->close();
    QFile::remove(path + QStringLiteral(".1"));
    QFile::rename(path, path + QStringLiteral(".1"));
    m_log->open(QIODevice::WriteOnly | QIODevice::Append, kPrivate);
}

void EngineDaemon::finish(int exitCode)
{
    if (m_endReported)
        return;
    m_endReported = true;
    const QByteArray rest = m_reader.takeRest();
    if (!rest.isEmpty())
        copyLine(rest);
    emit ended(m_pid, exitCode);
}

#include "LinphoneEngine.h"

#include "AudioHardware.h"
#include "DaemonProcess.h"
#include "EngineSocketClient.h"
#include "Logger.h"

#include <QDeadlineTimer>
#include <QScopeGuard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace
{
const QByteArray SoundCardCommand = QByteArrayLiteral("soundcard use files");
const QByteArray QuitCommand = QByteArrayLiteral("quit");
const QByteArray StatusCommand = QByteArrayLiteral("status hook");
} // namespace

LinphoneEngine::LinphoneEngine(Logger& logger)
    : LinphoneEngine(logger, Options())
{
}

LinphoneEngine::LinphoneEngine(Logger& logger, Options options)
    : m_logger(logger)
    , m_options(std::move(options))
{
    if (m_options.configPath.isEmpty())
        m_options.configPath = defaultConfigPath();
    if (m_options.logPath.isEmpty())
        m_options.logPath = QFileInfo(m_options.configPath).absolutePath() + QStringLiteral("/linphonec.log");
    if (m_options.socketPath.isEmpty())
        m_options.socketPath = EngineSocketClient::defaultSocketPath();
    m_wakeLinkPath = m_options.socketPath + QStringLiteral(".wake");
}

LinphoneEngine::~LinphoneEngine()
{
    stopStartedDaemon(m_options.quitGraceMs);
}

void LinphoneEngine::start()
{
    m_closed = false;
    m_fileSoundCardPending = needsFileSoundCard();

    const EngineSocketClient::Reply probe =
        EngineSocketClient::request(m_options.socketPath, StatusCommand, m_options.callTimeoutMs);
    if (probe.ok) {
        m_logger.write(QStringLiteral("engine: a linphonec daemon already answers on %1: using it")
                              .arg(m_options.socketPath));
        return;
    }
    if (m_daemon && m_daemon->isRunning()) {
        // Started by an earlier init and still coming up: a second one would fight for the socket.
        m_logger.write(QStringLiteral("engine: linphonec (pid %1) is still starting").arg(m_daemon->pid()));
        return;
    }
    if (!prepareFiles())
        return;

    // Keep the previous run's output for diagnosis, but only that one.
    const QString previousLog = m_options.logPath + QStringLiteral(".1");
    if (QFile::exists(m_options.logPath)) {
        QFile::remove(previousLog);
        QFile::rename(m_options.logPath, previousLog);
    }

    removeWakeLink();
    auto daemon = std::make_unique<DaemonProcess>();
    daemon->setOutputLimit(m_options.logLimitBytes);
    const QStringList arguments = {QStringLiteral("--pipe"), QStringLiteral("-c"), m_options.configPath,
                                   QStringLiteral("-d"), QStringLiteral("0")};
    QString error;
    if (!daemon->start(m_options.program, arguments, m_options.logPath, &error)) {
        m_logger.write(QStringLiteral("engine: %1").arg(error));
        return;
    }
    m_daemon = std::move(daemon);
    m_startedPid = m_daemon->pid();
    const qint64 pid = m_startedPid;
    m_daemon->setExitHandler([this, pid](int exitCode) {
        if (m_stopping)
            return;
        // Told from inside whatever asked the process last: report from the event loop.
        QMetaObject::invokeMethod(this, [this, pid, exitCode]() { emit daemonEnded(pid, exitCode); },
                                  Qt::QueuedConnection);
    });
    m_logger.write(QStringLiteral("engine: started %1 (pid %2), configuration %3")
                          .arg(m_options.program)
                          .arg(m_startedPid)
                          .arg(m_options.configPath));
}

bool LinphoneEngine::programAvailable() const
{
    const QString& program = m_options.program;
    if (program.contains(QLatin1Char('/')))
        return QFileInfo(program).isExecutable() && QFileInfo(program).isFile();
    return !QStandardPaths::findExecutable(program).isEmpty();
}

QString LinphoneEngine::disableCodec(int index)
{
    return call(disableCodecCommand(index));
}

QString LinphoneEngine::callStatus()
{
    return normaliseStatus(call(StatusCommand));
}

QString LinphoneEngine::dial(const QString& address)
{
    return call(dialCommand(address));
}

QString LinphoneEngine::answer()
{
    return call(QByteArrayLiteral("answer"));
}

QString LinphoneEngine::hangUp()
{
    return call(QByteArrayLiteral("terminate"));
}

QString LinphoneEngine::mute()
{
    return call(QByteArrayLiteral("mute"));
}

QString LinphoneEngine::unmute()
{
    return call(QByteArrayLiteral("unmute"));
}

void LinphoneEngine::release()
{
    m_closed = true;
    m_fileSoundCardPending = false;
}

void LinphoneEngine::stopStartedDaemon(int graceMs)
{
    if (!m_daemon || !m_daemon->isRunning()) {
        removeWakeLink();
        return;
    }
    const qint64 pid = m_daemon->pid();
    m_stopping = true;
    const auto stopped = qScopeGuard([this]() { m_stopping = false; });
    if (graceMs > 0) {
        linkForWake();
        EngineSocketClient::request(m_options.socketPath, QuitCommand, qMin(graceMs, m_options.callTimeoutMs));
        // linphonec removes its socket and then joins the thread that serves it; when that
        // thread already sits in accept() again, the join never returns. A connection through
        // the socket's second name wakes the thread, which then ends.
        const QDeadlineTimer deadline(graceMs);
        bool ended = false;
        while (!(ended = m_daemon->waitForExit(int(qMin<qint64>(100, deadline.remainingTime()))))
               && !deadline.hasExpired()) {
            if (m_wakeLinked && !QFileInfo::exists(m_options.socketPath))
                EngineSocketClient::connectAndClose(m_wakeLinkPath, 100);
        }
        if (ended) {
            // A normal end is not logged: "close" and the exit command's output stay the last entries.
            removeWakeLink();
            return;
        }
    }
    // SIGTERM only leads into the same hanging shutdown, so no gentler signal is tried.
    m_daemon->kill();
    removeWakeLink();
    m_logger.write(
        QStringLiteral("engine: linphonec (pid %1) did not quit within %2 ms: killed").arg(pid).arg(graceMs));
}

QString LinphoneEngine::defaultConfigPath()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/qzconsole/linphonerc");
}

QString LinphoneEngine::engineDataDir()
{
    // The engine takes $HOME/.local/share/linphone whatever XDG_DATA_HOME says.
    return QDir::homePath() + QStringLiteral("/.local/share/linphone");
}

QByteArray LinphoneEngine::defaultConfigText()
{
    // Without a port the engine accepts no calls; the engine adds the rest itself.
    return QByteArrayLiteral("[sip]\nsip_port=5060\n");
}

QByteArray LinphoneEngine::disableCodecCommand(int index)
{
    return QByteArrayLiteral("codec disable ") + QByteArray::number(index);
}

QByteArray LinphoneEngine::dialCommand(const QString& address)
{
    // The daemon takes one command per connection; a line break must not smuggle in another.
    QByteArray target = address.trimmed().toUtf8();
    target.replace('\r', "");
    target.replace('\n', "");
    return QByteArrayLiteral("call ") + target;
}

QString LinphoneEngine::normaliseStatus(const QString& text)
{
    QString status = text;
    status.replace(QLatin1String("hook=on-hook"), QLatin1String("hook=offhook"));
    return status;
}

QString LinphoneEngine::decodeReply(const QByteArray& bytes)
{
    // The daemon ends its replies with a line end; the console's replies are
    // bare texts, and the log would show the line end as an empty line.
    QString text = QString::fromUtf8(bytes);
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    return text;
}

QString LinphoneEngine::call(const QByteArray& command)
{
    if (m_closed)
        return {};
    // The file sound card must be in place before the engine handles anything, a call above all.
    if (m_fileSoundCardPending && !switchToFileSoundCard())
        return {};
    const EngineSocketClient::Reply reply =
        EngineSocketClient::request(m_options.socketPath, command, m_options.callTimeoutMs);
    if (!reply.ok) {
        noteFailure(command, reply.error);
        return {};
    }
    answered();
    if (!m_wakeLinked && m_daemon && m_daemon->isRunning())
        linkForWake();
    return decodeReply(reply.text);
}

bool LinphoneEngine::switchToFileSoundCard()
{
    const EngineSocketClient::Reply reply =
        EngineSocketClient::request(m_options.socketPath, SoundCardCommand, m_options.callTimeoutMs);
    if (!reply.ok) {
        noteFailure(SoundCardCommand, reply.error);
        return false;
    }
    m_fileSoundCardPending = false;
    answered();
    m_logger.write(QStringLiteral("no sound card: engine uses its file sound card"));
    return true;
}

bool LinphoneEngine::needsFileSoundCard() const
{
    switch (m_options.soundCard) {
    case SoundCard::Present:
        return false;
    case SoundCard::Absent:
        return true;
    case SoundCard::Detect:
        break;
    }
    return !AudioHardware::hasSoundCard();
}

bool LinphoneEngine::prepareFiles()
{
    const QString& configPath = m_options.configPath;
    const QFileInfo config(configPath);
    // The engine rewrites its configuration file: given a device such as /dev/null
    // it would replace it with a regular file and break the machine.
    if ((config.exists() && !config.isFile()) || config.absoluteFilePath().startsWith(QLatin1String("/dev/"))) {
        m_logger.write(
            QStringLiteral("engine: %1 is not a regular file; engine not started").arg(configPath));
        return false;
    }

    if (!QDir().mkpath(engineDataDir())) {
        m_logger.write(QStringLiteral("engine: cannot create %1; engine not started").arg(engineDataDir()));
        return false;
    }

    if (config.exists())
        return true;
    if (!QDir().mkpath(config.absolutePath())) {
        m_logger.write(QStringLiteral("engine: cannot create %1; engine not started").arg(config.absolutePath()));
        return false;
    }
    QSaveFile file(configPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(defaultConfigText()) < 0 || !file.commit()) {
        m_logger.write(
            QStringLiteral("engine: cannot write %1: %2; engine not started").arg(configPath, file.errorString()));
        return false;
    }
    m_logger.write(QStringLiteral("engine: wrote configuration %1").arg(configPath));
    return true;
}

void LinphoneEngine::linkForWake()
{
    if (m_wakeLinked || !QFileInfo::exists(m_options.socketPath))
        return;
    QString error;
    m_wakeLinked = EngineSocketClient::createLink(m_options.socketPath, m_wakeLinkPath, &error);
    if (!m_wakeLinked)
        m_logger.write(QStringLiteral("engine: %1").arg(error));
}

void LinphoneEngine::removeWakeLink()
{
    if (!m_wakeLinked)
        return;
    QFile::remove(m_wakeLinkPath);
    m_wakeLinked = false;
}

void LinphoneEngine::noteFailure(const QByteArray& command, const QString& error)
{
    ++m_unanswered;
    openOutage(QStringLiteral("engine: no answer to \"%1\": %2").arg(QString::fromUtf8(command), error));
}

void LinphoneEngine::noteLost(const QString& why)
{
    openOutage(QStringLiteral("engine: lost (%1)").arg(why));
}

void LinphoneEngine::openOutage(const QString& text)
{
    // The status poll runs twice a second: log when the engine stops answering, not every miss.
    if (m_outage.isValid())
        return;
    m_outage.start();
    m_logger.write(text);
}

void LinphoneEngine::answered()
{
    m_unanswered = 0;
    if (!m_outage.isValid())
        return;
    m_logger.write(QStringLiteral("engine: running again after %1 s").arg(m_outage.elapsed() / 1000.0, 0, 'f', 1));
    m_outage.invalidate();
}

void LinphoneEngine::killStartedDaemon()
{
    if (!m_daemon)
        return;
    m_stopping = true;
    m_daemon->kill();
    m_stopping = false;
    removeWakeLink();
}

bool LinphoneEngine::isDaemonRunning() const
{
    return m_daemon && m_daemon->isRunning();
}

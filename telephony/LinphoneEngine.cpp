#include "LinphoneEngine.h"

#include "AudioHardware.h"
#include "EngineChannel.h"
#include "EngineDaemon.h"
#include "EngineSocket.h"
#include "Logger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>

namespace {

const QByteArray SoundCardCommand = QByteArrayLiteral("soundcard use files");
const QByteArray QuitCommand = QByteArrayLiteral("quit");
const QByteArray StatusCommand = QByteArrayLiteral("status hook");

constexpr int kStopStepMs = 100;
/// After the kill at the end of the grace period: the kernel ends the child at once, this only bounds the wait.
constexpr int kReapAfterKillMs = 2000;

constexpr QFileDevice::Permissions kPrivate = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

bool isCancel(const QString& error)
{
    return error.startsWith(QLatin1String("cancelled"));
}

/// A value as one word of a daemon command: no line breaks (each would start another command), no blanks.
QString commandWord(const QString& value)
{
    QString word = value.trimmed();
    word.remove(QLatin1Char('\r'));
    word.remove(QLatin1Char('\n'));
    return word;
}

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
        m_options.socketPath = EngineSocket::defaultPath();
    m_wakeLinkPath = m_options.socketPath + QStringLiteral(".wake");
    m_channel = std::make_unique<EngineChannel>(m_options.socketPath);
    m_channel->setDefaultTimeoutMs(m_options.callTimeoutMs);
}

LinphoneEngine::~LinphoneEngine()
{
    m_channel.reset();
    if (isDaemonRunning()) {
        // Only when the console ends without its shutdown (a test, a crash path): the daemon must not outlive it.
        m_logger.write(QStringLiteral("engine: linphonec (pid %1) still running at exit: killed").arg(m_startedPid));
        m_daemon->disconnect(this);
    }
    m_daemon.reset();
    removeWakeLink();
}

bool LinphoneEngine::deliversEvents() const
{
    return isDaemonRunning();
}

void LinphoneEngine::start()
{
    m_closed = false;
    m_fileSoundCardPending = needsFileSoundCard();
    if (m_starting)
        return;
    m_starting = true;
    if (m_daemon && m_daemon->isRunning() && m_daemon->pid() == m_killedPid) {
        // A killed daemon's socket takes connections until the kernel has ended it: the probe would find it
        // "answering". The start goes on at its end.
        m_startAtEnd = true;
        return;
    }
    // A daemon that answers already (started by hand) is used as it is; one that answers nothing is replaced.
    // Its status is never empty when idle; a connection closed without a word is a daemon going away.
    m_channel->request(StatusCommand, [this](const EngineChannel::Reply& reply) {
        m_starting = false;
        if (reply.ok && !reply.text.trimmed().isEmpty()) {
            m_logger.write(QStringLiteral("engine: a linphonec daemon already answers on %1: using it")
                               .arg(m_options.socketPath));
            return;
        }
        startDaemon();
    });
}

void LinphoneEngine::startDaemon()
{
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
    if (m_daemon)
        m_daemon->disconnect(this);
    m_daemon = std::make_unique<EngineDaemon>();
    m_daemon->setSecret(m_secret);
    const QStringList arguments = {QStringLiteral("--pipe"), QStringLiteral("-c"), m_options.configPath,
                                   QStringLiteral("-d"), QStringLiteral("0")};
    QString error;
    if (!m_daemon->start(m_options.program, arguments, m_options.logPath, m_options.logLimitBytes, &error)) {
        m_logger.write(QStringLiteral("engine: %1").arg(error));
        m_daemon.reset();
        return;
    }
    m_startedPid = m_daemon->pid();
    connect(m_daemon.get(), &EngineDaemon::eventRead, this, &LinphoneEngine::callEvent);
    connect(m_daemon.get(), &EngineDaemon::ended, this, [this](qint64 pid, int exitCode) {
        if (m_stopDone) {
            stopEnded();
            return;
        }
        if (pid == m_killedPid) {
            if (std::exchange(m_startAtEnd, false)) {
                m_starting = false;
                start();
            }
            return;
        }
        emit daemonEnded(pid, exitCode);
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

void LinphoneEngine::disableCodec(int index, EngineReplyHandler done)
{
    send(disableCodecCommand(index), std::move(done));
}

void LinphoneEngine::requestStatus(EngineReplyHandler done)
{
    send(StatusCommand, [done = std::move(done)](const EngineReply& reply) {
        if (done)
            done(EngineReply{reply.ok, normaliseStatus(reply.text)});
    });
}

void LinphoneEngine::dial(const QString& address, EngineReplyHandler done)
{
    send(dialCommand(address), std::move(done));
}

void LinphoneEngine::answer()
{
    send(QByteArrayLiteral("answer"), {});
}

void LinphoneEngine::hangUp()
{
    send(QByteArrayLiteral("terminate"), {});
}

void LinphoneEngine::mute()
{
    send(QByteArrayLiteral("mute"), {});
}

void LinphoneEngine::unmute()
{
    send(QByteArrayLiteral("unmute"), {});
}

void LinphoneEngine::registerAt(const QString& server, const QString& user, const QString& password,
                                EngineReplyHandler done)
{
    // The daemon echoes the command on its output: the copy in the log masks the password from now on.
    m_secret = commandWord(password);
    if (m_daemon)
        m_daemon->setSecret(m_secret);
    const QString logText = QString::fromUtf8(registerCommand(server, user, QString()))
                            + (m_secret.isEmpty() ? QString() : QStringLiteral(" ******"));
    send(registerCommand(server, user, password), std::move(done), logText);
}

void LinphoneEngine::send(const QByteArray& command, EngineReplyHandler done, const QString& logText)
{
    // The file sound card must be in place before the engine handles anything, a call above all.
    if (m_fileSoundCardPending && !m_closed) {
        m_held.push_back(Held{command, logText, std::move(done)});
        switchToFileSoundCard();
        return;
    }
    sendNow(command, std::move(done), logText);
}

void LinphoneEngine::sendNow(const QByteArray& command, EngineReplyHandler done, const QString& logText)
{
    if (m_closed) {
        if (done)
            QMetaObject::invokeMethod(this, [done]() { done(EngineReply{}); }, Qt::QueuedConnection);
        return;
    }
    const QString name = logText.isEmpty() ? QString::fromUtf8(command) : logText;
    m_channel->request(
        command,
        [this, name, done = std::move(done)](const EngineChannel::Reply& r) {
            const bool unanswered = !r.ok && !isCancel(r.error);
            if (r.ok) {
                answered();
                if (!m_wakeLinked && isDaemonRunning())
                    linkForWake();
            } else if (unanswered) {
                noteFailure(name, r.error);
            }
            if (done)
                done(EngineReply{r.ok, r.ok ? decodeReply(r.text) : QString()});
            if (unanswered)
                emit requestUnanswered();
        },
        name);
}

void LinphoneEngine::switchToFileSoundCard()
{
    if (m_soundCardRequestOut)
        return;
    m_soundCardRequestOut = true;
    sendNow(SoundCardCommand,
            [this, generation = m_soundCardGeneration](const EngineReply& reply) {
                // Dropped with a killed engine; the held requests now wait for another switch.
                if (generation != m_soundCardGeneration)
                    return;
                m_soundCardRequestOut = false;
                std::deque<Held> held = std::exchange(m_held, {});
                if (reply.ok) {
                    m_fileSoundCardPending = false;
                    m_logger.write(QStringLiteral("no sound card: engine uses its file sound card"));
                    for (Held& h : held)
                        sendNow(h.command, std::move(h.done), h.logText);
                    return;
                }
                // The engine does not answer: what waited for it fails with it.
                for (Held& h : held)
                    if (h.done)
                        h.done(EngineReply{});
            },
            {});
}

void LinphoneEngine::stop(int graceMs, std::function<void()> done)
{
    m_closed = true;
    m_fileSoundCardPending = false;
    for (Held& h : std::exchange(m_held, {}))
        if (h.done)
            QMetaObject::invokeMethod(this, [d = std::move(h.done)]() { d(EngineReply{}); }, Qt::QueuedConnection);
    m_channel->cancelAll(QStringLiteral("engine stopping"));
    const bool started = isDaemonRunning();
    if (!started) {
        removeWakeLink();
        // A daemon the console only attached to is told to exit, as the engine shell's exit did.
        m_channel->request(QuitCommand, [done = std::move(done)](const EngineChannel::Reply&) {
            if (done)
                done();
        }, {}, qMin(graceMs, m_options.callTimeoutMs));
        return;
    }
    m_stopDone = done ? std::move(done) : [] {};
    m_stopGraceMs = graceMs;
    m_stopClock.start();
    linkForWake();
    m_channel->request(QuitCommand, {}, {}, qMax(1, qMin(graceMs, m_options.callTimeoutMs)));
    if (!m_stopTimer) {
        m_stopTimer = new QTimer(this);
        m_stopTimer->setInterval(kStopStepMs);
        connect(m_stopTimer, &QTimer::timeout, this, &LinphoneEngine::stopStep);
    }
    m_stopTimer->start();
}

void LinphoneEngine::stopStep()
{
    const qint64 elapsed = m_stopClock.elapsed();
    if (elapsed >= m_stopGraceMs + kReapAfterKillMs) {
        stopEnded();
        return;
    }
    if (elapsed >= m_stopGraceMs) {
        if (m_killedPid != m_startedPid) {
            // SIGTERM only leads into the same hanging shutdown, so no gentler signal is tried.
            m_killedPid = m_startedPid;
            m_daemon->kill();
            m_logger.write(QStringLiteral("engine: linphonec (pid %1) did not quit within %2 ms: killed")
                               .arg(m_startedPid)
                               .arg(m_stopGraceMs));
        }
        return;
    }
    // linphonec removes its socket and then joins the thread that serves it; when that thread already sits in
    // accept() again, the join never returns. A connection through the socket's second name wakes the thread.
    if (m_wakeLinked && !QFileInfo::exists(m_options.socketPath)) {
        auto* wake = new QLocalSocket(this);
        connect(wake, &QLocalSocket::connected, wake, [wake]() {
            wake->abort();
            wake->deleteLater();
        });
        connect(wake, &QLocalSocket::errorOccurred, wake, &QObject::deleteLater);
        wake->connectToServer(m_wakeLinkPath);
    }
}

void LinphoneEngine::stopEnded()
{
    if (m_stopTimer)
        m_stopTimer->stop();
    removeWakeLink();
    if (auto done = std::exchange(m_stopDone, nullptr))
        done();
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

QByteArray LinphoneEngine::registerCommand(const QString& server, const QString& user, const QString& password)
{
    const QString host = commandWord(server);
    QString command = QStringLiteral("register sip:%1@%2 sip:%2").arg(commandWord(user), host);
    const QString secret = commandWord(password);
    if (!secret.isEmpty())
        command += QLatin1Char(' ') + secret;
    return command.toUtf8();
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
        m_logger.write(QStringLiteral("engine: %1 is not a regular file; engine not started").arg(configPath));
        return false;
    }

    if (!QDir().mkpath(engineDataDir())) {
        m_logger.write(QStringLiteral("engine: cannot create %1; engine not started").arg(engineDataDir()));
        return false;
    }

    if (config.exists()) {
        // The engine stores the SIP password there once registered.
        QFile::setPermissions(configPath, kPrivate);
        return true;
    }
    if (!QDir().mkpath(config.absolutePath())) {
        m_logger.write(QStringLiteral("engine: cannot create %1; engine not started").arg(config.absolutePath()));
        return false;
    }
    QSaveFile file(configPath);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(kPrivate) || file.write(defaultConfigText()) < 0
        || !file.commit()) {
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
    m_wakeLinked = EngineSocket::createLink(m_options.socketPath, m_wakeLinkPath, &error);
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

void LinphoneEngine::noteFailure(const QString& logText, const QString& error)
{
    ++m_unanswered;
    openOutage(QStringLiteral("engine: no answer to \"%1\": %2").arg(logText, error));
}

void LinphoneEngine::noteLost(const QString& why)
{
    openOutage(QStringLiteral("engine: lost (%1)").arg(why));
}

void LinphoneEngine::openOutage(const QString& text)
{
    // Log when the engine stops answering, not every miss.
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
    for (Held& h : std::exchange(m_held, {}))
        if (h.done)
            QMetaObject::invokeMethod(this, [d = std::move(h.done)]() { d(EngineReply{}); }, Qt::QueuedConnection);
    m_soundCardRequestOut = false;
    ++m_soundCardGeneration;
    m_channel->cancelAll(QStringLiteral("engine killed"));
    if (!isDaemonRunning())
        return;
    m_killedPid = m_startedPid;
    m_daemon->kill();
    removeWakeLink();
}

bool LinphoneEngine::isDaemonRunning() const
{
    return m_daemon && m_daemon->isRunning();
}

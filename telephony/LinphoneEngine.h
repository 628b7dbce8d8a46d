#pragma once

#include "SipEngine.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>

class DaemonProcess;
class Logger;

/// The SIP engine as the linphonec daemon (linphonec --pipe), driven over its
/// unix socket. start attaches to a daemon that already answers or
/// starts one; a daemon this object started is stopped when the object goes
/// away, so the console never leaves an orphan engine behind.
///
/// Engine calls block the calling (GUI) thread for at most the call time-out.
/// A failed call returns an empty text, which holds none of the status words.
class LinphoneEngine : public QObject, public SipEngine
{
    Q_OBJECT
public:
    enum class SoundCard
    {
        Detect,  ///< Look at the machine (AudioHardware).
        Present, ///< The engine uses the machine's sound card.
        Absent,  ///< The engine is switched to its file sound card.
    };

    struct Options
    {
        /// The daemon program, looked up in PATH when not absolute.
        QString program = QStringLiteral("linphonec");
        /// Engine configuration file; empty: defaultConfigPath(). Written with a
        /// SIP port only when missing, so an installer or a test can prepare it.
        QString configPath;
        /// Daemon output; empty: "linphonec.log" beside the configuration file.
        QString logPath;
        /// The daemon's socket; empty: EngineSocketClient::defaultSocketPath().
        QString socketPath;
        /// Bound on one engine call, connection included.
        int callTimeoutMs = 2000;
        /// How long the destructor lets a started daemon quit before killing it.
        int quitGraceMs = 3000;
        SoundCard soundCard = SoundCard::Detect;
        /// Bytes the daemon's output file may reach before it is rotated (one old file kept).
        qint64 logLimitBytes = 5 * 1024 * 1024;
    };

    /// logger must outlive this object. Default options.
    explicit LinphoneEngine(Logger& logger);
    LinphoneEngine(Logger& logger, Options options);
    /// Stops a daemon this object started (quit, then SIGKILL after the grace period).
    ~LinphoneEngine() override;

    LinphoneEngine(const LinphoneEngine&) = delete;
    LinphoneEngine& operator=(const LinphoneEngine&) = delete;

    /// Engine calls in a row that got no answer (0 once one is answered).
    int unansweredCalls() const { return m_unanswered; }
    /// False from the first unanswered call (or noteLost) until a call is answered again.
    bool isAnswering() const { return !m_outage.isValid(); }
    /// The engine is gone for why: logged once per outage ("engine: lost (why)")
    /// unless an unanswered call already opened it; the next answered call
    /// logs how long it lasted.
    void noteLost(const QString& why);
    /// Kills the daemon this object started at once (a hung one), by PID.
    void killStartedDaemon();
    /// True while the daemon this object started runs.
    bool isDaemonRunning() const;

    void start() override;
    QString programName() const override { return m_options.program; }
    bool programAvailable() const override;
    QString disableCodec(int index) override;
    QString callStatus() override;
    QString dial(const QString& address) override;
    QString answer() override;
    QString hangUp() override;
    QString mute() override;
    QString unmute() override;
    void release() override;

    /// If the daemon this object started still runs: asks it to quit, waits up
    /// to graceMs, then kills it by PID. A daemon it only attached to is left alone.
    /// Also ends a daemon that was told to quit elsewhere (the engine shell) and
    /// hangs in its shutdown.
    void stopStartedDaemon(int graceMs);
    /// PID of the daemon this object started, 0 when it started none.
    qint64 startedPid() const { return m_startedPid; }
    /// True when start started a daemon (rather than attaching to one).
    bool startedDaemon() const { return m_startedPid != 0; }

    const Options& options() const { return m_options; }

    /// ~/.local/share/qzconsole/linphonerc (the generic per-user data folder,
    /// so it does not depend on the executable's name).
    static QString defaultConfigPath();
    /// The folder the engine needs for its databases: ~/.local/share/linphone.
    /// Without it the engine answers every call with 503.
    static QString engineDataDir();
    /// Text of a newly written engine configuration.
    static QByteArray defaultConfigText();

    // The command mapping, kept pure so it can be checked without an engine.
    static QByteArray disableCodecCommand(int index);
    static QByteArray dialCommand(const QString& address);
    /// The engine's idle status "hook=on-hook" becomes "hook=offhook", the word
    /// the console looks for; every other text is left as it is.
    static QString normaliseStatus(const QString& text);
    static QString decodeReply(const QByteArray& bytes);

signals:
    /// The daemon this object started ended without being told to (queued, on the event loop).
    void daemonEnded(qint64 pid, int exitCode);

private:
    /// One engine call. Empty text when the engine did not answer.
    QString call(const QByteArray& command);
    bool switchToFileSoundCard();
    bool needsFileSoundCard() const;
    bool prepareFiles();
    void noteFailure(const QByteArray& command, const QString& error);
    void openOutage(const QString& text);
    void answered();
    void linkForWake();
    void removeWakeLink();

    Logger& m_logger;
    Options m_options;
    std::unique_ptr<DaemonProcess> m_daemon;
    /// Second name of the started daemon's socket, kept to wake it should it hang when quitting.
    QString m_wakeLinkPath;
    bool m_wakeLinked = false;
    qint64 m_startedPid = 0;
    bool m_fileSoundCardPending = false;
    bool m_closed = false;
    bool m_stopping = false;
    int m_unanswered = 0;
    QElapsedTimer m_outage;
};

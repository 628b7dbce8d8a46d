#pragma once

#include "EngineOutputReader.h"
#include "SipEngine.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <memory>

class EngineChannel;
class EngineDaemon;
class Logger;
class QTimer;

/// The SIP engine as the linphonec daemon (linphonec --pipe): started by the
/// console, its call events read from its standard output as they are
/// printed, its requests sent over its unix socket one at a time without
/// waiting (EngineChannel). start attaches to a daemon that already answers
/// (then no events come, and the call handling relies on its status poll) or
/// starts one; a daemon this object started is stopped when the object goes,
/// so the console never leaves an orphan engine behind. GUI thread only.
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
        /// Copy of the daemon's output; empty: "linphonec.log" beside the configuration file.
        QString logPath;
        /// The daemon's socket; empty: EngineSocket::defaultPath().
        QString socketPath;
        /// Bound on one engine request, connection included.
        int callTimeoutMs = 2000;
        /// How long a stop lets a started daemon quit before killing it.
        int quitGraceMs = 3000;
        SoundCard soundCard = SoundCard::Detect;
        /// Bytes the output copy may reach before it is rotated (one old file kept).
        qint64 logLimitBytes = 5 * 1024 * 1024;
    };

    /// logger must outlive this object. Default options.
    explicit LinphoneEngine(Logger& logger);
    LinphoneEngine(Logger& logger, Options options);
    /// Last resort when stop() did not run: quits a started daemon, waiting at most the grace period, then kills
    /// it. The console's shutdown stops the engine without waiting before this runs.
    ~LinphoneEngine() override;

    LinphoneEngine(const LinphoneEngine&) = delete;
    LinphoneEngine& operator=(const LinphoneEngine&) = delete;

    /// Requests in a row that got no answer (0 once one is answered).
    int unansweredCalls() const { return m_unanswered; }
    /// True when call events come from the daemon's output (it was started here).
    bool deliversEvents() const;
    /// The engine is gone for why: logged once per outage ("engine: lost (why)")
    /// unless an unanswered request already opened it; the next answered request
    /// logs how long it lasted.
    void noteLost(const QString& why);
    /// Kills the daemon this object started at once (a hung one), by PID, and drops every request queued.
    void killStartedDaemon();
    /// True while the daemon this object started runs.
    bool isDaemonRunning() const;
    /// PID of the daemon this object started, 0 when it started none.
    qint64 startedPid() const { return m_startedPid; }
    bool startedDaemon() const { return m_startedPid != 0; }

    QString programName() const override { return m_options.program; }
    bool programAvailable() const override;
    void start() override;
    void disableCodec(int index, EngineReplyHandler done) override;
    void requestStatus(EngineReplyHandler done) override;
    void dial(const QString& address, EngineReplyHandler done) override;
    void answer() override;
    void hangUp() override;
    void mute() override;
    void unmute() override;
    void registerAt(const QString& server, const QString& user, const QString& password,
                    EngineReplyHandler done) override;
    void stop(int graceMs, std::function<void()> done) override;

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
    /// "register sip:USER@SERVER sip:SERVER PASSWORD", the daemon's own registration (what its shell sends).
    static QByteArray registerCommand(const QString& server, const QString& user, const QString& password);
    /// The engine's idle status "hook=on-hook" becomes "hook=offhook", the word
    /// the console looks for; every other text is left as it is.
    static QString normaliseStatus(const QString& text);
    static QString decodeReply(const QByteArray& bytes);

signals:
    /// A call event the daemon printed (only from a daemon this object started).
    void callEvent(const EngineEvent& event);
    /// The daemon this object started ended without being told to.
    void daemonEnded(qint64 pid, int exitCode);
    /// A request got no answer within its bound (after noteFailure's bookkeeping).
    void requestUnanswered();

private:
    struct Held
    {
        QByteArray command;
        QString logText;
        EngineReplyHandler done;
    };

    /// Queues a request; the file sound card goes first while it is pending.
    void send(const QByteArray& command, EngineReplyHandler done, const QString& logText = {});
    void sendNow(const QByteArray& command, EngineReplyHandler done, const QString& logText);
    void switchToFileSoundCard();
    void startDaemon();
    bool needsFileSoundCard() const;
    bool prepareFiles();
    void noteFailure(const QString& logText, const QString& error);
    void openOutage(const QString& text);
    void answered();
    void linkForWake();
    void removeWakeLink();
    void stopStep();
    void stopEnded();

    Logger& m_logger;
    Options m_options;
    std::unique_ptr<EngineChannel> m_channel;
    std::unique_ptr<EngineDaemon> m_daemon;
    /// Requests held back until the engine is on its file sound card.
    std::deque<Held> m_held;
    /// Second name of the started daemon's socket, kept to wake it should it hang when quitting.
    QString m_wakeLinkPath;
    bool m_wakeLinked = false;
    qint64 m_startedPid = 0;
    /// The daemon this object killed itself: its end is no news.
    qint64 m_killedPid = 0;
    /// The registration password, masked in the copy of every daemon's output.
    QString m_secret;
    bool m_fileSoundCardPending = false;
    bool m_soundCardRequestOut = false;
    quint64 m_soundCardGeneration = 0;
    bool m_closed = false;
    bool m_starting = false;
    /// A start waits for the end of the daemon this object killed.
    bool m_startAtEnd = false;
    int m_unanswered = 0;
    QElapsedTimer m_outage;
    // A stop under way.
    QTimer* m_stopTimer = nullptr;
    QElapsedTimer m_stopClock;
    int m_stopGraceMs = 0;
    std::function<void()> m_stopDone;
};

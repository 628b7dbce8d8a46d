#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>

class QLocalSocket;

/// The engine daemon's socket, never waited on: requests queue and go one at a time, in the order asked, each on a
/// connection of its own (QLocalSocket, asynchronous: no waitFor*, no nested event loop), each bounded in time from
/// the moment it is sent. Outcomes come back to the handler from the event loop, never from inside request().
/// GUI thread (or the thread that owns it).
class EngineChannel : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultTimeoutMs = 2000;
    struct Reply
    {
        /// The daemon took the command and closed the connection in time.
        bool ok = false;
        /// Everything it wrote (on failure: what came before).
        QByteArray text;
        /// Why not, e.g. "engine socket: no daemon socket at PATH", "engine socket: PATH refuses connections
        /// (daemon not running)", "engine socket: no complete reply within 2000 ms", "cancelled: WHY". Never
        /// holds the command.
        QString error;
        /// From the send (the connection attempt) to the outcome, ms; 0 for a request never sent.
        qint64 elapsedMs = 0;
    };
    using Handler = std::function<void(const Reply&)>;

    explicit EngineChannel(QString socketPath, QObject* parent = nullptr);
    ~EngineChannel() override; ///< drops everything; no handler runs afterwards

    /// Queues command; handler (may be empty) runs exactly once with the outcome, unless the channel is destroyed
    /// first. logText names the request in signals instead of the command (a command may hold a password); empty:
    /// the command itself. timeoutMs bounds connection, write and reply together; < 0: the channel's default.
    /// Returns a request number (increasing). Sends nothing itself: the request goes out from the event loop.
    quint64 request(const QByteArray& command, Handler handler, const QString& logText = {}, int timeoutMs = -1);
    /// Ends the request under way and drops the queued ones; each handler runs (from the event loop) with ok false
    /// and error "cancelled: " + why.
    void cancelAll(const QString& why);
    /// For requests not yet sent that were queued with timeoutMs < 0.
    void setDefaultTimeoutMs(int timeoutMs);
    /// Requests queued or under way.
    int pending() const;
    /// True while a request has been sent and not yet answered.
    bool isBusy() const;

signals:
    /// A request failed (not when cancelled): logText (or the command) and why. For the hang detector and the log.
    void requestFailed(const QString& logText, const QString& error);
    /// A request got its answer (the daemon answers): for the hang detector.
    void requestAnswered(qint64 elapsedMs);

private:
    struct Request
    {
        quint64 id = 0;
        QByteArray command;
        Handler handler;
        QString logText;
        int timeoutMs = -1;
    };
    struct Outcome
    {
        Handler handler;
        QString logText;
        Reply reply;
        bool cancelled = false;
    };

    void schedulePump();
    void pump();
    void sendNext();
    void onSocketError();
    void onDeadline();
    /// Ends the request under way: its socket is let go (no more of its signals reach us) and the outcome waits
    /// for the next pump.
    void finishCurrent(bool ok, const QString& error, bool cancelled = false);
    void releaseSocket();

    QString m_socketPath;
    int m_defaultTimeoutMs = kDefaultTimeoutMs;
    quint64 m_lastId = 0;
    std::deque<Request> m_queue;
    std::optional<Request> m_current;
    QByteArray m_currentText;
    bool m_currentConnected = false;
    QString m_currentPath;
    int m_currentTimeoutMs = 0;
    QLocalSocket* m_socket = nullptr;
    QElapsedTimer m_sentClock;
    QTimer m_deadline;
    std::deque<Outcome> m_outbox;
    bool m_pumpPosted = false;
};

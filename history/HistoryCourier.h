#pragma once

#include "HistoryEvent.h"
#include "HistoryServer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>

/// Carries the desk's history to the history server, on a thread of its own
/// (HistoryArchive's "history-server" thread), and serves the archive's
/// queries of the server there. The local database stays with the archive's
/// worker: the courier asks it for what the server lacks and tells it what the
/// server has committed, through the hooks, and the answers come back to
/// deliver(). Batches go in the order of the events, one at a time; when the
/// server cannot be reached or refuses, the courier says so once and tries
/// again after 1, 2, 4 ... 60 s. Lives on its thread; wake() from any thread.
class HistoryCourier : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLastRetryMs = 60000;
    /// A batch: at most this many events, and no more once their pictures pass kBatchBytes.
    static constexpr int kBatchEvents = 100;
    static constexpr qint64 kBatchBytes = 4 * 1024 * 1024;
    /// After a batch that took everything there was, the next waits this long: a busy desk
    /// delivers a few events per transaction, not one.
    static constexpr int kPauseMs = 500;

    /// Called on the courier's thread; each must return at once.
    struct Hooks
    {
        /// Asks the local database for the next batch; its answer goes to deliver().
        std::function<void()> askBatch;
        /// The server committed batch.
        std::function<void(const HistoryBatch& batch)> delivered;
        /// The server went away or came back (reason: why it went, one line).
        std::function<void(HistoryServerState state, const QString& reason)> stateChanged;
        /// The server holds new events (this desk's or another's).
        std::function<void()> serverChanged;
        /// The server has everything this desk holds (after a delivery or a connect).
        std::function<void()> caughtUp;
    };

    HistoryCourier(const QString& connection, const QString& desk, const HistoryLimits& limits, Hooks hooks);

    /// There is something new to deliver, or a state to look at. Any thread.
    void wake();

    // The courier's thread only:
    /// The answer to askBatch; an empty one means the server has everything.
    void deliver(const HistoryBatch& batch);
    /// The server, connected; nullptr while it is out of reach (then no attempt is
    /// made before the next retry is due).
    HistoryServer* server();
    /// A statement failed on the server: out of reach until the next retry.
    void failed(const QString& reason);
    void setLimits(const HistoryLimits& limits) { m_limits = limits; }
    /// Closes the connection; nothing more is delivered.
    void stop();

private:
    void pump();
    void setState(HistoryServerState state, const QString& reason);
    void trimIfDue();

    const QString m_connection;
    const QString m_desk;
    HistoryLimits m_limits;
    Hooks m_hooks;
    HistoryServer m_server;
    QTimer* m_retry;
    QTimer* m_pause;
    int m_retryMs = 0;
    HistoryServerState m_state = HistoryServerState::Connecting;
    std::atomic<bool> m_wakePending{false};
    bool m_batchAsked = false;
    bool m_owing = false; ///< delivered or connected since caughtUp
    bool m_stopped = false;
    QElapsedTimer m_sinceTrim;
};

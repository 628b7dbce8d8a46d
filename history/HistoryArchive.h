#pragma once

#include "HistoryCourier.h"
#include "HistoryEvent.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class QThread;
class HistoryCourier;
class HistoryDatabase;

/// The event history as the GUI thread uses it. Every call returns at once:
/// writes and queries run in order on one worker thread that owns the SQLite
/// database, and query answers come back on the GUI thread. GUI thread only.
///
/// With a history server (setServer()) every write still goes to the local
/// database first; a second thread copies what the server lacks to it (see
/// HistoryCourier), and queries of events, pictures and desks read every
/// desk's history there while it can be reached, this desk's otherwise.
class HistoryArchive : public QObject
{
    Q_OBJECT
public:
    explicit HistoryArchive(QObject* parent = nullptr);
    /// Waits for the writes already asked for, then closes the database.
    ~HistoryArchive() override;

    /// The user's data directory (QStandardPaths::AppDataLocation) + "/history".
    static QString defaultDirectory();

    /// Opens or creates "history.db" in dir (dir 0700, files 0600); answers with opened().
    void open(const QString& dir, const HistoryLimits& limits);
    /// New limits; applied at once and after every later write (on the server too).
    void setLimits(const HistoryLimits& limits);
    /// Shares the history through the PostgreSQL server that connection names (libpq
    /// keywords; the password from ~/.pgpass or PGPASSFILE), as desk, from now on. After
    /// open(); once. An empty connection changes nothing.
    void setServer(const QString& connection, const QString& desk);
    HistoryServerState serverState() const { return m_serverState; }

    void add(const HistoryEvent& event);
    /// Replaces the stored event of the same id (outcome, duration, ...).
    void update(const HistoryEvent& event);
    void addPicture(const HistoryPicture& picture);

    /// Newest first, as filter says; every desk's while the server can be reached (when
    /// done is called, serverState() says which).
    void queryEvents(const HistoryFilter& filter, std::function<void(const QList<HistoryEvent>&)> done);
    /// The stored JPEG of an event's slot; empty when there is none.
    void queryPicture(qint64 eventId, int slot, std::function<void(const QByteArray&)> done);
    /// The same for an event queryEvents() gave, this desk's or another's.
    void queryPicture(const HistoryEvent& event, int slot, std::function<void(const QByteArray&)> done);
    /// Slot 0 pictures of events, decoded to fit size; each called once per event that has one.
    void queryThumbnails(const QList<qint64>& eventIds, const QSize& size,
                         std::function<void(qint64 eventId, const QImage& thumbnail)> each);
    void queryThumbnails(const QList<HistoryEvent>& events, const QSize& size,
                         std::function<void(qint64 eventId, const QImage& thumbnail)> each);
    /// The desks whose events the server holds; none without a reachable server.
    void queryDesks(std::function<void(const QStringList&)> done);
    /// Incoming calls missed after sinceMs (ms since the epoch), of this desk only.
    void countMissedSince(qint64 sinceMs, std::function<void(int)> done);

    /// Blocks until everything asked for so far has run (tests, shutdown); the
    /// answers to the queries among it have been called when it returns.
    void flush();

signals:
    void opened(bool ok, const QString& error);
    /// Stored events changed (written, updated or removed by retention), here or on the server.
    void changed();
    /// The server went out of reach (reason: why, one line) or came back.
    void serverStateChanged(HistoryServerState state, const QString& reason);
    /// The server holds everything this desk has recorded (after a delivery or a connect).
    void serverCaughtUp();

private:
    /// Queues job to run on the worker thread, after the jobs queued before it.
    template <typename Job>
    void post(Job job);
    /// From the worker: runs done on the archive's thread, unless the archive is gone by then.
    template <typename Answer>
    void answer(Answer done);
    /// From the worker: stored rows changed; one changed() per event-loop turn.
    void noteChanged();
    /// From the worker, after a write: trims to the limits when a write passed them.
    void trimIfDue();
    /// From the worker, after a write: the courier has something to deliver.
    void wakeCourier();
    /// Whether queries go to the server first.
    bool readsServer() const;
    /// Queues job to run on the courier's thread.
    template <typename Job>
    void postServer(Job job);
    HistoryCourier::Hooks courierHooks();

    QThread* m_thread = nullptr;
    QObject* m_worker = nullptr; ///< lives on m_thread: the context of the queued jobs
    std::unique_ptr<HistoryDatabase> m_database; ///< lives on m_thread
    std::atomic<bool> m_changePending{false};
    HistoryLimits m_limits;

    QThread* m_serverThread = nullptr;
    HistoryCourier* m_courier = nullptr; ///< lives on m_serverThread
    HistoryCourier* m_workerCourier = nullptr; ///< m_courier as the worker sees it; the worker's alone
    HistoryServerState m_serverState = HistoryServerState::Off;
};

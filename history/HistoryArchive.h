#pragma once

#include "HistoryEvent.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QThread;
class HistoryDatabase;

/// The event history as the GUI thread uses it. Every call returns at once:
/// writes and queries run in order on one worker thread that owns the SQLite
/// database, and query answers come back on the GUI thread. GUI thread only.
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
    /// New limits; applied at once and after every later write.
    void setLimits(const HistoryLimits& limits);

    void add(const HistoryEvent& event);
    /// Replaces the stored event of the same id (outcome, duration, ...).
    void update(const HistoryEvent& event);
    void addPicture(const HistoryPicture& picture);

    /// Newest first, as filter says.
    void queryEvents(const HistoryFilter& filter, std::function<void(const QList<HistoryEvent>&)> done);
    /// The stored JPEG of an event's slot; empty when there is none.
    void queryPicture(qint64 eventId, int slot, std::function<void(const QByteArray&)> done);
    /// Slot 0 pictures of events, decoded to fit size; each called once per event that has one.
    void queryThumbnails(const QList<qint64>& eventIds, const QSize& size,
                         std::function<void(qint64 eventId, const QImage& thumbnail)> each);
    /// Incoming calls missed after sinceMs (ms since the epoch).
    void countMissedSince(qint64 sinceMs, std::function<void(int)> done);

    /// Blocks until everything asked for so far has run (tests, shutdown); the
    /// answers to the queries among it have been called when it returns.
    void flush();

signals:
    void opened(bool ok, const QString& error);
    /// Stored events changed (written, updated or removed by retention).
    void changed();

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

    QThread* m_thread = nullptr;
    QObject* m_worker = nullptr; ///< lives on m_thread: the context of the queued jobs
    std::unique_ptr<HistoryDatabase> m_database; ///< lives on m_thread
    std::atomic<bool> m_changePending{false};
};

#pragma once

#include "HistoryEvent.h"

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

/// The history's SQLite database ("history.db", WAL mode, synchronous FULL),
/// synchronous; it also keeps what the history server still lacks (see
/// undelivered()). Every call blocks on the disk: use it from one thread only
/// (HistoryArchive's worker), the thread that called open().
class HistoryDatabase
{
public:
    static constexpr int kSchemaVersion = 3;

    HistoryDatabase();
    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase&) = delete;
    HistoryDatabase& operator=(const HistoryDatabase&) = delete;

    static QString fileName() { return QStringLiteral("history.db"); }

    /// Opens or creates dir/history.db; dir is made 0700 and the files 0600
    /// (existing ones are tightened). A file that does not open or fails its
    /// quick check is moved aside as "history.db.damaged-<time>" and a new
    /// one made: then the answer is true and *note says so. False (and *note
    /// the reason) only when no database could be had.
    bool open(const QString& dir, QString* note = nullptr);
    void close();
    bool isOpen() const { return m_db.isOpen(); }
    /// The database file, once open() was called.
    QString filePath() const { return m_filePath; }

    /// keepDays <= 0 or maxBytes <= 0: that limit is off. Not applied here:
    /// see applyLimits() and limitsPassed().
    void setLimits(const HistoryLimits& limits) { m_limits = limits; }

    // Each write is a transaction of its own, on disk when the call returns.
    /// An event without a uuid is given one.
    bool add(const HistoryEvent& event);
    /// Replaces every field but the pictures of the stored event of the same id.
    bool update(const HistoryEvent& event);
    /// Replaces a picture already in the slot. The event must be stored.
    bool addPicture(const HistoryPicture& picture);

    /// Newest first. Rows with a kind or outcome word this build does not know
    /// (written by a later one) are left out.
    QList<HistoryEvent> events(const HistoryFilter& filter);
    /// Empty when there is none.
    QByteArray picture(qint64 eventId, int slot);
    QByteArray picture(const QString& eventUuid, int slot);
    /// Incoming calls with outcome missed that started after sinceMs.
    int missedSince(qint64 sinceMs);

    /// What the history server lacks, oldest event first: at most maxEvents events, and no more
    /// once their pictures pass maxBytes. Empty when the server has everything.
    HistoryBatch undelivered(int maxEvents, qint64 maxBytes);
    /// The server has committed batch: its revisions are the server's now. Whatever was
    /// written since stays owed.
    bool markDelivered(const HistoryBatch& batch);

    /// Whether applyLimits() would remove something, from what was written
    /// since it last ran (no disk access).
    bool limitsPassed(qint64 nowMs) const;
    /// Removes the events older than keepDays, then the oldest while the
    /// database is larger than maxBytes (never the newest), then gives the
    /// freed pages back to the file system. Answers how many events went.
    int applyLimits(qint64 nowMs);
    /// Bytes the database's pages hold: the file's size without its free
    /// pages, tables, indexes and SQLite's own structures included.
    qint64 usedBytes();

    /// An event from the current row of query, whose columns are id, time_ms, station,
    /// description, kind, outcome, duration_s, caller, whether slots 0 and 1 hold a picture,
    /// desk and uuid. False for a kind or outcome word this build does not know (the other
    /// fields are read all the same).
    static bool readEvent(const QSqlQuery& query, HistoryEvent* event);

    /// The last failure, for the log.
    QString lastError() const { return m_lastError; }

private:
    bool openFile(QString* error);
    bool prepareSchema(QString* error);
    bool moveAside(QString* movedTo);
    qint64 pragmaNumber(const QString& name);
    int removeOldest(qint64 bytes);
    void giveBackFreePages();
    void noteLimitsState();
    bool fail(const QString& what, const QString& detail);

    QString m_connection;
    QSqlDatabase m_db;
    QString m_filePath;
    HistoryLimits m_limits;
    /// Estimates kept between applyLimits() runs, so that writes can tell
    /// cheaply whether a run is due.
    qint64 m_estimatedBytes = 0;
    qint64 m_oldestMs = 0;
    QString m_lastError;
};

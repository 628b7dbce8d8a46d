#pragma once

#include "HistoryEvent.h"

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>

/// The history server that the desks of a site share: PostgreSQL through Qt's
/// QPSQL driver, the schema of docs/history-server.sql. Synchronous: every
/// call blocks on the network, bounded by the time-outs open() adds to the
/// connection. Use it from one thread only, the one that called open(); that
/// thread's event loop carries the other desks' news (setChangedHandler()).
/// Every call but open() on a closed server fails.
class HistoryServer
{
public:
    /// The version of the schema this build writes; a server's later version only adds to it.
    static constexpr int kSchemaVersion = 1;

    HistoryServer();
    ~HistoryServer();
    HistoryServer(const HistoryServer&) = delete;
    HistoryServer& operator=(const HistoryServer&) = delete;

    /// Connects: connection holds libpq keywords ("host=10.0.0.5 dbname=qzhistory
    /// user=desk1"), the password comes from libpq's password file (~/.pgpass or
    /// PGPASSFILE). Makes the tables on first use when the role may. False (and
    /// *error, one line) when the server cannot be reached, refuses the desk, or
    /// has no tables the desk may use.
    bool open(const QString& connection, QString* error);
    void close();
    bool isOpen() const { return m_db.isOpen(); }

    /// Called on this thread when a desk (this one too) has delivered events.
    void setChangedHandler(std::function<void()> handler) { m_changed = std::move(handler); }

    /// Stores batch in one transaction; events recorded without a desk name get desk. The
    /// same event or picture delivered again is stored once, and an older revision never
    /// replaces a newer one. True once committed.
    bool deliver(const HistoryBatch& batch, const QString& desk, QString* error);
    /// Every desk's events, newest first, as filter says (HistoryEvent::id is the id at the
    /// event's desk). Rows with words this build does not know are left out.
    bool events(const HistoryFilter& filter, QList<HistoryEvent>* events, QString* error);
    /// The picture of any desk's event; empty when there is none.
    bool picture(const QString& eventUuid, int slot, QByteArray* jpeg, QString* error);
    /// The names of the desks that have events, sorted.
    bool desks(QStringList* desks, QString* error);
    /// Removes every desk's events older than keepDays, then the oldest (never the newest)
    /// while the pictures and a rough size per event pass maxBytes. When several desks do
    /// this at once, one does it and the others skip it. *removed: events removed.
    bool applyLimits(const HistoryLimits& limits, qint64 nowMs, int* removed, QString* error);

private:
    bool prepareSchema(QString* error);
    bool fail(const QString& what, const QString& detail, QString* error);

    QString m_connectionName;
    QSqlDatabase m_db;
    std::function<void()> m_changed;
};

#include "HistoryServer.h"

#include "HistoryDatabase.h"

#include <QFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>

namespace {

/// Put before the site's connection string, whose own keywords win. No wait without a bound: a
/// connect gives up after 5 s, a connection whose peer vanished after about 20 s, a statement
/// after a minute.
const QString kConnectionDefaults =
    QStringLiteral("connect_timeout=5 keepalives_idle=10 keepalives_interval=5 keepalives_count=2"
                   " tcp_user_timeout=20000 application_name=qzconsole options='-c statement_timeout=60000' ");
/// The channel on which a desk tells the others that it delivered.
const QString kChannel = QStringLiteral("qz_history");
/// Advisory lock keys ("qzh" and a number): making the schema, applying the retention limits.
constexpr qint64 kSchemaLock = 0x717A680001;
constexpr qint64 kRetentionLock = 0x717A680002;
/// What an event's row and index entries cost beside its pictures, roughly.
constexpr qint64 kRowBytes = 300;
constexpr qint64 kDayMs = 24LL * 3600 * 1000;
/// Trimming by size frees this share of maxBytes more than it must, so that it does not run
/// after every delivery.
constexpr qint64 kSizeSlackDivisor = 64;

std::atomic<int> s_connections{0};

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1Char(' ')).simplified();
}

QVariant nullIfEmpty(const QString& text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}

/// The statements of the shipped schema file's first part (up to its "Rights" heading).
QStringList schemaStatements()
{
    QFile file(QStringLiteral(":/history/history-server.sql"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString tables = QString::fromUtf8(file.readAll());
    tables.truncate(tables.indexOf(QStringLiteral("\n-- Rights")));
    QStringList lines;
    for (const QString& line : tables.split(QLatin1Char('\n'))) {
        if (!line.trimmed().startsWith(QStringLiteral("--")))
            lines << line;
    }
    QStringList statements;
    for (const QString& statement : lines.join(QLatin1Char('\n')).split(QLatin1Char(';'))) {
        if (!statement.trimmed().isEmpty())
            statements << statement.trimmed();
    }
    return statements;
}

} // namespace

HistoryServer::HistoryServer()
    : m_connectionName(QStringLiteral("qz-history-server-%1").arg(++s_connections))
{
}

HistoryServer::~HistoryServer()
{
    close();
}

bool HistoryServer::fail(const QString& what, const QString& detail, QString* error)
{
    if (error)
        *error = oneLine(what + QStringLiteral(": ") + detail);
    return false;
}

bool HistoryServer::open(const QString& connection, QString* error)
{
    close();
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
    if (!m_db.isValid()) {
        close();
        return fail(QStringLiteral("history server"), QStringLiteral("Qt's PostgreSQL driver (QPSQL) is missing"),
                    error);
    }
    m_db.setConnectOptions(kConnectionDefaults + connection);
    if (!m_db.open()) {
        const QString detail = m_db.lastError().text();
        close();
        return fail(QStringLiteral("history server"), detail, error);
    }
    if (!prepareSchema(error)) {
        close();
        return false;
    }
    QSqlDriver* driver = m_db.driver();
    QObject::connect(driver, &QSqlDriver::notification, driver, [this](const QString& name) {
        if (name == kChannel && m_changed)
            m_changed();
    });
    // Without the news the window still sees other desks' events at its next reading.
    driver->subscribeToNotification(kChannel);
    return true;
}

void HistoryServer::close()
{
    if (!m_db.isValid())
        return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool HistoryServer::prepareSchema(QString* error)
{
    // One desk at a time: two desks starting together would both find no tables.
    QSqlQuery query(m_db);
    if (!m_db.transaction() || !query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLock))
        || !query.exec(QStringLiteral("SELECT to_regclass('schema_version') IS NOT NULL")) || !query.next())
        return fail(QStringLiteral("history server"), query.lastError().text() + m_db.lastError().text(), error);
    if (!query.value(0).toBool()) {
        const QStringList statements = schemaStatements();
        if (statements.isEmpty())
            return fail(QStringLiteral("history server"), QStringLiteral("the schema is missing from the program"),
                        error);
        for (const QString& sql : statements) {
            if (!query.exec(sql)) {
                const QString detail = query.lastError().text();
                m_db.rollback();
                return fail(QStringLiteral("history server has no tables and this desk may not make them"), detail,
                            error);
            }
        }
    }
    // A later version's schema only adds to this one: it is used as it is. Upgrades of an
    // earlier one would run here, in this transaction.
    if (!query.exec(QStringLiteral("SELECT max(version) FROM schema_version")) || !query.next()
        || query.value(0).toInt() < 1 || !m_db.commit()) {
        const QString detail = query.lastError().text() + m_db.lastError().text();
        m_db.rollback();
        return fail(QStringLiteral("history server schema"), detail.isEmpty() ? QStringLiteral("no version") : detail,
                    error);
    }
    return true;
}

bool HistoryServer::deliver(const HistoryBatch& batch, const QString& desk, QString* error)
{
    if (!isOpen())
        return fail(QStringLiteral("deliver"), QStringLiteral("not connected"), error);
    if (!m_db.transaction())
        return fail(QStringLiteral("deliver"), m_db.lastError().text(), error);
    const auto rollback = [&](const QSqlQuery& failed) {
        const QString detail = failed.lastError().text();
        m_db.rollback();
        return fail(QStringLiteral("deliver"), detail, error);
    };
    QSqlQuery event(m_db);
    if (!event.prepare(QStringLiteral(
            "INSERT INTO events (uuid, desk, local_id, time_ms, station, description, kind, outcome, duration_s,"
            " caller, revision) VALUES (:uuid, :desk, :local_id, :time_ms, :station, :description, :kind, :outcome,"
            " :duration_s, :caller, :revision) ON CONFLICT (uuid) DO UPDATE SET desk = excluded.desk,"
            " time_ms = excluded.time_ms, station = excluded.station, description = excluded.description,"
            " kind = excluded.kind, outcome = excluded.outcome, duration_s = excluded.duration_s,"
            " caller = excluded.caller, revision = excluded.revision WHERE events.revision < excluded.revision")))
        return rollback(event);
    for (const HistoryBatch::Event& e : batch.events) {
        event.bindValue(QStringLiteral(":uuid"), e.event.uuid);
        event.bindValue(QStringLiteral(":desk"), e.event.desk.isEmpty() ? desk : e.event.desk);
        event.bindValue(QStringLiteral(":local_id"), e.event.id);
        event.bindValue(QStringLiteral(":time_ms"), e.event.timeMs);
        event.bindValue(QStringLiteral(":station"), e.event.station >= 0 ? QVariant(e.event.station) : QVariant());
        event.bindValue(QStringLiteral(":description"), nullIfEmpty(e.event.description));
        event.bindValue(QStringLiteral(":kind"), e.kind);
        event.bindValue(QStringLiteral(":outcome"), e.outcome);
        event.bindValue(QStringLiteral(":duration_s"),
                        e.event.durationSec >= 0 ? QVariant(e.event.durationSec) : QVariant());
        event.bindValue(QStringLiteral(":caller"), nullIfEmpty(e.event.caller));
        event.bindValue(QStringLiteral(":revision"), e.revision);
        if (!event.exec())
            return rollback(event);
    }
    // Through the event's uuid: its row may have come in an earlier batch.
    QSqlQuery picture(m_db);
    if (!picture.prepare(QStringLiteral(
            "INSERT INTO pictures (event_id, slot, jpeg, taken_ms, revision)"
            " SELECT id, :slot, :jpeg, :taken_ms, :revision FROM events WHERE uuid = :uuid"
            " ON CONFLICT (event_id, slot) DO UPDATE SET jpeg = excluded.jpeg, taken_ms = excluded.taken_ms,"
            " revision = excluded.revision WHERE pictures.revision < excluded.revision")))
        return rollback(picture);
    for (const HistoryBatch::Picture& p : batch.pictures) {
        picture.bindValue(QStringLiteral(":slot"), p.picture.slot);
        picture.bindValue(QStringLiteral(":jpeg"), p.picture.jpeg);
        picture.bindValue(QStringLiteral(":taken_ms"), p.picture.takenMs);
        picture.bindValue(QStringLiteral(":revision"), p.revision);
        picture.bindValue(QStringLiteral(":uuid"), p.eventUuid);
        if (!picture.exec())
            return rollback(picture);
    }
    QSqlQuery notify(m_db);
    notify.prepare(QStringLiteral("SELECT pg_notify(:channel, :desk)"));
    notify.bindValue(QStringLiteral(":channel"), kChannel);
    notify.bindValue(QStringLiteral(":desk"), desk);
    if (!notify.exec())
        return rollback(notify);
    if (!m_db.commit()) {
        const QString detail = m_db.lastError().text();
        m_db.rollback();
        return fail(QStringLiteral("deliver"), detail, error);
    }
    return true;
}

bool HistoryServer::events(const HistoryFilter& filter, QList<HistoryEvent>* events, QString* error)
{
    events->clear();
    if (!isOpen())
        return fail(QStringLiteral("events"), QStringLiteral("not connected"), error);
    QStringList where;
    if (filter.station)
        where << (*filter.station < 0 ? QStringLiteral("station IS NULL") : QStringLiteral("station = :station"));
    if (filter.kind)
        where << QStringLiteral("kind = :kind");
    if (filter.day)
        where << QStringLiteral("time_ms >= :from AND time_ms < :to");
    if (filter.desk)
        where << QStringLiteral("desk = :desk");
    QString sql = QStringLiteral(
        "SELECT local_id, time_ms, station, description, kind, outcome, duration_s, caller,"
        " EXISTS (SELECT 1 FROM pictures p WHERE p.event_id = e.id AND p.slot = 0),"
        " EXISTS (SELECT 1 FROM pictures p WHERE p.event_id = e.id AND p.slot = 1), desk, CAST(uuid AS text)"
        " FROM events e");
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY time_ms DESC, local_id DESC");
    if (filter.limit > 0)
        sql += QStringLiteral(" LIMIT %1").arg(filter.limit);

    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(sql);
    if (filter.station && *filter.station >= 0)
        query.bindValue(QStringLiteral(":station"), *filter.station);
    if (filter.kind)
        query.bindValue(QStringLiteral(":kind"), history::kindWord(*filter.kind));
    if (filter.day) {
        query.bindValue(QStringLiteral(":from"), filter.day->startOfDay().toMSecsSinceEpoch());
        query.bindValue(QStringLiteral(":to"), filter.day->addDays(1).startOfDay().toMSecsSinceEpoch());
    }
    if (filter.desk)
        query.bindValue(QStringLiteral(":desk"), *filter.desk);
    if (!query.exec())
        return fail(QStringLiteral("events"), query.lastError().text(), error);
    HistoryEvent event;
    while (query.next()) {
        if (HistoryDatabase::readEvent(query, &event))
            events->append(event);
    }
    return true;
}

bool HistoryServer::picture(const QString& eventUuid, int slot, QByteArray* jpeg, QString* error)
{
    jpeg->clear();
    if (!isOpen())
        return fail(QStringLiteral("picture"), QStringLiteral("not connected"), error);
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT p.jpeg FROM pictures p JOIN events e ON e.id = p.event_id"
                                 " WHERE e.uuid = :uuid AND p.slot = :slot"));
    query.bindValue(QStringLiteral(":uuid"), eventUuid);
    query.bindValue(QStringLiteral(":slot"), slot);
    if (!query.exec())
        return fail(QStringLiteral("picture"), query.lastError().text(), error);
    if (query.next())
        *jpeg = query.value(0).toByteArray();
    return true;
}

bool HistoryServer::desks(QStringList* desks, QString* error)
{
    desks->clear();
    QSqlQuery query(m_db);
    if (!isOpen() || !query.exec(QStringLiteral("SELECT DISTINCT desk FROM events ORDER BY desk")))
        return fail(QStringLiteral("desks"), query.lastError().text(), error);
    while (query.next())
        desks->append(query.value(0).toString());
    return true;
}

bool HistoryServer::applyLimits(const HistoryLimits& limits, qint64 nowMs, int* removed, QString* error)
{
    *removed = 0;
    if (!isOpen())
        return fail(QStringLiteral("retention"), QStringLiteral("not connected"), error);
    QSqlQuery query(m_db);
    const auto rollback = [&]() {
        const QString detail = query.lastError().text() + m_db.lastError().text();
        m_db.rollback();
        return fail(QStringLiteral("retention"), detail, error);
    };
    // Another desk at it already: its work is this desk's too.
    if (!m_db.transaction() || !query.exec(QStringLiteral("SELECT pg_try_advisory_xact_lock(%1)").arg(kRetentionLock))
        || !query.next())
        return rollback();
    if (!query.value(0).toBool())
        return m_db.commit();
    if (limits.keepDays > 0) {
        query.prepare(QStringLiteral("DELETE FROM events WHERE time_ms < :cutoff"));
        query.bindValue(QStringLiteral(":cutoff"), nowMs - limits.keepDays * kDayMs);
        if (!query.exec())
            return rollback();
        *removed += query.numRowsAffected();
    }
    if (limits.maxBytes > 0) {
        // The pictures' own sizes, not the files': PostgreSQL keeps freed space for reuse.
        if (!query.exec(QStringLiteral("SELECT count(*) * %1 + coalesce((SELECT sum(octet_length(jpeg)) FROM pictures),"
                                       " 0) FROM events")
                            .arg(kRowBytes))
            || !query.next())
            return rollback();
        const qint64 excess = query.value(0).toLongLong() - (limits.maxBytes - limits.maxBytes / kSizeSlackDivisor);
        if (query.value(0).toLongLong() > limits.maxBytes) {
            query.prepare(QStringLiteral(
                "DELETE FROM events WHERE id IN (SELECT id FROM (SELECT e.id, sum(%1 + coalesce(p.bytes, 0))"
                " OVER (ORDER BY e.time_ms, e.id) - %1 - coalesce(p.bytes, 0) AS before FROM events e LEFT JOIN"
                " (SELECT event_id, sum(octet_length(jpeg)) AS bytes FROM pictures GROUP BY event_id) p"
                " ON p.event_id = e.id) s WHERE before < :excess)"
                " AND id <> (SELECT id FROM events ORDER BY time_ms DESC, id DESC LIMIT 1)")
                              .arg(kRowBytes));
            query.bindValue(QStringLiteral(":excess"), excess);
            if (!query.exec())
                return rollback();
            *removed += query.numRowsAffected();
        }
    }
    if (!m_db.commit())
        return rollback();
    return true;
}

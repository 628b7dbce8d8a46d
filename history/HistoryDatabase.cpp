#include "HistoryDatabase.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <atomic>
#include <limits>

namespace {

constexpr QFile::Permissions kOwnerDir = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions kOwnerFile = QFile::ReadOwner | QFile::WriteOwner;
constexpr qint64 kDayMs = 24LL * 3600 * 1000;
/// What an event's row and a picture's row cost beside their texts and bytes
/// (record headers, index entries, page slack): a rough figure is enough, the
/// page count decides.
constexpr qint64 kRowBytes = 160;
/// Writes let the oldest event outlive keepDays by this much before they trim,
/// so that a busy day does not trim (and checkpoint) after every event.
constexpr qint64 kAgeSlackMs = 3600 * 1000;
/// Trimming by size frees this share of maxBytes more than it must, for the
/// same reason.
constexpr qint64 kSizeSlackDivisor = 64;
/// The WAL file is cut back to this after a checkpoint; pictures make it
/// grow past SQLite's page-count checkpoint now and then.
constexpr qint64 kWalLimitBytes = 8LL * 1024 * 1024;

/// A random (version 4) UUID, for events stored before they had one.
const QString kNewUuid = QStringLiteral(
    "lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-'"
    " || substr('89ab', 1 + abs(random() % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))");

/// What each schema version adds to the one before it; kSchema is a new database's whole schema.
const QStringList kUpgrades[] = {
    // 2: the desk that recorded the event.
    {QStringLiteral("ALTER TABLE events ADD COLUMN desk TEXT")},
    // 3: what the history server has: an id unique across desks, and for events and pictures the
    // revision stored beside the one the server holds (0: none).
    {QStringLiteral("ALTER TABLE events ADD COLUMN uuid TEXT"),
     QStringLiteral("UPDATE events SET uuid = ") + kNewUuid,
     QStringLiteral("CREATE UNIQUE INDEX events_uuid ON events (uuid)"),
     QStringLiteral("ALTER TABLE events ADD COLUMN revision INTEGER NOT NULL DEFAULT 1"),
     QStringLiteral("ALTER TABLE events ADD COLUMN delivered INTEGER NOT NULL DEFAULT 0"),
     QStringLiteral("CREATE INDEX events_undelivered ON events (id) WHERE delivered < revision"),
     QStringLiteral("ALTER TABLE pictures ADD COLUMN revision INTEGER NOT NULL DEFAULT 1"),
     QStringLiteral("ALTER TABLE pictures ADD COLUMN delivered INTEGER NOT NULL DEFAULT 0"),
     QStringLiteral("CREATE INDEX pictures_undelivered ON pictures (event_id) WHERE delivered < revision")},
};

const QString kSchema[] = {
    QStringLiteral("CREATE TABLE events ("
                   "id INTEGER PRIMARY KEY, time_ms INTEGER NOT NULL, station INTEGER, description TEXT,"
                   " kind TEXT NOT NULL, outcome TEXT NOT NULL, duration_s INTEGER, caller TEXT, desk TEXT,"
                   " uuid TEXT, revision INTEGER NOT NULL DEFAULT 1, delivered INTEGER NOT NULL DEFAULT 0)"),
    QStringLiteral("CREATE INDEX events_time ON events (time_ms)"),
    QStringLiteral("CREATE UNIQUE INDEX events_uuid ON events (uuid)"),
    QStringLiteral("CREATE INDEX events_undelivered ON events (id) WHERE delivered < revision"),
    QStringLiteral("CREATE TABLE pictures ("
                   "event_id INTEGER NOT NULL REFERENCES events (id) ON DELETE CASCADE,"
                   " slot INTEGER NOT NULL CHECK (slot IN (0, 1)), jpeg BLOB NOT NULL, taken_ms INTEGER,"
                   " revision INTEGER NOT NULL DEFAULT 1, delivered INTEGER NOT NULL DEFAULT 0,"
                   " PRIMARY KEY (event_id, slot))"),
    QStringLiteral("CREATE INDEX pictures_undelivered ON pictures (event_id) WHERE delivered < revision"),
};

std::atomic<int> s_connections{0};

QVariant nullIfEmpty(const QString& text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}

/// Runs sql, stepping through all its rows; *first: the first row's first value.
bool run(const QSqlDatabase& db, const QString& sql, QString* error, QVariant* first = nullptr)
{
    QSqlQuery query(db);
    if (!query.exec(sql)) {
        if (error)
            *error = query.lastError().text();
        return false;
    }
    if (query.next() && first)
        *first = query.value(0);
    while (query.next()) {
    }
    return true;
}

} // namespace

HistoryDatabase::HistoryDatabase()
    : m_connection(QStringLiteral("qz-history-%1").arg(++s_connections))
{
}

HistoryDatabase::~HistoryDatabase()
{
    close();
}

bool HistoryDatabase::open(const QString& dir, QString* note)
{
    close();
    QString error;
    const auto refuse = [&](const QString& text) {
        m_lastError = text;
        if (note)
            *note = text;
        return false;
    };
    const QString path = QDir::cleanPath(dir);
    if (!QFileInfo(path).isDir()
        && (!QDir().mkpath(QFileInfo(path).absolutePath()) || !QDir().mkdir(path, kOwnerDir)))
        return refuse(QStringLiteral("History directory %1 cannot be made").arg(path));
    if (!QFile::setPermissions(path, kOwnerDir))
        return refuse(QStringLiteral("History directory %1 cannot be made private").arg(path));
    m_filePath = path + QLatin1Char('/') + fileName();

    if (openFile(&error)) {
        if (note)
            note->clear();
        return true;
    }
    close();
    QString movedTo;
    if (!moveAside(&movedTo))
        return refuse(QStringLiteral("History database %1 cannot be opened (%2)").arg(m_filePath, error));
    QString again;
    if (!openFile(&again)) {
        close();
        return refuse(QStringLiteral("History database %1 cannot be made (%2)").arg(m_filePath, again));
    }
    m_lastError = QStringLiteral("History database was damaged (%1): kept as %2, a new one started")
                      .arg(error, QFileInfo(movedTo).fileName());
    if (note)
        *note = m_lastError;
    return true;
}

bool HistoryDatabase::openFile(QString* error)
{
    // SQLite gives its -wal and -shm files the main file's mode: create that
    // one private before SQLite sees it, and tighten whatever is already there.
    QFile file(m_filePath);
    if (!file.exists() && !file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerFile)) {
        *error = file.errorString();
        return false;
    }
    file.close();
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const QString name = m_filePath + QLatin1String(suffix);
        if (QFileInfo::exists(name) && !QFile::setPermissions(name, kOwnerFile)) {
            *error = QStringLiteral("%1 cannot be made private").arg(name);
            return false;
        }
    }

    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setDatabaseName(m_filePath);
    if (!m_db.open()) {
        *error = m_db.lastError().text();
        return false;
    }
    QVariant check;
    if (!run(m_db, QStringLiteral("PRAGMA quick_check"), error, &check))
        return false;
    if (check.toString() != QLatin1String("ok")) {
        *error = check.toString();
        return false;
    }
    if (!prepareSchema(error))
        return false;
    noteLimitsState();
    return true;
}

bool HistoryDatabase::prepareSchema(QString* error)
{
    // auto_vacuum takes effect only before the first table is made.
    QVariant mode;
    if (!run(m_db, QStringLiteral("PRAGMA auto_vacuum = INCREMENTAL"), error)
        || !run(m_db, QStringLiteral("PRAGMA journal_mode = WAL"), error, &mode))
        return false;
    if (mode.toString() != QLatin1String("wal")) {
        *error = QStringLiteral("journal mode %1 instead of wal").arg(mode.toString());
        return false;
    }
    // FULL: a commit is on disk (the WAL synced) before the call returns.
    if (!run(m_db, QStringLiteral("PRAGMA synchronous = FULL"), error)
        || !run(m_db, QStringLiteral("PRAGMA foreign_keys = ON"), error)
        || !run(m_db, QStringLiteral("PRAGMA journal_size_limit = %1").arg(kWalLimitBytes), error))
        return false;
    QVariant version;
    if (!run(m_db, QStringLiteral("PRAGMA user_version"), error, &version))
        return false;
    // A later version's schema only adds to this one: it is used as it is.
    const int found = version.toInt();
    if (found >= kSchemaVersion)
        return true;
    if (!m_db.transaction()) {
        *error = m_db.lastError().text();
        return false;
    }
    QStringList steps;
    if (found == 0) {
        for (const QString& sql : kSchema)
            steps << sql;
    } else {
        for (int v = found + 1; v <= kSchemaVersion; ++v)
            steps << kUpgrades[v - 2];
    }
    for (const QString& sql : std::as_const(steps)) {
        if (!run(m_db, sql, error)) {
            m_db.rollback();
            return false;
        }
    }
    if (!run(m_db, QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion), error) || !m_db.commit()) {
        m_db.rollback();
        return false;
    }
    return true;
}

bool HistoryDatabase::moveAside(QString* movedTo)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = m_filePath + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = m_filePath + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
    if (QFileInfo::exists(m_filePath) && !QFile::rename(m_filePath, target))
        return false;
    // The WAL belongs to the damaged file (kept with it for a closer look);
    // left in place it would be replayed into the new one.
    const QString wal = m_filePath + QStringLiteral("-wal");
    if (QFileInfo::exists(wal) && !QFile::rename(wal, target + QStringLiteral("-wal")) && !QFile::remove(wal))
        return false;
    const QString shm = m_filePath + QStringLiteral("-shm");
    if (QFileInfo::exists(shm) && !QFile::remove(shm))
        return false;
    *movedTo = target;
    return true;
}

void HistoryDatabase::close()
{
    if (!m_db.isValid())
        return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

bool HistoryDatabase::fail(const QString& what, const QString& detail)
{
    m_lastError = what + QStringLiteral(": ") + detail;
    return false;
}

namespace {

void bindEvent(QSqlQuery& query, const HistoryEvent& event)
{
    query.bindValue(QStringLiteral(":id"), event.id);
    query.bindValue(QStringLiteral(":time_ms"), event.timeMs);
    query.bindValue(QStringLiteral(":station"), event.station >= 0 ? QVariant(event.station) : QVariant());
    query.bindValue(QStringLiteral(":description"), nullIfEmpty(event.description));
    query.bindValue(QStringLiteral(":kind"), history::kindWord(event.kind));
    query.bindValue(QStringLiteral(":outcome"), history::outcomeWord(event.outcome));
    query.bindValue(QStringLiteral(":duration_s"), event.durationSec >= 0 ? QVariant(event.durationSec) : QVariant());
    query.bindValue(QStringLiteral(":caller"), nullIfEmpty(event.caller));
    query.bindValue(QStringLiteral(":desk"), nullIfEmpty(event.desk));
}

/// The columns of an event as readEvent() takes them, from table alias e.
const QString kEventColumns = QStringLiteral(
    "e.id, e.time_ms, e.station, e.description, e.kind, e.outcome, e.duration_s, e.caller,"
    " EXISTS (SELECT 1 FROM pictures p WHERE p.event_id = e.id AND p.slot = 0),"
    " EXISTS (SELECT 1 FROM pictures p WHERE p.event_id = e.id AND p.slot = 1), e.desk, e.uuid");

} // namespace

bool HistoryDatabase::readEvent(const QSqlQuery& query, HistoryEvent* event)
{
    const auto kind = history::kindFromWord(query.value(4).toString());
    const auto outcome = history::outcomeFromWord(query.value(5).toString());
    event->id = query.value(0).toLongLong();
    event->timeMs = query.value(1).toLongLong();
    event->station = query.value(2).isNull() ? -1 : query.value(2).toInt();
    event->description = query.value(3).toString();
    event->kind = kind.value_or(HistoryKind::IncomingCall);
    event->outcome = outcome.value_or(HistoryOutcome::Ringing);
    event->durationSec = query.value(6).isNull() ? -1 : query.value(6).toInt();
    event->caller = query.value(7).toString();
    event->hasPicture[0] = query.value(8).toBool();
    event->hasPicture[1] = query.value(9).toBool();
    event->desk = query.value(10).toString();
    event->uuid = query.value(11).toString();
    return kind && outcome;
}

bool HistoryDatabase::add(const HistoryEvent& event)
{
    if (!isOpen())
        return fail(QStringLiteral("add"), QStringLiteral("not open"));
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "INSERT INTO events (id, time_ms, station, description, kind, outcome, duration_s, caller, desk, uuid)"
        " VALUES (:id, :time_ms, :station, :description, :kind, :outcome, :duration_s, :caller, :desk, :uuid)"));
    bindEvent(query, event);
    query.bindValue(QStringLiteral(":uuid"),
                    event.uuid.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : event.uuid);
    if (!query.exec())
        return fail(QStringLiteral("add %1").arg(event.id), query.lastError().text());
    m_estimatedBytes += kRowBytes + 2 * (event.description.size() + event.caller.size());
    m_oldestMs = qMin(m_oldestMs, event.timeMs);
    return true;
}

bool HistoryDatabase::update(const HistoryEvent& event)
{
    if (!isOpen())
        return fail(QStringLiteral("update"), QStringLiteral("not open"));
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("UPDATE events SET time_ms = :time_ms, station = :station, description = :description,"
                                 " kind = :kind, outcome = :outcome, duration_s = :duration_s, caller = :caller,"
                                 " desk = :desk, revision = revision + 1 WHERE id = :id"));
    bindEvent(query, event);
    if (!query.exec())
        return fail(QStringLiteral("update %1").arg(event.id), query.lastError().text());
    if (query.numRowsAffected() != 1)
        return fail(QStringLiteral("update %1").arg(event.id), QStringLiteral("no such event"));
    m_oldestMs = qMin(m_oldestMs, event.timeMs);
    return true;
}

bool HistoryDatabase::addPicture(const HistoryPicture& picture)
{
    if (!isOpen())
        return fail(QStringLiteral("picture"), QStringLiteral("not open"));
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("INSERT INTO pictures (event_id, slot, jpeg, taken_ms)"
                                 " VALUES (:event_id, :slot, :jpeg, :taken_ms) ON CONFLICT (event_id, slot)"
                                 " DO UPDATE SET jpeg = excluded.jpeg, taken_ms = excluded.taken_ms,"
                                 " revision = revision + 1"));
    query.bindValue(QStringLiteral(":event_id"), picture.eventId);
    query.bindValue(QStringLiteral(":slot"), picture.slot);
    query.bindValue(QStringLiteral(":jpeg"), picture.jpeg);
    query.bindValue(QStringLiteral(":taken_ms"), picture.takenMs);
    if (!query.exec())
        return fail(QStringLiteral("picture %1/%2").arg(picture.eventId).arg(picture.slot), query.lastError().text());
    m_estimatedBytes += kRowBytes + picture.jpeg.size();
    return true;
}

QList<HistoryEvent> HistoryDatabase::events(const HistoryFilter& filter)
{
    QList<HistoryEvent> events;
    if (!isOpen())
        return events;
    QStringList where;
    if (filter.station)
        where << (*filter.station < 0 ? QStringLiteral("station IS NULL") : QStringLiteral("station = :station"));
    if (filter.kind)
        where << QStringLiteral("kind = :kind");
    if (filter.day)
        where << QStringLiteral("time_ms >= :from AND time_ms < :to");
    if (filter.desk)
        where << QStringLiteral("coalesce(desk, '') = :desk");
    QString sql = QStringLiteral("SELECT ") + kEventColumns + QStringLiteral(" FROM events e");
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY time_ms DESC, id DESC LIMIT :limit");

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
    query.bindValue(QStringLiteral(":limit"), filter.limit > 0 ? filter.limit : -1);
    if (!query.exec()) {
        fail(QStringLiteral("events"), query.lastError().text());
        return events;
    }
    HistoryEvent event;
    while (query.next()) {
        if (readEvent(query, &event))
            events.append(event);
    }
    return events;
}

QByteArray HistoryDatabase::picture(qint64 eventId, int slot)
{
    if (!isOpen())
        return {};
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT jpeg FROM pictures WHERE event_id = :event_id AND slot = :slot"));
    query.bindValue(QStringLiteral(":event_id"), eventId);
    query.bindValue(QStringLiteral(":slot"), slot);
    if (!query.exec()) {
        fail(QStringLiteral("picture %1/%2").arg(eventId).arg(slot), query.lastError().text());
        return {};
    }
    return query.next() ? query.value(0).toByteArray() : QByteArray();
}

QByteArray HistoryDatabase::picture(const QString& eventUuid, int slot)
{
    if (!isOpen())
        return {};
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("SELECT jpeg FROM pictures WHERE slot = :slot"
                                 " AND event_id = (SELECT id FROM events WHERE uuid = :uuid)"));
    query.bindValue(QStringLiteral(":uuid"), eventUuid);
    query.bindValue(QStringLiteral(":slot"), slot);
    if (!query.exec()) {
        fail(QStringLiteral("picture %1/%2").arg(eventUuid).arg(slot), query.lastError().text());
        return {};
    }
    return query.next() ? query.value(0).toByteArray() : QByteArray();
}

HistoryBatch HistoryDatabase::undelivered(int maxEvents, qint64 maxBytes)
{
    HistoryBatch batch;
    if (!isOpen())
        return batch;
    // Events in the order they happened, each with whatever of it the server lacks: the event
    // (new or updated), its pictures, or both. Both halves of the union use a partial index.
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT ") + kEventColumns + QStringLiteral(
        ", e.revision FROM events e WHERE e.id IN (SELECT id FROM events WHERE delivered < revision"
        " UNION SELECT event_id FROM pictures WHERE delivered < revision) ORDER BY e.id LIMIT :limit"));
    query.bindValue(QStringLiteral(":limit"), maxEvents);
    QSqlQuery pictures(m_db);
    pictures.setForwardOnly(true);
    pictures.prepare(QStringLiteral("SELECT slot, jpeg, taken_ms, revision FROM pictures"
                                    " WHERE event_id = :id AND delivered < revision ORDER BY slot"));
    if (!query.exec()) {
        fail(QStringLiteral("undelivered"), query.lastError().text());
        return batch;
    }
    qint64 bytes = 0;
    while (bytes < maxBytes && query.next()) {
        HistoryBatch::Event e;
        readEvent(query, &e.event);
        // The words as stored: one this build does not know (a later one wrote it) goes as it is.
        e.kind = query.value(4).toString();
        e.outcome = query.value(5).toString();
        e.revision = query.value(12).toInt();
        batch.events.append(e);
        pictures.bindValue(QStringLiteral(":id"), e.event.id);
        if (!pictures.exec()) {
            fail(QStringLiteral("undelivered"), pictures.lastError().text());
            return {};
        }
        while (pictures.next()) {
            HistoryBatch::Picture p{{e.event.id, pictures.value(0).toInt(), pictures.value(1).toByteArray(),
                                     pictures.value(2).toLongLong()},
                                    e.event.uuid, pictures.value(3).toInt()};
            bytes += p.picture.jpeg.size();
            batch.pictures.append(p);
        }
    }
    return batch;
}

bool HistoryDatabase::markDelivered(const HistoryBatch& batch)
{
    if (!isOpen())
        return fail(QStringLiteral("delivered"), QStringLiteral("not open"));
    // max(): an older answer never takes back what a newer one marked.
    QSqlQuery events(m_db);
    events.prepare(QStringLiteral("UPDATE events SET delivered = max(delivered, :revision) WHERE id = :id"));
    QSqlQuery pictures(m_db);
    pictures.prepare(QStringLiteral(
        "UPDATE pictures SET delivered = max(delivered, :revision) WHERE event_id = :id AND slot = :slot"));
    // Not synced: a mark lost in a power cut only sends the batch again, which the server keeps once.
    QString error;
    if (!run(m_db, QStringLiteral("PRAGMA synchronous = NORMAL"), &error) || !m_db.transaction())
        return fail(QStringLiteral("delivered"), error + m_db.lastError().text());
    bool ok = true;
    for (const HistoryBatch::Event& e : batch.events) {
        events.bindValue(QStringLiteral(":revision"), e.revision);
        events.bindValue(QStringLiteral(":id"), e.event.id);
        ok = ok && events.exec();
    }
    for (const HistoryBatch::Picture& p : batch.pictures) {
        pictures.bindValue(QStringLiteral(":revision"), p.revision);
        pictures.bindValue(QStringLiteral(":id"), p.picture.eventId);
        pictures.bindValue(QStringLiteral(":slot"), p.picture.slot);
        ok = ok && pictures.exec();
    }
    if (!ok || !m_db.commit()) {
        error = events.lastError().text() + pictures.lastError().text() + m_db.lastError().text();
        m_db.rollback();
    }
    if (!run(m_db, QStringLiteral("PRAGMA synchronous = FULL"), &error) || !error.isEmpty())
        return fail(QStringLiteral("delivered"), error);
    return true;
}

int HistoryDatabase::missedSince(qint64 sinceMs)
{
    if (!isOpen())
        return 0;
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "SELECT count(*) FROM events WHERE kind = :kind AND outcome = :outcome AND time_ms > :since"));
    query.bindValue(QStringLiteral(":kind"), history::kindWord(HistoryKind::IncomingCall));
    query.bindValue(QStringLiteral(":outcome"), history::outcomeWord(HistoryOutcome::Missed));
    query.bindValue(QStringLiteral(":since"), sinceMs);
    if (!query.exec() || !query.next()) {
        fail(QStringLiteral("missed"), query.lastError().text());
        return 0;
    }
    return query.value(0).toInt();
}

qint64 HistoryDatabase::pragmaNumber(const QString& name)
{
    QVariant value;
    QString error;
    if (!run(m_db, QStringLiteral("PRAGMA ") + name, &error, &value))
        fail(name, error);
    return value.toLongLong();
}

qint64 HistoryDatabase::usedBytes()
{
    if (!isOpen())
        return 0;
    // Free pages are not counted: they are what incremental_vacuum hands back.
    return (pragmaNumber(QStringLiteral("page_count")) - pragmaNumber(QStringLiteral("freelist_count")))
           * pragmaNumber(QStringLiteral("page_size"));
}

void HistoryDatabase::noteLimitsState()
{
    m_estimatedBytes = usedBytes();
    QSqlQuery query(m_db);
    m_oldestMs = query.exec(QStringLiteral("SELECT min(time_ms) FROM events")) && query.next()
                         && !query.value(0).isNull()
                     ? query.value(0).toLongLong()
                     : std::numeric_limits<qint64>::max();
}

bool HistoryDatabase::limitsPassed(qint64 nowMs) const
{
    if (m_limits.maxBytes > 0 && m_estimatedBytes > m_limits.maxBytes)
        return true;
    return m_limits.keepDays > 0 && m_oldestMs < nowMs - m_limits.keepDays * kDayMs - kAgeSlackMs;
}

int HistoryDatabase::applyLimits(qint64 nowMs)
{
    if (!isOpen())
        return 0;
    int removed = 0;
    if (m_limits.keepDays > 0) {
        QSqlQuery query(m_db);
        query.prepare(QStringLiteral("DELETE FROM events WHERE time_ms < :cutoff"));
        query.bindValue(QStringLiteral(":cutoff"), nowMs - m_limits.keepDays * kDayMs);
        if (query.exec())
            removed += query.numRowsAffected();
        else
            fail(QStringLiteral("retention"), query.lastError().text());
    }
    if (m_limits.maxBytes > 0 && usedBytes() > m_limits.maxBytes)
        removed += removeOldest(m_limits.maxBytes - m_limits.maxBytes / kSizeSlackDivisor);
    if (removed > 0)
        giveBackFreePages();
    noteLimitsState();
    return removed;
}

void HistoryDatabase::giveBackFreePages()
{
    // Each step of incremental_vacuum frees one page and yields an empty row,
    // which Qt takes for the statement's end: step it once per free page, in
    // one transaction (one sync).
    const qint64 freePages = pragmaNumber(QStringLiteral("freelist_count"));
    QSqlQuery vacuum(m_db);
    if (!vacuum.prepare(QStringLiteral("PRAGMA incremental_vacuum")) || !m_db.transaction()) {
        fail(QStringLiteral("vacuum"), vacuum.lastError().text() + m_db.lastError().text());
        return;
    }
    for (qint64 page = 0; page < freePages; ++page) {
        if (!vacuum.exec()) {
            fail(QStringLiteral("vacuum"), vacuum.lastError().text());
            break;
        }
    }
    vacuum.finish();
    m_db.commit();
    // The file shrinks at the checkpoint that carries the truncation.
    QString error;
    if (!run(m_db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), &error))
        fail(QStringLiteral("checkpoint"), error);
}

int HistoryDatabase::removeOldest(qint64 bytes)
{
    int removed = 0;
    // The stored sizes pick how many go; the page count says whether enough went
    // (page slack makes the sizes a little low), so a second round is rare.
    for (int round = 0; round < 8; ++round) {
        const qint64 excess = usedBytes() - bytes;
        if (excess <= 0)
            break;
        QVariantList ids;
        {
            QSqlQuery query(m_db);
            query.setForwardOnly(true);
            if (!query.exec(QStringLiteral(
                    "SELECT id, (SELECT coalesce(sum(length(jpeg)), 0) FROM pictures WHERE event_id = e.id)"
                    " FROM events e WHERE id <> (SELECT id FROM events ORDER BY time_ms DESC, id DESC LIMIT 1)"
                    " ORDER BY time_ms, id"))) {
                fail(QStringLiteral("retention"), query.lastError().text());
                break;
            }
            qint64 freed = 0;
            while (freed < excess && query.next()) {
                ids << query.value(0);
                freed += kRowBytes + query.value(1).toLongLong();
            }
        }
        if (ids.isEmpty())
            break;
        QSqlQuery remove(m_db);
        remove.prepare(QStringLiteral("DELETE FROM events WHERE id = ?"));
        remove.addBindValue(ids);
        if (!m_db.transaction() || !remove.execBatch() || !m_db.commit()) {
            fail(QStringLiteral("retention"), remove.lastError().text() + m_db.lastError().text());
            m_db.rollback();
            break;
        }
        removed += ids.size();
    }
    return removed;
}

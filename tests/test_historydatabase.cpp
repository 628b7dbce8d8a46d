// The history database behind its archive: events and pictures come back as written under each filter, outcomes
// change, missed calls are counted; the files are private; the oldest go by age and by size and the file shrinks;
// a damaged file is moved aside; and a writer killed mid-write leaves a sound database with all it committed.

#include "HistoryArchive.h"
#include "HistoryDatabase.h"
#include "support/FileBytes.h"

#include "support/FileBytes.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

constexpr char kWriterMode[] = "--history-writer";
constexpr qint64 kDayMs = 24LL * 3600 * 1000;

/// Bytes that do not compress, standing in for a camera frame where nothing decodes it.
QByteArray noise(quint32 seed, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

HistoryEvent makeEvent(qint64 timeMs, int station, HistoryKind kind, HistoryOutcome outcome)
{
    HistoryEvent e;
    e.id = timeMs * 1000;
    e.timeMs = timeMs;
    e.station = station;
    e.description = station >= 0 ? u"Door %1"_s.arg(station) : QString();
    e.kind = kind;
    e.outcome = outcome;
    e.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return e;
}

qint64 localTime(int dayOffset, int hour)
{
    return QDateTime(QDate::currentDate().addDays(dayOffset), QTime(hour, 0)).toMSecsSinceEpoch();
}

QPair<bool, QString> openArchive(HistoryArchive& archive, const QString& dir, const HistoryLimits& limits = {})
{
    QSignalSpy opened(&archive, &HistoryArchive::opened);
    archive.open(dir, limits);
    archive.flush();
    return opened.size() == 1 ? qMakePair(opened[0][0].toBool(), opened[0][1].toString()) : qMakePair(false, u"-"_s);
}

QList<HistoryEvent> query(HistoryArchive& archive, const HistoryFilter& filter = {})
{
    QList<HistoryEvent> events;
    archive.queryEvents(filter, [&](const QList<HistoryEvent>& answer) { events = answer; });
    archive.flush();
    return events;
}

QList<qint64> idsOf(const QList<HistoryEvent>& events)
{
    QList<qint64> ids;
    for (const HistoryEvent& e : events)
        ids << e.id;
    return ids;
}

} // namespace

class TestHistoryDatabase : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(openArchive(m_archive, m_dir.filePath(u"shared"_s)).first);
        // A..F, oldest first: a letter names an event in the tables.
        m_events = {makeEvent(localTime(-2, 12), 0, HistoryKind::IncomingCall, HistoryOutcome::Missed),
                    makeEvent(localTime(-1, 12), 2, HistoryKind::DoorOpen, HistoryOutcome::Sent),
                    makeEvent(localTime(-1, 13), -1, HistoryKind::Engine, HistoryOutcome::Lost),
                    makeEvent(localTime(0, 9), 2, HistoryKind::IncomingCall, HistoryOutcome::Answered),
                    makeEvent(localTime(0, 10), -1, HistoryKind::IncomingCall, HistoryOutcome::Missed),
                    makeEvent(localTime(0, 11), 0, HistoryKind::DoorCall, HistoryOutcome::Missed)};
        m_events[3].durationSec = 65;
        m_events[4].caller = u"sip:guest@127.0.0.9"_s;
        m_events[3].desk = u"Reception"_s;
        QSignalSpy changed(&m_archive, &HistoryArchive::changed);
        for (const HistoryEvent& e : std::as_const(m_events))
            m_archive.add(e);
        const auto addPicture = [this](int event, int slot, const QByteArray& jpeg) {
            m_pictures << HistoryPicture{m_events[event].id, slot, jpeg, m_events[event].timeMs + 1};
            m_archive.addPicture(m_pictures.last());
            m_events[event].hasPicture[slot] = true;
        };
        addPicture(0, 0, FileBytes::jpeg(Qt::red));
        addPicture(3, 0, FileBytes::jpeg(Qt::green));
        addPicture(3, 1, noise(3, 30000));
        m_archive.flush();
        QCOMPARE(changed.size(), 1); // nine writes in one turn of the event loop
    }

    void events_data()
    {
        QTest::addColumn<HistoryFilter>("filter");
        QTest::addColumn<QString>("expected"); // letters, newest first
        const auto filter = [](std::optional<int> station, std::optional<HistoryKind> kind, std::optional<int> day,
                               int limit = 1000) {
            return HistoryFilter{station, kind,
                                 day ? std::optional(QDate::currentDate().addDays(*day)) : std::nullopt, limit};
        };
        QTest::newRow("everything") << filter({}, {}, {}) << u"FEDCBA"_s;
        QTest::newRow("station 3") << filter(2, {}, {}) << u"DB"_s;
        QTest::newRow("no station") << filter(-1, {}, {}) << u"EC"_s;
        QTest::newRow("incoming calls") << filter({}, HistoryKind::IncomingCall, {}) << u"EDA"_s;
        QTest::newRow("yesterday") << filter({}, {}, -1) << u"CB"_s;
        QTest::newRow("all three") << filter(0, HistoryKind::IncomingCall, -2) << u"A"_s;
        QTest::newRow("newest two") << filter({}, {}, {}, 2) << u"FE"_s;
        QTest::newRow("a day without events") << filter({}, {}, -5) << QString();
    }

    void events()
    {
        QFETCH(HistoryFilter, filter);
        QFETCH(QString, expected);
        const QList<HistoryEvent> got = query(m_archive, filter);
        QCOMPARE(got.size(), expected.size());
        for (int i = 0; i < got.size(); ++i)
            QVERIFY2(got[i] == m_events[expected[i].unicode() - 'A'], qPrintable(u"row %1"_s.arg(i)));
    }

    void pictures()
    {
        const QList<qint64> ids = idsOf(m_events);
        QList<QByteArray> got;
        for (const HistoryPicture& p : std::as_const(m_pictures))
            m_archive.queryPicture(p.eventId, p.slot, [&](const QByteArray& jpeg) { got << jpeg; });
        m_archive.queryPicture(ids[0], 1, [&](const QByteArray& jpeg) { got << jpeg; }); // an empty slot
        QMap<qint64, QImage> thumbnails;
        m_archive.queryThumbnails(ids, QSize(32, 32), [&](qint64 id, const QImage& image) { thumbnails[id] = image; });
        m_archive.flush();
        QCOMPARE(got, (QList<QByteArray>{m_pictures[0].jpeg, m_pictures[1].jpeg, m_pictures[2].jpeg, {}}));
        // One thumbnail per event with a ring picture, fitted to the size asked for, in its colour.
        QCOMPARE(thumbnails.keys(), QList<qint64>({ids[0], ids[3]}));
        QCOMPARE(thumbnails[ids[0]].size(), QSize(32, 24));
        QVERIFY(qAbs(thumbnails[ids[3]].pixelColor(16, 12).green() - 255) < 16);
    }

    void missedSince_data()
    {
        QTest::addColumn<int>("since"); // the event after which to count; -1: from the beginning
        QTest::addColumn<int>("missed");
        QTest::newRow("everything") << -1 << 2; // A and E; the door call F does not count
        QTest::newRow("after the first") << 0 << 1;
        QTest::newRow("after the last missed") << 4 << 0;
    }

    void missedSince()
    {
        QFETCH(int, since);
        QFETCH(int, missed);
        int count = -1;
        m_archive.countMissedSince(since < 0 ? 0 : m_events[since].timeMs, [&](int n) { count = n; });
        m_archive.flush();
        QCOMPARE(count, missed);
    }

    void updateReplacesTheOutcome()
    {
        HistoryEvent d = m_events[3];
        d.outcome = HistoryOutcome::Missed;
        d.durationSec = -1;
        d.description = u"Side gate"_s;
        QSignalSpy changed(&m_archive, &HistoryArchive::changed);
        m_archive.update(d);
        HistoryEvent unknown = d;
        unknown.id += 1;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^history: update .*no such event$"_s));
        m_archive.update(unknown);
        int count = -1;
        m_archive.countMissedSince(0, [&](int n) { count = n; });
        m_archive.flush();
        QCOMPARE(count, 3);
        QCOMPARE(changed.size(), 1);
        const QList<HistoryEvent> got = query(m_archive);
        QCOMPARE(idsOf(got), QList<qint64>({m_events[5].id, m_events[4].id, d.id, m_events[2].id, m_events[1].id,
                                             m_events[0].id}));
        QVERIFY(got[2] == d); // the pictures stay
    }

    void filesArePrivate_data()
    {
        QTest::addColumn<bool>("existing"); // a directory and an empty database file with lax modes
        QTest::newRow("new") << false;
        QTest::newRow("existing, lax") << true;
    }

    void filesArePrivate()
    {
        QFETCH(bool, existing);
        const QString dir = m_dir.filePath(u"private-%1/data/history"_s.arg(existing));
        const mode_t umask = ::umask(0);
        if (existing) {
            QVERIFY(QDir().mkpath(dir) && QFile::setPermissions(dir, QFile::Permissions(0x7777)));
            QFile file(dir + u"/history.db"_s);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.setPermissions(QFile::Permissions(0x6666)));
        }
        HistoryArchive archive;
        const auto opened = openArchive(archive, dir);
        archive.add(makeEvent(localTime(0, 8), 1, HistoryKind::Light, HistoryOutcome::Sent));
        archive.flush();
        ::umask(umask);
        QCOMPARE(opened, qMakePair(true, QString()));
        QCOMPARE(int(QFileInfo(dir).permissions()), 0x7700); // rwx------ as QFile::Permissions
        for (const QString& suffix : {u""_s, u"-wal"_s, u"-shm"_s})
            QCOMPARE(int(QFileInfo(dir + u"/history.db"_s + suffix).permissions()), 0x6600);
        QCOMPARE(query(archive).size(), 1);
    }

    void retention_data()
    {
        QTest::addColumn<int>("keepDays");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<QString>("when"); // limits given before the writes, after them, or at the next open
        QTest::addColumn<QList<int>>("ages"); // days, oldest first; each event with a 100 KB picture
        QTest::addColumn<QList<int>>("kept"); // which of them stay, newest first
        QTest::addColumn<qint64>("fileAtMost");
        const QList<int> ages{100, 40, 10, 1};
        const QList<int> tenDays{10, 9, 8, 7, 6, 5, 4, 3, 2, 1};
        for (const QString& when : {u"writing"_s, u"later"_s, u"reopened"_s}) {
            QTest::addRow("age, %s", qPrintable(when)) << 30 << 0LL << when << ages << QList<int>{3, 2} << 260000LL;
            QTest::addRow("size, %s", qPrintable(when))
                << 0 << 350000LL << when << tenDays << QList<int>{9, 8, 7} << 350000LL;
        }
        QTest::newRow("the newest stays") << 0 << 50000LL << u"later"_s << tenDays << QList<int>{9} << 150000LL;
    }

    void retention()
    {
        QFETCH(int, keepDays);
        QFETCH(qint64, maxBytes);
        QFETCH(QString, when);
        QFETCH(QList<int>, ages);
        QFETCH(QList<int>, kept);
        QFETCH(qint64, fileAtMost);
        const HistoryLimits limits{keepDays, maxBytes};
        const QString dir = m_dir.filePath(u"retention-"_s + QString::fromLatin1(QTest::currentDataTag()));
        const QString path = dir + u"/history.db"_s;
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        QList<qint64> ids;
        auto archive = std::make_unique<HistoryArchive>();
        QVERIFY(openArchive(*archive, dir, when == u"writing"_s ? limits : HistoryLimits{0, 0}).first);
        for (int i = 0; keepDays > 0 && when == u"writing"_s && i < 2; ++i) // gone before their pictures came
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^history: picture .*FOREIGN KEY"_s));
        for (int i = 0; i < ages.size(); ++i) {
            const HistoryEvent e = makeEvent(now - ages[i] * kDayMs, i, HistoryKind::DoorCall, HistoryOutcome::Ended);
            archive->add(e);
            archive->addPicture({e.id, 0, noise(i, 100000), e.timeMs});
            ids << e.id;
        }
        archive->flush();
        if (when == u"later"_s) {
            QVERIFY(QFileInfo(path).size() + QFileInfo(path + u"-wal"_s).size() > ages.size() * 100000);
            archive->setLimits(limits);
        } else if (when == u"reopened"_s) {
            archive = std::make_unique<HistoryArchive>();
            QVERIFY(openArchive(*archive, dir, limits).first);
        }
        QList<qint64> expected;
        for (const int k : std::as_const(kept))
            expected << ids[k];
        QCOMPARE(idsOf(query(*archive)), expected);
        QCOMPARE_LE(QFileInfo(path).size(), fileAtMost);
    }

    void damagedFileIsMovedAside_data()
    {
        QTest::addColumn<int>("damagedFrom"); // the byte from which the closed database is overwritten; -1: sound
        QTest::newRow("sound") << -1;
        QTest::newRow("garbage") << 0;
        QTest::newRow("pages after the first") << 4096;
    }

    void damagedFileIsMovedAside()
    {
        QFETCH(int, damagedFrom);
        const QString dir = m_dir.filePath(u"damaged%1"_s.arg(damagedFrom));
        const QString path = dir + u"/history.db"_s;
        const HistoryEvent before = makeEvent(localTime(0, 7), 3, HistoryKind::DoorCall, HistoryOutcome::Ended);
        bool answered = false;
        {
            HistoryArchive archive;
            QVERIFY(openArchive(archive, dir).first);
            archive.add(before);
            archive.addPicture({before.id, 0, noise(7, 50000), 0});
            archive.countMissedSince(0, [&](int) { answered = true; });
        } // waits for the writes and the query, and drops the query's answer
        QCoreApplication::processEvents();
        QVERIFY(!answered);
        QByteArray content = FileBytes::readAll(path);
        if (damagedFrom >= 0)
            content.replace(damagedFrom, content.size() - damagedFrom, noise(9, int(content.size()) - damagedFrom));
        QVERIFY(content.size() > 8192 && FileBytes::writeAll(path, content));

        HistoryArchive archive;
        const auto [ok, note] = openArchive(archive, dir);
        const QStringList aside = QDir(dir).entryList({u"history.db.damaged-*"_s});
        QVERIFY(ok);
        QCOMPARE(aside.size(), damagedFrom >= 0 ? 1 : 0);
        QCOMPARE(note.contains(aside.value(0, u"-"_s)), damagedFrom >= 0);
        QCOMPARE(FileBytes::readAll(dir + u'/' + aside.value(0)), damagedFrom >= 0 ? content : QByteArray());
        QCOMPARE(idsOf(query(archive)), damagedFrom >= 0 ? QList<qint64>() : QList<qint64>{before.id});
        const HistoryEvent after = makeEvent(localTime(0, 8), 3, HistoryKind::DoorOpen, HistoryOutcome::Sent);
        archive.add(after);
        QVERIFY(query(archive).value(0) == after);
    }

    void databaseOfTheFirstVersionGainsTheDesk()
    {
        // A history written before desks had names: its events stay, new ones carry the desk.
        const QString dir = m_dir.filePath(u"version1"_s);
        QVERIFY(QDir().mkpath(dir));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"v1"_s);
            db.setDatabaseName(dir + u"/history.db"_s);
            QVERIFY(db.open());
            QSqlQuery q(db);
            for (const char* sql :
                 {"CREATE TABLE events (id INTEGER PRIMARY KEY, time_ms INTEGER NOT NULL, station INTEGER,"
                  " description TEXT, kind TEXT NOT NULL, outcome TEXT NOT NULL, duration_s INTEGER, caller TEXT)",
                  "CREATE TABLE pictures (event_id INTEGER NOT NULL REFERENCES events (id) ON DELETE CASCADE,"
                  " slot INTEGER NOT NULL, jpeg BLOB NOT NULL, taken_ms INTEGER, PRIMARY KEY (event_id, slot))",
                  "INSERT INTO events VALUES (5000, 5, 1, 'Door', 'incoming call', 'missed', NULL, NULL)",
                  "PRAGMA user_version = 1"})
                QVERIFY2(q.exec(QString::fromLatin1(sql)), qPrintable(q.lastError().text()));
        }
        QSqlDatabase::removeDatabase(u"v1"_s);
        HistoryDatabase database;
        QString note;
        QVERIFY2(database.open(dir, &note) && note.isEmpty(), qPrintable(note + database.lastError()));
        HistoryEvent later = m_events[3];
        later.hasPicture[0] = later.hasPicture[1] = false; // its pictures are in the other database
        QVERIFY(database.add(later));
        const QList<HistoryEvent> stored = database.events({{}, {}, {}, 0});
        QCOMPARE(stored.size(), 2);
        QCOMPARE(stored[0], later);
        QVERIFY(stored[1].id == 5000 && stored[1].outcome == HistoryOutcome::Missed && stored[1].desk.isEmpty());
    }

    void killedWriterLosesNothingCommitted()
    {
        const QString dir = m_dir.filePath(u"killed"_s);
        QProcess writer; // its destructor kills it should a check below fail
        writer.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kWriterMode), dir});
        QByteArray output;
        while (output.count('\n') < 30 && writer.waitForReadyRead(10000))
            output += writer.readAllStandardOutput();
        QCOMPARE(::kill(pid_t(writer.processId()), SIGKILL), 0);
        QVERIFY(writer.waitForFinished(10000));
        output += writer.readAllStandardOutput();
        QList<qint64> committed;
        for (const QByteArray& line : output.left(output.lastIndexOf('\n')).split('\n'))
            committed << line.toLongLong();
        QVERIFY2(committed.size() >= 30, output.constData());

        { // Before HistoryDatabase::open, which would move a damaged file aside.
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check"_s);
            db.setDatabaseName(dir + u"/history.db"_s);
            QVERIFY(db.open());
            QSqlQuery check(db);
            QVERIFY(check.exec(u"PRAGMA integrity_check"_s) && check.next());
            QCOMPARE(check.value(0).toString(), u"ok"_s);
        }
        QSqlDatabase::removeDatabase(u"check"_s);
        HistoryDatabase database;
        QString note;
        QVERIFY(database.open(dir, &note) && note.isEmpty());
        const QList<qint64> stored = idsOf(database.events({{}, {}, {}, 0}));
        for (const qint64 id : std::as_const(committed)) {
            QVERIFY2(stored.contains(id), qPrintable(QString::number(id)));
            QCOMPARE(database.picture(id, 0), noise(quint32(id), 20000));
        }
    }

private:
    QTemporaryDir m_dir;
    HistoryArchive m_archive;
    QList<HistoryEvent> m_events;
    QList<HistoryPicture> m_pictures;
};

/// Writes events with pictures as fast as it can, printing each id once it is committed, until killed.
int runWriter(const QString& dir)
{
    HistoryArchive archive;
    if (!openArchive(archive, dir).first)
        return 1;
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    for (qint64 n = 1;; ++n) {
        const HistoryEvent e = makeEvent(start + n, int(n % 16), HistoryKind::DoorCall, HistoryOutcome::Ringing);
        archive.add(e);
        archive.addPicture({e.id, 0, noise(quint32(e.id), 20000), e.timeMs});
        archive.flush();
        std::printf("%lld\n", e.id);
        std::fflush(stdout);
    }
}

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], kWriterMode) == 0) {
        QCoreApplication app(argc, argv);
        return runWriter(QString::fromLocal8Bit(argv[2]));
    }
    QGuiApplication app(argc, argv);
    TestHistoryDatabase test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_historydatabase.moc"

// The history on a PostgreSQL server of this executable's own (made as the postgres account, on loopback, passwords
// from a password file): two desks sharing it, in their windows; the server stopped while events arrive; a wrong
// password; a desk killed in the middle of a delivery. The shared database is made by the shipped SQL file, with desks
// that have only its rights; the other one by the first desk that uses it.

#include "ConfigRecord.h"
#include "FakeSettingsStore.h"
#include "HistoryArchive.h"
#include "HistoryModel.h"
#include "HistoryWindow.h"
#include "HistoryWiring.h"
#include "PostgresServer.h"
#include "RecordingLogger.h"

#include "support/FileBytes.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

constexpr char kDeskMode[] = "--deliver"; // DIR CONNECTION: a desk that delivers its backlog until killed
constexpr int kDeliveryMs = 30000;        // the retries come after 1, 2, 4, 8 ... s
constexpr int kBacklog = 200;
constexpr int kBacklogPictureBytes = 200000;
const QString kGuard = u"Guard room"_s;
const QString kReception = u"Reception"_s;

qint64 g_lastMs = QDateTime::currentMSecsSinceEpoch() - 3600 * 1000;

HistoryEvent newEvent(HistoryKind kind, HistoryOutcome outcome, const QString& desk)
{
    HistoryEvent e;
    e.timeMs = (g_lastMs += 1000);
    e.id = e.timeMs * 1000;
    e.station = int(e.timeMs / 1000 % 16);
    e.kind = kind;
    e.outcome = outcome;
    e.desk = desk;
    return e;
}

QList<qint64> idsOf(const QList<HistoryEvent>& events)
{
    QList<qint64> ids;
    for (const HistoryEvent& e : events)
        ids << e.id;
    return ids;
}

QStringList texts(const QList<qint64>& ids)
{
    QStringList list;
    for (const qint64 id : ids)
        list << QString::number(id);
    return list;
}

} // namespace

class TestHistoryServer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    PostgresServer m_server;
    ConfigRecord m_record;
    FakeSettingsStore m_settings;
    RecordingLogger m_log;
    std::unique_ptr<HistoryWiring> m_guard; // as the console wires it
    std::unique_ptr<HistoryArchive> m_reception;

    void writePasswords(const QString& late)
    {
        QFile file(m_dir.filePath(u"pgpass"_s));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (const auto& [user, password] : {std::pair{u"guard"_s, u"guard-pw"_s}, {u"reception"_s, u"reception-pw"_s},
                                             {u"owner"_s, u"owner-pw"_s}, {u"late"_s, late}})
            file.write(u"127.0.0.1:%1:*:%2:%3\n"_s.arg(m_server.port()).arg(user, password).toUtf8());
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    }

    QStringList rows(const QString& sql, const QString& database = u"shared"_s) { return m_server.rows(sql, database); }

    bool noteShown(HistoryWindow* window) { return window->findChild<QLabel*>(u"serverNote"_s)->isVisible(); }

private slots:
    void initTestCase()
    {
        QString error;
        if (!PostgresServer::available(&error))
            QSKIP(qPrintable(error));
        QVERIFY(m_dir.isValid());
        QVERIFY2(m_server.start(&error), qPrintable(error));
        QVERIFY2(m_server.run(u"CREATE ROLE guard LOGIN PASSWORD 'guard-pw'; CREATE ROLE reception LOGIN PASSWORD"
                              " 'reception-pw'; CREATE ROLE late LOGIN PASSWORD 'late-pw'; CREATE ROLE owner LOGIN"
                              " PASSWORD 'owner-pw'; CREATE DATABASE shared; CREATE DATABASE own OWNER owner;"_s,
                              u"postgres"_s, &error),
                 qPrintable(error));
        const QString schema = QString::fromUtf8(FileBytes::readAll(QZ_SOURCE_DIR u"/docs/history-server.sql"_s));
        // With an event older than the 90 days every desk keeps: the first desk to catch up removes it.
        QVERIFY2(m_server.run(schema + u"GRANT qz_desk TO guard, reception, late; INSERT INTO events (uuid, desk,"
                                       " local_id, time_ms, kind, outcome, revision) VALUES (gen_random_uuid(), 'Gone',"
                                       " 1, 1000, 'light', 'sent', 1);"_s,
                              u"shared"_s, &error),
                 qPrintable(error));
        writePasswords(u"not-the-password"_s);
        qputenv("PGPASSFILE", QFile::encodeName(m_dir.filePath(u"pgpass"_s)));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(u"guard"_s)));

        m_settings.values = {{HistoryWiring::kServerKey, m_server.connection(u"shared"_s, u"guard"_s)}};
        m_guard = std::make_unique<HistoryWiring>(m_record, m_settings, m_log);
        m_guard->setDeskName(kGuard);
        m_guard->openArchive();
        m_reception = std::make_unique<HistoryArchive>();
        m_reception->open(m_dir.filePath(u"reception"_s), {});
        m_reception->setServer(m_server.connection(u"shared"_s, u"reception"_s), kReception);
    }

    void cleanupTestCase()
    {
        m_guard.reset();
        m_reception.reset();
        QVERIFY(m_server.stop());
    }

    void twoDesksShareTheirHistory()
    {
        HistoryArchive& guard = m_guard->archive();
        HistoryEvent call = newEvent(HistoryKind::IncomingCall, HistoryOutcome::Ringing, kGuard);
        const HistoryEvent missedHere = newEvent(HistoryKind::IncomingCall, HistoryOutcome::Missed, kGuard);
        const HistoryEvent missedThere = newEvent(HistoryKind::IncomingCall, HistoryOutcome::Missed, kReception);
        guard.add(call);
        guard.addPicture({call.id, 0, FileBytes::jpeg(Qt::red), call.timeMs});
        guard.add(missedHere);
        m_reception->add(missedThere);
        m_reception->addPicture({missedThere.id, 0, FileBytes::jpeg(Qt::green), missedThere.timeMs});
        QTRY_COMPARE_WITH_TIMEOUT(rows(u"SELECT desk, local_id FROM events ORDER BY local_id"_s),
                                  QStringList({kGuard + u'|' + QString::number(call.id),
                                               kGuard + u'|' + QString::number(missedHere.id),
                                               kReception + u'|' + QString::number(missedThere.id)}),
                                  kDeliveryMs);
        // Answered after its ring was delivered: the server takes the later outcome and the second picture.
        call.outcome = HistoryOutcome::Answered;
        call.durationSec = 20;
        guard.update(call);
        guard.addPicture({call.id, 1, FileBytes::jpeg(Qt::blue), call.timeMs});
        QTRY_COMPARE_WITH_TIMEOUT(rows(u"SELECT outcome, duration_s, (SELECT count(*) FROM pictures WHERE event_id ="
                                       " id) FROM events WHERE local_id = %1"_s.arg(call.id)),
                                  QStringList{u"answered|20|2"_s}, kDeliveryMs);

        m_guard->openWindow();
        HistoryWindow reception(*m_reception, m_record);
        reception.open();
        for (HistoryWindow* window : {m_guard->window(), &reception}) {
            HistoryModel& model = *window->model();
            QTRY_COMPARE(idsOf(model.events()), QList<qint64>({missedThere.id, missedHere.id, call.id}));
            QTRY_VERIFY(model.hasThumbnail(call.id) && model.hasThumbnail(missedThere.id));
            QCOMPARE(model.index(0, HistoryModel::DeskColumn).data().toString(), kReception);
            QVERIFY(!window->table()->isColumnHidden(HistoryModel::DeskColumn) && !noteShown(window));
            auto* desks = window->findChild<QComboBox*>(u"deskFilter"_s);
            QTRY_COMPARE(desks->count(), 3); // all, and the two desks
            desks->setCurrentIndex(desks->findData(kReception));
            QTRY_COMPARE(idsOf(model.events()), QList<qint64>{missedThere.id});
            desks->setCurrentIndex(0);
        }
        // The badge counts the calls this desk missed, not the site's.
        int missed = -1;
        guard.countMissedSince(0, [&](int n) { missed = n; });
        QTRY_COMPARE(missed, 1);
        QCOMPARE(m_log.entries, QStringList());
    }

    void serverStoppedWhileEventsArrive()
    {
        HistoryWindow* window = m_guard->window();
        QVERIFY(window && m_server.stop());
        QList<qint64> sent;
        for (int i = 0; i < 20; ++i) {
            const HistoryEvent e = newEvent(HistoryKind::DoorCall, HistoryOutcome::Ended, kGuard);
            m_guard->archive().add(e);
            m_guard->archive().addPicture({e.id, 0, FileBytes::jpeg(Qt::gray), e.timeMs});
            sent << e.id;
        }
        // This desk's events only, and the window says why.
        QTRY_VERIFY_WITH_TIMEOUT(noteShown(window), kDeliveryMs);
        QTRY_COMPARE(window->model()->rowCount(), 22);
        QVERIFY(window->table()->isColumnHidden(HistoryModel::DeskColumn));
        QTest::qWait(HistoryCourier::kFirstRetryMs * 3 + 500); // down through two retries
        QCOMPARE(m_log.entries.size(), 1);
        QVERIFY2(m_log.entries[0].startsWith(u"History server out of reach"_s), qPrintable(m_log.entries[0]));

        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(rows(u"SELECT local_id FROM events WHERE kind = 'door call' ORDER BY id"_s),
                                  texts(sent), kDeliveryMs);
        QTRY_VERIFY(!noteShown(window));
        QTRY_COMPARE(window->model()->rowCount(), 23);
        QCOMPARE(m_log.entries.size(), 2);
        QVERIFY2(m_log.entries[1].startsWith(u"History server back"_s), qPrintable(m_log.entries[1]));
    }

    void wrongPasswordLosesNothing()
    {
        HistoryArchive late;
        late.open(m_dir.filePath(u"late"_s), {});
        QSignalSpy states(&late, &HistoryArchive::serverStateChanged);
        late.setServer(m_server.connection(u"shared"_s, u"late"_s), u"Late"_s);
        for (int i = 0; i < 5; ++i)
            late.add(newEvent(HistoryKind::DoorOpen, HistoryOutcome::Sent, {}));
        QTRY_COMPARE_WITH_TIMEOUT(states.size(), 1, kDeliveryMs);
        QCOMPARE(states[0][0].value<HistoryServerState>(), HistoryServerState::OutOfReach);
        const QString reason = states[0][1].toString();
        QVERIFY2(reason.contains(u"password authentication failed"_s), qPrintable(reason));
        QList<HistoryEvent> kept;
        late.queryEvents({}, [&](const QList<HistoryEvent>& events) { kept = events; });
        QTRY_COMPARE(kept.size(), 5);

        writePasswords(u"late-pw"_s);
        QTRY_COMPARE_WITH_TIMEOUT(rows(u"SELECT count(*) FROM events WHERE desk = 'Late'"_s), QStringList{u"5"_s},
                                  kDeliveryMs);
        QTRY_COMPARE(states.size(), 2); // back, once
        QCOMPARE(states[1][0].value<HistoryServerState>(), HistoryServerState::Reachable);
    }

    void killedDeskDeliversOnce()
    {
        const QString dir = m_dir.filePath(u"killed"_s);
        {
            HistoryArchive backlog;
            backlog.open(dir, {});
            for (int i = 0; i < kBacklog; ++i) {
                const HistoryEvent e = newEvent(HistoryKind::DoorCall, HistoryOutcome::Ended, {});
                backlog.add(e);
                backlog.addPicture({e.id, 0, QByteArray(kBacklogPictureBytes, char(i)), e.timeMs});
            }
        } // waits for the writes
        const QString connection = m_server.connection(u"own"_s, u"owner"_s);
        QProcess desk; // its destructor kills it should a check below fail
        desk.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kDeskMode), dir, connection});
        QTRY_VERIFY_WITH_TIMEOUT(rows(u"SELECT count(*) FROM events"_s, u"own"_s).value(0).toInt() > 0, kDeliveryMs);
        QCOMPARE(::kill(pid_t(desk.processId()), SIGKILL), 0);
        QVERIFY(desk.waitForFinished(10000));
        const int delivered = rows(u"SELECT count(*) FROM events"_s, u"own"_s).value(0).toInt();
        QVERIFY2(delivered < kBacklog, "killed too late: the backlog was delivered already");

        HistoryArchive again;
        again.open(dir, {});
        QSignalSpy caughtUp(&again, &HistoryArchive::serverCaughtUp);
        again.setServer(connection, u"Killed"_s);
        QTRY_COMPARE_WITH_TIMEOUT(caughtUp.size(), 1, kDeliveryMs);
        QCOMPARE(rows(u"SELECT count(*), count(DISTINCT local_id), (SELECT count(*) FROM pictures) FROM events"_s,
                      u"own"_s),
                 QStringList{u"%1|%1|%1"_s.arg(kBacklog)});
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], kDeskMode) == 0) {
        QCoreApplication app(argc, argv);
        HistoryArchive archive;
        archive.open(QString::fromLocal8Bit(argv[2]), {});
        archive.setServer(QString::fromLocal8Bit(argv[3]), u"Killed"_s);
        return app.exec();
    }
    QApplication app(argc, argv);
    TestHistoryServer test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_historyserver.moc"

// Relay commands: the three characters, the bytes a station receives, and the shared socket's rules.

#include "ConfigRecord.h"
#include "FakeScheduler.h"
#include "RecordingLogger.h"
#include "RelayCommander.h"
#include "StationSimulator.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFirst = 150; // 127.0.0.150 ...
constexpr quint16 kRelayPort = 16100;

// Hold keeps every relay connection open, Refuse listens on no relay port.
enum Station : int { Plain, Hold, Refuse, kCount };

QString address(int station) { return StationSimulator::address(kFirst, station); }
/// The simulator's line for a relay connection of station that ended with bytes.
QString relayLine(int i, const QString& bytes) { return u"relay %1 %2 %3"_s.arg(i).arg(address(i), bytes); }

} // namespace

class TestRelayCommander : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_sim = std::make_unique<StationSimulator>(
            u"--first %1 --count %2 --http-port 18181 --call-port 16101 --relay-port %3 --mode %4=relayhold --mode "
            "%5=relayrefuse"_s.arg(kFirst).arg(kCount).arg(kRelayPort).arg(Hold).arg(Refuse).split(u' '));
        QVERIFY2(m_sim->isReady(), qPrintable(m_sim->errorString()));
    }

    void init()
    {
        m_record = ConfigRecord();
        for (int i = 0; i < kCount; ++i)
            m_record.ipAddress[i] = address(i); // relay times 0: lock "100", light "200"
        m_log.entries.clear();
        m_from = m_sim->lineCount();
    }

    void stationReceivesCommand_data()
    {
        QTest::addColumn<int>("relay"); // 1 lock, 2 light
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("bytes"); // the relay number, then the last two characters of "00" and the time
        const std::tuple<int, int, const char*> rows[] = {{1, 1, "101"},     {1, 123, "123"},  {1, -5, "1-5"},
                                                          {1, 32767, "167"}, {2, -123, "223"}, {2, -32768, "268"}};
        for (const auto& [relay, seconds, bytes] : rows)
            QTest::addRow("relay %d, %d s", relay, seconds) << relay << seconds << QString::fromLatin1(bytes);
    }

    void stationReceivesCommand()
    {
        QFETCH(int, relay);
        QFETCH(int, seconds);
        QFETCH(QString, bytes);
        m_record.param(relay - 1, Plain) = qint16(seconds); // the lock's time, the light's
        RelayCommander relays(m_record, m_log, m_scheduler, kRelayPort);
        relay == 1 ? relays.openDoor(Plain) : relays.switchLight(Plain);
        QCOMPARE(m_log.entries, QStringList{relay == 1 ? u"rel\u00e8 1"_s : u"rel\u00e8 2"_s});
        QTRY_VERIFY(m_sim->lines().mid(m_from).contains(relayLine(Plain, bytes)));
        QTRY_VERIFY(relays.isIdle()); // the station closed the connection: the socket is free
    }

    void quickReleasesNeverCross_data()
    {
        // When the second release comes: while the first connection is still being set up, once its command
        // is out (the station holds the connection), or in the very event that sent it.
        QTest::addColumn<int>("when");
        QTest::newRow("at once") << 0;
        QTest::newRow("once the first is out") << 1;
        QTest::newRow("from the send") << 2;
    }

    void quickReleasesNeverCross()
    {
        QFETCH(int, when);
        m_record.param(ConfigRecord::kLockRelayParam, Hold) = 11; // "111"; Plain's light is "200"
        RelayCommander relays(m_record, m_log, m_scheduler, kRelayPort);
        QSignalSpy sent(&relays, &RelayCommander::commandSent);
        QSignalSpy dropped(&relays, &RelayCommander::commandDropped);
        connect(&relays, &RelayCommander::commandSent, this, [&](int station) {
            if (station == Hold && when == 2)
                relays.switchLight(Plain);
        });
        for (int round = 0; round < 5; ++round) {
            relays.openDoor(Hold);
            if (when == 1) // the station holds the connection
                QTRY_VERIFY(sent.count() == 2 * round + 1 && !relays.isIdle());
            if (when != 2)
                relays.switchLight(Plain);
            QTRY_VERIFY(relays.isIdle());
        }
        // Each station got nothing but its own command: once the first is out, its connection is closed
        // and the second goes ahead; while it still connects, the second cuts it short and both are dropped.
        QTRY_VERIFY(m_sim->status(Hold).contains(u" relayconns=0 "_s));
        const QStringList lines = m_sim->lines().mid(m_from).filter(QRegularExpression(u"^relay \\d+ \\S+ "_s));
        const int each = when == 0 ? 0 : 5;
        QVERIFY(lines.count(relayLine(Hold, u"111"_s)) == each && lines.count(relayLine(Plain, u"200"_s)) == each);
        QCOMPARE(lines.size(), 2 * each);
        QCOMPARE(dropped.count(), 10 - 2 * each);
        // Every release was logged, sent or not, and the socket is free again.
        QCOMPARE(m_log.entries.size(), 10);
        m_from = m_sim->lineCount();
        relays.openDoor(Plain);
        QTRY_VERIFY(m_sim->lines().mid(m_from).contains(relayLine(Plain, u"100"_s)));
    }

    void droppedCommandFreesTheSocket_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("timeOut"); // the connect time-out falls due before the refusal arrives
        QTest::addColumn<QString>("fault"); // as the log names it
        QTest::newRow("refused") << address(Refuse) << false << u"Connection refused"_s;
        QTest::newRow("empty address") << QString() << false << u"No remote host"_s;
        QTest::newRow("connect time-out") << address(Refuse) << true << u"no connection within 3 s"_s;
    }

    void droppedCommandFreesTheSocket()
    {
        QFETCH(QString, host);
        QFETCH(bool, timeOut);
        QFETCH(QString, fault);
        m_record.ipAddress[Refuse] = host;
        FakeScheduler fake;
        RelayCommander relays(m_record, m_log, timeOut ? static_cast<Scheduler&>(fake) : m_scheduler, kRelayPort);
        QSignalSpy sent(&relays, &RelayCommander::commandSent);
        QSignalSpy dropped(&relays, &RelayCommander::commandDropped);
        relays.switchLight(Refuse);
        QCOMPARE(m_log.entries, QStringList{u"rel\u00e8 2"_s}); // logged all the same
        QCOMPARE(fake.delays, timeOut ? QList<int>{RelayCommander::kConnectTimeoutMs} : QList<int>{});
        fake.runAll();
        QTRY_COMPARE(dropped, (QList<QList<QVariant>>{{int(Refuse), u"200"_s}}));
        QCOMPARE(m_log.entries.mid(1), QStringList{u"rel\u00e8 2 %1 (Station 3)"_s.arg(fault)});
        relays.switchLight(Plain); // the socket is free again
        QTRY_COMPARE(sent.count(), 1);
        fake.runAll(); // time-outs of this and the earlier connection, due after the send: no effect
        QTRY_VERIFY(m_sim->lines().mid(m_from).contains(relayLine(Plain, u"200"_s)));
        QCOMPARE(dropped.count(), 1);
        QTRY_VERIFY(relays.isIdle());
        m_record.ipAddress[Refuse] = address(Plain); // the station is back: once in the log
        relays.switchLight(Refuse);
        QTRY_COMPARE(m_log.entries.size(), 5);
        QVERIFY(m_log.entries.last().startsWith(u"rel\u00e8 (Station 3) works again after "_s));
    }

private:
    std::unique_ptr<StationSimulator> m_sim;
    ConfigRecord m_record;
    RecordingLogger m_log;
    QtScheduler m_scheduler;
    int m_from = 0;
};

QTEST_MAIN(TestRelayCommander)
#include "test_relaycommander.moc"

// Relay commands: the three characters, the bytes a station receives, and the shared socket's rules.

#include "ConfigRecord.h"
#include "FakeScheduler.h"
#include "RecordingLogger.h"
#include "RelayCommander.h"
#include "support/StationSimulator.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// This test's own stations and ports.
constexpr int kFirst = 150; // 127.0.0.150 ...
constexpr int kCount = 4;
constexpr quint16 kRelayPort = 16100;

enum Station : int
{
    Plain, Other, Hold, Refuse
};

QString address(int station)
{
    return StationSimulator::address(kFirst, station);
}

QRegularExpression relayLine(int station, const QString& bytes)
{
    QString line = u"relay %1 %2"_s.arg(station).arg(address(station));
    if (!bytes.isEmpty())
        line += u' ' + bytes;
    return QRegularExpression(u'^' + QRegularExpression::escape(line) + u'$');
}

} // namespace

class TestRelayCommander : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QStringList args{u"--first"_s,      QString::number(kFirst), u"--count"_s,     QString::number(kCount),
                               u"--http-port"_s,  u"18181"_s,              u"--call-port"_s, u"16101"_s,
                               u"--relay-port"_s, QString::number(kRelayPort),
                               u"--mode"_s,       u"%1=relayhold"_s.arg(Hold),
                               u"--mode"_s,       u"%1=relayrefuse"_s.arg(Refuse)};
        m_sim = std::make_unique<StationSimulator>(args);
        QVERIFY2(m_sim->isReady(), qPrintable(m_sim->errorString()));
    }

    void init()
    {
        m_record = ConfigRecord();
        for (int i = 0; i < kCount; ++i) {
            m_record.active[i] = 1;
            m_record.ipAddress[i] = address(i);
            m_record.param(ConfigRecord::kLockRelayParam, i) = 1;
            m_record.param(ConfigRecord::kLightRelayParam, i) = 10;
        }
        m_log.entries.clear();
    }

    void stationReceivesCommand_data()
    {
        QTest::addColumn<int>("relay"); // 1 lock, 2 light
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("bytes");
        // The relay number, then the last two characters of "00" and the time.
        const int times[] = {1, 5, 10, 99, 123, -5, 0};
        const char* lockBytes[] = {"101", "105", "110", "199", "123", "1-5", "100"};
        for (int k = 0; k < 7; ++k)
            QTest::addRow("lock %d", times[k]) << 1 << times[k] << QString::fromLatin1(lockBytes[k]);
        QTest::newRow("light 10") << 2 << 10 << u"210"_s;
        QTest::newRow("light 100 cut to 00") << 2 << 100 << u"200"_s;
        QTest::newRow("light -123") << 2 << -123 << u"223"_s;
        QTest::newRow("lock 32767") << 1 << 32767 << u"167"_s;
        QTest::newRow("light -32768") << 2 << -32768 << u"268"_s;
    }

    void stationReceivesCommand()
    {
        QFETCH(int, relay);
        QFETCH(int, seconds);
        QFETCH(QString, bytes);
        QCOMPARE(RelayCommander::relayCommand(relay, qint16(seconds)), bytes);

        const int param = relay == 1 ? ConfigRecord::kLockRelayParam : ConfigRecord::kLightRelayParam;
        m_record.param(param, Plain) = qint16(seconds);
        RelayCommander relays(m_record, m_log, m_scheduler, kRelayPort);
        QSignalSpy sent(&relays, &RelayCommander::commandSent);
        const int from = m_sim->lineCount();
        if (relay == 1)
            relays.cmdLock_MouseUp(Plain);
        else
            relays.cmdLight_MouseUp(Plain);
        QVERIFY(m_sim->waitForLine(relayLine(Plain, bytes), 5000, from));
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.at(0), (QList<QVariant>{int(Plain), bytes}));
        // The station closed the connection: the socket is free for the next command.
        QVERIFY(waitIdle(relays));
    }

    void quickReleasesNeverCross_data()
    {
        QTest::addColumn<bool>("secondIsLight");
        QTest::addColumn<bool>("waitForFirstSend");
        QTest::newRow("lock, lock at once") << false << false;
        QTest::newRow("lock, light at once") << true << false;
        QTest::newRow("lock, lock once the first is out") << false << true;
        QTest::newRow("lock, light once the first is out") << true << true;
    }

    void quickReleasesNeverCross()
    {
        QFETCH(bool, secondIsLight);
        QFETCH(bool, waitForFirstSend);

        m_record.param(ConfigRecord::kLockRelayParam, Plain) = 11;
        m_record.param(ConfigRecord::kLockRelayParam, Other) = 22;
        m_record.param(ConfigRecord::kLightRelayParam, Other) = 33;
        const QString first = u"111"_s;
        const QString second = secondIsLight ? u"233"_s : u"122"_s;
        RelayCommander relays(m_record, m_log, m_scheduler, kRelayPort);
        QSignalSpy sent(&relays, &RelayCommander::commandSent);
        QSignalSpy dropped(&relays, &RelayCommander::commandDropped);

        const int from = m_sim->lineCount();
        for (int round = 0; round < 5; ++round) {
            relays.cmdLock_MouseUp(Plain);
            if (waitForFirstSend)
                QTRY_COMPARE(sent.count(), 2 * round + 1); // each round sends two when the first is out
            if (secondIsLight)
                relays.cmdLight_MouseUp(Other);
            else
                relays.cmdLock_MouseUp(Other);
            QVERIFY(waitIdle(relays));
        }
        // Every relay connection has ended and been reported by the simulator.
        QTRY_VERIFY_WITH_TIMEOUT(m_sim->status(Plain).contains(u" relayconns=0 "_s)
                                     && m_sim->status(Other).contains(u" relayconns=0 "_s), 5000);

        // Each station got nothing but its own command.
        const QStringList lines = m_sim->lines().mid(from);
        int plainCommands = 0;
        int otherCommands = 0;
        for (const QString& line : lines) {
            if (relayLine(Plain, first).match(line).hasMatch())
                ++plainCommands;
            else if (relayLine(Other, second).match(line).hasMatch())
                ++otherCommands;
            else if (line.startsWith(u"relay "_s))
                QVERIFY2(relayLine(Plain, QString()).match(line).hasMatch()
                             || relayLine(Other, QString()).match(line).hasMatch(),
                         qPrintable(u"unexpected relay bytes: "_s + line));
        }
        if (waitForFirstSend) {
            // The first command was out: the second release goes ahead with its own.
            QCOMPARE(plainCommands, 5);
            QCOMPARE(otherCommands, 5);
            QCOMPARE(dropped.count(), 0);
        } else {
            // Still connecting: the second release cut the first short and dropped both.
            QCOMPARE(sent.count(), 0);
            QCOMPARE(plainCommands + otherCommands, 0);
            QCOMPARE(dropped.count(), 10);
            for (const QList<QVariant>& args : dropped)
                QVERIFY(args.at(1).toString() == first || args.at(1).toString() == second);
        }
        for (const QList<QVariant>& args : sent) {
            const int station = args.at(0).toInt();
            QCOMPARE(args.at(1).toString(), station == Plain ? first : second);
        }

        // The socket is free again: the next release goes through.
        const int later = m_sim->lineCount();
        relays.cmdLock_MouseUp(Other);
        QVERIFY(m_sim->waitForLine(relayLine(Other, u"122"_s), 5000, later));
        // Every release is logged, sent or not.
        QCOMPARE(m_log.entries.size(), 11);
        QCOMPARE(m_log.entries.first(), u"rel\u00e8 1"_s);
        QCOMPARE(m_log.entries.count(u"rel\u00e8 2"_s), secondIsLight ? 5 : 0);
    }

    void heldConnectionDoesNotBlockNextRelease()
    {
        m_record.param(ConfigRecord::kLockRelayParam, Hold) = 5;
        m_record.param(ConfigRecord::kLockRelayParam, Plain) = 7;
        RelayCommander relays(m_record, m_log, m_scheduler, kRelayPort);
        QSignalSpy sent(&relays, &RelayCommander::commandSent);

        const int from = m_sim->lineCount();
        relays.cmdLock_MouseUp(Hold);
        QTRY_COMPARE(sent.count(), 1);
        QTRY_VERIFY(m_sim->status(Hold).contains(u" relayconns=1 "_s));
        QVERIFY(!relays.isIdle()); // the station keeps the connection open

        relays.cmdLock_MouseUp(Plain);
        QVERIFY(m_sim->waitForLine(relayLine(Plain, u"107"_s), 5000, from));
        // The held connection was closed with its own command delivered.
        QVERIFY(m_sim->waitForLine(relayLine(Hold, u"105"_s), 5000, from));
        QCOMPARE(sent.count(), 2);
        QVERIFY(waitIdle(relays));
    }

    void releaseRightAfterSendKeepsTheCommand()
    {
        // The next release comes in the very event that sent the first command: closing the
        // first connection then must not lose what it had just been handed.
        m_record.param(ConfigRecord::kLockRelayParam, Hold) = 44;
        m_record.param(ConfigRecord::kLockRelayParam, Plain) = 55;
        RelayCommander relays(m_record, m_log, m_scheduler, kRelayPort);
        connect(&relays, &RelayCommander::commandSent, this, [&relays](int station) {
            if (station == Hold)
                relays.cmdLock_MouseUp(Plain);
        });
        const int from = m_sim->lineCount();
        relays.cmdLock_MouseUp(Hold);
        QVERIFY(m_sim->waitForLine(relayLine(Plain, u"155"_s), 5000, from));
        QVERIFY(m_sim->waitForLine(relayLine(Hold, u"144"_s), 5000, from));
        QVERIFY(waitIdle(relays));
    }

    void unreachableStationFreesTheSocket_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("refused") << address(Refuse);
        QTest::newRow("empty address") << QString();
    }

    void unreachableStationFreesTheSocket()
    {
        QFETCH(QString, host);
        m_record.ipAddress[Refuse] = host;
        RelayCommander relays(m_record, m_log, m_scheduler, kRelayPort);
        QSignalSpy dropped(&relays, &RelayCommander::commandDropped);
        relays.cmdLight_MouseUp(Refuse);
        QCOMPARE(m_log.entries, QStringList{u"rel\u00e8 2"_s}); // logged all the same
        QTRY_COMPARE(dropped.count(), 1);
        QCOMPARE(dropped.at(0).at(0).toInt(), int(Refuse));
        QCOMPARE(dropped.at(0).at(1).toString(), u"210"_s);
        QVERIFY(relays.isIdle());

        const int from = m_sim->lineCount();
        relays.cmdLight_MouseUp(Plain);
        QVERIFY(m_sim->waitForLine(relayLine(Plain, u"210"_s), 5000, from));
    }

    void connectTimeOutDropsCommand()
    {
        FakeScheduler scheduler;
        RelayCommander relays(m_record, m_log, scheduler, kRelayPort);
        QSignalSpy sent(&relays, &RelayCommander::commandSent);
        QSignalSpy dropped(&relays, &RelayCommander::commandDropped);

        // The time-out falls due before the connection is up.
        relays.cmdLock_MouseUp(Plain);
        QCOMPARE(scheduler.delays, QList<int>{RelayCommander::kConnectTimeoutMs});
        scheduler.runAll();
        QCOMPARE(dropped.count(), 1);
        QVERIFY(relays.isIdle());

        // A time-out of an earlier connection does not touch the next one.
        const int from = m_sim->lineCount();
        relays.cmdLock_MouseUp(Plain);
        QTRY_COMPARE(sent.count(), 1);
        QVERIFY(m_sim->waitForLine(relayLine(Plain, u"101"_s), 5000, from));
        scheduler.runAll();
        QCOMPARE(dropped.count(), 1);
        QVERIFY(waitIdle(relays));
    }

private:
    bool waitIdle(RelayCommander& relays, int timeoutMs = 5000);

    std::unique_ptr<StationSimulator> m_sim;
    ConfigRecord m_record;
    RecordingLogger m_log;
    QtScheduler m_scheduler;
};

bool TestRelayCommander::waitIdle(RelayCommander& relays, int timeoutMs)
{
    return QTest::qWaitFor([&relays] { return relays.isIdle(); }, timeoutMs);
}

QTEST_MAIN(TestRelayCommander)
#include "test_relaycommander.moc"

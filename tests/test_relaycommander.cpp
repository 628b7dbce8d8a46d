// Relay commands: the three characters, the bytes a station receives, and the shared socket's rules.

#include "ConfigRecord.h"
#include "FakeScheduler.h"
#include "RecordingLogger.h"
#include "RelayCommander.h"
#include "support/StationSimulator.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

// This test's own stations and ports.
constexpr int kFirst = 150; // 127.0.0.150 ...
constexpr int kCount = 4;
constexpr quint16 kHttpPort = 18181;
constexpr quint16 kRelayPort = 16100;
constexpr quint16 kCallPort = 16101;

enum Station : int
{
    Plain = 0,
    Other = 1,
    Hold = 2,
    Refuse = 3,
};

QString address(int station)
{
    return StationSimulator::address(kFirst, station);
}

QRegularExpression relayLine(int station, const QString& bytes)
{
    QString line = QStringLiteral("relay %1 %2").arg(station).arg(address(station));
    if (!bytes.isEmpty())
        line += QLatin1Char(' ') + bytes;
    return QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(line) + QLatin1Char('$'));
}

QString relayLock()
{
    return QString::fromUtf8("rel\xC3\xA8 1");
}

QString relayLight()
{
    return QString::fromUtf8("rel\xC3\xA8 2");
}

} // namespace

class TestRelayCommander : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void commandText_data();
    void commandText();
    void stationReceivesCommand_data();
    void stationReceivesCommand();
    void everyReleaseIsLogged();
    void quickReleasesNeverCross_data();
    void quickReleasesNeverCross();
    void heldConnectionDoesNotBlockNextRelease();
    void releaseRightAfterSendKeepsTheCommand();
    void unreachableStationFreesTheSocket_data();
    void unreachableStationFreesTheSocket();
    void connectTimeOutDropsCommand();

private:
    bool waitIdle(RelayCommander& relays, int timeoutMs = 5000);
    bool stationsSettled(const QList<int>& stations);

    std::unique_ptr<StationSimulator> m_sim;
    ConfigRecord m_record;
    RecordingLogger m_log;
    QtScheduler m_scheduler;
};

void TestRelayCommander::initTestCase()
{
    const QStringList args{
        QStringLiteral("--first"),      QString::number(kFirst),
        QStringLiteral("--count"),      QString::number(kCount),
        QStringLiteral("--http-port"),  QString::number(kHttpPort),
        QStringLiteral("--relay-port"), QString::number(kRelayPort),
        QStringLiteral("--call-port"),  QString::number(kCallPort),
        QStringLiteral("--mode"),       QStringLiteral("%1=relayhold").arg(Hold),
        QStringLiteral("--mode"),       QStringLiteral("%1=relayrefuse").arg(Refuse),
    };
    m_sim = std::make_unique<StationSimulator>(args);
    QVERIFY2(m_sim->isReady(), qPrintable(m_sim->errorString()));
}

void TestRelayCommander::cleanupTestCase()
{
    m_sim.reset();
}

void TestRelayCommander::init()
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

bool TestRelayCommander::waitIdle(RelayCommander& relays, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!relays.isIdle() && !deadline.hasExpired())
        QTest::qWait(10);
    return relays.isIdle();
}

// Every relay connection of these stations has ended and been reported by the simulator.
bool TestRelayCommander::stationsSettled(const QList<int>& stations)
{
    for (int station : stations) {
        if (!m_sim->status(station).contains(QStringLiteral(" relayconns=0 ")))
            return false;
    }
    return true;
}

void TestRelayCommander::commandText_data()
{
    QTest::addColumn<int>("relay");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("command");

    QTest::newRow("lock 1") << 1 << 1 << QStringLiteral("101");
    QTest::newRow("lock 5") << 1 << 5 << QStringLiteral("105");
    QTest::newRow("light 10") << 2 << 10 << QStringLiteral("210");
    QTest::newRow("light 99") << 2 << 99 << QStringLiteral("299");
    QTest::newRow("lock 123 cut to 23") << 1 << 123 << QStringLiteral("123");
    QTest::newRow("light 100 cut to 00") << 2 << 100 << QStringLiteral("200");
    QTest::newRow("lock -5") << 1 << -5 << QStringLiteral("1-5");
    QTest::newRow("light -123") << 2 << -123 << QStringLiteral("223");
    QTest::newRow("lock 0 from a file") << 1 << 0 << QStringLiteral("100");
    QTest::newRow("lock 32767") << 1 << 32767 << QStringLiteral("167");
    QTest::newRow("light -32768") << 2 << -32768 << QStringLiteral("268");
}

void TestRelayCommander::commandText()
{
    QFETCH(int, relay);
    QFETCH(int, seconds);
    QFETCH(QString, command);
    QCOMPARE(RelayCommander::relayCommand(relay, static_cast<qint16>(seconds)), command);
}

void TestRelayCommander::stationReceivesCommand_data()
{
    QTest::addColumn<bool>("lock");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("bytes");

    const int times[] = {1, 5, 10, 99, 123, -5, 0};
    const char* lockBytes[] = {"101", "105", "110", "199", "123", "1-5", "100"};
    const char* lightBytes[] = {"201", "205", "210", "299", "223", "2-5", "200"};
    for (int k = 0; k < 7; ++k) {
        QTest::addRow("lock %d", times[k]) << true << times[k] << QString::fromLatin1(lockBytes[k]);
        QTest::addRow("light %d", times[k]) << false << times[k] << QString::fromLatin1(lightBytes[k]);
    }
}

void TestRelayCommander::stationReceivesCommand()
{
    QFETCH(bool, lock);
    QFETCH(int, seconds);
    QFETCH(QString, bytes);

    m_record.param(lock ? ConfigRecord::kLockRelayParam : ConfigRecord::kLightRelayParam, Plain) =
        static_cast<qint16>(seconds);
    RelayCommander relays(m_record, m_log, m_scheduler, kRelayPort);
    QSignalSpy sent(&relays, &RelayCommander::commandSent);
    const int from = m_sim->lineCount();
    if (lock)
        relays.cmdLock_MouseUp(Plain);
    else
        relays.cmdLight_MouseUp(Plain);
    QVERIFY(m_sim->waitForLine(relayLine(Plain, bytes), 5000, from));
    QCOMPARE(sent.count(), 1);
    QCOMPARE(sent.at(0).at(0).toInt(), int(Plain));
    QCOMPARE(sent.at(0).at(1).toString(), bytes);
    // The station closed the connection: the socket is free for the next command.
    QVERIFY(waitIdle(relays));
}

void TestRelayCommander::everyReleaseIsLogged()
{
    m_record.ipAddress[Plain].clear(); // the command fails; the log line comes all the same
    RelayCommander relays(m_record, m_log, m_scheduler, kRelayPort);
    relays.cmdLock_MouseUp(Plain);
    relays.cmdLight_MouseUp(Plain);
    QVERIFY(waitIdle(relays));
    relays.cmdLight_MouseUp(Plain);
    QCOMPARE(m_log.entries, (QStringList{relayLock(), relayLight(), relayLight()}));
    QCOMPARE(m_log.entries.first().at(3), QChar(0x00E8));
    QVERIFY(waitIdle(relays));
}

void TestRelayCommander::quickReleasesNeverCross_data()
{
    QTest::addColumn<bool>("secondIsLight");
    QTest::addColumn<bool>("waitForFirstSend");
    QTest::newRow("lock, lock at once") << false << false;
    QTest::newRow("lock, light at once") << true << false;
    QTest::newRow("lock, lock once the first is out") << false << true;
    QTest::newRow("lock, light once the first is out") << true << true;
}

void TestRelayCommander::quickReleasesNeverCross()
{
    QFETCH(bool, secondIsLight);
    QFETCH(bool, waitForFirstSend);

    m_record.param(ConfigRecord::kLockRelayParam, Plain) = 11;
    m_record.param(ConfigRecord::kLockRelayParam, Other) = 22;
    m_record.param(ConfigRecord::kLightRelayParam, Other) = 33;
    const QString first = QStringLiteral("111");
    const QString second = secondIsLight ? QStringLiteral("233") : QStringLiteral("122");
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
    QTRY_VERIFY_WITH_TIMEOUT(stationsSettled({Plain, Other}), 5000);

    // Each station got nothing but its own command.
    const QStringList lines = m_sim->lines().mid(from);
    int plainCommands = 0;
    int otherCommands = 0;
    for (const QString& line : lines) {
        if (relayLine(Plain, first).match(line).hasMatch())
            ++plainCommands;
        else if (relayLine(Other, second).match(line).hasMatch())
            ++otherCommands;
        else if (line.startsWith(QStringLiteral("relay ")))
            QVERIFY2(relayLine(Plain, QString()).match(line).hasMatch()
                         || relayLine(Other, QString()).match(line).hasMatch(),
                     qPrintable(QStringLiteral("unexpected relay bytes: ") + line));
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
    QVERIFY(m_sim->waitForLine(relayLine(Other, QStringLiteral("122")), 5000, later));
}

void TestRelayCommander::heldConnectionDoesNotBlockNextRelease()
{
    m_record.param(ConfigRecord::kLockRelayParam, Hold) = 5;
    m_record.param(ConfigRecord::kLockRelayParam, Plain) = 7;
    RelayCommander relays(m_record, m_log, m_scheduler, kRelayPort);
    QSignalSpy sent(&relays, &RelayCommander::commandSent);

    const int from = m_sim->lineCount();
    relays.cmdLock_MouseUp(Hold);
    QTRY_COMPARE(sent.count(), 1);
    QTRY_VERIFY(m_sim->status(Hold).contains(QStringLiteral(" relayconns=1 ")));
    QVERIFY(!relays.isIdle()); // the station keeps the connection open

    relays.cmdLock_MouseUp(Plain);
    QVERIFY(m_sim->waitForLine(relayLine(Plain, QStringLiteral("107")), 5000, from));
    // The held connection was closed with its own command delivered.
    QVERIFY(m_sim->waitForLine(relayLine(Hold, QStringLiteral("105")), 5000, from));
    QCOMPARE(sent.count(), 2);
    QVERIFY(waitIdle(relays));
}

void TestRelayCommander::releaseRightAfterSendKeepsTheCommand()
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
    QVERIFY(m_sim->waitForLine(relayLine(Plain, QStringLiteral("155")), 5000, from));
    QVERIFY(m_sim->waitForLine(relayLine(Hold, QStringLiteral("144")), 5000, from));
    QVERIFY(waitIdle(relays));
}

void TestRelayCommander::unreachableStationFreesTheSocket_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("refused") << address(Refuse);
    QTest::newRow("empty address") << QString();
}

void TestRelayCommander::unreachableStationFreesTheSocket()
{
    QFETCH(QString, host);
    m_record.ipAddress[Refuse] = host;
    RelayCommander relays(m_record, m_log, m_scheduler, kRelayPort);
    QSignalSpy dropped(&relays, &RelayCommander::commandDropped);
    relays.cmdLight_MouseUp(Refuse);
    QTRY_COMPARE(dropped.count(), 1);
    QCOMPARE(dropped.at(0).at(0).toInt(), int(Refuse));
    QCOMPARE(dropped.at(0).at(1).toString(), QStringLiteral("210"));
    QVERIFY(relays.isIdle());

    const int from = m_sim->lineCount();
    relays.cmdLight_MouseUp(Plain);
    QVERIFY(m_sim->waitForLine(relayLine(Plain, QStringLiteral("210")), 5000, from));
}

void TestRelayCommander::connectTimeOutDropsCommand()
{
    FakeScheduler scheduler;
    RelayCommander relays(m_record, m_log, scheduler, kRelayPort);
    QSignalSpy sent(&relays, &RelayCommander::commandSent);
    QSignalSpy dropped(&relays, &RelayCommander::commandDropped);

    // The time-out falls due before the connection is up.
    relays.cmdLock_MouseUp(Plain);
    QCOMPARE(scheduler.delays, QList<int>{RelayCommander::kConnectTimeoutMs});
    QVERIFY(RelayCommander::kConnectTimeoutMs >= 1000 && RelayCommander::kConnectTimeoutMs <= 10000);
    scheduler.runAll();
    QCOMPARE(dropped.count(), 1);
    QVERIFY(relays.isIdle());

    // A time-out of an earlier connection does not touch the next one.
    const int from = m_sim->lineCount();
    relays.cmdLock_MouseUp(Plain);
    QTRY_COMPARE(sent.count(), 1);
    QVERIFY(m_sim->waitForLine(relayLine(Plain, QStringLiteral("101")), 5000, from));
    scheduler.runAll();
    QCOMPARE(dropped.count(), 1);
    QVERIFY(waitIdle(relays));
}

QTEST_MAIN(TestRelayCommander)
#include "test_relaycommander.moc"

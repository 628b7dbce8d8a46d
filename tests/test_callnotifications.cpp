// Door-call notifications: the message rules, the restore-and-fade path, the sockets and their reopen.

#include "CallNotifications.h"
#include "CallSockets.h"
#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "FakeCallWindowPort.h"
#include "FakeScheduler.h"
#include "FakeTrayIcon.h"
#include "RecordingLogger.h"
#include "TcpClientSocket.h"
#include "TrayController.h"
#include "WindowStyling.h"
#include "support/StationSimulator.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

constexpr int kFirst = 160; // 127.0.0.160 ...
constexpr int kCount = 5;
constexpr quint16 kHttpPort = 18181;
constexpr quint16 kRelayPort = 16100;
constexpr quint16 kCallPort = 16101;

QString address(int station)
{
    return StationSimulator::address(kFirst, station);
}

QRegularExpression exactLine(const QString& line)
{
    return QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(line) + QLatin1Char('$'));
}

/// Peak resident memory of this process, KiB (VmHWM), or -1.
qint64 peakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

/// Resets the peak to the current resident size; false where the kernel does not allow it.
bool resetPeakRss()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

/// The real tray controller behind the call port, with only the tray icon,
/// the window and the clock faked: the restore-and-fade path end to end.
class TrayBackedPort : public CallWindowPort, public TrayWindowPort
{
public:
    ConsoleState state;
    FakeTrayIcon tray;
    FakeScheduler scheduler;
    TrayController controller{state, tray, *this, scheduler, QIcon()};
    QStringList journal;
    QList<int> alphas;
    bool minimized = false;
    bool visible = true;

    // CallWindowPort
    bool isMinimized() const override { return minimized; }
    bool isInTray() const override { return state.inTray != 0; }
    bool isRestoredForCall() const override { return state.RestoredForCall != 0; }
    void bringBackForCall() override { controller.bringBackForCall(); }
    void fadeBackToTray(std::function<void()> after) override { controller.fadeBackToTray(std::move(after)); }
    // both
    void setTopmost(bool onTop) override
    {
        journal.append(onTop ? QStringLiteral("topmost") : QStringLiteral("notopmost"));
    }
    // TrayWindowPort
    void setNormalState() override
    {
        minimized = false;
        journal.append(QStringLiteral("normal"));
    }
    void setMinimizedState() override
    {
        minimized = true;
        journal.append(QStringLiteral("minimized"));
        controller.minimizeToTray();
    }
    void hideWindow() override
    {
        visible = false;
        journal.append(QStringLiteral("hide"));
    }
    void showWindow() override
    {
        visible = true;
        journal.append(QStringLiteral("show"));
    }
    void setTransparency(int alpha) override { alphas.append(alpha); }
    void closeZoomWindow() override {}
};

} // namespace

class TestCallNotifications : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void messageRules_data();
    void messageRules();
    void endWhileAnotherStationCalls();
    void callWithWindowOutOfTheTray_data();
    void callWithWindowOutOfTheTray();
    void endWithoutRestoreOnlyClearsFlag();
    void restoreAndFadeThroughTrayController();

    void startupOpenConnectsActiveStationsOnly();
    void arrivalsFromStation();
    void splitWordIsNotRecognised();
    void floodCostsNoMoreThanOneRead();
    void errorClosesSocket();
    void reopenStepsAndWaits();
    void reopenAgainstStations();

private:
    std::unique_ptr<StationSimulator> m_sim;
    ConfigRecord m_record;
    RecordingLogger m_log;
};

void TestCallNotifications::initTestCase()
{
    const QStringList args{
        QStringLiteral("--first"),      QString::number(kFirst),
        QStringLiteral("--count"),      QString::number(kCount),
        QStringLiteral("--http-port"),  QString::number(kHttpPort),
        QStringLiteral("--relay-port"), QString::number(kRelayPort),
        QStringLiteral("--call-port"),  QString::number(kCallPort),
        QStringLiteral("--mode"),       QStringLiteral("4=callrefuse"),
    };
    m_sim = std::make_unique<StationSimulator>(args);
    QVERIFY2(m_sim->isReady(), qPrintable(m_sim->errorString()));
}

void TestCallNotifications::cleanupTestCase()
{
    m_sim.reset();
}

void TestCallNotifications::cleanup()
{
    // The connections of the test that ended are closed: the next test reads only its own events.
    for (int i = 0; i < kCount; ++i)
        QTRY_VERIFY(m_sim->status(i).endsWith(QStringLiteral(" callconns=0")));
}

void TestCallNotifications::init()
{
    m_record = ConfigRecord();
    m_record.popupOnCall = 1;
    for (int i = 0; i < kCount; ++i)
        m_record.ipAddress[i] = address(i);
    m_record.active[0] = 1;
    m_record.active[2] = 1;
    m_log.entries.clear();
}

void TestCallNotifications::messageRules_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("restoredBefore"); // the window came back for an earlier call
    QTest::addColumn<int>("flag");
    QTest::addColumn<QStringList>("journal");

    const QStringList none;
    const QStringList bringBack{QStringLiteral("bringBack"), QStringLiteral("topmost")};
    const QStringList fade{QStringLiteral("fade")};
    QTest::newRow("CALL") << QByteArray("CALL") << false << 1 << bringBack;
    QTest::newRow("call in lower case") << QByteArray("call") << false << 0 << none;
    QTest::newRow("Call mixed case") << QByteArray("Call") << false << 0 << none;
    QTest::newRow("xxCALLxx") << QByteArray("xxCALLxx") << false << 1 << bringBack;
    QTest::newRow("CALL after a NUL") << QByteArray("\0\x01" "CALL\r\n", 8) << false << 1 << bringBack;
    QTest::newRow("CAL L") << QByteArray("CAL L") << false << 0 << none;
    QTest::newRow("empty") << QByteArray() << false << 0 << none;
    QTest::newRow("END, not restored") << QByteArray("END") << false << 0 << none;
    QTest::newRow("END, restored") << QByteArray("END") << true << 0 << fade;
    QTest::newRow("SEND counts as END") << QByteArray("SEND") << true << 0 << fade;
    QTest::newRow("end in lower case") << QByteArray("end") << true << 0 << none;
    QTest::newRow("both: call step first") << QByteArray("CALL END") << false << 0 << bringBack + fade;
    QTest::newRow("both, END written first") << QByteArray("ENDCALL") << false << 0 << bringBack + fade;
}

void TestCallNotifications::messageRules()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, restoredBefore);
    QFETCH(int, flag);
    QFETCH(QStringList, journal);

    FakeCallWindowPort window;
    if (restoredBefore)
        window.restoredForCall = true; // shown, brought back for a call that is still on
    else
        window.putInTray();
    CallSockets sockets(kCallPort, nullptr);
    FakeScheduler scheduler;
    CallNotifications calls(m_record, sockets, window, m_log, scheduler);

    calls.wsockCall_DataArrival(5, text);
    QCOMPARE(calls.callingFlag(5), flag);
    QCOMPARE(window.journal, journal);
    if (window.pendingFadeEnd) {
        window.runFade();
        QCOMPARE(window.journal.last(), QStringLiteral("notopmost"));
        QVERIFY(!window.topmost);
    }
    QVERIFY(m_log.entries.isEmpty()); // the handler logs nothing
    for (int i = 0; i < CallNotifications::kStations; ++i) {
        if (i != 5)
            QCOMPARE(calls.callingFlag(i), 0);
    }
}

void TestCallNotifications::endWhileAnotherStationCalls()
{
    FakeCallWindowPort window;
    window.putInTray();
    CallSockets sockets(kCallPort, nullptr);
    FakeScheduler scheduler;
    CallNotifications calls(m_record, sockets, window, m_log, scheduler);

    calls.wsockCall_DataArrival(5, "CALL");
    calls.wsockCall_DataArrival(3, "CALL");
    QCOMPARE(window.journal, (QStringList{QStringLiteral("bringBack"), QStringLiteral("topmost")}));
    calls.wsockCall_DataArrival(3, "END");
    QCOMPARE(calls.callingFlag(3), 0);
    QCOMPARE(calls.callingFlag(5), 1);
    QCOMPARE(window.journal.size(), 2); // no fade: station 5 still calls
    QVERIFY(window.restoredForCall);

    calls.wsockCall_DataArrival(5, "END");
    QCOMPARE(calls.callingFlag(5), 0);
    QCOMPARE(window.journal.last(), QStringLiteral("fade"));
    window.runFade();
    QCOMPARE(window.journal, (QStringList{QStringLiteral("bringBack"), QStringLiteral("topmost"),
                                          QStringLiteral("fade"), QStringLiteral("inTray"),
                                          QStringLiteral("notopmost")}));
}

void TestCallNotifications::callWithWindowOutOfTheTray_data()
{
    QTest::addColumn<bool>("popupOption");
    QTest::addColumn<bool>("minimized");
    QTest::addColumn<bool>("inTray");
    QTest::newRow("option off, in the tray") << false << true << true;
    QTest::newRow("window shown") << true << false << false;
    QTest::newRow("minimised to the task bar only") << true << true << false;
}

void TestCallNotifications::callWithWindowOutOfTheTray()
{
    QFETCH(bool, popupOption);
    QFETCH(bool, minimized);
    QFETCH(bool, inTray);

    m_record.popupOnCall = popupOption ? 1 : 0;
    FakeCallWindowPort window;
    window.minimized = minimized;
    window.inTray = inTray;
    CallSockets sockets(kCallPort, nullptr);
    FakeScheduler scheduler;
    CallNotifications calls(m_record, sockets, window, m_log, scheduler);

    calls.wsockCall_DataArrival(0, "CALL");
    QCOMPARE(calls.callingFlag(0), 1);
    QVERIFY(window.journal.isEmpty());
    calls.wsockCall_DataArrival(0, "END");
    QCOMPARE(calls.callingFlag(0), 0);
    QVERIFY(window.journal.isEmpty()); // not restored for a call: no fade
}

void TestCallNotifications::endWithoutRestoreOnlyClearsFlag()
{
    FakeCallWindowPort window;
    window.putInTray();
    CallSockets sockets(kCallPort, nullptr);
    FakeScheduler scheduler;
    CallNotifications calls(m_record, sockets, window, m_log, scheduler);
    calls.wsockCall_DataArrival(1, "CALL");
    // The operator put the window back himself: RestoredForCall is 0 when END comes.
    window.restoredForCall = false;
    window.journal.clear();
    calls.wsockCall_DataArrival(1, "END");
    QCOMPARE(calls.callingFlag(1), 0);
    QVERIFY(window.journal.isEmpty());
}

void TestCallNotifications::restoreAndFadeThroughTrayController()
{
    TrayBackedPort port;
    port.controller.minimizeToTray();
    port.minimized = true;
    QCOMPARE(port.state.inTray, 1);
    port.journal.clear();
    CallSockets sockets(kCallPort, nullptr);
    FakeScheduler scheduler;
    CallNotifications calls(m_record, sockets, port, m_log, scheduler);

    calls.wsockCall_DataArrival(2, "xxCALLxx");
    QCOMPARE(port.state.RestoredForCall, 1);
    QCOMPARE(port.state.inTray, 0);
    QVERIFY(!port.tray.shown);
    QCOMPARE(port.journal, (QStringList{QStringLiteral("normal"), QStringLiteral("show"), QStringLiteral("topmost")}));

    port.journal.clear();
    calls.wsockCall_DataArrival(2, "END\r\n");
    QCOMPARE(port.state.RestoredForCall, 0);
    // The fade runs on the event loop; a CALL in the middle of it does not stop it.
    port.scheduler.runAll(10);
    calls.wsockCall_DataArrival(4, "CALL");
    port.scheduler.runAll();
    QCOMPARE(port.alphas.size(), 129);
    QCOMPARE(port.alphas.first(), 255);
    QCOMPARE(port.alphas.at(127), 1);
    for (int k = 0; k < 128; ++k)
        QCOMPARE(port.alphas.at(k), 255 - 2 * k);
    QCOMPARE(port.alphas.last(), 255); // opaque again for the next time
    QCOMPARE(port.journal, (QStringList{QStringLiteral("minimized"), QStringLiteral("notopmost"),
                                        QStringLiteral("hide"), QStringLiteral("notopmost")}));
    QCOMPARE(port.state.inTray, 1);
    QVERIFY(port.tray.shown);
    QVERIFY(!port.visible);
}

void TestCallNotifications::startupOpenConnectsActiveStationsOnly()
{
    FakeCallWindowPort window;
    CallSockets sockets(kCallPort, nullptr);
    QtScheduler scheduler;
    CallNotifications calls(m_record, sockets, window, m_log, scheduler);

    const int from = m_sim->lineCount();
    sockets.startupOpen(m_record);
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("callconn 0 open")), 5000, from));
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("callconn 2 open")), 5000, from));
    QTRY_VERIFY(sockets.wsockCall(0)->isConnected() && sockets.wsockCall(2)->isConnected());
    QCOMPARE(sockets.wsockCall(0)->remotePort(), kCallPort);
    for (int i : {1, 3, 4, 5, 15}) {
        QVERIFY(sockets.wsockCall(i)->isIdle());
        QVERIFY(sockets.wsockCall(i)->remoteHost().isEmpty());
    }
    QVERIFY(m_sim->status(1).endsWith(QStringLiteral(" callconns=0")));
    QVERIFY(m_sim->status(3).endsWith(QStringLiteral(" callconns=0")));
}

void TestCallNotifications::arrivalsFromStation()
{
    FakeCallWindowPort window;
    window.putInTray();
    CallSockets sockets(kCallPort, nullptr);
    QtScheduler scheduler;
    CallNotifications calls(m_record, sockets, window, m_log, scheduler);
    QSignalSpy arrivals(&sockets, &CallSockets::dataArrived);
    int from = m_sim->lineCount();
    sockets.startupOpen(m_record);
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("callconn 2 open")), 5000, from));

    m_sim->send(QStringLiteral("send 2 call"));
    QTRY_COMPARE(arrivals.count(), 1);
    QCOMPARE(calls.callingFlag(2), 0);

    m_sim->send(QStringLiteral("call 2"));
    QTRY_COMPARE(calls.callingFlag(2), 1);
    QCOMPARE(calls.callingFlag(0), 0);
    QCOMPARE(window.journal, (QStringList{QStringLiteral("bringBack"), QStringLiteral("topmost")}));

    m_sim->send(QStringLiteral("send 2 xxSENDxx"));
    QTRY_COMPARE(calls.callingFlag(2), 0);
    QCOMPARE(window.journal.last(), QStringLiteral("fade"));
}

void TestCallNotifications::splitWordIsNotRecognised()
{
    FakeCallWindowPort window;
    CallSockets sockets(kCallPort, nullptr);
    QtScheduler scheduler;
    CallNotifications calls(m_record, sockets, window, m_log, scheduler);
    QSignalSpy arrivals(&sockets, &CallSockets::dataArrived);
    const int from = m_sim->lineCount();
    sockets.startupOpen(m_record);
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("callconn 0 open")), 5000, from));

    m_sim->send(QStringLiteral("send 0 CA"));
    QTRY_COMPARE(arrivals.count(), 1);
    m_sim->send(QStringLiteral("send 0 LL"));
    QTRY_COMPARE(arrivals.count(), 2);
    QCOMPARE(arrivals.at(0).at(1).toByteArray(), QByteArray("CA"));
    QCOMPARE(arrivals.at(1).at(1).toByteArray(), QByteArray("LL"));
    QCOMPARE(calls.callingFlag(0), 0);

    // The same split by direct arrivals.
    calls.wsockCall_DataArrival(0, "EN");
    calls.wsockCall_DataArrival(0, "D");
    calls.wsockCall_DataArrival(0, "C");
    calls.wsockCall_DataArrival(0, "ALL");
    QCOMPARE(calls.callingFlag(0), 0);
}

void TestCallNotifications::floodCostsNoMoreThanOneRead()
{
    constexpr int kFloodMiB = 48;
    FakeCallWindowPort window;
    window.putInTray();
    CallSockets sockets(kCallPort, nullptr);
    QtScheduler scheduler;
    CallNotifications calls(m_record, sockets, window, m_log, scheduler);
    qint64 total = 0;
    qint64 largest = 0;
    connect(&sockets, &CallSockets::dataArrived, this, [&](int station, const QByteArray& data) {
        if (station == 2) {
            total += data.size();
            largest = qMax<qint64>(largest, data.size());
        }
    });
    int from = m_sim->lineCount();
    sockets.startupOpen(m_record);
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("callconn 2 open")), 5000, from));

    const bool peakReset = resetPeakRss();
    const qint64 peakBefore = peakRssKiB();
    from = m_sim->lineCount();
    m_sim->send(QStringLiteral("flood 2 %1").arg(kFloodMiB));
    m_sim->send(QStringLiteral("call 2"));
    const qint64 floodBytes = qint64(kFloodMiB) * 1024 * 1024;
    QTRY_COMPARE_WITH_TIMEOUT(total, floodBytes + 4, 60000);
    // The CALL behind the flood still counts, in the arrival that holds it.
    QTRY_COMPARE(calls.callingFlag(2), 1);
    QVERIFY2(largest <= CallSockets::kMaxReadBytes, qPrintable(QString::number(largest)));
    if (peakReset && peakBefore > 0) {
        const qint64 growthKiB = peakRssKiB() - peakBefore;
        QVERIFY2(growthKiB < 16 * 1024, qPrintable(QStringLiteral("peak grew by %1 KiB").arg(growthKiB)));
    }
}

void TestCallNotifications::errorClosesSocket()
{
    m_record.active[4] = 1; // the station does not listen on its call port
    FakeCallWindowPort window;
    CallSockets sockets(kCallPort, nullptr);
    QtScheduler scheduler;
    CallNotifications calls(m_record, sockets, window, m_log, scheduler);
    QSignalSpy errors(&sockets, &CallSockets::errorOccurred);
    sockets.startupOpen(m_record);
    QTRY_VERIFY(!errors.isEmpty());
    QCOMPARE(errors.first().at(0).toInt(), 4);
    QVERIFY(sockets.wsockCall(4)->isIdle());
    QVERIFY(m_log.entries.isEmpty()); // nothing logged, no retry
}

void TestCallNotifications::reopenStepsAndWaits()
{
    m_record.active[0] = 1;
    m_record.active[2] = 1;
    FakeCallWindowPort window;
    CallSockets sockets(kCallPort, nullptr);
    FakeScheduler scheduler;
    CallNotifications calls(m_record, sockets, window, m_log, scheduler);
    sockets.startupOpen(m_record);

    // Activated after start-up, with its address as it is now.
    m_record.active[3] = 1;
    m_record.ipAddress[3] = address(3);
    // Start-up's address stays for a station that had one.
    m_record.ipAddress[0] = address(1);

    bool done = false;
    calls.reopenSockets([&done]() { done = true; });
    QCOMPARE(m_log.entries, QStringList{QStringLiteral("sock")});
    QVERIFY(calls.isReopening());
    QVERIFY(!done);
    // A second reopen while one runs adds nothing.
    bool secondDone = false;
    calls.reopenSockets([&secondDone]() { secondDone = true; });
    QVERIFY(secondDone);
    QCOMPARE(m_log.entries.size(), 1);

    QCOMPARE(scheduler.delays, QList<int>{CallNotifications::kReopenWaitMs});
    QVERIFY(sockets.wsockCall(0)->isIdle()); // closed before the wait
    scheduler.runAll();
    QVERIFY(done);
    QVERIFY(!calls.isReopening());
    QCOMPARE(scheduler.delays, (QList<int>{110, 110, 110})); // one wait per active station, none for the others
    QCOMPARE(sockets.wsockCall(0)->remoteHost(), address(0));
    QCOMPARE(sockets.wsockCall(3)->remoteHost(), address(3));
    QCOMPARE(sockets.wsockCall(3)->remotePort(), kCallPort);
    QVERIFY(sockets.wsockCall(1)->remoteHost().isEmpty());
    QVERIFY(sockets.wsockCall(1)->isIdle());
}

void TestCallNotifications::reopenAgainstStations()
{
    FakeCallWindowPort window;
    CallSockets sockets(kCallPort, nullptr);
    QtScheduler scheduler;
    CallNotifications calls(m_record, sockets, window, m_log, scheduler);
    int from = m_sim->lineCount();
    sockets.startupOpen(m_record);
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("callconn 0 open")), 5000, from));
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("callconn 2 open")), 5000, from));
    m_record.active[3] = 1;

    from = m_sim->lineCount();
    QSignalSpy finished(&calls, &CallNotifications::reopenFinished);
    calls.reopenSockets({});
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("callconn 3 open")), 5000, from));
    QTRY_VERIFY(sockets.wsockCall(3)->isConnected());
    const QStringList lines = m_sim->lines().mid(from);
    QStringList events;
    for (const QString& line : lines) {
        if (line.startsWith(QStringLiteral("callconn ")))
            events.append(line.mid(9));
    }
    QCOMPARE(events, (QStringList{QStringLiteral("0 closed"), QStringLiteral("0 open"), QStringLiteral("2 closed"),
                                  QStringLiteral("2 open"), QStringLiteral("3 open")}));
    QVERIFY(sockets.wsockCall(0)->isConnected());
    QVERIFY(sockets.wsockCall(2)->isConnected());
    QVERIFY(sockets.wsockCall(1)->isIdle());

    // The reopened connections carry calls again.
    m_sim->send(QStringLiteral("call 3"));
    QTRY_COMPARE(calls.callingFlag(3), 1);
}

QTEST_MAIN(TestCallNotifications)
#include "test_callnotifications.moc"

// Door-call notifications: the message rules, the restore-and-fade path, the sockets and their reopen.

#include "CallNotifications.h"
#include "CallSockets.h"
#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "FakeCallWindowPort.h"
#include "FakeScheduler.h"
#include "FakeTrayIcon.h"
#include "FakeTrayWindow.h"
#include "RecordingLogger.h"
#include "TcpClientSocket.h"
#include "TrayController.h"
#include "support/StationSimulator.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFirst = 160; // 127.0.0.160 ...
constexpr int kCount = 5;
constexpr quint16 kCallPort = 16101;

QString address(int station)
{
    return StationSimulator::address(kFirst, station);
}

QRegularExpression exactLine(const QString& line)
{
    return QRegularExpression(u'^' + QRegularExpression::escape(line) + u'$');
}

/// Peak resident memory of this process, KiB (VmHWM), or -1.
qint64 peakRssKiB()
{
    QFile status(u"/proc/self/status"_s);
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
    QFile refs(u"/proc/self/clear_refs"_s);
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

/// The notifications with the window faked, on the fake clock or the event loop.
struct Rig
{
    FakeCallWindowPort window;
    CallSockets sockets{kCallPort, nullptr};
    FakeScheduler fakeClock;
    QtScheduler realClock;
    CallNotifications calls;

    Rig(const ConfigRecord& record, Logger& log, bool onEventLoop = false)
        : calls(record, sockets, window, log, onEventLoop ? static_cast<Scheduler&>(realClock) : fakeClock)
    {
    }
};

/// The real tray controller behind the call port, with only the tray icon,
/// the window and the clock faked: the restore-and-fade path end to end.
struct TrayBackedPort : CallWindowPort
{
    QStringList journal;
    ConsoleState state;
    FakeTrayIcon tray;
    FakeTrayWindow window;
    FakeScheduler scheduler;
    TrayController controller{state, tray, window, scheduler, QIcon()};

    TrayBackedPort()
    {
        window.journal = &journal;
        window.controller = &controller;
    }
    bool isMinimized() const override { return window.minimized; }
    bool isInTray() const override { return state.inTray != 0; }
    bool isRestoredForCall() const override { return state.RestoredForCall != 0; }
    void bringBackForCall() override { controller.bringBackForCall(); }
    void fadeBackToTray(std::function<void()> after) override { controller.fadeBackToTray(std::move(after)); }
    void setTopmost(bool onTop) override { window.setTopmost(onTop); }
};

} // namespace

class TestCallNotifications : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QStringList args{u"--first"_s,      QString::number(kFirst), u"--count"_s,      QString::number(kCount),
                               u"--http-port"_s,  u"18181"_s,              u"--relay-port"_s, u"16100"_s,
                               u"--call-port"_s,  QString::number(kCallPort), u"--mode"_s,    u"4=callrefuse"_s};
        m_sim = std::make_unique<StationSimulator>(args);
        QVERIFY2(m_sim->isReady(), qPrintable(m_sim->errorString()));
    }

    void init()
    {
        m_record = ConfigRecord();
        m_record.popupOnCall = 1;
        for (int i = 0; i < kCount; ++i)
            m_record.ipAddress[i] = address(i);
        m_record.active[0] = 1;
        m_record.active[2] = 1;
        m_log.entries.clear();
    }

    void cleanup()
    {
        // The connections of the test that ended are closed: the next test reads only its own events.
        for (int i = 0; i < kCount; ++i)
            QTRY_VERIFY(m_sim->status(i).endsWith(u" callconns=0"_s));
    }

    void messageRules_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("restoredBefore"); // the window came back for an earlier call
        QTest::addColumn<int>("flag");
        QTest::addColumn<QStringList>("journal");

        const QStringList none;
        const QStringList bringBack{u"bringBack"_s, u"topmost"_s};
        const QStringList fade{u"fade"_s};
        QTest::newRow("CALL") << "CALL"_ba << false << 1 << bringBack;
        QTest::newRow("call in lower case") << "call"_ba << false << 0 << none;
        QTest::newRow("xxCALLxx") << "xxCALLxx"_ba << false << 1 << bringBack;
        QTest::newRow("CALL after a NUL") << QByteArray("\0\x01" "CALL\r\n", 8) << false << 1 << bringBack;
        QTest::newRow("CAL L") << "CAL L"_ba << false << 0 << none;
        QTest::newRow("empty") << QByteArray() << false << 0 << none;
        QTest::newRow("END, not restored") << "END"_ba << false << 0 << none;
        QTest::newRow("END, restored") << "END"_ba << true << 0 << fade;
        QTest::newRow("SEND counts as END") << "SEND"_ba << true << 0 << fade;
        QTest::newRow("end in lower case") << "end"_ba << true << 0 << none;
        QTest::newRow("both: call step first") << "CALL END"_ba << false << 0 << bringBack + fade;
        QTest::newRow("both, END written first") << "ENDCALL"_ba << false << 0 << bringBack + fade;
    }

    void messageRules()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, restoredBefore);
        QFETCH(int, flag);
        QFETCH(QStringList, journal);

        Rig rig(m_record, m_log);
        if (restoredBefore)
            rig.window.restoredForCall = true; // shown, brought back for a call that is still on
        else
            rig.window.putInTray();
        rig.calls.wsockCall_DataArrival(5, text);
        QCOMPARE(rig.calls.callingFlag(5), flag);
        QCOMPARE(rig.window.journal, journal);
        if (rig.window.pendingFadeEnd) {
            rig.window.runFade();
            QCOMPARE(rig.window.journal.last(), u"notopmost"_s);
        }
        QVERIFY(m_log.entries.isEmpty()); // the handler logs nothing
        for (int i = 0; i < CallNotifications::kStations; ++i) {
            if (i != 5)
                QCOMPARE(rig.calls.callingFlag(i), 0);
        }
    }

    void endWhileAnotherStationCalls()
    {
        Rig rig(m_record, m_log);
        rig.window.putInTray();
        rig.calls.wsockCall_DataArrival(5, "CALL");
        rig.calls.wsockCall_DataArrival(3, "CALL");
        QCOMPARE(rig.window.journal, (QStringList{u"bringBack"_s, u"topmost"_s}));
        rig.calls.wsockCall_DataArrival(3, "END");
        QCOMPARE(rig.calls.callingFlag(3), 0);
        QCOMPARE(rig.calls.callingFlag(5), 1);
        QCOMPARE(rig.window.journal.size(), 2); // no fade: station 5 still calls

        rig.calls.wsockCall_DataArrival(5, "END");
        QCOMPARE(rig.calls.callingFlag(5), 0);
        rig.window.runFade();
        QCOMPARE(rig.window.journal,
                 (QStringList{u"bringBack"_s, u"topmost"_s, u"fade"_s, u"inTray"_s, u"notopmost"_s}));
    }

    void callWithWindowOutOfTheTray_data()
    {
        QTest::addColumn<bool>("popupOption");
        QTest::addColumn<bool>("minimized");
        QTest::addColumn<bool>("inTray");
        QTest::newRow("option off, in the tray") << false << true << true;
        QTest::newRow("window shown") << true << false << false;
        QTest::newRow("minimised to the task bar only") << true << true << false;
    }

    void callWithWindowOutOfTheTray()
    {
        QFETCH(bool, popupOption);
        QFETCH(bool, minimized);
        QFETCH(bool, inTray);
        m_record.popupOnCall = popupOption ? 1 : 0;
        Rig rig(m_record, m_log);
        rig.window.minimized = minimized;
        rig.window.inTray = inTray;
        rig.calls.wsockCall_DataArrival(0, "CALL");
        QCOMPARE(rig.calls.callingFlag(0), 1);
        rig.calls.wsockCall_DataArrival(0, "END");
        QCOMPARE(rig.calls.callingFlag(0), 0);
        QVERIFY(rig.window.journal.isEmpty()); // not restored for a call: no fade either
    }

    void restoreAndFadeThroughTrayController()
    {
        TrayBackedPort port;
        port.window.setMinimizedState();
        QCOMPARE(port.state.inTray, 1);
        port.journal.clear();
        FakeScheduler scheduler;
        CallSockets sockets(kCallPort, nullptr);
        CallNotifications calls(m_record, sockets, port, m_log, scheduler);

        calls.wsockCall_DataArrival(2, "xxCALLxx");
        QCOMPARE(port.state.RestoredForCall, 1);
        QCOMPARE(port.state.inTray, 0);
        QVERIFY(!port.tray.shown);
        QCOMPARE(port.journal, (QStringList{u"win:normal+layout"_s, u"win:show"_s, u"win:topmost"_s}));

        port.journal.clear();
        calls.wsockCall_DataArrival(2, "END\r\n");
        QCOMPARE(port.state.RestoredForCall, 0);
        // The fade runs on the event loop; a CALL in the middle of it does not stop it.
        port.scheduler.runAll(10);
        calls.wsockCall_DataArrival(4, "CALL");
        port.scheduler.runAll();
        QCOMPARE(port.window.alphas.size(), 129);
        QCOMPARE(port.window.alphas.last(), 255);
        QCOMPARE(port.journal,
                 (QStringList{u"win:minimized"_s, u"win:notopmost"_s, u"win:hide"_s, u"win:notopmost"_s}));
        QCOMPARE(port.state.inTray, 1);
        QVERIFY(port.tray.shown);
        QVERIFY(!port.window.visible);
    }

    void arrivalsFromStations()
    {
        m_record.active[4] = 1; // the station does not listen on its call port
        Rig rig(m_record, m_log, true);
        rig.window.putInTray();
        QSignalSpy arrivals(&rig.sockets, &CallSockets::dataArrived);
        QSignalSpy errors(&rig.sockets, &CallSockets::errorOccurred);
        QVERIFY(openSockets(rig, {0, 2}));
        QTRY_VERIFY(rig.sockets.wsockCall(0)->isConnected() && rig.sockets.wsockCall(2)->isConnected());
        QCOMPARE(rig.sockets.wsockCall(0)->remotePort(), kCallPort);
        // An error closes the socket: nothing logged, no retry.
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.first().at(0).toInt(), 4);
        QVERIFY(m_log.entries.isEmpty() && rig.sockets.wsockCall(4)->isIdle());
        for (int i : {1, 3, 5, 15}) {
            QVERIFY(rig.sockets.wsockCall(i)->isIdle());
            QVERIFY(rig.sockets.wsockCall(i)->remoteHost().isEmpty());
        }
        QVERIFY(m_sim->status(1).endsWith(u" callconns=0"_s));

        // A word split across two arrivals is not recognised.
        m_sim->send(u"send 2 CA"_s);
        QTRY_COMPARE(arrivals.count(), 1);
        m_sim->send(u"send 2 LL"_s);
        QTRY_COMPARE(arrivals.count(), 2);
        QCOMPARE(arrivals.at(1).at(1).toByteArray(), "LL"_ba);
        m_sim->send(u"send 2 call"_s);
        QTRY_COMPARE(arrivals.count(), 3);
        QCOMPARE(rig.calls.callingFlag(2), 0);

        m_sim->send(u"call 2"_s);
        QTRY_COMPARE(rig.calls.callingFlag(2), 1);
        QCOMPARE(rig.calls.callingFlag(0), 0);
        QCOMPARE(rig.window.journal, (QStringList{u"bringBack"_s, u"topmost"_s}));
        m_sim->send(u"send 2 xxSENDxx"_s);
        QTRY_COMPARE(rig.calls.callingFlag(2), 0);
        QCOMPARE(rig.window.journal.last(), u"fade"_s);
    }

    void floodCostsNoMoreThanOneRead()
    {
        constexpr int kFloodMiB = 48;
        Rig rig(m_record, m_log, true);
        rig.window.putInTray();
        qint64 total = 0;
        qint64 largest = 0;
        connect(&rig.sockets, &CallSockets::dataArrived, this, [&](int station, const QByteArray& data) {
            if (station == 2) {
                total += data.size();
                largest = qMax<qint64>(largest, data.size());
            }
        });
        QVERIFY(openSockets(rig, {2}));

        // The simulator's filler holds no word.
        m_sim->send(u"flood 2 2"_s);
        QTRY_COMPARE_WITH_TIMEOUT(total, qint64(2) * 1024 * 1024, 10000);
        QCOMPARE(rig.calls.callingFlag(2), 0);

        const bool peakReset = resetPeakRss();
        const qint64 peakBefore = peakRssKiB();
        m_sim->send(u"flood 2 %1"_s.arg(kFloodMiB));
        m_sim->send(u"call 2"_s);
        QTRY_COMPARE_WITH_TIMEOUT(total, qint64(2 + kFloodMiB) * 1024 * 1024 + 4, 60000);
        // The CALL behind the flood still counts, in the arrival that holds it.
        QTRY_COMPARE(rig.calls.callingFlag(2), 1);
        QVERIFY2(largest <= CallSockets::kMaxReadBytes, qPrintable(QString::number(largest)));
        if (peakReset && peakBefore > 0) {
            const qint64 growthKiB = peakRssKiB() - peakBefore;
            QVERIFY2(growthKiB < 16 * 1024, qPrintable(u"peak grew by %1 KiB"_s.arg(growthKiB)));
        }
    }

    void reopenStepsAndWaits()
    {
        Rig rig(m_record, m_log);
        rig.sockets.startupOpen(m_record);
        // Activated after start-up, with its address as it is now.
        m_record.active[3] = 1;
        m_record.ipAddress[3] = address(3);
        // Start-up's address stays for a station that had one.
        m_record.ipAddress[0] = address(1);

        bool done = false;
        rig.calls.reopenSockets([&done]() { done = true; });
        QCOMPARE(m_log.entries, QStringList{u"sock"_s});
        QVERIFY(rig.calls.isReopening());
        QVERIFY(!done);
        // A second reopen while one runs adds nothing.
        bool secondDone = false;
        rig.calls.reopenSockets([&secondDone]() { secondDone = true; });
        QVERIFY(secondDone);
        QCOMPARE(m_log.entries.size(), 1);

        QCOMPARE(rig.fakeClock.delays, QList<int>{CallNotifications::kReopenWaitMs});
        QVERIFY(rig.sockets.wsockCall(0)->isIdle()); // closed before the wait
        rig.fakeClock.runAll();
        QVERIFY(done);
        QVERIFY(!rig.calls.isReopening());
        QCOMPARE(rig.fakeClock.delays, (QList<int>{110, 110, 110})); // one wait per active station, none for the others
        QCOMPARE(rig.sockets.wsockCall(0)->remoteHost(), address(0));
        QCOMPARE(rig.sockets.wsockCall(3)->remoteHost(), address(3));
        QCOMPARE(rig.sockets.wsockCall(3)->remotePort(), kCallPort);
        QVERIFY(rig.sockets.wsockCall(1)->remoteHost().isEmpty());
    }

private:
    bool openSockets(Rig& rig, const QList<int>& stations);

    std::unique_ptr<StationSimulator> m_sim;
    ConfigRecord m_record;
    RecordingLogger m_log;
};

bool TestCallNotifications::openSockets(Rig& rig, const QList<int>& stations)
{
    const int from = m_sim->lineCount();
    rig.sockets.startupOpen(m_record);
    for (int station : stations) {
        if (!m_sim->waitForLine(exactLine(u"callconn %1 open"_s.arg(station)), 5000, from))
            return false;
    }
    return true;
}

QTEST_MAIN(TestCallNotifications)
#include "test_callnotifications.moc"

// Door-call notifications: the words of an arrival, the restore and fade they
// ask for, real station sockets (a word split across reads, a flood) and the
// periodic reopen.

#include "CallNotifications.h"
#include "CallSockets.h"
#include "ConfigRecord.h"
#include "FakeConsoleWindow.h"
#include "FakeScheduler.h"
#include "RecordingLogger.h"
#include "TcpClientSocket.h"
#include "StationSimulator.h"

#include <QFile>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFirst = 160; // 127.0.0.160 ...
constexpr quint16 kCallPort = 16101;

/// Peak resident memory of this process in KiB after resetting the peak; -1 where the kernel does not allow it.
qint64 peakRssKiB(bool reset)
{
    QFile refs(u"/proc/self/clear_refs"_s);
    if (reset && !(refs.open(QIODevice::WriteOnly) && refs.write("5") == 1))
        return -1;
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

struct Rig
{
    FakeConsoleWindow window;
    RecordingLogger log;
    CallSockets sockets{kCallPort, nullptr};
    FakeScheduler fakeClock;
    QtScheduler realClock;
    CallNotifications calls;

    Rig(const ConfigRecord& record, bool onEventLoop = false)
        : calls(record, sockets, window, log, onEventLoop ? static_cast<Scheduler&>(realClock) : fakeClock)
    {
    }
};

} // namespace

class TestCallNotifications : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_sim = std::make_unique<StationSimulator>(QStringList{
            u"--first"_s, QString::number(kFirst), u"--count"_s, u"5"_s, u"--http-port"_s, u"18181"_s,
            u"--relay-port"_s, u"16100"_s, u"--call-port"_s, QString::number(kCallPort), u"--mode"_s, u"4=callrefuse"_s});
        QVERIFY2(m_sim->isReady(), qPrintable(m_sim->errorString()));
    }
    void init()
    {
        m_record = ConfigRecord();
        m_record.popupOnCall = 1;
        for (int i = 0; i < 5; ++i)
            m_record.ipAddress[i] = StationSimulator::address(kFirst, i);
        m_record.active[0] = m_record.active[2] = 1;
    }

    void arrivals_data()
    {
        QTest::addColumn<QByteArrayList>("texts"); // arrivals from station 5, then 3
        QTest::addColumn<QString>("window");       // "tray", "restored", "shown", "taskbar", "option off"
        QTest::addColumn<QStringList>("journal");
        QTest::addColumn<int>("calling");          // station 5's flag at the end

        const QString back = u"win:bring back"_s, onTop = u"win:topmost on"_s, fade = u"win:fade"_s;
        const QString inTray = u"win:in tray"_s, offTop = u"win:topmost off"_s;
        QTest::newRow("CALL from the tray") << QByteArrayList{"CALL"} << u"tray"_s << QStringList{back, onTop} << 1;
        QTest::newRow("inside other bytes") << QByteArrayList{QByteArray("\0\x01xxCALLxx\r\n", 12)} << u"tray"_s
                                            << QStringList{back, onTop} << 1;
        QTest::newRow("lower case, split") << QByteArrayList{"call", "CAL L"} << u"tray"_s << QStringList{} << 0;
        QTest::newRow("END after a call") << QByteArrayList{"END"} << u"restored"_s
                                          << QStringList{fade, inTray, offTop} << 0;
        QTest::newRow("SEND counts as END") << QByteArrayList{"xxSENDxx"} << u"restored"_s
                                            << QStringList{fade, inTray, offTop} << 0;
        QTest::newRow("END, not restored") << QByteArrayList{"END"} << u"shown"_s << QStringList{} << 0;
        QTest::newRow("both words: call first") << QByteArrayList{"ENDCALL"} << u"tray"_s
                                                << QStringList{back, onTop, fade, inTray, offTop} << 0;
        QTest::newRow("shown window stays") << QByteArrayList{"CALL"} << u"shown"_s << QStringList{} << 1;
        QTest::newRow("task bar only") << QByteArrayList{"CALL"} << u"taskbar"_s << QStringList{} << 1;
        QTest::newRow("option off") << QByteArrayList{"CALL"} << u"option off"_s << QStringList{} << 1;
        // Station 3 ends its call while 5 still calls: no fade until the last one ends.
        QTest::newRow("another station still calls") << QByteArrayList{"CALL", "CALL", "END"} << u"tray"_s
                                                      << QStringList{back, onTop} << 1;
    }
    void arrivals()
    {
        QFETCH(QByteArrayList, texts);
        QFETCH(QString, window);
        QStringList journal;
        m_record.popupOnCall = window == u"option off" ? 0 : 1;
        Rig rig(m_record);
        rig.window.journal = &journal;
        rig.window.restored = window == u"restored";
        rig.window.inTray = window == u"tray" || window == u"option off";
        rig.window.minimized = rig.window.inTray || window == u"taskbar";
        for (qsizetype i = 0; i < texts.size(); ++i)
            rig.calls.onDataArrived(i == 0 ? 5 : 3, texts[i]);
        if (!rig.window.pendingFade.empty())
            rig.window.finishFade();
        QTEST(journal, "journal");
        QTEST(rig.calls.callingFlag(5), "calling");
        QVERIFY(rig.log.entries.isEmpty());
    }

    void realStationSockets()
    {
        m_record.active[4] = 1; // refuses its call port
        Rig rig(m_record, true);
        rig.window.putInTray();
        auto arrivals = std::make_unique<QSignalSpy>(&rig.sockets, &CallSockets::dataArrived);
        QSignalSpy errors(&rig.sockets, &CallSockets::errorOccurred);
        QVERIFY(openSockets(rig, {0, 2}));
        // An error closes the socket until the next reopen, no retry; the log names it, the others connected.
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.first().at(0).toInt(), 4);
        QCOMPARE(rig.log.entries, QStringList{u"sock Connection refused (Station 5)"_s});
        QVERIFY(rig.sockets.socket(4)->isIdle() && rig.sockets.socket(1)->remoteHost().isEmpty());

        // A word split across two arrivals is not recognised.
        m_sim->send(u"send 2 CA"_s);
        QTRY_COMPARE(arrivals->count(), 1);
        m_sim->send(u"send 2 LL"_s);
        QTRY_COMPARE(arrivals->count(), 2);
        QCOMPARE(rig.calls.callingFlag(2), 0);
        arrivals.reset(); // it would keep every byte of the flood below

        // A flood without a word costs no more than one read; the CALL behind it still counts.
        qint64 total = 0, largest = 0;
        connect(&rig.sockets, &CallSockets::dataArrived, this, [&](int station, const QByteArray& data) {
            total += station == 2 ? data.size() : 0;
            largest = qMax<qint64>(largest, data.size());
        });
        m_sim->send(u"flood 2 2"_s);
        QTRY_COMPARE_WITH_TIMEOUT(total, qint64(2) << 20, 10000);
        const qint64 peakBefore = peakRssKiB(true);
        m_sim->send(u"flood 2 48"_s);
        m_sim->send(u"call 2"_s);
        QTRY_COMPARE_WITH_TIMEOUT(total, (qint64(50) << 20) + 4, 60000);
        QTRY_COMPARE(rig.calls.callingFlag(2), 1);
        QVERIFY2(largest <= CallSockets::kMaxReadBytes, qPrintable(QString::number(largest)));
        if (peakBefore > 0)
            QCOMPARE_LT(peakRssKiB(false) - peakBefore, 16 * 1024);
        QVERIFY(rig.window.restored);
    }

    void reopen()
    {
        Rig rig(m_record);
        rig.sockets.startupOpen(m_record);
        // Activated after start-up: its address as it is now. Start-up's address stays for the others.
        m_record.active[3] = 1;
        m_record.ipAddress[3] = StationSimulator::address(kFirst, 3);
        m_record.ipAddress[0] = StationSimulator::address(kFirst, 1);
        bool done = false, secondDone = false;
        rig.calls.reopenSockets([&done]() { done = true; });
        rig.calls.reopenSockets([&secondDone]() { secondDone = true; }); // while one runs: nothing more
        QVERIFY(secondDone && !done);
        QCOMPARE(rig.log.entries, QStringList{u"sock"_s});
        QVERIFY(rig.sockets.socket(0)->isIdle()); // closed before the wait
        rig.fakeClock.runAll();
        QVERIFY(done && !rig.calls.isReopening());
        QCOMPARE(rig.fakeClock.delays, QList<int>(3, CallNotifications::kReopenWaitMs));
        QCOMPARE(rig.sockets.socket(0)->remoteHost(), StationSimulator::address(kFirst, 0));
        QCOMPARE(rig.sockets.socket(3)->remoteHost(), StationSimulator::address(kFirst, 3));
        QCOMPARE(rig.sockets.socket(3)->remotePort(), kCallPort);
        QVERIFY(rig.sockets.socket(1)->remoteHost().isEmpty());
    }

private:
    bool openSockets(Rig& rig, const QList<int>& stations)
    {
        const int from = m_sim->lineCount();
        rig.sockets.startupOpen(m_record);
        for (int station : stations) {
            const auto line = QRegularExpression(u"^callconn %1 open$"_s.arg(station));
            if (!m_sim->waitForLine(line, 5000, from))
                return false;
        }
        return true;
    }

    std::unique_ptr<StationSimulator> m_sim;
    ConfigRecord m_record;
};

QTEST_MAIN(TestCallNotifications)
#include "test_callnotifications.moc"

// The status tick with the engine, the window and the popup faked: where each
// status text leaves the call, one popup per call, the fade back to the tray
// and the ticks skipped meanwhile.

#include "CallStatusMonitor.h"
#include "ConfigRecord.h"
#include "FakeConsoleWindow.h"
#include "FakeRingAlert.h"
#include "FakeSipEngine.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString Offhook = u"hook=offhook"_s;
const QString Incoming101 = u"Incoming call from \"door\" <sip:101@127.0.0.3:5060>"_s;
const QString Answered = u"hook=answered duration=1 \"door\" <sip:101@127.0.0.3:5060>"_s;
const QString CallOut = u"Call out, hook=sip:127.0.0.3 duration=0, muted=no rtp-xmit-muted=no"_s;
const QString Ringing = u"hook=ringing sip:sip:127.0.0.3"_s;

struct Rig
{
    QStringList journal;
    ConfigRecord record;
    int callState = 0;
    int callStation = 4;
    FakeSipEngine engine;
    FakeConsoleWindow window;
    FakeRingAlert alert;
    CallStatusMonitor monitor{engine, record, callState, callStation, window, alert};

    Rig()
    {
        window.journal = alert.journal = &journal;
        for (int s : {3, 4}) {
            record.active[s] = 1;
            record.extension[s] = s == 3 ? u"101"_s : u"104"_s;
        }
    }
    bool tick(const QString& text)
    {
        journal.clear();
        engine.statusReply = text;
        return monitor.pollCallStatus();
    }
};

} // namespace

class TestCallStatusMonitor : public QObject
{
    Q_OBJECT
private slots:
    void statusMovesTheCall_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("station");
        QTest::addColumn<QString>("tel");
        QTest::addColumn<bool>("onTop");
        QTest::addColumn<bool>("popup");

        QTest::newRow("idle, incoming") << 0 << Incoming101 << 1 << 3 << u"tel_v"_s << false << true;
        QTest::newRow("ringing, answered") << 1 << Answered << 3 << 4 << u"tel_r"_s << true << true;
        QTest::newRow("dialling, call out") << 2 << CallOut << 3 << 4 << u"tel_r"_s << true << false;
        QTest::newRow("idle, ringing out") << 0 << Ringing << 2 << 4 << u"tel_b"_s << false << false;
        QTest::newRow("in call, offhook") << 3 << Offhook << 0 << 4 << u"tel_n"_s << false << false;
        QTest::newRow("in call, offhook and incoming") << 3 << Offhook + u' ' + Incoming101 << 1 << 3 << u"tel_v"_s
                                                       << false << true;
        QTest::newRow("idle stays idle") << 0 << Offhook << 0 << 4 << u"tel_n"_s << false << false;
        // The engine between states answers nothing: the call stays where it was.
        QTest::newRow("empty reply") << 2 << QString() << 2 << 4 << u"tel_n"_s << false << false;
    }
    void statusMovesTheCall()
    {
        QFETCH(int, from);
        QFETCH(QString, status);
        Rig rig;
        rig.callState = from;
        rig.window.topmost = rig.alert.popupLoaded = from == 3 || from == 1;
        rig.window.muteVisible = from == 3;
        QSignalSpy finished(&rig.monitor, &CallStatusMonitor::tickFinished);
        QVERIFY(rig.tick(status));
        QTEST(rig.callState, "to");
        QTEST(rig.callStation, "station");
        QTEST(rig.window.tel.at(rig.callStation), "tel");
        QTEST(rig.window.topmost, "onTop");
        QTEST(rig.alert.popupLoaded, "popup");
        QCOMPARE(rig.window.muteVisible, rig.callState == 3);
        QCOMPARE(finished.count(), 1);
    }

    void oneRingPerCallAndConfigurationReadEachTick()
    {
        Rig rig;
        for (int i = 0; i < 5; ++i)
            rig.tick(Incoming101);
        QCOMPARE(rig.alert.popupsShown, 1);
        QCOMPARE(rig.alert.rings, 1);
        rig.tick(Offhook);
        QCOMPARE(rig.window.fadesStarted, 0); // the window was not brought back

        // The dialog moved extension 101 to station 8.
        rig.record.extension[3] = u"103"_s;
        rig.record.active[8] = 1;
        rig.record.extension[8] = u"101"_s;
        rig.tick(Incoming101);
        QCOMPARE(rig.callStation, 8);
    }

    void fadeHoldsTheTick()
    {
        Rig rig;
        rig.window.putInTray();
        rig.tick(Incoming101);
        QVERIFY(rig.window.restored);
        rig.tick(Answered);
        QSignalSpy finished(&rig.monitor, &CallStatusMonitor::tickFinished);
        rig.tick(Offhook + u' ' + Incoming101);
        QCOMPARE(rig.callState, 0);
        QVERIFY(rig.monitor.isBusy());
        QVERIFY(rig.window.muteVisible); // hidden only after the fade

        // Ticks due during the fade poll nothing and change nothing.
        rig.engine.calls.clear();
        QVERIFY(!rig.tick(Answered));
        QVERIFY(rig.engine.calls.isEmpty());
        QCOMPARE(finished.count(), 0);

        // After the fade the same text goes on to its incoming step, which brings the window back again.
        rig.journal.clear();
        rig.window.finishFade();
        QCOMPARE(rig.journal.mid(0, 4),
                 QStringList({u"win:in tray"_s, u"win:mute hidden"_s, u"win:tel 3 tel_v"_s, u"win:bring back"_s}));
        QCOMPARE(rig.callState, 1);
        QVERIFY(rig.window.restored);
        QVERIFY(!rig.monitor.isBusy());
        QCOMPARE(finished.count(), 1);
    }

    void fadeEndingAfterTheMonitorIsGone()
    {
        Rig rig;
        rig.window.restored = true;
        int state = 3;
        {
            CallStatusMonitor monitor(rig.engine, rig.record, state, rig.callStation, rig.window, rig.alert);
            rig.engine.statusReply = Offhook;
            QVERIFY(monitor.pollCallStatus());
            QCOMPARE(rig.window.pendingFade.size(), std::size_t(1));
        }
        rig.journal.clear();
        rig.window.finishFade();
        QCOMPARE(rig.journal, QStringList{u"win:in tray"_s});
    }
};

QTEST_MAIN(TestCallStatusMonitor)
#include "test_callstatusmonitor.moc"

// The Timer2 tick with the engine, the windows and the popup faked: the
// visible effects of every transition, in order, the caller match, the popup
// once per call, the fade back to the tray and the ticks skipped meanwhile.

#include "CallStatusMonitor.h"
#include "ConfigRecord.h"
#include "FakeCallView.h"
#include "FakeRingAlert.h"
#include "FakeSipEngine.h"

#include <QtTest>

namespace {

const QString Offhook = QStringLiteral("hook=offhook");
const QString Incoming101 = QStringLiteral("Incoming call from \"door\" <sip:101@127.0.0.3:5060>");
const QString Answered = QStringLiteral("hook=answered duration=1 \"door\" <sip:101@127.0.0.3:5060>");
const QString CallOut = QStringLiteral("Call out, hook=sip:127.0.0.3 duration=0, muted=no rtp-xmit-muted=no");
const QString Ringing = QStringLiteral("hook=ringing sip:sip:127.0.0.3");
const QString Dialing = QStringLiteral("hook=dialing sip:sip:127.0.0.9:5999");

struct Rig
{
    QStringList journal;
    ConfigRecord record;
    int CallState = 0;
    int CallStation = 0;
    FakeSipEngine engine;
    FakeCallView view;
    FakeRingAlert alert;
    CallStatusMonitor monitor{engine, record, CallState, CallStation, view, alert};

    Rig()
    {
        engine.journal = &journal;
        view.journal = &journal;
        alert.journal = &journal;
        record.active[3] = 1;
        record.extension[3] = QStringLiteral("101");
        record.active[4] = 1;
        record.extension[4] = QStringLiteral("104");
    }

    /// One tick on text; returns what it did, the poll included.
    QStringList tick(const QString& text)
    {
        journal.clear();
        engine.statusReply = text;
        monitor.Timer2Tick();
        return journal;
    }
};

QStringList lines(std::initializer_list<const char*> texts)
{
    QStringList out;
    for (const char* t : texts)
        out.append(QString::fromLatin1(t));
    return out;
}

} // namespace

class TestCallStatusMonitor : public QObject
{
    Q_OBJECT
private slots:
    void everyTransition_data();
    void everyTransition();
    void callerMatchLastWins();
    void offhookWhileIdleDoesNothing();
    void repeatedIncomingShowsPopupOnce();
    void offhookAndIncomingInStateThree();
    void callerGivesUpBeforeAnswer();
    void answeredThroughPopup();
    void zoomWindowFollowsItsStation();
    void zoomWindowOfAnotherStation();
    void otherStationsKeepTheirImages();
    void muteLookUnmutedAtNextCall();
    void trayRoundTripAndTicksDuringFade();
    void offhookAndIncomingWhileRestored();
    void fadeAlreadyRunningElsewhere();
    void monitorGoneDuringFade();
    void configurationReadAtEachTick();
};

void TestCallStatusMonitor::everyTransition_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("station");
    QTest::addColumn<QStringList>("effects");

    // CallStation is 4 before each tick; the zoom window is closed; the window was not in the tray.
    const QStringList ended = lines({"engine:status", "view:topmost main off", "view:tel 4 tel_n", "alert:unload",
                                     "view:mute hidden"});
    for (int from : {1, 2, 3})
        QTest::addRow("%d offhook -> 0", from) << from << Offhook << 0 << 4 << ended;

    const QStringList incoming =
        lines({"engine:status", "view:tel 3 tel_v", "view:bring back", "alert:show", "alert:ring"});
    for (int from : {0, 2, 3})
        QTest::addRow("%d Incoming call -> 1", from) << from << Incoming101 << 1 << 3 << incoming;

    const QStringList connected = lines({"engine:status", "view:tel 4 tel_r", "view:topmost main on",
                                         "view:mute look unmuted", "view:mute shown"});
    for (int from : {0, 1, 2}) {
        QTest::addRow("%d Call out -> 3", from) << from << CallOut << 3 << 4 << connected;
        QTest::addRow("%d answered -> 3", from) << from << Answered << 3 << 4 << connected;
    }

    const QStringList outgoing = lines({"engine:status", "view:tel 4 tel_b"});
    for (int from : {0, 1, 3}) {
        QTest::addRow("%d ringing -> 2", from) << from << Ringing << 2 << 4 << outgoing;
        QTest::addRow("%d dialing -> 2", from) << from << Dialing << 2 << 4 << outgoing;
    }

    const QStringList nothing = lines({"engine:status"});
    QTest::newRow("0 offhook stays") << 0 << Offhook << 0 << 4 << nothing;
    QTest::newRow("1 Incoming call stays") << 1 << Incoming101 << 1 << 4 << nothing;
    QTest::newRow("3 answered stays") << 3 << Answered << 3 << 4 << nothing;
    QTest::newRow("2 ringing stays") << 2 << Ringing << 2 << 4 << nothing;
    for (int from : {0, 1, 2, 3})
        QTest::addRow("%d empty reply", from) << from << QString() << from << 4 << nothing;
}

void TestCallStatusMonitor::everyTransition()
{
    QFETCH(int, from);
    QFETCH(QString, status);
    QFETCH(int, to);
    QFETCH(int, station);
    QFETCH(QStringList, effects);

    Rig rig;
    rig.CallState = from;
    rig.CallStation = 4;
    QSignalSpy changed(&rig.monitor, &CallStatusMonitor::callStateChanged);
    QSignalSpy finished(&rig.monitor, &CallStatusMonitor::tickFinished);
    QCOMPARE(rig.tick(status), effects);
    QCOMPARE(rig.CallState, to);
    QCOMPARE(rig.CallStation, station);
    QCOMPARE(changed.count(), from == to ? 0 : 1);
    if (from != to)
        QCOMPARE(changed.first(), (QList<QVariant>{from, to, station}));
    QCOMPARE(finished.count(), 1);
    QVERIFY(!rig.monitor.isBusy());
}

void TestCallStatusMonitor::callerMatchLastWins()
{
    Rig rig;
    rig.record.active[5] = 1;
    rig.record.extension[5] = QStringLiteral("10");
    rig.tick(Incoming101);
    // "sip:10" is contained in "sip:101" too, and station 5 comes after station 3.
    QCOMPARE(rig.CallStation, 5);
    QCOMPARE(rig.view.tel[5], QStringLiteral("tel_v"));
    QCOMPARE(rig.view.tel[3], QStringLiteral("tel_n"));

    Rig unknown;
    unknown.tick(QStringLiteral("Incoming call from <sip:999@127.0.0.9>"));
    QCOMPARE(unknown.CallStation, 0);
    QCOMPARE(unknown.view.tel[0], QStringLiteral("tel_v"));
    QCOMPARE(unknown.CallState, 1);
}

void TestCallStatusMonitor::offhookWhileIdleDoesNothing()
{
    Rig rig;
    rig.CallStation = 7;
    for (int i = 0; i < 3; ++i)
        QCOMPARE(rig.tick(Offhook), lines({"engine:status"}));
    QCOMPARE(rig.CallState, 0);
    QCOMPARE(rig.CallStation, 7);
    QCOMPARE(rig.alert.unloads, 0);
    QVERIFY(!rig.view.muteVisible);
}

void TestCallStatusMonitor::repeatedIncomingShowsPopupOnce()
{
    Rig rig;
    rig.tick(Incoming101);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(rig.tick(Incoming101), lines({"engine:status"}));
    QCOMPARE(rig.alert.popupsShown, 1);
    QCOMPARE(rig.alert.rings, 1);
    QCOMPARE(rig.CallState, 1);
    QCOMPARE(rig.engine.calls.count(QStringLiteral("status")), 6);
}

void TestCallStatusMonitor::offhookAndIncomingInStateThree()
{
    Rig rig;
    rig.CallState = 3;
    rig.CallStation = 4;
    rig.view.muteVisible = true;
    rig.view.mainTopmost = true;
    const QStringList effects = rig.tick(Offhook + QLatin1Char(' ') + Incoming101);
    QCOMPARE(effects, lines({"engine:status", "view:topmost main off", "view:tel 4 tel_n", "alert:unload",
                             "view:mute hidden", "view:tel 3 tel_v", "view:bring back", "alert:show",
                             "alert:ring"}));
    QCOMPARE(rig.CallState, 1);
    QCOMPARE(rig.CallStation, 3);
    QCOMPARE(rig.view.tel[4], QStringLiteral("tel_n"));
    QVERIFY(rig.alert.popupLoaded);
}

void TestCallStatusMonitor::callerGivesUpBeforeAnswer()
{
    Rig rig;
    rig.tick(Incoming101);
    QVERIFY(rig.alert.popupLoaded);
    QCOMPARE(rig.tick(QString()), lines({"engine:status"})); // the engine between states
    QCOMPARE(rig.tick(Offhook), lines({"engine:status", "view:topmost main off", "view:tel 3 tel_n",
                                       "alert:unload", "view:mute hidden"}));
    QCOMPARE(rig.CallState, 0);
    QVERIFY(!rig.alert.popupLoaded);
    QCOMPARE(rig.view.tel[3], QStringLiteral("tel_n"));
    QCOMPARE(rig.view.fadesStarted, 0); // the window was not brought back
}

void TestCallStatusMonitor::answeredThroughPopup()
{
    Rig rig;
    rig.tick(Incoming101);
    rig.tick(Answered);
    QCOMPARE(rig.CallState, 3);
    QCOMPARE(rig.CallStation, 3);
    QCOMPARE(rig.view.tel[3], QStringLiteral("tel_r"));
    QVERIFY(rig.view.mainTopmost);
    QVERIFY(rig.view.muteVisible);
    QVERIFY(!rig.view.muted);
    rig.tick(Offhook);
    QCOMPARE(rig.CallState, 0);
    QCOMPARE(rig.view.tel[3], QStringLiteral("tel_n"));
    QVERIFY(!rig.view.mainTopmost);
    QVERIFY(!rig.view.muteVisible);
}

void TestCallStatusMonitor::zoomWindowFollowsItsStation()
{
    Rig rig;
    rig.view.zoomed = 3;
    QCOMPARE(rig.tick(Incoming101), lines({"engine:status", "view:tel 3 tel_v", "view:zoomtel tel_v",
                                           "view:bring back", "alert:show", "alert:ring"}));
    QCOMPARE(rig.tick(Answered), lines({"engine:status", "view:tel 3 tel_r", "view:zoomtel tel_r",
                                        "view:topmost main on", "view:topmost zoom on", "view:mute look unmuted",
                                        "view:mute shown"}));
    QCOMPARE(rig.tick(Offhook), lines({"engine:status", "view:topmost main off", "view:tel 3 tel_n",
                                       "view:topmost zoom off", "view:zoomtel tel_n", "alert:unload",
                                       "view:mute hidden"}));
    QCOMPARE(rig.view.zoomTel, QStringLiteral("tel_n"));
}

void TestCallStatusMonitor::zoomWindowOfAnotherStation()
{
    Rig rig;
    rig.view.zoomed = 6;
    rig.CallStation = 4;
    QCOMPARE(rig.tick(Dialing), lines({"engine:status", "view:tel 4 tel_b"}));
    // The zoom window goes on top with the main window, but keeps its own station's image.
    QCOMPARE(rig.tick(CallOut), lines({"engine:status", "view:tel 4 tel_r", "view:topmost main on",
                                       "view:topmost zoom on", "view:mute look unmuted", "view:mute shown"}));
    QCOMPARE(rig.tick(Offhook), lines({"engine:status", "view:topmost main off", "view:tel 4 tel_n",
                                       "view:topmost zoom off", "alert:unload", "view:mute hidden"}));
    QVERIFY(rig.view.zoomTel.isEmpty());
}

void TestCallStatusMonitor::otherStationsKeepTheirImages()
{
    Rig rig;
    rig.view.tel[9] = QStringLiteral("tel_r"); // whatever another station shows stays
    rig.tick(Incoming101);
    rig.tick(Answered);
    rig.tick(Offhook);
    for (int i = 0; i < 16; ++i) {
        if (i == 9)
            QCOMPARE(rig.view.tel[std::size_t(i)], QStringLiteral("tel_r"));
        else
            QCOMPARE(rig.view.tel[std::size_t(i)], QStringLiteral("tel_n"));
    }
}

void TestCallStatusMonitor::muteLookUnmutedAtNextCall()
{
    Rig rig;
    rig.CallStation = 4;
    rig.tick(CallOut);
    rig.view.muted = true; // the operator muted during the call
    rig.tick(Offhook);
    QVERIFY(!rig.view.muteVisible);
    QVERIFY(rig.view.muted); // hidden as it was
    rig.tick(Dialing);
    rig.tick(CallOut);
    QVERIFY(rig.view.muteVisible);
    QVERIFY(!rig.view.muted);
}

void TestCallStatusMonitor::trayRoundTripAndTicksDuringFade()
{
    Rig rig;
    rig.view.inTray = true;
    rig.tick(Incoming101);
    QVERIFY(rig.view.restored);
    QVERIFY(!rig.view.inTray);
    rig.tick(Answered);

    QSignalSpy finished(&rig.monitor, &CallStatusMonitor::tickFinished);
    QCOMPARE(rig.tick(Offhook), lines({"engine:status", "view:topmost main off", "view:tel 3 tel_n",
                                       "alert:unload", "view:fade"}));
    QCOMPARE(rig.CallState, 0);
    QVERIFY(rig.monitor.isBusy());
    QVERIFY(rig.view.muteVisible); // hidden only after the fade
    QCOMPARE(finished.count(), 0);

    // Ticks that fall due during the fade start no second poll.
    for (int i = 0; i < 4; ++i) {
        rig.journal.clear();
        rig.engine.statusReply = Incoming101;
        QVERIFY(!rig.monitor.Timer2Tick());
        QVERIFY(rig.journal.isEmpty());
    }
    QCOMPARE(rig.engine.calls.count(QStringLiteral("status")), 3);

    rig.journal.clear();
    rig.view.finishFade();
    QCOMPARE(rig.journal, lines({"view:fade done", "view:mute hidden"}));
    QVERIFY(!rig.monitor.isBusy());
    QCOMPARE(finished.count(), 1);
    QVERIFY(rig.view.inTray);
    QVERIFY(!rig.view.restored);
    QCOMPARE(rig.view.fadesStarted, 1);

    // The next tick polls again.
    QCOMPARE(rig.tick(Offhook), lines({"engine:status"}));
}

void TestCallStatusMonitor::offhookAndIncomingWhileRestored()
{
    Rig rig;
    rig.view.inTray = true;
    rig.tick(Incoming101);
    rig.tick(Answered);
    rig.tick(Offhook + QLatin1Char(' ') + Incoming101);
    QCOMPARE(rig.CallState, 0);
    QVERIFY(rig.monitor.isBusy());
    // After the fade the same text goes on to the incoming step, which brings the window back again.
    rig.journal.clear();
    rig.view.finishFade();
    QCOMPARE(rig.journal, lines({"view:fade done", "view:mute hidden", "view:tel 3 tel_v", "view:bring back",
                                 "alert:show", "alert:ring"}));
    QCOMPARE(rig.CallState, 1);
    QVERIFY(rig.view.restored);
    QVERIFY(!rig.view.inTray);
    QVERIFY(!rig.monitor.isBusy());
}

void TestCallStatusMonitor::fadeAlreadyRunningElsewhere()
{
    // A station's "END" may have started the fade already: the tick goes on at once.
    Rig rig;
    rig.CallState = 3;
    rig.CallStation = 4;
    rig.view.restored = true;
    rig.view.pendingFade = [] {};
    QCOMPARE(rig.tick(Offhook), lines({"engine:status", "view:topmost main off", "view:tel 4 tel_n",
                                       "alert:unload", "view:fade", "view:mute hidden"}));
    QVERIFY(!rig.monitor.isBusy());
}

void TestCallStatusMonitor::monitorGoneDuringFade()
{
    QStringList journal;
    ConfigRecord record;
    int state = 3;
    int station = 2;
    FakeSipEngine engine;
    FakeCallView view;
    FakeRingAlert alert;
    view.restored = true;
    view.journal = &journal;
    engine.statusReply = Offhook;
    {
        CallStatusMonitor monitor(engine, record, state, station, view, alert);
        QVERIFY(monitor.Timer2Tick());
        QVERIFY(view.pendingFade);
    }
    journal.clear();
    view.finishFade();
    QCOMPARE(journal, lines({"view:fade done"}));
}

void TestCallStatusMonitor::configurationReadAtEachTick()
{
    Rig rig;
    rig.tick(Incoming101);
    QCOMPARE(rig.CallStation, 3);
    rig.tick(Offhook);
    // The configuration dialog moved extension 101 to station 8.
    rig.record.extension[3] = QStringLiteral("103");
    rig.record.active[8] = 1;
    rig.record.extension[8] = QStringLiteral("101");
    rig.tick(Incoming101);
    QCOMPARE(rig.CallStation, 8);
}

QTEST_MAIN(TestCallStatusMonitor)
#include "test_callstatusmonitor.moc"

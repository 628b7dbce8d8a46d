// The Timer2 tick with the engine, the windows and the popup faked: the
// visible effects of every transition, in order, the caller match, the popup
// once per call, the fade back to the tray and the ticks skipped meanwhile.

#include "CallStatusMonitor.h"
#include "ConfigRecord.h"
#include "FakeCallView.h"
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
const QString Dialing = u"hook=dialing sip:sip:127.0.0.9:5999"_s;

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
        record.extension[3] = u"101"_s;
        record.active[4] = 1;
        record.extension[4] = u"104"_s;
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
    void everyTransition_data()
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

    void everyTransition()
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

    void offhookAndIncomingInStateThree()
    {
        Rig rig;
        rig.CallState = 3;
        rig.CallStation = 4;
        QCOMPARE(rig.tick(Offhook + u' ' + Incoming101),
                 lines({"engine:status", "view:topmost main off", "view:tel 4 tel_n", "alert:unload",
                        "view:mute hidden", "view:tel 3 tel_v", "view:bring back", "alert:show", "alert:ring"}));
        QCOMPARE(rig.CallState, 1);
        QCOMPARE(rig.CallStation, 3);
        QVERIFY(rig.alert.popupLoaded);
    }

    void callerGivesUpBeforeAnswer()
    {
        Rig rig;
        rig.tick(Incoming101);
        // A repeated "Incoming call" shows the popup and starts the ring only once.
        for (int i = 0; i < 5; ++i)
            QCOMPARE(rig.tick(Incoming101), lines({"engine:status"}));
        QCOMPARE(rig.alert.popupsShown, 1);
        QCOMPARE(rig.alert.rings, 1);
        QCOMPARE(rig.tick(QString()), lines({"engine:status"})); // the engine between states
        QCOMPARE(rig.tick(Offhook), lines({"engine:status", "view:topmost main off", "view:tel 3 tel_n",
                                           "alert:unload", "view:mute hidden"}));
        QCOMPARE(rig.CallState, 0);
        QVERIFY(!rig.alert.popupLoaded);
        QCOMPARE(rig.view.fadesStarted, 0); // the window was not brought back

        // The configuration is read at each tick: the dialog moved extension 101 to station 8.
        rig.record.extension[3] = u"103"_s;
        rig.record.active[8] = 1;
        rig.record.extension[8] = u"101"_s;
        rig.tick(Incoming101);
        QCOMPARE(rig.CallStation, 8);
    }

    void zoomWindowInCall_data()
    {
        QTest::addColumn<int>("zoomed");
        QTest::addColumn<QStringList>("statuses");
        QTest::addColumn<QList<QStringList>>("effects");

        QTest::newRow("zoomed station calls") << 3 << QStringList{Incoming101, Answered, Offhook} << QList<QStringList>{
            lines({"engine:status", "view:tel 3 tel_v", "view:zoomtel tel_v", "view:bring back", "alert:show",
                   "alert:ring"}),
            lines({"engine:status", "view:tel 3 tel_r", "view:zoomtel tel_r", "view:topmost main on",
                   "view:topmost zoom on", "view:mute look unmuted", "view:mute shown"}),
            lines({"engine:status", "view:topmost main off", "view:tel 3 tel_n", "view:topmost zoom off",
                   "view:zoomtel tel_n", "alert:unload", "view:mute hidden"})};
        // The zoom window goes on top with the main window, but keeps its own station's image.
        QTest::newRow("another station dialled") << 6 << QStringList{Dialing, CallOut, Offhook} << QList<QStringList>{
            lines({"engine:status", "view:tel 4 tel_b"}),
            lines({"engine:status", "view:tel 4 tel_r", "view:topmost main on", "view:topmost zoom on",
                   "view:mute look unmuted", "view:mute shown"}),
            lines({"engine:status", "view:topmost main off", "view:tel 4 tel_n", "view:topmost zoom off",
                   "alert:unload", "view:mute hidden"})};
    }

    void zoomWindowInCall()
    {
        QFETCH(int, zoomed);
        QFETCH(QStringList, statuses);
        QFETCH(QList<QStringList>, effects);
        Rig rig;
        rig.view.zoomed = zoomed;
        rig.CallStation = 4;
        for (qsizetype i = 0; i < statuses.size(); ++i)
            QCOMPARE(rig.tick(statuses[i]), effects[i]);
    }

    void trayRoundTripAndTicksDuringFade()
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

        // Ticks that fall due during the fade start no second poll and change nothing.
        rig.journal.clear();
        rig.engine.statusReply = Incoming101;
        for (int i = 0; i < 4; ++i)
            QVERIFY(!rig.monitor.Timer2Tick());
        QVERIFY(rig.journal.isEmpty());

        rig.journal.clear();
        rig.view.finishFade();
        QCOMPARE(rig.journal, lines({"view:fade done", "view:mute hidden"}));
        QVERIFY(!rig.monitor.isBusy());
        QCOMPARE(finished.count(), 1);
        QVERIFY(rig.view.inTray);
        QVERIFY(!rig.view.restored);
        // The next tick polls again.
        QCOMPARE(rig.tick(Offhook), lines({"engine:status"}));
    }

    void offhookAndIncomingWhileRestored()
    {
        Rig rig;
        rig.view.inTray = true;
        rig.tick(Incoming101);
        rig.tick(Answered);
        rig.tick(Offhook + u' ' + Incoming101);
        QCOMPARE(rig.CallState, 0);
        QVERIFY(rig.monitor.isBusy());
        // After the fade the same text goes on to the incoming step, which brings the window back again.
        rig.journal.clear();
        rig.view.finishFade();
        QCOMPARE(rig.journal, lines({"view:fade done", "view:mute hidden", "view:tel 3 tel_v", "view:bring back",
                                     "alert:show", "alert:ring"}));
        QCOMPARE(rig.CallState, 1);
        QVERIFY(rig.view.restored);
        QVERIFY(!rig.monitor.isBusy());
    }

    void fadeAlreadyRunningOrMonitorGone()
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

        // A fade that ends after its monitor is gone runs nothing of it.
        rig.view.pendingFade = nullptr;
        rig.view.restored = true;
        int state = 3;
        {
            CallStatusMonitor monitor(rig.engine, rig.record, state, rig.CallStation, rig.view, rig.alert);
            QVERIFY(monitor.Timer2Tick());
            QVERIFY(rig.view.pendingFade);
        }
        rig.journal.clear();
        rig.view.finishFade();
        QCOMPARE(rig.journal, lines({"view:fade done"}));
    }
};

QTEST_MAIN(TestCallStatusMonitor)
#include "test_callstatusmonitor.moc"

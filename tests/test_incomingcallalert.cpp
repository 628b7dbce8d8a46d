// The real popup-and-ring host with the engine, windows and player faked:
// show once, unload at once, a new popup right after an unload, the answer
// bringing the main window back, and the ring start.

#include "FakeCallView.h"
#include "FakeRingPlayer.h"
#include "FakeScheduler.h"
#include "FakeSipEngine.h"
#include "ImageButton.h"
#include "IncomingCallAlert.h"
#include "RecordingLogger.h"
#include "RingPopup.h"
#include "RingTone.h"

#include <QApplication>
#include <QtTest>

namespace {

struct Rig
{
    int CallState = 1;
    FakeSipEngine engine;
    FakeCallView view;
    FakeRingPlayer player;
    FakeScheduler scheduler;
    RecordingLogger logger;
    RingTone ring{player, scheduler, logger, CallState, QStringLiteral("/opt/qz/ring.wav")};
    IncomingCallAlert alert{engine, view, ring};
};

int visibleRingPopups()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<RingPopup*>(w) && w->isVisible())
            ++n;
    }
    return n;
}

} // namespace

class TestIncomingCallAlert : public QObject
{
    Q_OBJECT
private slots:
    void showsOnePopup()
    {
        Rig rig;
        QSignalSpy shown(&rig.alert, &IncomingCallAlert::popupShown);
        rig.alert.showPopup();
        QVERIFY(rig.alert.popup());
        QVERIFY(rig.alert.popup()->isVisible());
        RingPopup* first = rig.alert.popup();
        rig.alert.showPopup();
        QCOMPARE(rig.alert.popup(), first);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(visibleRingPopups(), 1);
        rig.alert.startRing();
        QCOMPARE(rig.player.commands, (QStringList{QStringLiteral("close"), QStringLiteral("open /opt/qz/ring.wav"),
                                                   QStringLiteral("play")}));
    }

    void unloadIsImmediateAndNewPopupFollows()
    {
        Rig rig;
        rig.alert.showPopup();
        QPointer<RingPopup> old = rig.alert.popup();
        QVERIFY(old->Timer1()->isActive()); // still rising
        rig.alert.unloadPopup();
        QVERIFY(!rig.alert.popup());
        QVERIFY(!old->isVisible()); // at once, no slide
        QVERIFY(!old->Timer1()->isActive());
        rig.alert.unloadPopup(); // nothing loaded: nothing happens
        QVERIFY(rig.engine.calls.isEmpty());

        // "offhook" and "Incoming call" in one status text: the old popup goes, a new one comes.
        rig.alert.showPopup();
        QVERIFY(rig.alert.popup() && rig.alert.popup() != old.data());
        QVERIFY(rig.alert.popup()->isVisible());
        QCOMPARE(rig.alert.popup()->slide().SlidePhase(), 1);
        QTRY_VERIFY(old.isNull());
        QCOMPARE(visibleRingPopups(), 1);
    }

    void answerBringsTheWindowBack()
    {
        Rig rig;
        rig.view.inTray = true;
        rig.alert.showPopup();
        QTest::mouseClick(rig.alert.popup()->iCmd(1), Qt::LeftButton);
        QCOMPARE(rig.engine.calls, QStringList{QStringLiteral("answer")});
        QVERIFY(rig.view.restored);
        QVERIFY(!rig.view.inTray);
    }

    void slideOutUnloads()
    {
        Rig rig;
        rig.alert.showPopup();
        QPointer<RingPopup> popup = rig.alert.popup();
        QTRY_VERIFY(!popup->Timer1()->isActive());
        QTest::mouseClick(popup->iCmd(0), Qt::LeftButton);
        QCOMPARE(rig.engine.calls, QStringList{QStringLiteral("terminate")});
        QVERIFY(rig.alert.popup()); // still loaded while sliding down
        QTRY_VERIFY(!rig.alert.popup());
        QTRY_VERIFY(popup.isNull());
        QVERIFY(!rig.view.restored);
    }
};

QTEST_MAIN(TestIncomingCallAlert)
#include "test_incomingcallalert.moc"

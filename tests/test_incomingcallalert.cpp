// The incoming-call popup and its host on the offscreen platform, with the
// main window and the player faked: the popup's window kind, one popup per
// call, who calls and the station's picture, unloading at once, its buttons
// (what they report) and the slide that follows them. The focus is checked on
// a real X server (test_ringpopup_x11).

#include "ConfigRecord.h"
#include "FakeConsoleWindow.h"
#include "FakeRingPlayer.h"
#include "FakeScheduler.h"
#include "ImageButton.h"
#include "PictureView.h"
#include "IncomingCallAlert.h"
#include "RecordingLogger.h"
#include "RingPopup.h"
#include "RingTone.h"

#include <QApplication>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct Rig
{
    FakeConsoleWindow window;
    FakeRingPlayer player;
    FakeScheduler scheduler;
    RecordingLogger logger;
    ConfigRecord record;
    RingTone ring{player, scheduler, logger, [] { return true; }, u"/opt/qz/ring.wav"_s};
    IncomingCallAlert alert{record, window, ring};
};

int visiblePopups()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += qobject_cast<RingPopup*>(w) && w->isVisible() ? 1 : 0;
    return n;
}

} // namespace

class TestIncomingCallAlert : public QObject
{
    Q_OBJECT
private slots:
    void onePopupOfItsKindPerCall()
    {
        Rig rig;
        QSignalSpy shown(&rig.alert, &IncomingCallAlert::popupShown);
        rig.alert.showPopup(3, {});
        rig.alert.showPopup(3, {});
        QCOMPARE(shown.count(), 1);
        QCOMPARE(visiblePopups(), 1);
        RingPopup* popup = rig.alert.popup();
        const Qt::WindowFlags flags = popup->windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool); // kept out of the task bar
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint) && flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(flags.testFlag(Qt::WindowDoesNotAcceptFocus) && popup->testAttribute(Qt::WA_ShowWithoutActivating));
        // Often the only window shown while the console sits in the tray: closing it must not end the program.
        QVERIFY(!popup->testAttribute(Qt::WA_QuitOnClose));
        QCOMPARE(popup->windowOpacity(), 150 / 255.0);
        rig.alert.startRing();
        QCOMPARE(rig.player.commands, (QStringList{u"close"_s, u"open /opt/qz/ring.wav"_s, u"play"_s}));
    }

    void whoCallsAndTheirPicture_data()
    {
        QTest::addColumn<int>("station");
        QTest::addColumn<QString>("shown");
        QTest::newRow("a station with its description") << 3 << u"Varco 4 (4)"_s;
        QTest::newRow("a station without one") << 15 << u"Station 16"_s;
        QTest::newRow("a caller that is no station") << -1 << u"sip:guest@127.0.0.9"_s;
    }
    void whoCallsAndTheirPicture()
    {
        QFETCH(int, station);
        Rig rig;
        rig.record.description[3] = u" Varco 4"_s;
        QImage tile(64, 48, QImage::Format_RGB32);
        tile.fill(Qt::red);
        for (int s : {3, 15})
            rig.window.pictures.at(std::size_t(s)) = tile;
        rig.alert.showPopup(station, u"\"guest\" <sip:guest@127.0.0.9>"_s);
        RingPopup* popup = rig.alert.popup();
        QTEST(popup->caller(), "shown");
        // The tile's picture at once, then the station's pictures, decoded at the popup's size.
        QCOMPARE(popup->pictureView()->picture(), station >= 0 ? tile : QImage());
        QCOMPARE(rig.alert.shownStation(), station);
        QCOMPARE(rig.alert.shownPictureSize(), station >= 0 ? popup->pictureView()->sizeInDevicePixels() : QSize());
        QImage next = tile.copy();
        next.fill(Qt::green);
        rig.alert.showPicture(next);
        QCOMPARE(popup->pictureView()->picture(), station >= 0 ? next : QImage());
        // At rest the whole popup is on the screen's available area.
        QTRY_VERIFY(!popup->slideTimer()->isActive());
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(popup->geometry()));
    }

    void unloadIsImmediateAndANewPopupFollows()
    {
        Rig rig;
        rig.alert.showPopup(3, {});
        QPointer<RingPopup> old = rig.alert.popup();
        QVERIFY(old->slideTimer()->isActive()); // still rising
        rig.alert.unloadPopup();
        QVERIFY(!rig.alert.popup() && !old->isVisible() && !old->slideTimer()->isActive());
        rig.alert.unloadPopup(); // nothing loaded: nothing happens
        // A call that waited rings as soon as the one before it ends: the old popup goes, a new one comes.
        rig.alert.showPopup(3, {});
        QVERIFY(rig.alert.popup() && rig.alert.popup() != old.data());
        QTRY_VERIFY(old.isNull());
        QCOMPARE(visiblePopups(), 1);
    }

    void buttons_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("atRest");
        QTest::newRow("reject at rest") << false << true;
        QTest::newRow("answer while rising") << true << false;
    }
    void buttons()
    {
        QFETCH(bool, answer);
        QFETCH(bool, atRest);
        Rig rig;
        rig.window.putInTray();
        rig.alert.showPopup(3, {});
        QPointer<RingPopup> popup = rig.alert.popup();
        QSignalSpy slidOut(popup.data(), &RingPopup::slidOut);
        QSignalSpy answered(popup.data(), &RingPopup::answered), rejected(popup.data(), &RingPopup::rejected);
        QSignalSpy callAnswered(&rig.alert, &IncomingCallAlert::callAnswered);
        QSignalSpy callRejected(&rig.alert, &IncomingCallAlert::callRejected);
        if (atRest)
            QTRY_VERIFY(!popup->slideTimer()->isActive());
        QTest::mouseClick(answer ? popup->answerButton() : popup->rejectButton(), Qt::LeftButton);
        // One report per click, of the button used, from the popup and from its host.
        QCOMPARE((QList<qsizetype>{answered.count(), rejected.count(), callAnswered.count(), callRejected.count()}),
                 (answer ? QList<qsizetype>{1, 0, 1, 0} : QList<qsizetype>{0, 1, 0, 1}));
        QCOMPARE(rig.window.restored, answer); // the answer brings the main window back for the call
        // A popup still rising finishes its rise and rests; one at rest slides out and unloads.
        if (atRest) {
            QTRY_VERIFY(popup.isNull());
            QCOMPARE(slidOut.count(), 1);
            QVERIFY(!rig.alert.popup());
        } else {
            QTRY_VERIFY(!popup->slideTimer()->isActive());
            QCOMPARE(popup->slide().slidePhase(), 0);
            QVERIFY(popup->isVisible());
            QCOMPARE(slidOut.count(), 0);
        }
    }
};

QTEST_MAIN(TestIncomingCallAlert)
#include "test_incomingcallalert.moc"

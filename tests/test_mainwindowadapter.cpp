// The main window's adapter over a real (offscreen) main window and zoom
// window, with the tray icon and the clock faked: the tray round trip, the
// call's way back and fade, the marks of calling stations, and what the zoom
// window mirrors.

#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "FakeScheduler.h"
#include "FakeSettingsStore.h"
#include "FakeTrayIcon.h"
#include "MainWindow.h"
#include "MainWindowAdapter.h"
#include "PictureView.h"
#include "ZoomController.h"
#include "ZoomWindow.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct Rig
{
    ConfigRecord record;
    ConsoleState state;
    FakeSettingsStore settings;
    FakeTrayIcon tray;
    FakeScheduler scheduler;
    MainWindow window{record, state};
    ZoomController zoom{record, settings, state.zoomedStation};
    MainWindowAdapter adapter{window, zoom, tray, scheduler, state, QIcon()};

    Rig() { window.show(); }
    void minimize() { window.setWindowState(Qt::WindowMinimized); }
};

} // namespace

class TestMainWindowAdapter : public QObject
{
    Q_OBJECT
private slots:
    void trayRoundTrip()
    {
        Rig rig;
        rig.zoom.open(4, QImage(), u"tel_n"_s);
        rig.adapter.setTopmost(true);
        rig.minimize(); // the window's own minimise handling hands over to the adapter
        QVERIFY(rig.adapter.isInTray() && rig.adapter.isMinimized());
        QVERIFY(rig.window.isHidden());
        QVERIFY(!rig.window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(rig.tray.shown);
        QCOMPARE(rig.tray.tip, u" QZ Video Console "_s);
        QCOMPARE(rig.state.zoomedStation, -1);
        QTRY_VERIFY(!rig.zoom.window());

        rig.tray.clickLeft();
        QVERIFY(!rig.window.isHidden() && !rig.window.isMinimized());
        QVERIFY(!rig.tray.shown);
        QVERIFY(!rig.adapter.isInTray() && !rig.adapter.isRestoredForCall());
    }

    void callingStationsAreMarked()
    {
        Rig rig;
        const auto marked = [&rig] {
            QList<int> stations;
            for (int i = 0; i < ConfigRecord::kStations; ++i)
                if (rig.window.pictureView(i)->isMarked())
                    stations << i;
            return stations;
        };
        // A SIP call and door calls mark their tiles; one mark going leaves the other.
        rig.adapter.setCallMark(3);
        rig.adapter.setDoorCallMark(5, true);
        rig.adapter.setDoorCallMark(3, true);
        QCOMPARE(marked(), (QList<int>{3, 5}));
        rig.adapter.setCallMark(-1);
        QCOMPARE(marked(), (QList<int>{3, 5}));
        rig.adapter.setDoorCallMark(3, false);
        rig.adapter.setCallMark(7);
        QCOMPARE(marked(), (QList<int>{5, 7}));
        rig.adapter.setDoorCallMark(16, true); // no such station
        QCOMPARE(marked(), (QList<int>{5, 7}));
    }

    void withoutTrayTheWindowStaysInTheTaskBar()
    {
        Rig rig;
        rig.tray.available = false;
        rig.minimize();
        QVERIFY(rig.window.isMinimized() && !rig.window.isHidden());
        QVERIFY(!rig.adapter.isInTray() && !rig.tray.shown);
        rig.adapter.bringBackForCall(); // never left: nothing to bring back
        QVERIFY(!rig.adapter.isRestoredForCall());
    }

    void callBringsBackAndFadesBack()
    {
        Rig rig;
        rig.adapter.bringBackForCall(); // not in the tray: nothing
        QVERIFY(!rig.adapter.isRestoredForCall());
        rig.minimize();
        rig.adapter.bringBackForCall();
        QVERIFY(rig.adapter.isRestoredForCall() && !rig.adapter.isInTray() && rig.window.isVisible());

        QStringList done;
        rig.adapter.fadeBackToTray([&] { done.append(u"first"_s); });
        QVERIFY(!rig.adapter.isRestoredForCall());
        rig.scheduler.runAll(10);
        QVERIFY(rig.window.windowOpacity() < 1.0);
        rig.adapter.fadeBackToTray([&] { done.append(u"joined"_s); }); // joins the running fade
        rig.scheduler.runAll();
        QCOMPARE(done, (QStringList{u"first"_s, u"joined"_s}));
        QCOMPARE(rig.scheduler.delays, QList<int>(128, MainWindowAdapter::kFadeStepMs));
        QVERIFY(rig.adapter.isInTray() && rig.window.isHidden() && rig.tray.shown);
        QCOMPARE(rig.window.windowOpacity(), 1.0); // opaque again for the next time
        QVERIFY(!rig.adapter.isFading());
    }

    void zoomWindowFollowsItsStation()
    {
        Rig rig;
        rig.zoom.open(3, QImage(), u"tel_n"_s);
        rig.adapter.setTelephoneImage(5, u"tel_v"_s);
        QCOMPARE(rig.zoom.window()->telephoneImage(), u"tel_n"_s);
        rig.adapter.setTelephoneImage(3, u"tel_r"_s);
        QCOMPARE(rig.zoom.window()->telephoneImage(), u"tel_r"_s);
        QCOMPARE(rig.window.telephoneImage(3), u"tel_r"_s);
        rig.adapter.setZoomTopmost(true);
        QVERIFY(rig.zoom.window()->isTopmost());
        rig.zoom.close();
        rig.adapter.setZoomTopmost(false); // no window: nothing to do, nothing to crash
        rig.adapter.setTelephoneImage(3, u"tel_n"_s);
    }
};

QTEST_MAIN(TestMainWindowAdapter)
#include "test_mainwindowadapter.moc"

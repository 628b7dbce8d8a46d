// The zoom window: layout, placement, opening, retargeting, closing, button forwarding.

#include "ConfigRecord.h"
#include "FakeSettingsStore.h"
#include "FakeTileView.h"
#include "ImageButton.h"
#include "Twips.h"
#include "ZoomController.h"
#include "ZoomLayout.h"
#include "ZoomPlacement.h"
#include "ZoomWindow.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

namespace {

using StringMap = QMap<QString, QString>;

QImage filled(const QColor& colour, QSize size = QSize(64, 48))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

struct Rig
{
    ConfigRecord record;
    FakeTileView tiles;
    FakeSettingsStore settings;
    int zoomed = -1;
    ZoomController controller{record, tiles, settings, zoomed};

    Rig()
    {
        for (int i = 0; i < ConfigRecord::kStations; ++i) {
            record.description[i] = QStringLiteral("Varco %1").arg(i + 1);
            tiles.telKeys[i] = QStringLiteral("tel_n");
        }
    }
};

} // namespace

class TestZoomWindow : public QObject
{
    Q_OBJECT

private slots:
    void layoutFollowsOuterSize_data();
    void layoutFollowsOuterSize();
    void resizeRunsTheLayout();

    void placementRoundTrip_data();
    void placementRoundTrip();
    void placementDefaultsOnFirstRun();
    void savedPlacementIsApplied();
    void minimisedPlacementIsNotApplied();
    void placementWrittenOnEveryClose();

    void openShowsStation();
    void retargetFromFiveToThree();
    void emptyTileGivesEmptyPicture();
    void clickOnPictureCloses();
    void closeCommandAndTrayClose_data();
    void closeCommandAndTrayClose();
    void buttonsForwardZoomedStation();
    void forwardedPressMovesTileButton();
    void telephoneFeedOnlyForZoomedStation();
    void topmostInCall();
    void noPictureAfterClose();
};

void TestZoomWindow::layoutFollowsOuterSize_data()
{
    QTest::addColumn<double>("fw");
    QTest::addColumn<double>("fh");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QList<double>>("expected"); // imgCam w, h; tel top; lock left, top; light left, top

    // Untouched values are the design's: imgCam 6315 x 4515, tel 4125, lock 5400/4050, light 5925/4125.
    QTest::newRow("design frame") << 6875.0 << 5415.0 << true
                                  << QList<double>{6315, 4515, 4115, 5475, 4115, 5955, 4115};
    QTest::newRow("first-run placement") << 5745.0 << 5220.0 << true
                                         << QList<double>{5185, 4320, 3920, 4345, 3920, 4825, 3920};
    QTest::newRow("just the margins") << 560.0 << 900.0 << true << QList<double>{0, 0, -400, -840, -400, -360, -400};
    QTest::newRow("too narrow: nothing moves")
        << 559.0 << 5220.0 << false << QList<double>{6315, 4515, 4125, 5400, 4050, 5925, 4125};
    QTest::newRow("too flat: only the width") << 3000.0 << 899.0 << false
                                              << QList<double>{2440, 4515, 4125, 5400, 4050, 5925, 4125};
    QTest::newRow("minimised-like 0 x 0") << 0.0 << 0.0 << false
                                          << QList<double>{6315, 4515, 4125, 5400, 4050, 5925, 4125};
}

void TestZoomWindow::layoutFollowsOuterSize()
{
    QFETCH(double, fw);
    QFETCH(double, fh);
    QFETCH(bool, complete);
    QFETCH(QList<double>, expected);

    ZoomLayoutControls c = ZoomLayoutControls::design();
    QCOMPARE(ZoomLayout::layOut(c, fw, fh), complete);
    QCOMPARE(c.imgCam.left, 150.0);
    QCOMPARE(c.imgCam.top, 150.0);
    QCOMPARE(c.imgCam.width, expected[0]);
    QCOMPARE(c.imgCam.height, expected[1]);
    QCOMPARE(c.cmdTel.left, 225.0);
    QCOMPARE(c.cmdTel.top, expected[2]);
    QCOMPARE(c.cmdLock.left, expected[3]);
    QCOMPARE(c.cmdLock.top, expected[4]);
    QCOMPARE(c.cmdLight.left, expected[5]);
    QCOMPARE(c.cmdLight.top, expected[6]);
    QCOMPARE(c.cmdLock.width, 480.0);
    QCOMPARE(c.cmdLight.height, 480.0);
}

void TestZoomWindow::resizeRunsTheLayout()
{
    FakeSettingsStore settings;
    ZoomWindow w(settings);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.resize(600, 400);
    QTRY_COMPARE(w.size(), QSize(600, 400));
    const QRect frame = w.frameGeometry();
    const double fw = Twips::fromPx(frame.width());
    const double fh = Twips::fromPx(frame.height());
    QCOMPARE(w.layoutControls().imgCam.width, fw - 560);
    QCOMPARE(w.layoutControls().imgCam.height, fh - 900);
    QCOMPARE(w.pictureRect(), Twips::toPx(150, 150, fw - 560, fh - 900));
    QCOMPARE(w.cmdLock()->geometry(), Twips::toPx(150 + fw - 560 - 990, fh - 1300, 480, 480));
    QCOMPARE(w.cmdLight()->geometry().left(), Twips::toPx(150 + fw - 560 - 990 + 480));
    QCOMPARE(w.cmdTel()->geometry().top(), Twips::toPx(fh - 1300));
}

void TestZoomWindow::placementRoundTrip_data()
{
    QTest::addColumn<StringMap>("stored");
    QTest::addColumn<ZoomPlacement>("expected");

    QTest::newRow("nothing stored") << StringMap{} << ZoomPlacement{0, 0, 0, 5745, 5220};
    QTest::newRow("all stored") << StringMap{{QStringLiteral("zwstate"), QStringLiteral("2")},
                                                          {QStringLiteral("zwleft"), QStringLiteral("1500")},
                                                          {QStringLiteral("zwtop"), QStringLiteral("-750")},
                                                          {QStringLiteral("zwwidth"), QStringLiteral("7500.5")},
                                                          {QStringLiteral("zwheight"), QStringLiteral("6000")}}
                                << ZoomPlacement{2, 1500, -750, 7500.5, 6000};
    QTest::newRow("garbage falls back") << StringMap{{QStringLiteral("zwstate"), QStringLiteral("x")},
                                                                  {QStringLiteral("zwwidth"), QStringLiteral("wide")},
                                                                  {QStringLiteral("zwheight"), QStringLiteral("1e99")}}
                                        << ZoomPlacement{0, 0, 0, 5745, 5220};
    QTest::newRow("minimised") << StringMap{{QStringLiteral("zwstate"), QStringLiteral("1")},
                                                         {QStringLiteral("zwleft"), QStringLiteral("30")}}
                               << ZoomPlacement{1, 30, 0, 5745, 5220};
}

void TestZoomWindow::placementRoundTrip()
{
    QFETCH(StringMap, stored);
    QFETCH(ZoomPlacement, expected);

    FakeSettingsStore store;
    store.values = stored;
    const ZoomPlacement loaded = ZoomPlacement::load(store);
    QCOMPARE(loaded.state, expected.state);
    QCOMPARE(loaded.leftTwips, expected.leftTwips);
    QCOMPARE(loaded.topTwips, expected.topTwips);
    QCOMPARE(loaded.widthTwips, expected.widthTwips);
    QCOMPARE(loaded.heightTwips, expected.heightTwips);

    FakeSettingsStore written;
    loaded.save(written);
    QCOMPARE(written.values.keys(), (QStringList{QStringLiteral("zwheight"), QStringLiteral("zwleft"),
                                                 QStringLiteral("zwstate"), QStringLiteral("zwtop"),
                                                 QStringLiteral("zwwidth")}));
    QVERIFY(ZoomPlacement::load(written) == loaded);
    QCOMPARE(written.values.value(QStringLiteral("zwstate")), QString::number(expected.state));
}

void TestZoomWindow::placementDefaultsOnFirstRun()
{
    Rig rig;
    rig.controller.open(4);
    ZoomWindow* w = rig.controller.window();
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    // 5745 x 5220 twips at 0, 0: 383 x 348 pixels.
    QCOMPARE(w->frameGeometry(), QRect(0, 0, 383, 348));
    QVERIFY(!w->isMaximized());
    QCOMPARE(w->layoutControls().imgCam.width, 5745.0 - 560);
    QCOMPARE(w->layoutControls().imgCam.height, 5220.0 - 900);
}

void TestZoomWindow::savedPlacementIsApplied()
{
    Rig rig;
    rig.settings.values = {{QStringLiteral("zwstate"), QStringLiteral("0")},
                           {QStringLiteral("zwleft"), QStringLiteral("1500")},
                           {QStringLiteral("zwtop"), QStringLiteral("750")},
                           {QStringLiteral("zwwidth"), QStringLiteral("7500")},
                           {QStringLiteral("zwheight"), QStringLiteral("6000")}};
    rig.controller.open(0);
    ZoomWindow* w = rig.controller.window();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->frameGeometry(), QRect(100, 50, 500, 400));
}

void TestZoomWindow::minimisedPlacementIsNotApplied()
{
    Rig rig;
    rig.settings.values = {{QStringLiteral("zwstate"), QStringLiteral("1")},
                           {QStringLiteral("zwleft"), QStringLiteral("1500")},
                           {QStringLiteral("zwtop"), QStringLiteral("750")},
                           {QStringLiteral("zwwidth"), QStringLiteral("7500")},
                           {QStringLiteral("zwheight"), QStringLiteral("6000")}};
    rig.controller.open(0);
    ZoomWindow* w = rig.controller.window();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QVERIFY(!w->isMinimized());
    // The design's client size, not the saved one.
    QCOMPARE(w->size(), Twips::toPx(6615, 4800));
}

void TestZoomWindow::placementWrittenOnEveryClose()
{
    Rig rig;
    QRect last;
    for (int round = 0; round < 2; ++round) {
        rig.settings.values.clear();
        rig.controller.open(2);
        ZoomWindow* w = rig.controller.window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->move(20 + round, 30); // the frame's position
        w->resize(300, 200);
        QTRY_COMPARE(w->frameGeometry().topLeft(), QPoint(20 + round, 30));
        QTRY_COMPARE(w->size(), QSize(300, 200));
        last = w->frameGeometry();
        w->close();
        // Outer frame, twips.
        QCOMPARE(rig.settings.values.value(QStringLiteral("zwstate")), QStringLiteral("0"));
        QCOMPARE(rig.settings.values.value(QStringLiteral("zwleft")), QString::number((20 + round) * 15));
        QCOMPARE(rig.settings.values.value(QStringLiteral("zwtop")), QStringLiteral("450"));
        QCOMPARE(rig.settings.values.value(QStringLiteral("zwwidth")), QString::number(last.width() * 15));
        QCOMPARE(rig.settings.values.value(QStringLiteral("zwheight")), QString::number(last.height() * 15));
    }
    // The next window is created afresh and reads what the last close wrote.
    rig.controller.open(2);
    QVERIFY(QTest::qWaitForWindowExposed(rig.controller.window()));
    QCOMPARE(rig.controller.window()->frameGeometry(), last);
    QCOMPARE(rig.controller.window()->size(), QSize(300, 200));
}

void TestZoomWindow::openShowsStation()
{
    Rig rig;
    rig.record.description[7] = QStringLiteral("Cancello posteriore");
    rig.tiles.pictures[7] = filled(Qt::red);
    rig.tiles.telKeys[7] = QStringLiteral("tel_b");
    rig.controller.open(7);
    ZoomWindow* w = rig.controller.window();
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QVERIFY(!w->isModal());
    QCOMPARE(rig.zoomed, 7);
    QCOMPARE(w->windowTitle(), QStringLiteral("Zoom Cancello posteriore - Click to close"));
    QCOMPARE(w->picture().cacheKey(), rig.tiles.pictures[7].cacheKey());
    QCOMPARE(w->telImage(), QStringLiteral("tel_b"));
    QVERIFY(!w->isTopmost());
}

void TestZoomWindow::retargetFromFiveToThree()
{
    Rig rig;
    rig.tiles.pictures[5] = filled(Qt::green);
    rig.tiles.pictures[3] = filled(Qt::blue);
    rig.tiles.telKeys[5] = QStringLiteral("tel_r");
    rig.tiles.telKeys[3] = QStringLiteral("tel_v");
    rig.controller.open(5);
    QPointer<ZoomWindow> w = rig.controller.window();
    QCOMPARE(w->windowTitle(), QStringLiteral("Zoom Varco 6 - Click to close"));
    QCOMPARE(w->picture().pixelColor(1, 1), QColor(Qt::green));
    QCOMPARE(w->telImage(), QStringLiteral("tel_r"));

    QSignalSpy closed(&rig.controller, &ZoomController::closed);
    rig.controller.open(3);
    QCOMPARE(rig.controller.window(), w.data()); // the same window, not closed
    QCOMPARE(closed.count(), 0);
    QVERIFY(w->isVisible());
    QCOMPARE(rig.zoomed, 3);
    QCOMPARE(w->windowTitle(), QStringLiteral("Zoom Varco 4 - Click to close"));
    QCOMPARE(w->picture().cacheKey(), rig.tiles.pictures[3].cacheKey());
    QCOMPARE(w->telImage(), QStringLiteral("tel_v"));

    // Only station 3's pictures reach it from now on: the feed says so.
    QCOMPARE(rig.controller.zoomedStation(), 3);
    QCOMPARE(rig.controller.zoomPictureSize(), w->pictureSize());
}

void TestZoomWindow::emptyTileGivesEmptyPicture()
{
    Rig rig;
    rig.tiles.pictures[1] = filled(Qt::yellow);
    rig.controller.open(1);
    QVERIFY(!rig.controller.window()->picture().isNull());
    rig.controller.open(2); // tile 2 shows "No image available"
    QVERIFY(rig.controller.window()->picture().isNull());
}

void TestZoomWindow::clickOnPictureCloses()
{
    Rig rig;
    rig.controller.open(6);
    QPointer<ZoomWindow> w = rig.controller.window();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QSignalSpy closed(&rig.controller, &ZoomController::closed);

    // A click on a button is no click on the picture.
    QTest::mouseClick(w->cmdTel(), Qt::LeftButton);
    QVERIFY(w->isVisible());
    QCOMPARE(rig.zoomed, 6);

    QTest::mouseClick(w, Qt::LeftButton, {}, w->pictureRect().topLeft() + QPoint(5, 5));
    QCOMPARE(closed.count(), 1);
    QCOMPARE(rig.zoomed, -1);
    QVERIFY(rig.controller.window() == nullptr);
    QVERIFY(rig.settings.values.contains(QStringLiteral("zwwidth")));
    QTRY_VERIFY(w.isNull()); // deleted: the next opening creates and places it anew
}

void TestZoomWindow::closeCommandAndTrayClose_data()
{
    QTest::addColumn<bool>("byTray");
    QTest::newRow("window's close command") << false;
    QTest::newRow("main window to the tray") << true;
}

void TestZoomWindow::closeCommandAndTrayClose()
{
    QFETCH(bool, byTray);
    Rig rig;
    rig.controller.open(9);
    QPointer<ZoomWindow> w = rig.controller.window();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    if (byTray)
        rig.controller.close();
    else
        w->close();
    QCOMPARE(rig.zoomed, -1);
    QVERIFY(rig.controller.window() == nullptr);
    QCOMPARE(rig.settings.values.value(QStringLiteral("zwheight")), QStringLiteral("5220"));
    QTRY_VERIFY(w.isNull());
    // Closing again (nothing open) changes nothing.
    rig.controller.close();
    QCOMPARE(rig.zoomed, -1);
}

void TestZoomWindow::buttonsForwardZoomedStation()
{
    Rig rig;
    rig.controller.open(5);
    rig.controller.open(11);
    ZoomWindow* w = rig.controller.window();
    QVERIFY(QTest::qWaitForWindowExposed(w));

    QStringList events;
    auto record = [&events](const char* name) {
        return [&events, name](int station) {
            events.append(QStringLiteral("%1 %2").arg(QLatin1String(name)).arg(station));
        };
    };
    connect(&rig.controller, &ZoomController::cmdTelPressed, this, record("telDown"));
    connect(&rig.controller, &ZoomController::cmdTelReleased, this, record("telUp"));
    connect(&rig.controller, &ZoomController::cmdLockPressed, this, record("lockDown"));
    connect(&rig.controller, &ZoomController::cmdLockReleased, this, record("lockUp"));
    connect(&rig.controller, &ZoomController::cmdLightPressed, this, record("lightDown"));
    connect(&rig.controller, &ZoomController::cmdLightReleased, this, record("lightUp"));

    ImageButton* lock = w->cmdLock();
    const QRect rest = lock->geometry();
    QTest::mousePress(lock, Qt::LeftButton);
    // Pressed look: 30 twips right and down.
    QCOMPARE(lock->geometry(), rest.translated(2, 2));
    QTest::mouseRelease(lock, Qt::LeftButton);
    QCOMPARE(lock->geometry(), rest);
    QTest::mouseClick(w->cmdLight(), Qt::RightButton);
    QTest::mouseClick(w->cmdTel(), Qt::LeftButton);
    QCOMPARE(events, (QStringList{QStringLiteral("lockDown 11"), QStringLiteral("lockUp 11"),
                                  QStringLiteral("lightDown 11"), QStringLiteral("lightUp 11"),
                                  QStringLiteral("telDown 11"), QStringLiteral("telUp 11")}));
    QVERIFY(w->isVisible()); // buttons do not close the window
}

void TestZoomWindow::forwardedPressMovesTileButton()
{
    // The wiring the main window does: the zoom window's press shows on the tile's button too.
    Rig rig;
    QWidget mainWindow;
    auto* tileLock = new ImageButton(&mainWindow);
    tileLock->setBaseGeometry(QRect(40, 50, 32, 32));
    int released = -1;
    connect(&rig.controller, &ZoomController::cmdLockPressed, tileLock, [tileLock](int) { tileLock->pressLook(); });
    connect(&rig.controller, &ZoomController::cmdLockReleased, tileLock, [tileLock, &released](int station) {
        tileLock->releaseLook();
        released = station;
    });
    QSignalSpy tileSignals(tileLock, &ImageButton::released);

    rig.controller.open(2);
    ZoomWindow* w = rig.controller.window();
    QTest::mousePress(w->cmdLock(), Qt::LeftButton);
    QCOMPARE(tileLock->geometry(), QRect(42, 52, 32, 32));
    QVERIFY(tileLock->isPressed());
    QTest::mouseRelease(w->cmdLock(), Qt::LeftButton);
    QCOMPARE(tileLock->geometry(), QRect(40, 50, 32, 32));
    QCOMPARE(released, 2);
    QCOMPARE(tileSignals.count(), 0); // the look moves, the tile's own action does not run twice
    tileLock->releaseLook(); // at rest: nothing to undo
    QCOMPARE(tileLock->geometry(), QRect(40, 50, 32, 32));
}

void TestZoomWindow::telephoneFeedOnlyForZoomedStation()
{
    Rig rig;
    rig.controller.open(4);
    rig.controller.setTelImage(3, QStringLiteral("tel_v"));
    QCOMPARE(rig.controller.window()->telImage(), QStringLiteral("tel_n"));
    rig.controller.setTelImage(4, QStringLiteral("tel_r"));
    QCOMPARE(rig.controller.window()->telImage(), QStringLiteral("tel_r"));
    rig.controller.close();
    rig.controller.setTelImage(4, QStringLiteral("tel_n")); // nothing open: nothing happens
    QVERIFY(rig.controller.window() == nullptr);
}

void TestZoomWindow::topmostInCall()
{
    Rig rig;
    rig.controller.open(1, true);
    ZoomWindow* w = rig.controller.window();
    QVERIFY(w->isTopmost());
    QVERIFY(w->isVisible());
    rig.controller.open(2, false); // not in call: the band stays as it is
    QVERIFY(w->isTopmost());
    rig.controller.setTopmost(false);
    QVERIFY(!w->isTopmost());
    QVERIFY(w->isVisible());
    rig.controller.setTopmost(true);
    QVERIFY(w->isTopmost());
}

void TestZoomWindow::noPictureAfterClose()
{
    Rig rig;
    rig.controller.open(0);
    QPointer<ZoomWindow> w = rig.controller.window();
    const QImage first = filled(Qt::cyan);
    rig.controller.showZoomPicture(first);
    QCOMPARE(w->picture().cacheKey(), first.cacheKey());
    w->close();
    rig.controller.showZoomPicture(filled(Qt::magenta));
    QCOMPARE(rig.controller.zoomedStation(), -1);
    QVERIFY(rig.controller.zoomPictureSize().isEmpty());
    QTRY_VERIFY(w.isNull());
    QVERIFY(rig.controller.window() == nullptr);
}

QTEST_MAIN(TestZoomWindow)
#include "test_zoomwindow.moc"

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

using namespace Qt::StringLiterals;

namespace {

using StringMap = QMap<QString, QString>;

QImage filled(const QColor& colour)
{
    QImage image(QSize(64, 48), QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

StringMap placement(QAnyStringView state, QAnyStringView left, QAnyStringView top, QAnyStringView width,
                    QAnyStringView height)
{
    return {{u"zwstate"_s, state.toString()}, {u"zwleft"_s, left.toString()}, {u"zwtop"_s, top.toString()},
            {u"zwwidth"_s, width.toString()}, {u"zwheight"_s, height.toString()}};
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
        for (int i = 0; i < ConfigRecord::kStations; ++i)
            record.description[i] = u"Varco %1"_s.arg(i + 1);
    }
    ZoomWindow* open(int station)
    {
        controller.open(station);
        return controller.window();
    }
};

} // namespace

class TestZoomWindow : public QObject
{
    Q_OBJECT

private slots:
    void layoutFollowsOuterSize_data()
    {
        QTest::addColumn<double>("fw");
        QTest::addColumn<double>("fh");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<QList<double>>("expected"); // imgCam w, h; tel top; lock left, top; light left, top

        // Untouched values are the design's: imgCam 6315 x 4515, tel 4125, lock 5400/4050, light 5925/4125.
        QTest::newRow("design frame")
            << 6875.0 << 5415.0 << true << QList<double>{6315, 4515, 4115, 5475, 4115, 5955, 4115};
        QTest::newRow("first-run placement") << 5745.0 << 5220.0 << true
                                             << QList<double>{5185, 4320, 3920, 4345, 3920, 4825, 3920};
        QTest::newRow("just the margins")
            << 560.0 << 900.0 << true << QList<double>{0, 0, -400, -840, -400, -360, -400};
        QTest::newRow("too narrow: nothing moves") << 559.0 << 5220.0 << false
                                                   << QList<double>{6315, 4515, 4125, 5400, 4050, 5925, 4125};
        QTest::newRow("too flat: only the width") << 3000.0 << 899.0 << false
                                                  << QList<double>{2440, 4515, 4125, 5400, 4050, 5925, 4125};
        QTest::newRow("minimised-like 0 x 0") << 0.0 << 0.0 << false
                                              << QList<double>{6315, 4515, 4125, 5400, 4050, 5925, 4125};
    }

    void layoutFollowsOuterSize()
    {
        QFETCH(double, fw);
        QFETCH(double, fh);
        QFETCH(bool, complete);
        QFETCH(QList<double>, expected);
        ZoomLayoutControls c = ZoomLayoutControls::design();
        QCOMPARE(ZoomLayout::layOut(c, fw, fh), complete);
        QCOMPARE((QList<double>{c.imgCam.width, c.imgCam.height, c.cmdTel.top, c.cmdLock.left, c.cmdLock.top,
                                c.cmdLight.left, c.cmdLight.top}),
                 expected);
    }

    void resizeRunsTheLayout()
    {
        FakeSettingsStore settings;
        ZoomWindow w(settings);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(600, 400);
        QTRY_COMPARE(w.size(), QSize(600, 400));
        const double fw = Twips::fromPx(w.frameGeometry().width());
        const double fh = Twips::fromPx(w.frameGeometry().height());
        QCOMPARE(w.pictureRect(), Twips::toPx(150, 150, fw - 560, fh - 900));
        QCOMPARE(w.cmdLock()->geometry(), Twips::toPx(150 + fw - 560 - 990, fh - 1300, 480, 480));
        QCOMPARE(w.cmdLight()->geometry().left(), Twips::toPx(150 + fw - 560 - 990 + 480));
        QCOMPARE(w.cmdTel()->geometry().top(), Twips::toPx(fh - 1300));
    }

    void placementOnOpen_data()
    {
        QTest::addColumn<StringMap>("stored");
        QTest::addColumn<QRect>("frame"); // null: not checked
        QTest::addColumn<QSize>("size");  // null: not checked
        // 5745 x 5220 twips at 0, 0: 383 x 348 pixels.
        QTest::newRow("first run") << StringMap() << QRect(0, 0, 383, 348) << QSize();
        QTest::newRow("saved") << placement("0", "1500", "750", "7500", "6000") << QRect(100, 50, 500, 400) << QSize();
        // Values that are not numbers fall back to their defaults.
        QTest::newRow("garbage") << placement("x", "0", "0", "wide", "1e99") << QRect(0, 0, 383, 348) << QSize();
        // Minimised when it closed: the design's client size, not the saved one.
        QTest::newRow("saved minimised") << placement("1", "1500", "750", "7500", "6000") << QRect()
                                         << Twips::toPx(6615, 4800);
    }

    void placementOnOpen()
    {
        QFETCH(StringMap, stored);
        QFETCH(QRect, frame);
        QFETCH(QSize, size);
        Rig rig;
        rig.settings.values = stored;
        ZoomWindow* w = rig.open(4);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(!w->isMinimized() && !w->isMaximized());
        if (!frame.isNull())
            QCOMPARE(w->frameGeometry(), frame);
        if (size.isValid())
            QCOMPARE(w->size(), size);
        if (stored.isEmpty()) {
            QCOMPARE(w->layoutControls().imgCam.width, 5745.0 - 560);
            QCOMPARE(w->layoutControls().imgCam.height, 5220.0 - 900);
        }
    }

    void placementWrittenOnEveryClose()
    {
        Rig rig;
        QRect last;
        for (int round = 0; round < 2; ++round) {
            rig.settings.values.clear();
            ZoomWindow* w = rig.open(2);
            QVERIFY(QTest::qWaitForWindowExposed(w));
            w->move(20 + round, 30); // the frame's position
            w->resize(300, 200);
            QTRY_COMPARE(w->frameGeometry().topLeft(), QPoint(20 + round, 30));
            QTRY_COMPARE(w->size(), QSize(300, 200));
            last = w->frameGeometry();
            w->close();
            // Outer frame, twips.
            QCOMPARE(rig.settings.values, placement("0", QString::number((20 + round) * 15), "450",
                                                    QString::number(last.width() * 15),
                                                    QString::number(last.height() * 15)));
        }
        // The next window is created afresh and reads what the last close wrote.
        QVERIFY(QTest::qWaitForWindowExposed(rig.open(2)));
        QCOMPARE(rig.controller.window()->frameGeometry(), last);
    }

    void retargetFromFiveToThree()
    {
        Rig rig;
        rig.record.description[5] = u"Cancello posteriore"_s;
        rig.tiles.pictures[5] = filled(Qt::green);
        rig.tiles.pictures[3] = filled(Qt::blue);
        rig.tiles.telKeys[5] = u"tel_r"_s;
        rig.tiles.telKeys[3] = u"tel_v"_s;
        QPointer<ZoomWindow> w = rig.open(5);
        QVERIFY(w->isVisible() && !w->isModal() && !w->isTopmost());
        QCOMPARE(rig.zoomed, 5);
        QCOMPARE(w->windowTitle(), u"Zoom Cancello posteriore - Click to close"_s);
        QCOMPARE(w->picture().cacheKey(), rig.tiles.pictures[5].cacheKey());
        QCOMPARE(w->telImage(), u"tel_r"_s);

        QSignalSpy closed(&rig.controller, &ZoomController::closed);
        QCOMPARE(rig.open(3), w.data()); // the same window, not closed
        QCOMPARE(closed.count(), 0);
        QVERIFY(w->isVisible());
        QCOMPARE(rig.zoomed, 3);
        QCOMPARE(w->windowTitle(), u"Zoom Varco 4 - Click to close"_s);
        QCOMPARE(w->picture().cacheKey(), rig.tiles.pictures[3].cacheKey());
        QCOMPARE(w->telImage(), u"tel_v"_s);
        // Only station 3's pictures reach it from now on: the feed says so.
        QCOMPARE(rig.controller.zoomedStation(), 3);
        QCOMPARE(rig.controller.zoomPictureSize(), w->pictureSize());

        rig.open(2); // tile 2 shows "No image available"
        QVERIFY(w->picture().isNull());
    }

    void everyWayOfClosing_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("click on the picture") << 0;
        QTest::newRow("window's close command") << 1;
        QTest::newRow("main window to the tray") << 2;
    }

    void everyWayOfClosing()
    {
        QFETCH(int, how);
        Rig rig;
        QPointer<ZoomWindow> w = rig.open(9);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QSignalSpy closed(&rig.controller, &ZoomController::closed);
        if (how == 0) {
            // A click on a button is no click on the picture.
            QTest::mouseClick(w->cmdTel(), Qt::LeftButton);
            QVERIFY(w->isVisible());
            QTest::mouseClick(w, Qt::LeftButton, {}, w->pictureRect().topLeft() + QPoint(5, 5));
        } else if (how == 1) {
            w->close();
        } else {
            rig.controller.close();
        }
        QCOMPARE(closed.count(), 1);
        QCOMPARE(rig.zoomed, -1);
        QVERIFY(rig.controller.window() == nullptr);
        QCOMPARE(rig.settings.values.value(u"zwheight"_s), u"5220"_s);
        // No snapshot reaches it any more, and the feed says so.
        rig.controller.showZoomPicture(filled(Qt::magenta));
        QCOMPARE(rig.controller.zoomedStation(), -1);
        QVERIFY(rig.controller.zoomPictureSize().isEmpty());
        QTRY_VERIFY(w.isNull()); // deleted: the next opening creates and places it anew
        // Closing again (nothing open) changes nothing.
        rig.controller.close();
        QCOMPARE(closed.count(), 1);
    }

    void buttonsForwardZoomedStation()
    {
        Rig rig;
        rig.open(5);
        ZoomWindow* w = rig.open(11);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QStringList events;
        const auto record = [&events](const char* name) {
            return [&events, name](int station) {
                events.append(QLatin1String(name) + u' ' + QString::number(station));
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
        QCOMPARE(lock->geometry(), rest.translated(2, 2)); // pressed look: 30 twips right and down
        QTest::mouseRelease(lock, Qt::LeftButton);
        QCOMPARE(lock->geometry(), rest);
        QTest::mouseClick(w->cmdLight(), Qt::RightButton);
        QTest::mouseClick(w->cmdTel(), Qt::LeftButton);
        QCOMPARE(events, (QStringList{u"lockDown 11"_s, u"lockUp 11"_s, u"lightDown 11"_s, u"lightUp 11"_s,
                                      u"telDown 11"_s, u"telUp 11"_s}));
        QVERIFY(w->isVisible()); // buttons do not close the window
    }

    void callStateFeeds()
    {
        Rig rig;
        rig.controller.open(4, true); // in call: into the always-on-top band
        ZoomWindow* w = rig.controller.window();
        QVERIFY(w->isTopmost());
        rig.controller.setTelImage(3, u"tel_v"_s);
        QCOMPARE(w->telImage(), u"tel_n"_s);
        rig.controller.setTelImage(4, u"tel_r"_s);
        QCOMPARE(w->telImage(), u"tel_r"_s);
        rig.controller.open(2, false); // not in call: the band stays as it is
        QVERIFY(w->isTopmost());
        rig.controller.setTopmost(false);
        QVERIFY(!w->isTopmost() && w->isVisible());
        rig.controller.setTopmost(true);
        QVERIFY(w->isTopmost());
        rig.controller.close();
        rig.controller.setTelImage(4, u"tel_n"_s); // nothing open: nothing happens
        rig.controller.setTopmost(false);
        QVERIFY(rig.controller.window() == nullptr);
    }
};

QTEST_MAIN(TestZoomWindow)
#include "test_zoomwindow.moc"

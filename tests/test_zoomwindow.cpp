// The zoom window: layout, placement, opening, retargeting, closing, button forwarding, the topmost band.

#include "ConfigRecord.h"
#include "FakeSettingsStore.h"
#include "ImageButton.h"
#include "PictureView.h"
#include "Twips.h"
#include "ZoomController.h"
#include "ZoomLayout.h"
#include "ZoomWindow.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Earlier versions wrote the placement in the locale's notation: give this test a decimal comma.
[[maybe_unused]] const bool kCommaLocale = qputenv("LC_ALL", "it_IT.UTF-8");

using StringMap = QMap<QString, QString>;
using Twips7 = QList<double>;

StringMap placement(const QString& values) // "state left top width height"
{
    const char* keys[] = {"state", "left", "top", "width", "height"};
    StringMap map;
    for (int i = 0; i < 5; ++i)
        map.insert(u"zw"_s + QLatin1String(keys[i]), values.split(u' ').value(i));
    return map;
}

struct Rig
{
    ConfigRecord record;
    FakeSettingsStore settings;
    int zoomed = -1;
    ZoomController controller{record, settings, zoomed};

    ZoomWindow* open(int station, const QImage& picture = {}, const QString& tel = u"tel_n"_s, bool inCall = false)
    {
        record.description[station] = u"Varco %1"_s.arg(station + 1);
        controller.open(station, picture, tel, inCall);
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
        QTest::addColumn<QSizeF>("outer");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<Twips7>("expected"); // picture w, h; tel top; lock left, top; light left, top
        // Values left untouched are the design's: 6315, 4515, 4125, 5400, 4050, 5925, 4125.
        QTest::newRow("design") << QSizeF(6875, 5415) << true << Twips7{6315, 4515, 4115, 5475, 4115, 5955, 4115};
        QTest::newRow("margins only") << QSizeF(560, 900) << true << Twips7{0, 0, -400, -840, -400, -360, -400};
        QTest::newRow("too narrow") << QSizeF(559, 5220) << false << Twips7{6315, 4515, 4125, 5400, 4050, 5925, 4125};
        QTest::newRow("too flat") << QSizeF(3000, 899) << false << Twips7{2440, 4515, 4125, 5400, 4050, 5925, 4125};
    }

    void layoutFollowsOuterSize()
    {
        QFETCH(QSizeF, outer);
        QFETCH(bool, complete);
        QFETCH(Twips7, expected);
        ZoomLayoutControls c = ZoomLayoutControls::design();
        QCOMPARE(ZoomLayout::layOut(c, outer.width(), outer.height()), complete);
        QCOMPARE((Twips7{c.pictureView.width, c.pictureView.height, c.telephoneButton.top, c.lockButton.left,
                                c.lockButton.top, c.lightButton.left, c.lightButton.top}),
                 expected);
    }

    void placementOnOpen_data()
    {
        QTest::addColumn<StringMap>("stored");
        QTest::addColumn<QRect>("frame"); // null: the design's client size instead
        // 5745 x 5220 twips at 0, 0: 383 x 348 pixels.
        QTest::newRow("first run") << StringMap() << QRect(0, 0, 383, 348);
        QTest::newRow("saved") << placement(u"0 1500 750 7500 6000"_s) << QRect(100, 50, 500, 400);
        QTest::newRow("locale's notation") << placement(u"0 1500,5 750,25 7500 6000,9"_s) << QRect(100, 50, 500, 400);
        QTest::newRow("not numbers: defaults") << placement(u"x 0 0 wide 1e99"_s) << QRect(0, 0, 383, 348);
        QTest::newRow("minimised when it closed") << placement(u"1 1500 750 7500 6000"_s) << QRect();
    }

    void placementOnOpen()
    {
        QFETCH(StringMap, stored);
        QFETCH(QRect, frame);
        Rig rig;
        rig.settings.values = stored;
        ZoomWindow* w = rig.open(4);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(!w->isMinimized() && !w->isMaximized());
        if (frame.isNull())
            QCOMPARE(w->size(), Twips::toPx(ZoomLayout::kDesignClientWidthTwips, ZoomLayout::kDesignClientHeightTwips));
        else
            QCOMPARE(w->frameGeometry(), frame);
    }

    void placementWrittenOnCloseAndReadOnNextOpen()
    {
        Rig rig;
        ZoomWindow* w = rig.open(2);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->move(20, 30); // the frame's position
        w->resize(300, 200);
        QTRY_COMPARE(w->frameGeometry().topLeft(), QPoint(20, 30));
        QTRY_COMPARE(w->size(), QSize(300, 200));
        // The resize ran the layout.
        const QRect last = w->frameGeometry();
        const double fw = Twips::fromPx(last.width()), fh = Twips::fromPx(last.height());
        QCOMPARE(w->pictureView()->geometry(), Twips::toPx(150, 150, fw - 560, fh - 900));
        QCOMPARE(w->lockButton()->geometry(), Twips::toPx(150 + fw - 560 - 990, fh - 1300, 480, 480));
        w->close();
        // The outer frame in twips, in the C notation; the next window is created afresh and reads it.
        QCOMPARE(rig.settings.values, placement(u"0 300 450 %1 %2"_s.arg(fw).arg(fh)));
        QVERIFY(QTest::qWaitForWindowExposed(rig.open(2)));
        QCOMPARE(rig.controller.window()->frameGeometry(), last);
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
        if (how == 0)
            QTest::mouseClick(w->pictureView(), Qt::LeftButton);
        else if (how == 1)
            w->close();
        else
            rig.controller.close();
        QCOMPARE(closed.count(), 1);
        QCOMPARE(rig.zoomed, -1);
        QVERIFY(rig.controller.window() == nullptr && rig.controller.zoomPictureSize().isEmpty());
        QCOMPARE(rig.settings.values.value(u"zwheight"_s), u"5220"_s);
        rig.controller.showZoomPicture(QImage(8, 8, QImage::Format_RGB32)); // no window: ignored
        QTRY_VERIFY(w.isNull()); // deleted: the next opening creates and places it anew
        rig.controller.close();  // nothing open: nothing happens
        QCOMPARE(closed.count(), 1);
    }

    void retargetedWindowActsForItsStation()
    {
        Rig rig;
        QImage green(64, 48, QImage::Format_RGB32);
        green.fill(Qt::green);
        QPointer<ZoomWindow> w = rig.open(5, green, u"tel_r"_s);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(!w->isModal() && !w->isTopmost());
        QCOMPARE(w->picture().cacheKey(), green.cacheKey());
        QSignalSpy closed(&rig.controller, &ZoomController::closed);
        QCOMPARE(rig.open(11, QImage(), u"tel_b"_s, true), w.data()); // the same window, not closed
        QVERIFY(closed.isEmpty() && rig.zoomed == 11 && rig.controller.zoomedStation() == 11);
        QCOMPARE(w->windowTitle(), u"Zoom Varco 12 - Click to close"_s);
        QVERIFY(w->picture().isNull()); // tile 11 shows "No image available"
        QCOMPARE(w->telephoneImage(), u"tel_b"_s);
        QCOMPARE(rig.controller.zoomPictureSize(), w->pictureView()->sizeInDevicePixels());
        // Its buttons act as the zoomed station's.
        QStringList events;
        using Signal = void (ZoomController::*)(int);
        const std::pair<Signal, const char*> forwarded[] = {
            {&ZoomController::lockPressed, "lockDown"},     {&ZoomController::lockReleased, "lockUp"},
            {&ZoomController::lightPressed, "lightDown"},   {&ZoomController::lightReleased, "lightUp"},
            {&ZoomController::telephonePressed, "telDown"}, {&ZoomController::telephoneReleased, "telUp"}};
        for (const auto& [signal, name] : forwarded)
            connect(&rig.controller, signal, this,
                    [&events, name](int i) { events << QLatin1String(name) + u' ' + QString::number(i); });
        QTest::mouseClick(w->lockButton(), Qt::LeftButton);
        QTest::mouseClick(w->lightButton(), Qt::RightButton);
        QTest::mouseClick(w->telephoneButton(), Qt::LeftButton);
        QCOMPARE(events, (QStringList{u"lockDown 11"_s, u"lockUp 11"_s, u"lightDown 11"_s, u"lightUp 11"_s,
                                      u"telDown 11"_s, u"telUp 11"_s}));
        QVERIFY(w->isVisible()); // buttons do not close the window
        // Opened for a call it went into the always-on-top band; opened again out of a call it stays there.
        QVERIFY(w->isTopmost());
        rig.open(2);
        QVERIFY(w->isTopmost());
    }
};

QTEST_MAIN(TestZoomWindow)
#include "test_zoomwindow.moc"

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
    void placementOnOpen_data()
    {
        QTest::addColumn<StringMap>("stored");
        QTest::addColumn<QRect>("frame"); // null: the design's client size instead
        // 5745 x 5220 twips at 0, 0: 383 x 348 pixels.
        QTest::newRow("first run") << StringMap() << QRect(0, 0, 383, 348);
        QTest::newRow("saved") << placement(u"0 1500 750 7500 6000"_s) << QRect(100, 50, 500, 400);
        QTest::newRow("locale's notation") << placement(u"0 1500,5 750,25 7500 6000,9"_s) << QRect(100, 50, 500, 400);
        QTest::newRow("comma, three decimals") << placement(u"0 1500 750,125 7500 6000"_s) << QRect(100, 50, 500, 400);
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

    void closingWritesPlacementForTheNextOpen_data()
    {
        QTest::addColumn<bool>("byClick");
        QTest::newRow("click on the picture") << true;
        QTest::newRow("main window to the tray") << false; // as the window's own close command does
    }

    void closingWritesPlacementForTheNextOpen()
    {
        QFETCH(bool, byClick);
        Rig rig;
        QPointer<ZoomWindow> w = rig.open(2);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        w->move(20, 30); // the frame's position
        w->resize(300, 200);
        QTRY_COMPARE(w->frameGeometry().topLeft(), QPoint(20, 30));
        QTRY_COMPARE(w->size(), QSize(300, 200));
        // The resize ran the layout: the picture fills the window less its margins, the buttons sit on a
        // line 1300 twips above the bottom edge, lock and light at the picture's right end. (A window too small
        // for the margins keeps the earlier places: ZoomLayout stops at the first negative size.)
        const QRect last = w->frameGeometry();
        const double fw = Twips::fromPx(last.width()), fh = Twips::fromPx(last.height());
        QCOMPARE(w->pictureView()->geometry(), Twips::toPx(150, 150, fw - 560, fh - 900));
        QCOMPARE(w->lockButton()->geometry(), Twips::toPx(150 + fw - 560 - 990, fh - 1300, 480, 480));
        QCOMPARE(w->lightButton()->geometry(), Twips::toPx(150 + fw - 560 - 510, fh - 1300, 480, 480));
        QCOMPARE(w->telephoneButton()->geometry(), Twips::toPx(225, fh - 1300, 480, 480));
        QSignalSpy closed(&rig.controller, &ZoomController::closed);
        byClick ? QTest::mouseClick(w->pictureView(), Qt::LeftButton) : rig.controller.close();
        QVERIFY(closed.count() == 1 && rig.zoomed == -1 && !rig.controller.window());
        QVERIFY(rig.controller.zoomPictureSize().isEmpty());
        // The outer frame in twips, in the C notation. The window is deleted; the next one reads it.
        QCOMPARE(rig.settings.values, placement(u"0 300 450 %1 %2"_s.arg(fw).arg(fh)));
        QTRY_VERIFY(w.isNull());
        rig.controller.close(); // nothing open: nothing happens
        QCOMPARE(closed.count(), 1);
        QVERIFY(QTest::qWaitForWindowExposed(rig.open(2)));
        QCOMPARE(rig.controller.window()->frameGeometry(), last);
    }

    void retargetedWindowActsForItsStation()
    {
        Rig rig;
        QImage green(64, 48, QImage::Format_RGB32);
        green.fill(Qt::green);
        QPointer<ZoomWindow> w = rig.open(5, green, u"tel_r"_s);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(!w->isModal() && !w->isTopmost() && w->picture().cacheKey() == green.cacheKey());
        const QRect frame = w->geometry();
        QSignalSpy closed(&rig.controller, &ZoomController::closed);
        QCOMPARE(rig.open(11, QImage(), u"tel_b"_s, true), w.data()); // the same window, not closed
        // In a call into the always-on-top band, where it was (the window system's window is made anew).
        QVERIFY(w->isTopmost() && w->isVisible() && w->geometry() == frame);
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
        rig.open(2); // out of a call: the band stays as it is
        QVERIFY(w->isTopmost());
    }
};

QTEST_MAIN(TestZoomWindow)
#include "test_zoomwindow.moc"

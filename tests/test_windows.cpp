// The console's windows on real widgets, and the arithmetic they lay out by. The main window: the tile layout
// (grid rule, edge arithmetic, furniture, command column, small windows), its tiles (visibility, places, captions,
// "No image available", telephone images, picture clicks) and the pressed look of its image buttons. The zoom
// window: placement, opening, retargeting, closing, button forwarding, the topmost band. Minimising into the tray
// is the adapter's (test_mainwindowadapter).

#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "FakeSettingsStore.h"
#include "ImageButton.h"
#include "MainWindow.h"
#include "PictureView.h"
#include "TileLayout.h"
#include "Twips.h"
#include "ZoomController.h"
#include "ZoomLayout.h"
#include "ZoomWindow.h"

#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include <numeric>

using namespace Qt::StringLiterals;

namespace {

using Places = QMap<int, TwipRect>; // tile -> pictureView

QList<int> firstN(int n) { QList<int> list(n); std::iota(list.begin(), list.end(), 0); return list; }

bool layOut(MainLayoutControls& c, double width, double height, const QList<int>& active)
{
    std::array<bool, MainLayoutControls::kStations> on{};
    std::array<QString, MainLayoutControls::kStations> names;
    for (int i : active)
        on[i] = true;
    for (int i = 0; i < MainLayoutControls::kStations; ++i)
        names[i] = u"Door %1"_s.arg(i);
    return TileLayout::layOut(c, width, height, on, names);
}

// Earlier versions wrote the placement in the locale's notation: give this test a decimal comma.
[[maybe_unused]] const bool kCommaLocale = qputenv("LC_ALL", "it_IT.UTF-8");

using StringMap = QMap<QString, QString>;

StringMap placement(const QString& values) // "state left top width height"
{
    const QStringList v = values.split(u' ');
    return {{u"zwstate"_s, v[0]}, {u"zwleft"_s, v[1]}, {u"zwtop"_s, v[2]}, {u"zwwidth"_s, v[3]}, {u"zwheight"_s, v[4]}};
}

struct ZoomRig
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

class TestWindows : public QObject
{
    Q_OBJECT
private slots:
    void gridRule()
    {
        QString grids;
        for (int n = 0; n <= 16; ++n)
            grids += u"%1x%2 "_s.arg(TileLayout::gridFor(n).columns).arg(TileLayout::gridFor(n).rows);
        QCOMPARE(grids, u"0x0 1x1 2x1 2x2 2x2 3x2 3x2 3x3 3x3 3x3 4x3 4x3 4x3 4x4 4x4 4x4 4x4 "_s); // 0 to 16 stations
    }

    void layoutExamples_data()
    {
        QTest::addColumn<QSizeF>("outer");
        QTest::addColumn<QList<int>>("active");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<Places>("places"); // pictureView of these tiles after the pass

        Places sixteen, designed;
        const double lefts[] = {75, 1985, 3895, 5805}, tops[] = {75, 1635, 3195, 4770}; // row 3 at 3H + 45
        for (int k = 0; k < 16; ++k) {
            sixteen.insert(k, TwipRect{lefts[k % 4], tops[k / 4], 1925, 1575});
            designed.insert(k, MainLayoutControls::design().tiles[k].pictureView);
        }
        QTest::newRow("16 stations at 9000 x 7000") << QSizeF(9000, 7000) << firstN(16) << true << sixteen;
        // The fourth cell is sized and placed, but stays hidden.
        const double w3 = (10000 - 1300) / 2.0, h3 = (8000 - 700) / 2.0;
        QTest::newRow("three use 2 x 2") << QSizeF(10000, 8000) << firstN(3) << true
                                         << Places{{2, {75, h3 + 60, w3, h3}}, {3, {w3 + 60, h3 + 60, w3, h3}}};
        // Two side by side; cells go by index: tiles 0 and 1 are laid out, tile 5 stays as designed.
        QTest::newRow("stations 0 and 5")
            << QSizeF(9000, 7000) << QList<int>{0, 5} << true
            << Places{{0, {75, 75, 3850, 6300}}, {1, {3910, 75, 3850, 6300}}, {5, designed[5]}};
        QTest::newRow("exactly the margins") << QSizeF(1300, 700) << firstN(1) << true << Places{{0, {75, 75, 0, 0}}};
        // Too small: visibility changes, the tiles keep their places.
        QTest::newRow("tiny") << QSizeF(1200, 600) << firstN(4) << false << designed;
        QTest::newRow("wide enough but too low") << QSizeF(9000, 650) << firstN(1) << false << designed;
        QTest::newRow("no station active") << QSizeF(9000, 7000) << QList<int>{} << true << designed;
    }

    void layoutExamples()
    {
        QFETCH(QSizeF, outer);
        QFETCH(QList<int>, active);
        QFETCH(bool, complete);
        QFETCH(Places, places);
        MainLayoutControls c = MainLayoutControls::design();
        QCOMPARE(layOut(c, outer.width(), outer.height(), active), complete);
        for (auto it = places.cbegin(); it != places.cend(); ++it)
            QVERIFY2(c.tiles[it.key()].pictureView == it.value(), qPrintable(u"tile %1"_s.arg(it.key())));
        // Visibility follows the active set and the command column is up to date even when too small; the logo
        // then keeps its place too.
        for (int i = 0; i < 16; ++i)
            QCOMPARE(c.tiles[i].visible, active.contains(i));
        QCOMPARE(c.commandButtons[0].left, outer.width() - 525 - 500.0);
        QVERIFY(complete || c.logo == MainLayoutControls::design().logo);
    }

    void noButtonCoversAnotherAtTheSmallestSize_data()
    {
        QTest::addColumn<int>("stations");
        for (int n : {1, 2, 4, 9, 12, 16})
            QTest::addRow("%d stations", n) << n;
    }

    void noButtonCoversAnotherAtTheSmallestSize()
    {
        QFETCH(int, stations);
        MainLayoutControls c = MainLayoutControls::design();
        const TileLayout::OuterSize least = TileLayout::minimumOuterSize(stations, c);
        QVERIFY(layOut(c, least.width, least.height, firstN(stations)));
        const auto toRect = [](const TwipRect& r) { return QRectF(r.left, r.top, r.width, r.height); };
        QList<QRectF> buttons;
        for (int i = 0; i < stations; ++i) {
            const TileControls& t = c.tiles[i];
            const QRectF picture = toRect(t.pictureView);
            for (const TwipRect& b : {t.telephoneButton, t.lockButton, t.lightButton}) {
                QVERIFY2(picture.contains(toRect(b)), qPrintable(u"tile %1"_s.arg(i)));
                QVERIFY2(!toRect(b).intersects(toRect(t.captionLabel)), qPrintable(u"tile %1"_s.arg(i)));
                buttons << toRect(b);
            }
        }
        for (const TwipRect& b : c.commandButtons)
            buttons << toRect(b);
        for (qsizetype i = 0; i < buttons.size(); ++i)
            for (qsizetype j = i + 1; j < buttons.size(); ++j)
                QVERIFY2(!buttons[i].intersects(buttons[j]), qPrintable(u"buttons %1 and %2"_s.arg(i).arg(j)));
        // The command column stays above the logo.
        QVERIFY(toRect(c.commandButtons[3]).bottom() <= c.logo.top);

        // The zoom window at its smallest: its three buttons whole, apart, inside the picture.
        ZoomLayoutControls z = ZoomLayoutControls::design();
        const TileLayout::OuterSize zoomLeast = ZoomLayout::minimumOuterSize(z);
        QVERIFY(ZoomLayout::layOut(z, zoomLeast.width, zoomLeast.height));
        const QList<QRectF> zoomButtons{toRect(z.telephoneButton), toRect(z.lockButton), toRect(z.lightButton)};
        for (qsizetype i = 0; i < zoomButtons.size(); ++i) {
            QVERIFY(toRect(z.pictureView).contains(zoomButtons[i]));
            for (qsizetype j = i + 1; j < zoomButtons.size(); ++j)
                QVERIFY(!zoomButtons[i].intersects(zoomButtons[j]));
        }
    }

    void layoutFurnitureAndCommandColumn()
    {
        MainLayoutControls c = MainLayoutControls::design();
        c.commandButtons[1].width = 600; // the microphone follows the settings button's width, not its own
        QVERIFY(layOut(c, 9000, 7000, firstN(16)));
        // Tile 6 (column 2, row 1) has its picture at 3895, 1635, 1925 x 1575: lock, light and telephone
        // buttons on a line 30 above its bottom, the light's right edge 30 inside; caption; "No image available".
        const TileControls& t = c.tiles[6];
        QVERIFY((QList<TwipRect>{t.lockButton, t.lightButton, t.telephoneButton, t.captionLabel, t.noImageLabel})
                == (QList<TwipRect>{{4830, 2700, 480, 480}, {5310, 2700, 480, 480}, {3925, 2700, 480, 480},
                                    {3955, 1695, 555, 195}, {3895, 2422.5, 1925, 540}}));
        QCOMPARE(t.caption, u"Door 6"_s);
        // The command column moves left and right only; the logo sits under it, 2 x 720 above the bottom.
        QVERIFY((QList<TwipRect>{c.commandButtons[0], c.commandButtons[1], c.commandButtons[2], c.logo})
                == (QList<TwipRect>{{7975, 75, 525, 525}, {7900, 675, 600, 525}, {7930, 1725, 480, 480},
                                    {7975, 5560, 720, 720}}));
    }

    void tilesFollowActiveStations()
    {
        ConfigRecord record;
        record.active[0] = record.active[1] = record.active[2] = record.active[3] = 1;
        ConsoleState state;
        MainWindow w(record, state);
        QCOMPARE(w.windowTitle(), u"QZ Video Console v. 1.06 - Varelia"_s);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (int i = 0; i < 16; ++i)
            QCOMPARE(w.pictureView(i)->isVisible() && w.lockButton(i)->isVisible(), i < 4);
        const QRect frame = w.frameGeometry();
        const double W = (Twips::fromPx(frame.width()) - 1300) / 2, H = (Twips::fromPx(frame.height()) - 700) / 2;
        QCOMPARE(w.pictureView(3)->geometry(), Twips::toPx(W + 60, H + 60, W, H)); // 2 x 2 tiles
        QVERIFY(w.noImageLabel(1)->isVisible()); // until the tile's first picture
        w.setNoImageShown(1, false);
        QVERIFY(!w.noImageLabel(1)->isVisible());
        w.setTelephoneImage(1, u"tel_v"_s);
        QVERIFY(w.telephoneImage(1) == u"tel_v"_s && !w.telephoneButton(1)->pixmap().isNull());
        QSignalSpy clicked(&w, &MainWindow::pictureClicked);
        QTest::mouseClick(w.pictureView(3), Qt::LeftButton);
        QCOMPARE(clicked, (QList<QList<QVariant>>{{3}}));
        // The dialog's OK activated station 9 and deactivated station 3: at the next pass station 9 shows,
        // captioned, without a picture yet, and tile 3 is gone.
        record.active[9] = 1;
        record.active[3] = 0;
        record.description[9] = u"Garage"_s;
        w.layOut();
        QVERIFY(w.pictureView(9)->isVisible() && w.noImageLabel(9)->isVisible() && !w.pictureView(3)->isVisible());
        QCOMPARE(w.captionLabel(9)->text(), u"Garage"_s);

        // Sixteen stations in a small window: it grows to the size their buttons need.
        w.resize(Twips::toPx(3000, 2500));
        for (int i = 0; i < 16; ++i)
            record.active[std::size_t(i)] = 1;
        w.layOut();
        const TileLayout::OuterSize least = TileLayout::minimumOuterSize(16, MainLayoutControls::design());
        QTRY_VERIFY(w.frameGeometry().width() >= Twips::toPx(least.width)
                    && w.frameGeometry().height() >= Twips::toPx(least.height));
    }

    void buttonPressedLook_data()
    {
        // Steps: p/r/d press, release, double-click (with the row's button), m move the button to 100, 120
        // (a resize lays out while it is held), l/u the look forwarded from the zoom window.
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<QPoint>>("places"); // after each step
        const QPoint down(42, 52), up(40, 50); // 30 twips right and down
        QTest::newRow("left click") << Qt::LeftButton << u"pr"_s << QList<QPoint>{down, up};
        QTest::newRow("right double-click") << Qt::RightButton << u"prdr"_s << QList<QPoint>{down, up, down, up};
        QTest::newRow("middle, laid out while held")
            << Qt::MiddleButton << u"pmr"_s << QList<QPoint>{down, {102, 122}, {100, 120}};
        QTest::newRow("forwarded look acts not") << Qt::LeftButton << u"luu"_s << QList<QPoint>{down, up, up};
    }

    void buttonPressedLook()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(QString, steps);
        QFETCH(QList<QPoint>, places);
        QWidget parent;
        auto* b = new ImageButton(&parent);
        b->setBaseGeometry(QRect(40, 50, 32, 32));
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QSignalSpy releases(b, &ImageButton::released);
        QSignalSpy presses(b, &ImageButton::pressed);
        for (qsizetype i = 0; i < steps.size(); ++i) {
            switch (steps.at(i).toLatin1()) {
            case 'p': QTest::mousePress(b, button, {}, QPoint(5, 5)); break;
            case 'r': QTest::mouseRelease(b, button, {}, QPoint(5, 5)); break;
            case 'd': QTest::mouseDClick(b, button, {}, QPoint(5, 5)); break;
            case 'm': b->setBaseGeometry(QRect(100, 120, 32, 32)); break;
            case 'l': b->pressLook(); break;
            case 'u': b->releaseLook(); break;
            }
            QCOMPARE(b->pos(), places.at(i));
            QCOMPARE(b->isPressed(), places.at(i) != QPoint(40, 50) && places.at(i) != QPoint(100, 120));
        }
        // Every release of a press acts, once; a forwarded look never does.
        QCOMPARE(releases.count(), steps.count(u'r'));
        QCOMPARE(presses.count(), steps.count(u'p') + steps.count(u'd'));
    }

    void zoomPlacementOnOpen_data()
    {
        QTest::addColumn<StringMap>("stored");
        QTest::addColumn<QRect>("frame"); // null: the design's client size instead
        // 5745 x 5220 twips at 0, 0: 383 x 348 pixels.
        QTest::newRow("first run") << StringMap() << QRect(0, 0, 383, 348);
        QTest::newRow("locale's notation") << placement(u"0 1500,5 750,25 7500 6000,9"_s) << QRect(100, 50, 500, 400);
        QTest::newRow("comma, three decimals") << placement(u"0 1500 750,125 7500 6000"_s) << QRect(100, 50, 500, 400);
        QTest::newRow("not numbers: defaults") << placement(u"x 0 0 wide 1e99"_s) << QRect(0, 0, 383, 348);
        QTest::newRow("minimised when it closed") << placement(u"1 1500 750 7500 6000"_s) << QRect();
    }

    void zoomPlacementOnOpen()
    {
        QFETCH(StringMap, stored);
        QFETCH(QRect, frame);
        ZoomRig rig;
        rig.settings.values = stored;
        ZoomWindow* w = rig.open(4);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(!w->isMinimized() && !w->isMaximized());
        if (frame.isNull())
            QCOMPARE(w->size(), Twips::toPx(ZoomLayout::kDesignClientWidthTwips, ZoomLayout::kDesignClientHeightTwips));
        else
            QCOMPARE(w->frameGeometry(), frame);
    }

    void zoomClosingWritesPlacementForTheNextOpen_data()
    {
        QTest::addColumn<bool>("byClick");
        QTest::newRow("click on the picture") << true;
        QTest::newRow("main window to the tray") << false; // as the window's own close command does
    }

    void zoomClosingWritesPlacementForTheNextOpen()
    {
        QFETCH(bool, byClick);
        ZoomRig rig;
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
        rig.controller.close(); // nothing open any more: nothing happens
        QVERIFY(closed.count() == 1 && rig.zoomed == -1 && !rig.controller.window());
        QVERIFY(rig.controller.shownPictureSize().isEmpty());
        // The outer frame in twips, in the C notation. The window is deleted; the next one reads it.
        QCOMPARE(rig.settings.values, placement(u"0 300 450 %1 %2"_s.arg(fw).arg(fh)));
        QTRY_VERIFY(w.isNull());
        QVERIFY(QTest::qWaitForWindowExposed(rig.open(2)));
        QCOMPARE(rig.controller.window()->frameGeometry(), last);
    }

    void zoomRetargetedActsForItsStation()
    {
        ZoomRig rig;
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
        QVERIFY(closed.isEmpty() && rig.zoomed == 11 && rig.controller.shownStation() == 11);
        QCOMPARE(w->windowTitle(), u"Zoom Varco 12 - Click to close"_s);
        QVERIFY(w->picture().isNull() && w->telephoneImage() == u"tel_b"_s); // tile 11 shows "No image available"
        QCOMPARE(rig.controller.shownPictureSize(), w->pictureView()->sizeInDevicePixels());
        // Its buttons act as the zoomed station's.
        QStringList events;
        const std::pair<void (ZoomController::*)(int), QLatin1String> forwarded[] = {
            {&ZoomController::lockPressed, "lockDown"_L1},     {&ZoomController::lockReleased, "lockUp"_L1},
            {&ZoomController::lightPressed, "lightDown"_L1},   {&ZoomController::lightReleased, "lightUp"_L1},
            {&ZoomController::telephonePressed, "telDown"_L1}, {&ZoomController::telephoneReleased, "telUp"_L1}};
        for (const auto& [signal, name] : forwarded)
            connect(&rig.controller, signal, [&events, name](int i) { events << u"%1 %2"_s.arg(name).arg(i); });
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

QTEST_MAIN(TestWindows)
#include "test_windows.moc"

// The tile layout: grid rule, edge arithmetic, furniture, command column, small windows.

#include "TileLayout.h"

#include <QtTest>

namespace {

using Active = std::array<bool, MainLayoutControls::kStations>;
using Descriptions = std::array<QString, MainLayoutControls::kStations>;

Active activeSet(std::initializer_list<int> stations)
{
    Active a{};
    for (int s : stations)
        a[s] = true;
    return a;
}

Active firstN(int n)
{
    Active a{};
    for (int i = 0; i < n; ++i)
        a[i] = true;
    return a;
}

Descriptions names()
{
    Descriptions d;
    for (int i = 0; i < MainLayoutControls::kStations; ++i)
        d[i] = QStringLiteral("Door %1").arg(i);
    return d;
}

} // namespace

class TestTileLayout : public QObject
{
    Q_OBJECT
private slots:
    void gridRule_data();
    void gridRule();
    void sixteenStations();
    void twoStationsSideBySide();
    void threeStationsUseTwoByTwo();
    void gapsKeepOutsideTilesWhereTheyWere();
    void furnitureFollowsTile();
    void commandColumnAndImage2();
    void tinyWindowStopsAfterVisibility();
    void noActiveStationKeepsTiles();
    void changedActiveSetUpdatesVisibility();
};

void TestTileLayout::gridRule_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    const int expected[17][2] = {{0, 0}, {1, 1}, {2, 1}, {2, 2}, {2, 2}, {3, 2}, {3, 2}, {3, 3}, {3, 3},
                                 {3, 3}, {4, 3}, {4, 3}, {4, 3}, {4, 4}, {4, 4}, {4, 4}, {4, 4}};
    for (int n = 0; n <= 16; ++n)
        QTest::addRow("%d", n) << n << expected[n][0] << expected[n][1];
}

void TestTileLayout::gridRule()
{
    QFETCH(int, n);
    QFETCH(int, columns);
    QFETCH(int, rows);
    const TileLayout::Grid g = TileLayout::gridFor(n);
    QCOMPARE(g.columns, columns);
    QCOMPARE(g.rows, rows);
}

void TestTileLayout::sixteenStations()
{
    MainLayoutControls c = MainLayoutControls::design();
    QVERIFY(TileLayout::layOut(c, 9000, 7000, firstN(16), names()));
    const double lefts[] = {75, 1985, 3895, 5805};
    const double tops[] = {75, 1635, 3195, 4770};
    for (int k = 0; k < 16; ++k) {
        const TwipRect& cam = c.tiles[k].imgCam;
        QCOMPARE(cam.width, 1925.0);
        QCOMPARE(cam.height, 1575.0);
        QCOMPARE(cam.left, lefts[k % 4]);
        QCOMPARE(cam.top, tops[k / 4]);
        QVERIFY(c.tiles[k].visible);
    }
}

void TestTileLayout::twoStationsSideBySide()
{
    MainLayoutControls c = MainLayoutControls::design();
    QVERIFY(TileLayout::layOut(c, 9000, 7000, firstN(2), names()));
    const double w = (9000 - 1300) / 2.0;
    QCOMPARE(c.tiles[0].imgCam, (TwipRect{75, 75, w, 6300}));
    QCOMPARE(c.tiles[1].imgCam, (TwipRect{w + 60, 75, w, 6300}));
    QVERIFY(!c.tiles[2].visible);
}

void TestTileLayout::threeStationsUseTwoByTwo()
{
    MainLayoutControls c = MainLayoutControls::design();
    QVERIFY(TileLayout::layOut(c, 10000, 8000, firstN(3), names()));
    const double w = (10000 - 1300) / 2.0;
    const double h = (8000 - 700) / 2.0;
    // The fourth cell is sized and placed, but stays hidden.
    QCOMPARE(c.tiles[3].imgCam, (TwipRect{w + 60, h + 60, w, h}));
    QVERIFY(!c.tiles[3].visible);
    QCOMPARE(c.tiles[2].imgCam, (TwipRect{75, h + 60, w, h}));
    QVERIFY(c.tiles[2].visible);
}

void TestTileLayout::gapsKeepOutsideTilesWhereTheyWere()
{
    MainLayoutControls c = MainLayoutControls::design();
    const TwipRect tile5Before = c.tiles[5].imgCam;
    QVERIFY(TileLayout::layOut(c, 9000, 7000, activeSet({0, 5}), names()));
    // Cells go by index: tiles 0 and 1 are laid out, tile 5 stays as designed.
    QCOMPARE(c.tiles[0].imgCam.width, 3850.0);
    QCOMPARE(c.tiles[1].imgCam.left, 3850.0 + 60);
    QVERIFY(!c.tiles[1].visible);
    QVERIFY(c.tiles[5].visible);
    QCOMPARE(c.tiles[5].imgCam, tile5Before);
}

void TestTileLayout::furnitureFollowsTile()
{
    MainLayoutControls c = MainLayoutControls::design();
    QVERIFY(TileLayout::layOut(c, 9000, 7000, firstN(16), names()));
    const TileControls& t = c.tiles[6]; // column 2, row 1
    QCOMPARE(t.cmdLock.top, 1635 + 1575 - 480 - 30.0);
    QCOMPARE(t.cmdLock.left, 3895 + 1925 - 960 - 30.0);
    QCOMPARE(t.cmdLight.left, t.cmdLock.left + 480);
    QCOMPARE(t.cmdLight.top, t.cmdLock.top);
    // The light button's right edge is 30 inside the tile.
    QCOMPARE(t.cmdLight.left + t.cmdLight.width, t.imgCam.left + t.imgCam.width - 30);
    QCOMPARE(t.cmdTel.left, 3895 + 30.0);
    QCOMPARE(t.cmdTel.top, t.cmdLock.top);
    QCOMPARE(t.lblVarco.left, 3895 + 60.0);
    QCOMPARE(t.lblVarco.top, 1635 + 60.0);
    QCOMPARE(t.caption, QStringLiteral("Door 6"));
    QCOMPARE(t.lblImage.left, 3895.0);
    QCOMPARE(t.lblImage.width, 1925.0);
    QCOMPARE(t.lblImage.top, 1635 + 1575 / 2.0);
}

void TestTileLayout::commandColumnAndImage2()
{
    MainLayoutControls c = MainLayoutControls::design();
    c.iCmd[1].width = 600; // the microphone follows the configuration button's width
    QVERIFY(TileLayout::layOut(c, 9000, 7000, firstN(1), names()));
    QCOMPARE(c.iCmd[0].left, 9000 - 525 - 500.0);
    QCOMPARE(c.iCmd[1].left, 9000 - 600 - 500.0);
    QCOMPARE(c.iCmd[2].left, 9000 - 600 - 470.0);
    QCOMPARE(c.iCmd[0].top, 75.0); // only left edges change
    QCOMPARE(c.image2.left, c.iCmd[0].left);
    QCOMPARE(c.image2.top, 7000 - 2 * 720.0);
}

void TestTileLayout::tinyWindowStopsAfterVisibility()
{
    MainLayoutControls c = MainLayoutControls::design();
    const MainLayoutControls before = c;
    QVERIFY(!TileLayout::layOut(c, 1200, 600, firstN(4), names()));
    for (int i = 0; i < 4; ++i) {
        QVERIFY(c.tiles[i].visible);
        QCOMPARE(c.tiles[i].imgCam, before.tiles[i].imgCam);
        QCOMPARE(c.tiles[i].cmdLock, before.tiles[i].cmdLock);
        QCOMPARE(c.tiles[i].caption, before.tiles[i].caption);
    }
    QCOMPARE(c.iCmd[0].left, 1200 - 525 - 500.0); // the column is always up to date
    QCOMPARE(c.image2, before.image2);

    // Wide enough but too low is refused as well.
    MainLayoutControls d = MainLayoutControls::design();
    QVERIFY(!TileLayout::layOut(d, 9000, 650, firstN(1), names()));
    QCOMPARE(d.tiles[0].imgCam, before.tiles[0].imgCam);
    // Exactly the margins: zero-sized tiles are still a layout.
    MainLayoutControls e = MainLayoutControls::design();
    QVERIFY(TileLayout::layOut(e, 1300, 700, firstN(1), names()));
    QCOMPARE(e.tiles[0].imgCam.width, 0.0);
}

void TestTileLayout::noActiveStationKeepsTiles()
{
    MainLayoutControls c = MainLayoutControls::design();
    const MainLayoutControls before = c;
    QVERIFY(TileLayout::layOut(c, 9000, 7000, Active{}, names()));
    for (int i = 0; i < 16; ++i) {
        QVERIFY(!c.tiles[i].visible);
        QCOMPARE(c.tiles[i].imgCam, before.tiles[i].imgCam);
    }
}

void TestTileLayout::changedActiveSetUpdatesVisibility()
{
    MainLayoutControls c = MainLayoutControls::design();
    QVERIFY(TileLayout::layOut(c, 9000, 7000, firstN(9), names()));
    QCOMPARE(c.tiles[8].imgCam.width, (9000 - 1300) / 3.0);
    QVERIFY(TileLayout::layOut(c, 9000, 7000, firstN(4), names()));
    for (int i = 0; i < 16; ++i)
        QCOMPARE(c.tiles[i].visible, i < 4);
    QCOMPARE(c.tiles[3].imgCam, (TwipRect{3850 + 60, 3150 + 60, 3850, 3150}));
    // Tiles 4..8 keep the 3 x 3 places of the earlier pass.
    QCOMPARE(c.tiles[8].imgCam.width, (9000 - 1300) / 3.0);
}

QTEST_GUILESS_MAIN(TestTileLayout)
#include "test_tilelayout.moc"

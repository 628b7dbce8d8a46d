// The tile layout: grid rule, edge arithmetic, furniture, command column, small windows.

#include "TileLayout.h"

#include <QtTest>

#include <numeric>

using namespace Qt::StringLiterals;

namespace {

using Active = std::array<bool, MainLayoutControls::kStations>;
using Places = QMap<int, TwipRect>; // tile -> imgCam

Active activeSet(const QList<int>& stations)
{
    Active a{};
    for (int s : stations)
        a[s] = true;
    return a;
}

Active firstN(int n)
{
    Active a{};
    std::fill_n(a.begin(), n, true);
    return a;
}

std::array<QString, MainLayoutControls::kStations> names()
{
    std::array<QString, MainLayoutControls::kStations> d;
    for (int i = 0; i < MainLayoutControls::kStations; ++i)
        d[i] = u"Door %1"_s.arg(i);
    return d;
}

} // namespace

class TestTileLayout : public QObject
{
    Q_OBJECT
private slots:
    void gridRule()
    {
        const int expected[17][2] = {{0, 0}, {1, 1}, {2, 1}, {2, 2}, {2, 2}, {3, 2}, {3, 2}, {3, 3}, {3, 3},
                                     {3, 3}, {4, 3}, {4, 3}, {4, 3}, {4, 4}, {4, 4}, {4, 4}, {4, 4}};
        for (int n = 0; n <= 16; ++n) {
            const TileLayout::Grid g = TileLayout::gridFor(n);
            QCOMPARE((QList<int>{n, g.columns, g.rows}), (QList<int>{n, expected[n][0], expected[n][1]}));
        }
    }

    void examples_data()
    {
        QTest::addColumn<QSizeF>("outer");
        QTest::addColumn<QList<int>>("active");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<Places>("places"); // imgCam of these tiles after the pass

        const TwipRect design5 = MainLayoutControls::design().tiles[5].imgCam;
        Places sixteen;
        const double lefts[] = {75, 1985, 3895, 5805};
        const double tops[] = {75, 1635, 3195, 4770}; // row 3 at 3H + 45
        for (int k = 0; k < 16; ++k)
            sixteen.insert(k, TwipRect{lefts[k % 4], tops[k / 4], 1925, 1575});
        QList<int> all(16);
        std::iota(all.begin(), all.end(), 0);
        QTest::newRow("16 stations at 9000 x 7000") << QSizeF(9000, 7000) << all << true << sixteen;
        const double w2 = (9000 - 1300) / 2.0;
        QTest::newRow("two side by side") << QSizeF(9000, 7000) << QList<int>{0, 1} << true
                                          << Places{{0, {75, 75, w2, 6300}}, {1, {w2 + 60, 75, w2, 6300}}};
        // The fourth cell is sized and placed, but stays hidden.
        const double w3 = (10000 - 1300) / 2.0;
        const double h3 = (8000 - 700) / 2.0;
        QTest::newRow("three use 2 x 2") << QSizeF(10000, 8000) << QList<int>{0, 1, 2} << true
                                         << Places{{2, {75, h3 + 60, w3, h3}}, {3, {w3 + 60, h3 + 60, w3, h3}}};
        // Cells go by index: tiles 0 and 1 are laid out, tile 5 stays as designed.
        QTest::newRow("stations 0 and 5")
            << QSizeF(9000, 7000) << QList<int>{0, 5} << true
            << Places{{0, {75, 75, 3850, 6300}}, {1, {3910, 75, 3850, 6300}}, {5, design5}};
        QTest::newRow("exactly the margins")
            << QSizeF(1300, 700) << QList<int>{0} << true << Places{{0, {75, 75, 0, 0}}};
        // Too small: visibility changes, the tiles keep their places.
        Places designed;
        for (int k = 0; k < 16; ++k)
            designed.insert(k, MainLayoutControls::design().tiles[k].imgCam);
        const TwipRect design0 = designed[0];
        QTest::newRow("tiny") << QSizeF(1200, 600) << QList<int>{0, 1, 2, 3} << false << designed;
        QTest::newRow("wide enough but too low") << QSizeF(9000, 650) << QList<int>{0} << false << Places{{0, design0}};
        QTest::newRow("no station active") << QSizeF(9000, 7000) << QList<int>{} << true << designed;
    }

    void examples()
    {
        QFETCH(QSizeF, outer);
        QFETCH(QList<int>, active);
        QFETCH(bool, complete);
        QFETCH(Places, places);
        MainLayoutControls c = MainLayoutControls::design();
        const MainLayoutControls before = c;
        QCOMPARE(TileLayout::layOut(c, outer.width(), outer.height(), activeSet(active), names()), complete);
        for (auto it = places.cbegin(); it != places.cend(); ++it)
            QVERIFY2(c.tiles[it.key()].imgCam == it.value(), qPrintable(u"tile %1"_s.arg(it.key())));
        for (int i = 0; i < 16; ++i) {
            QCOMPARE(c.tiles[i].visible, active.contains(i));
            if (!complete)
                QVERIFY(c.tiles[i].cmdLock == before.tiles[i].cmdLock && c.tiles[i].caption == before.tiles[i].caption);
        }
        QCOMPARE(c.iCmd[0].left, outer.width() - 525 - 500.0); // the command column is always up to date
    }

    void furnitureFollowsTile()
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
        QCOMPARE(t.caption, u"Door 6"_s);
        QCOMPARE((QList<double>{t.lblImage.left, t.lblImage.width, t.lblImage.top}),
                 (QList<double>{3895, 1925, 1635 + 1575 / 2.0}));
    }

    void commandColumnAndImage2()
    {
        MainLayoutControls c = MainLayoutControls::design();
        const MainLayoutControls before = c;
        c.iCmd[1].width = 600; // the microphone follows the configuration button's width
        QVERIFY(TileLayout::layOut(c, 9000, 7000, firstN(1), names()));
        QCOMPARE(c.iCmd[0].left, 9000 - 525 - 500.0);
        QCOMPARE(c.iCmd[1].left, 9000 - 600 - 500.0);
        QCOMPARE(c.iCmd[2].left, 9000 - 600 - 470.0);
        QCOMPARE(c.iCmd[0].top, 75.0); // only left edges change
        QCOMPARE(c.image2.left, c.iCmd[0].left);
        QCOMPARE(c.image2.top, 7000 - 2 * 720.0);
        // A window too small for the tiles leaves Image2 where it was.
        c = before;
        QVERIFY(!TileLayout::layOut(c, 1200, 600, firstN(1), names()));
        QCOMPARE(c.image2, before.image2);
    }

    void changedActiveSetUpdatesVisibility()
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
};

QTEST_GUILESS_MAIN(TestTileLayout)
#include "test_tilelayout.moc"

// The tile layout: grid rule, edge arithmetic, furniture, command column, small windows.

#include "TileLayout.h"

#include <QtTest>

#include <numeric>

using namespace Qt::StringLiterals;

namespace {

using Places = QMap<int, TwipRect>; // tile -> pictureView

QList<int> firstN(int n)
{
    QList<int> list(n);
    std::iota(list.begin(), list.end(), 0);
    return list;
}

bool layOut(MainLayoutControls& c, double width, double height, const QList<int>& active)
{
    std::array<bool, MainLayoutControls::kStations> on{};
    std::array<QString, MainLayoutControls::kStations> names;
    for (int i = 0; i < MainLayoutControls::kStations; ++i) {
        on[i] = active.contains(i);
        names[i] = u"Door %1"_s.arg(i);
    }
    return TileLayout::layOut(c, width, height, on, names);
}

} // namespace

class TestTileLayout : public QObject
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

    void examples_data()
    {
        QTest::addColumn<QSizeF>("outer");
        QTest::addColumn<QList<int>>("active");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<Places>("places"); // pictureView of these tiles after the pass

        Places sixteen, designed;
        const double lefts[] = {75, 1985, 3895, 5805};
        const double tops[] = {75, 1635, 3195, 4770}; // row 3 at 3H + 45
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

    void examples()
    {
        QFETCH(QSizeF, outer);
        QFETCH(QList<int>, active);
        QFETCH(bool, complete);
        QFETCH(Places, places);
        MainLayoutControls c = MainLayoutControls::design();
        const MainLayoutControls before = c;
        QCOMPARE(layOut(c, outer.width(), outer.height(), active), complete);
        for (auto it = places.cbegin(); it != places.cend(); ++it)
            QVERIFY2(c.tiles[it.key()].pictureView == it.value(), qPrintable(u"tile %1"_s.arg(it.key())));
        // Visibility follows the active set; too small, the tiles and the logo keep their places.
        for (int i = 0; i < 16; ++i) {
            QCOMPARE(c.tiles[i].visible, active.contains(i));
            QVERIFY(complete || c.tiles[i].lockButton == before.tiles[i].lockButton);
        }
        QVERIFY(complete || c.logo == before.logo);
        QCOMPARE(c.commandButtons[0].left, outer.width() - 525 - 500.0); // the command column is always up to date
    }

    void furnitureAndCommandColumn()
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
};

QTEST_GUILESS_MAIN(TestTileLayout)
#include "test_tilelayout.moc"

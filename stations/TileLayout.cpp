#include "TileLayout.h"

#include <algorithm>

MainLayoutControls MainLayoutControls::design()
{
    MainLayoutControls c;
    for (int i = 0; i < kStations; ++i) {
        TileControls& t = c.tiles[i];
        if (i < 9) {
            const double lefts[] = {75, 2400, 4725};
            const double tops[] = {75, 1875, 3675};
            t.pictureView = {lefts[i % 3], tops[i / 3], 2265, 1740};
        } else {
            t.pictureView = {150 + (i - 9) * 1350.0, 5475, 1290, 990};
        }
        t.captionLabel = {t.pictureView.left + 60, t.pictureView.top + 60, 555, 195};
        t.noImageLabel = {t.pictureView.left, t.pictureView.top + t.pictureView.height / 2, 915, 540};
        t.telephoneButton = {t.pictureView.left + 30, t.pictureView.top + t.pictureView.height - 510, 480, 480};
        t.lockButton = {t.pictureView.left + t.pictureView.width - 990, t.telephoneButton.top, 480, 480};
        t.lightButton = {t.lockButton.left + 480, t.telephoneButton.top, 480, 480};
        t.caption = QStringLiteral("Varco %1").arg(i < 9 ? i + 1 : 1);
    }
    c.commandButtons[0] = {8925, 75, 525, 525};
    c.commandButtons[1] = {8925, 675, 525, 525};
    c.commandButtons[2] = {9000, 1725, 480, 480};
    // Below the microphone's place, which stays free while no call runs.
    c.commandButtons[3] = {8925, 2280, 525, 525};
    c.logo = {8925, 7000, 720, 720};
    return c;
}

namespace TileLayout {

Grid gridFor(int n)
{
    if (n <= 0)
        return {0, 0};
    if (n == 1)
        return {1, 1};
    if (n == 2)
        return {2, 1};
    if (n <= 4)
        return {2, 2};
    if (n <= 6)
        return {3, 2};
    if (n <= 9)
        return {3, 3};
    if (n <= 12)
        return {4, 3};
    return {4, 4};
}

OuterSize minimumOuterSize(int activeCount, const MainLayoutControls& c)
{
    const TileControls& t = c.tiles[0];
    // A tile's buttons stand 30 inside its left and right edges with room between them; above them the caption.
    const double tileWidth = 30 + t.telephoneButton.width + 60 + t.lockButton.width + t.lightButton.width + 30;
    const double tileHeight = 60 + t.captionLabel.height + 60 + t.lockButton.height + 30;
    // The command column down to the history button, and the logo two of its heights above the bottom.
    double columnBottom = 0;
    for (const TwipRect& b : c.commandButtons)
        columnBottom = std::max(columnBottom, b.top + b.height);
    const double columnHeight = columnBottom + 75 + 2 * c.logo.height;
    const Grid grid = gridFor(activeCount);
    return {std::max(grid.columns, 1) * tileWidth + 1300,
            std::max(std::max(grid.rows, 1) * tileHeight + 700, columnHeight)};
}

namespace {

// Neighbouring tiles overlap by 15 twips; the fourth row steps by a whole H.
double columnLeft(int column, double w, double firstLeft)
{
    switch (column) {
    case 0:
        return firstLeft;
    case 1:
        return w + 60;
    case 2:
        return 2 * w + 45;
    default:
        return 3 * w + 30;
    }
}

double rowTop(int row, double h, double firstTop)
{
    switch (row) {
    case 0:
        return firstTop;
    case 1:
        return h + 60;
    case 2:
        return 2 * h + 45;
    default:
        return 3 * h + 45;
    }
}

void placeFurniture(TileControls& t)
{
    const TwipRect& cam = t.pictureView;
    t.lockButton.top = cam.top + cam.height - t.lockButton.height - 30;
    t.lockButton.left = cam.left + cam.width - 2 * t.lockButton.width - 30;
    t.lightButton.top = t.lockButton.top;
    t.lightButton.left = t.lockButton.left + t.lockButton.width;
    t.telephoneButton.left = cam.left + 30;
    t.telephoneButton.top = t.lockButton.top;
    t.captionLabel.left = cam.left + 60;
    t.captionLabel.top = cam.top + 60;
    t.noImageLabel.left = cam.left;
    t.noImageLabel.width = cam.width;
    t.noImageLabel.top = cam.top + cam.height / 2;
}

} // namespace

bool layOut(MainLayoutControls& c, double fw, double fh, const std::array<bool, MainLayoutControls::kStations>& active,
            const std::array<QString, MainLayoutControls::kStations>& descriptions)
{
    int n = 0;
    for (int i = 0; i < MainLayoutControls::kStations; ++i) {
        c.tiles[i].visible = active[i];
        if (active[i])
            ++n;
    }

    c.commandButtons[0].left = fw - c.commandButtons[0].width - 500;
    c.commandButtons[1].left = fw - c.commandButtons[1].width - 500;
    // The microphone is aligned on the configuration button's width, not its own.
    c.commandButtons[2].left = fw - c.commandButtons[1].width - 470;
    c.commandButtons[3].left = fw - c.commandButtons[3].width - 500;

    const Grid grid = gridFor(n);
    if (grid.columns > 0) {
        const double w = (fw - 1300) / grid.columns;
        const double h = (fh - 700) / grid.rows;
        // A control refuses a negative size: the pass ends here.
        if (w < 0 || h < 0)
            return false;
        const double firstLeft = c.tiles[0].pictureView.left;
        const double firstTop = c.tiles[0].pictureView.top;
        for (int k = 0; k < grid.columns * grid.rows; ++k) {
            TwipRect& cam = c.tiles[k].pictureView;
            cam.width = w;
            cam.height = h;
            cam.left = columnLeft(k % grid.columns, w, firstLeft);
            cam.top = rowTop(k / grid.columns, h, firstTop);
        }
    }

    for (int i = 0; i < MainLayoutControls::kStations; ++i) {
        placeFurniture(c.tiles[i]);
        c.tiles[i].caption = descriptions[i];
    }
    c.logo.left = c.commandButtons[0].left;
    c.logo.top = fh - 2 * c.logo.height;
    return true;
}

} // namespace TileLayout

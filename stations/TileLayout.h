#pragma once

#include "ConfigRecord.h"

#include <QString>

#include <array>

/// A control's rectangle in twips.
struct TwipRect
{
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;

    friend bool operator==(const TwipRect&, const TwipRect&) = default;
};

/// The controls of one station tile, as the layout sees them.
struct TileControls
{
    TwipRect pictureView;
    TwipRect captionLabel;
    TwipRect noImageLabel;
    TwipRect telephoneButton;
    TwipRect lockButton;
    TwipRect lightButton;
    bool visible = false;
    QString caption; ///< captionLabel's text
};

/// Every control the layout moves. Positions persist between passes: a tile
/// outside the current grid keeps where an earlier pass or the design put it.
struct MainLayoutControls
{
    static constexpr int kStations = ConfigRecord::kStations;

    std::array<TileControls, kStations> tiles;
    std::array<TwipRect, 4> commandButtons; ///< about, settings, microphone, history
    TwipRect logo;

    /// The main window's controls as designed.
    static MainLayoutControls design();
};

/// The tile layout of the main window: a pure function of the window's outer
/// size, the stations' active flags and descriptions, and the controls' sizes.
namespace TileLayout {

/// Grid columns and rows for n active stations (0 for none).
struct Grid
{
    int columns = 0;
    int rows = 0;
};
Grid gridFor(int activeCount);

/// Outer width and height in twips.
struct OuterSize
{
    double width = 0;
    double height = 0;
};
/// The smallest outer size at which every tile of activeCount stations keeps its telephone, lock and light
/// buttons whole, side by side inside its picture and clear of the caption, and the command column whole.
OuterSize minimumOuterSize(int activeCount, const MainLayoutControls& controls);

/// One layout pass over controls. Returns false when the window is too small
/// for the margins: visibility and the command column are then up to date,
/// the tiles keep their previous places.
bool layOut(MainLayoutControls& controls, double outerWidthTwips, double outerHeightTwips,
            const std::array<bool, MainLayoutControls::kStations>& active,
            const std::array<QString, MainLayoutControls::kStations>& descriptions);

} // namespace TileLayout

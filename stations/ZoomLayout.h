#pragma once

#include "TileLayout.h"

/// The zoom window's controls as its layout sees them (twips).
struct ZoomLayoutControls
{
    TwipRect pictureView;
    TwipRect telephoneButton;
    TwipRect lockButton;
    TwipRect lightButton;

    /// The controls as designed: pictureView 150,150 6315 x 4515; telephoneButton 225,4125;
    /// lockButton 5400,4050; lightButton 5925,4125; buttons 480 x 480.
    static ZoomLayoutControls design();

    friend bool operator==(const ZoomLayoutControls&, const ZoomLayoutControls&) = default;
};

/// The zoom window's layout: a pure function of its outer size.
namespace ZoomLayout {

/// Design client size of the window, twips.
constexpr double kDesignClientWidthTwips = 6615;
constexpr double kDesignClientHeightTwips = 4800;

/// One layout pass for the outer size FW x FH (twips): the picture fills the
/// window less its margins, the buttons sit on a line 1300 twips above the
/// bottom edge, lock and light at the picture's right end. A negative picture
/// width or height (a minimised or tiny window) stops the pass at that step:
/// what was set before stays, the rest keeps its earlier values, and false is
/// returned.
bool layOut(ZoomLayoutControls& controls, double outerWidthTwips, double outerHeightTwips);

/// The smallest outer size at which the telephone, lock and light buttons stand whole side by side inside the
/// picture.
TileLayout::OuterSize minimumOuterSize(const ZoomLayoutControls& controls);

} // namespace ZoomLayout

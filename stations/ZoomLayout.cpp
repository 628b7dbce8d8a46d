#include "ZoomLayout.h"

ZoomLayoutControls ZoomLayoutControls::design()
{
    ZoomLayoutControls c;
    c.pictureView = {150, 150, 6315, 4515};
    c.telephoneButton = {225, 4125, 480, 480};
    c.lockButton = {5400, 4050, 480, 480};
    c.lightButton = {5925, 4125, 480, 480};
    return c;
}

namespace ZoomLayout {

bool layOut(ZoomLayoutControls& c, double fw, double fh)
{
    // A control refuses a negative size: the pass ends at the first one.
    const double width = fw - 560;
    if (width < 0)
        return false;
    c.pictureView.width = width;
    const double height = fh - 900;
    if (height < 0)
        return false;
    c.pictureView.height = height;

    c.telephoneButton.top = fh - 1300;
    c.lockButton.top = c.telephoneButton.top;
    c.lockButton.left = c.pictureView.left + c.pictureView.width - 2 * c.lockButton.width - 30;
    c.lightButton.top = c.telephoneButton.top;
    c.lightButton.left = c.lockButton.left + c.lockButton.width;
    return true;
}

TileLayout::OuterSize minimumOuterSize(const ZoomLayoutControls& c)
{
    // The picture is the window less 560 wide and 900 high; lock and light end 30 inside its right edge, the
    // telephone stands at its place on the left, and the buttons' line is 1300 above the bottom.
    const double rightOfTelephone = c.telephoneButton.left + c.telephoneButton.width + 60;
    const double width =
        rightOfTelephone + c.lockButton.width + c.lightButton.width + 30 - c.pictureView.left + 560;
    const double height = c.pictureView.top + 60 + 1300;
    return {width, height};
}

} // namespace ZoomLayout

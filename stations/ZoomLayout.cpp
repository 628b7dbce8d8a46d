#include "ZoomLayout.h"

ZoomLayoutControls ZoomLayoutControls::design()
{
    ZoomLayoutControls c;
    c.imgCam = {150, 150, 6315, 4515};
    c.cmdTel = {225, 4125, 480, 480};
    c.cmdLock = {5400, 4050, 480, 480};
    c.cmdLight = {5925, 4125, 480, 480};
    return c;
}

namespace ZoomLayout {

bool layOut(ZoomLayoutControls& c, double fw, double fh)
{
    // A control refuses a negative size: the pass ends at the first one.
    const double width = fw - 560;
    if (width < 0)
        return false;
    c.imgCam.width = width;
    const double height = fh - 900;
    if (height < 0)
        return false;
    c.imgCam.height = height;

    c.cmdTel.top = fh - 1300;
    c.cmdLock.top = c.cmdTel.top;
    c.cmdLock.left = c.imgCam.left + c.imgCam.width - 2 * c.cmdLock.width - 30;
    c.cmdLight.top = c.cmdTel.top;
    c.cmdLight.left = c.cmdLock.left + c.cmdLock.width;
    return true;
}

} // namespace ZoomLayout

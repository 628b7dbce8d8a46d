#include "Twips.h"

#include <cmath>

namespace Twips {

int toPx(double twips)
{
    return static_cast<int>(std::lround(twips / kPerPixel));
}

double fromPx(int px)
{
    return px * kPerPixel;
}

QSize toPx(double widthTwips, double heightTwips)
{
    return {toPx(widthTwips), toPx(heightTwips)};
}

QRect toPx(double leftTwips, double topTwips, double widthTwips, double heightTwips)
{
    return {toPx(leftTwips), toPx(topTwips), toPx(widthTwips), toPx(heightTwips)};
}

} // namespace Twips

#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

/// The one place where design units (twips) become device-independent pixels.
/// 15 twips are one pixel at 96 dpi; Qt's high-DPI scaling maps those pixels
/// to the screen.
namespace Twips {

constexpr double kPerPixel = 15.0;

int toPx(double twips);
double fromPx(int px);
QSize toPx(double widthTwips, double heightTwips);
QRect toPx(double leftTwips, double topTwips, double widthTwips, double heightTwips);

} // namespace Twips

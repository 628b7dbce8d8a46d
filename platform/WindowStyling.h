#pragma once

class QWidget;

/// Always-on-top band and translucency of top-level windows.
namespace WindowStyling {

/// Moves window into (true) or out of the always-on-top band, keeping its
/// position, size and visibility.
void setTopmost(QWidget* window, bool onTop);

/// Draws window with opacity alpha/255 (0..255). Without a compositor the
/// window system ignores it; nothing else changes.
void setTransparency(QWidget* window, int alpha);

} // namespace WindowStyling

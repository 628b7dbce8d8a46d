#include "WindowStyling.h"

#include <QWidget>

#include <algorithm>

namespace WindowStyling {

void setTopmost(QWidget* window, bool onTop)
{
    if (!window || window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop)
        return;
    // Changing a window flag re-creates the native window and hides it.
    const bool wasVisible = window->isVisible();
    const QRect geometry = window->geometry();
    const Qt::WindowStates states = window->windowState();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (wasVisible) {
        window->setGeometry(geometry);
        window->setWindowState(states);
        window->show();
    }
}

void setTransparency(QWidget* window, int alpha)
{
    if (window)
        window->setWindowOpacity(std::clamp(alpha, 0, 255) / 255.0);
}

} // namespace WindowStyling

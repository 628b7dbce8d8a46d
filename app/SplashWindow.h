#pragma once

#include <QWidget>

/// Borderless start-up window with "Initialization...", centred, not in the
/// task bar. It has no behaviour of its own.
class SplashWindow : public QWidget
{
    Q_OBJECT
public:
    explicit SplashWindow(QWidget* parent = nullptr);

    /// Shows the window centred on the primary screen and paints it at once.
    void showCentred();
};

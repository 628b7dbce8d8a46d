#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include <functional>

class Scheduler;
class TrayIcon;
struct ConsoleState;

/// What the tray logic asks of the main window.
class TrayWindowPort
{
public:
    virtual ~TrayWindowPort() = default;

    /// Back to the normal state; runs the resize handling and so the layout.
    virtual void setNormalState() = 0;
    /// Minimises; the window's resize handling then calls minimizeToTray().
    virtual void setMinimizedState() = 0;
    virtual void hideWindow() = 0;
    virtual void showWindow() = 0;
    virtual void setTopmost(bool onTop) = 0;
    virtual void setTransparency(int alpha) = 0;
    /// Closes the zoom window if one is open and forgets the zoomed station.
    virtual void closeZoomWindow() = 0;
};

/// The console's life in the notification area: minimise to the tray, restore
/// by the icon, come back for a call, fade back when the call is over.
class TrayController : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFadeStepMs = 4; ///< 128 steps: about half a second
    static inline const QString kTip = QStringLiteral(" QZ Video Console ");

    TrayController(ConsoleState& state, TrayIcon& tray, TrayWindowPort& window, Scheduler& scheduler, QIcon icon,
                   QObject* parent = nullptr);

    /// The minimise handling: when minimised and not yet in the tray, hides the
    /// window behind its tray icon and closes the zoom window. Where the desktop
    /// has no tray the window stays minimised in the task bar (hiding it would
    /// lose it) and false is returned.
    bool minimizeToTray();

    /// Restores the window from the tray: normal state (laid out), shown, icon removed.
    void SysTrayMouseEventHandler();

    /// When in the tray: marks RestoredForCall and restores the window.
    void bringBackForCall();

    /// Fades the window out (alpha 255, 253, ... 1), minimises it to the tray,
    /// makes it opaque again, then calls after. Ignored while a fade runs.
    /// Returns false when ignored.
    bool fadeBackToTray(std::function<void()> after = {});

    bool isFading() const { return m_fadeAlpha >= 0; }

private:
    void fadeStep();

    ConsoleState& m_state;
    TrayIcon& m_tray;
    TrayWindowPort& m_window;
    Scheduler& m_scheduler;
    QIcon m_icon;
    int m_fadeAlpha = -1;
    std::function<void()> m_afterFade;
};

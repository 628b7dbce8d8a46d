#include "TrayController.h"

#include "ConsoleState.h"
#include "Scheduler.h"
#include "TrayIcon.h"

TrayController::TrayController(ConsoleState& state, TrayIcon& tray, TrayWindowPort& window, Scheduler& scheduler,
                               QIcon icon, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_tray(tray)
    , m_window(window)
    , m_scheduler(scheduler)
    , m_icon(std::move(icon))
{
    connect(&m_tray, &TrayIcon::leftClicked, this, &TrayController::SysTrayMouseEventHandler);
    connect(&m_tray, &TrayIcon::openRequested, this, &TrayController::SysTrayMouseEventHandler);
}

bool TrayController::minimizeToTray()
{
    if (m_state.inTray != 0)
        return true;
    if (!m_tray.isAvailable())
        return false;
    m_window.setTopmost(false);
    m_tray.AddTrayIcon(m_icon, kTip);
    m_window.hideWindow();
    m_state.inTray = 1;
    if (m_state.zoomedStation >= 0)
        m_window.closeZoomWindow();
    return true;
}

void TrayController::SysTrayMouseEventHandler()
{
    m_window.setNormalState();
    m_window.showWindow();
    m_tray.RemoveTrayIcon();
    m_state.inTray = 0;
}

void TrayController::bringBackForCall()
{
    if (m_state.inTray == 0)
        return;
    m_state.RestoredForCall = 1;
    SysTrayMouseEventHandler();
}

bool TrayController::fadeBackToTray(std::function<void()> after)
{
    if (isFading())
        return false;
    m_state.RestoredForCall = 0;
    m_afterFade = std::move(after);
    m_fadeAlpha = 255;
    // Each step returns to the event loop first, so other handlers run in between.
    m_scheduler.singleShot(kFadeStepMs, this, [this]() { fadeStep(); });
    return true;
}

void TrayController::fadeStep()
{
    m_window.setTransparency(m_fadeAlpha);
    m_fadeAlpha -= 2;
    if (m_fadeAlpha >= 1) {
        m_scheduler.singleShot(kFadeStepMs, this, [this]() { fadeStep(); });
        return;
    }
    m_window.setMinimizedState();
    m_window.setTransparency(255);
    m_fadeAlpha = -1;
    if (auto after = std::move(m_afterFade)) {
        m_afterFade = nullptr;
        after();
    }
}

#include "MainWindowAdapter.h"

#include "ConsoleState.h"
#include "ImageButton.h"
#include "MainWindow.h"
#include "PictureView.h"
#include "Scheduler.h"
#include "TrayIcon.h"
#include "WindowStyling.h"
#include "ZoomController.h"
#include "ZoomWindow.h"

MainWindowAdapter::MainWindowAdapter(MainWindow& window, ZoomController& zoom, TrayIcon& tray, Scheduler& scheduler,
                                     ConsoleState& state, QIcon trayIcon, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_zoom(zoom)
    , m_tray(tray)
    , m_scheduler(scheduler)
    , m_state(state)
    , m_trayIcon(std::move(trayIcon))
{
    m_window.setMinimizeHandler([this]() { return minimizeToTray(); });
    connect(&m_tray, &TrayIcon::leftClicked, this, &MainWindowAdapter::restoreFromTray);
    connect(&m_tray, &TrayIcon::openRequested, this, &MainWindowAdapter::restoreFromTray);
}

void MainWindowAdapter::setStationPicture(int station, const QImage& picture)
{
    m_window.setStationPicture(station, picture);
}

void MainWindowAdapter::setCallMark(int station)
{
    const int before = std::exchange(m_callMark, station);
    updateMark(before);
    updateMark(station);
}

void MainWindowAdapter::setDoorCallMark(int station, bool calling)
{
    if (station < 0 || station >= ConfigRecord::kStations)
        return;
    m_doorCalls[std::size_t(station)] = calling;
    updateMark(station);
}

void MainWindowAdapter::updateMark(int station)
{
    if (station < 0 || station >= ConfigRecord::kStations)
        return;
    m_window.pictureView(station)->setMarked(station == m_callMark || m_doorCalls[std::size_t(station)]);
}

QSize MainWindowAdapter::stationPictureSize(int station) const
{
    return m_window.pictureView(station)->sizeInDevicePixels();
}

QImage MainWindowAdapter::stationPicture(int station) const
{
    return m_window.stationPicture(station);
}

void MainWindowAdapter::setNoImageShown(int station, bool shown)
{
    m_window.setNoImageShown(station, shown);
}

void MainWindowAdapter::setTelephoneImage(int station, const QString& key)
{
    m_window.setTelephoneImage(station, key);
    m_zoom.setTelephoneImage(station, key);
}

void MainWindowAdapter::setTopmost(bool onTop)
{
    WindowStyling::setTopmost(&m_window, onTop);
}

void MainWindowAdapter::setZoomTopmost(bool onTop)
{
    m_zoom.setTopmost(onTop);
}

void MainWindowAdapter::setMuteButtonVisible(bool visible)
{
    m_window.commandButton(CommandButton::Microphone)->setVisible(visible);
}

void MainWindowAdapter::setMuteLook(bool muted)
{
    m_muted = muted;
    m_window.setMuteLook(muted);
}

bool MainWindowAdapter::isMinimized() const
{
    return m_state.inTray != 0 || m_window.isMinimized();
}

bool MainWindowAdapter::isInTray() const
{
    return m_state.inTray != 0;
}

bool MainWindowAdapter::isRestoredForCall() const
{
    return m_state.restoredForCall != 0;
}

bool MainWindowAdapter::minimizeToTray()
{
    if (m_state.inTray != 0)
        return true;
    if (!m_tray.isAvailable())
        return false;
    setTopmost(false);
    m_tray.showIcon(m_trayIcon, trayTip());
    m_window.hide();
    m_state.inTray = 1;
    if (m_state.zoomedStation >= 0) {
        m_zoom.close();
        m_state.zoomedStation = -1;
    }
    return true;
}

void MainWindowAdapter::restoreFromTray()
{
    m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    m_window.layOut();
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
    m_tray.hideIcon();
    m_state.inTray = 0;
}

void MainWindowAdapter::setTelephonyUp(bool up)
{
    m_telephonyUp = up;
    if (m_tray.isShown())
        m_tray.setTip(trayTip());
}

void MainWindowAdapter::setMissedCalls(int count)
{
    m_missedCalls = count;
    if (m_tray.isShown())
        m_tray.setTip(trayTip());
}

QString MainWindowAdapter::trayTip() const
{
    QString tip = kTrayTip;
    if (!m_telephonyUp)
        tip += tr("- SIP engine not running ");
    if (m_missedCalls == 1)
        tip += tr("- 1 missed call ");
    else if (m_missedCalls > 1)
        tip += tr("- %1 missed calls ").arg(m_missedCalls);
    return tip;
}

void MainWindowAdapter::bringToFront()
{
    if (m_state.inTray != 0) {
        restoreFromTray();
        return;
    }
    m_window.setWindowState((m_window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
}

void MainWindowAdapter::bringBackForCall()
{
    if (m_state.inTray == 0)
        return;
    m_state.restoredForCall = 1;
    restoreFromTray();
}

void MainWindowAdapter::fadeBackToTray(std::function<void()> after)
{
    if (after)
        m_afterFade.push_back(std::move(after));
    if (isFading())
        return;
    m_state.restoredForCall = 0;
    m_fadeAlpha = 255;
    // Each step returns to the event loop first, so other handlers run in between.
    m_scheduler.singleShot(kFadeStepMs, this, [this]() { fadeStep(); });
}

void MainWindowAdapter::fadeStep()
{
    WindowStyling::setTransparency(&m_window, m_fadeAlpha);
    m_fadeAlpha -= 2;
    if (m_fadeAlpha >= 1) {
        m_scheduler.singleShot(kFadeStepMs, this, [this]() { fadeStep(); });
        return;
    }
    m_window.setWindowState(m_window.windowState() | Qt::WindowMinimized);
    // Some window systems report the change late or not at all for hidden windows.
    if (m_state.inTray == 0)
        minimizeToTray();
    WindowStyling::setTransparency(&m_window, 255);
    m_fadeAlpha = -1;
    // A continuation may start the next fade: run the ones of this fade only.
    for (auto& after : std::exchange(m_afterFade, {}))
        after();
}

#pragma once

#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "CountingLogger.h"
#include "EventLog.h"
#include "Scheduler.h"
#include "SettingsStore.h"

#include <QSize>
#include <QString>

#include <memory>

class MainWindow;
class MainWindowAdapter;
class SnapshotClient;
class SnapshotPoller;
class StationWiring;
class TrayIcon;
class ZoomController;

/// The console's snapshot path, built as the application wires it: the real
/// main window behind its adapter, the console's StationWiring (SnapshotClient,
/// SnapshotPoller driven by the window's snapshot timer at 500 ms and feeding
/// the zoom window, the call-notification sockets and their reopen every 120
/// passes, the relays). Only the SIP engine is left out.
class ConsoleRig
{
public:
    struct Settings
    {
        int stations = 16;
        /// Station k is at 127.0.0.(firstOctet + k).
        int firstOctet = 2;
        quint16 cameraPort = 8081;
        quint16 callPort = 6001;
        quint16 relayPort = 6000;
        /// The main window's size in pixels.
        QSize windowSize{1280, 800};
        /// Directory of the event log file qz.log.
        QString logDir;
    };

    explicit ConsoleRig(const Settings& settings);
    ~ConsoleRig();

    ConsoleRig(const ConsoleRig&) = delete;
    ConsoleRig& operator=(const ConsoleRig&) = delete;

    /// Shows the window, lays out the tiles, opens the call sockets and creates
    /// the HTTP client: the console at the end of start-up.
    void open();
    /// Gives the snapshot timer its 500 ms period, as the last step of start-up does.
    void startPolling();
    /// Stops the snapshot timer only: fetches under way still end and report.
    void stopPolling();
    /// Stops the snapshot timer and the poller, as shutdown does.
    void stop();

    MainWindow& window() { return *m_window; }
    SnapshotPoller& poller();
    SnapshotClient& client();
    const CountingLogger& log() const { return m_log; }
    const ConfigRecord& record() const { return m_record; }

private:
    Settings m_settings;
    ConfigRecord m_record;
    ConsoleState m_state;
    EventLog m_eventLog;
    CountingLogger m_log;
    QtScheduler m_scheduler;
    QtSettingsStore m_settingsStore;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<ZoomController> m_zoom;
    std::unique_ptr<TrayIcon> m_tray;
    std::unique_ptr<MainWindowAdapter> m_adapter;
    std::unique_ptr<StationWiring> m_stations;
};

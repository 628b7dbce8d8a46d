#pragma once

#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "StartupSequence.h"
#include "WindowPlacement.h"

#include <QObject>
#include <QString>

#include <memory>

class EventLog;
class HistoryWindow;
class HistoryWiring;
class InstanceLock;
class MainWindow;
class MainWindowAdapter;
class QtScheduler;
class RingPopup;
class SettingsStore;
class ShutdownSequence;
class SplashWindow;
class StationWiring;
class TelephonyWiring;
class TerminationSignals;
class TrayIcon;
class ZoomController;

/// Builds the console's services once and wires them to the windows: the
/// only place that knows which real implementation stands behind each
/// interface. One wiring object per subsystem (stations, telephony, history)
/// owns that subsystem's parts; every member goes in the reverse order of its
/// declaration.
class ConsoleApplication : public QObject, private StartupHost
{
    Q_OBJECT
public:
    explicit ConsoleApplication(const QString& programDir, QObject* parent = nullptr);
    ~ConsoleApplication() override;

    /// Starts the console; false when the program must end at once.
    bool start();

    /// Runs the shutdown once (window closed, "Esci", SIGTERM, session end):
    /// the windows go at once, the event loop ends once the engine has quit.
    void shutdown();
    /// True once the shutdown has run to its end (the engine is gone).
    bool isShutDown() const;

    /// Read access for the console's end-to-end tests and benchmarks.
    MainWindow* mainWindow() const { return m_mainWindow.get(); }
    MainWindowAdapter* window() const { return m_window.get(); }
    const ConsoleState& state() const { return m_state; }
    const ConfigRecord& record() const { return m_record; }
    bool isStarted() const { return m_startup->isFinished(); }
    RingPopup* ringPopup() const;
    ZoomController* zoom() const { return m_zoom.get(); }
    StationWiring& stations() const { return *m_stations; }
    TelephonyWiring& telephony() const { return *m_telephony; }
    HistoryWiring& history() const { return *m_history; }
    /// The history window while it is open.
    HistoryWindow* historyWindow() const;
    /// Opens the history window (or brings it forward); the missed calls count from zero again.
    void openHistory();
    /// This desk's name: the setting deskName, or the computer's host name.
    QString deskName() const;

    /// The per-user setting naming this desk, beside the window placement keys.
    static inline const QString kDeskNameKey = QStringLiteral("deskName");

private:
    // StartupHost
    void showSplash() override;
    void showEngineMissing(const QString& program) override;
    void showStartupError(const QString& text) override;
    void openCallSockets() override;
    void createHttpClient() override;
    void fetchFirstPicture(const QString& url, std::function<void()> done) override;
    void startSnapshotTimer() override;
    void applyPlacement(const WindowPlacement& placement) override;
    void startupFinished(bool engineUp) override;

    void wireStations();
    void wireTelephony();
    void wireShutdown();
    void wireHistory();
    void closeSplash();
    void openAboutBox();
    void openConfigDialog();

    QString m_programDir;
    ConfigRecord m_record;
    ConsoleState m_state;
    WindowPlacement m_placement;
    std::unique_ptr<EventLog> m_log;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<QtScheduler> m_scheduler;
    std::unique_ptr<InstanceLock> m_instanceLock;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::unique_ptr<TrayIcon> m_trayIcon;
    std::unique_ptr<ZoomController> m_zoom;
    std::unique_ptr<MainWindowAdapter> m_window;
    std::unique_ptr<StationWiring> m_stations;
    std::unique_ptr<TelephonyWiring> m_telephony;
    std::unique_ptr<HistoryWiring> m_history;
    std::unique_ptr<SplashWindow> m_splash;
    std::unique_ptr<StartupSequence> m_startup;
    std::unique_ptr<ShutdownSequence> m_shutdown;
    std::unique_ptr<TerminationSignals> m_signals;
};

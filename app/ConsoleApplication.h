#pragma once

#include "CallView.h"
#include "CallWindowPort.h"
#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "ShutdownSequence.h"
#include "StartupSequence.h"
#include "TrayController.h"

#include <QObject>
#include <QString>

#include <memory>

class CallControl;
class CallNotifications;
class CallStatusMonitor;
class IncomingCallAlert;
class RingPlayer;
class RingPopup;
class RingTone;
class CallSockets;
class RelayCommander;
class SnapshotPoller;
class ZoomController;
class ChildProcessRunner;
class EventLog;
class InstanceLock;
class LinphoneEngine;
class MainWindow;
class QtScheduler;
class SettingsStore;
class ShellRunner;
class SnapshotClient;
class SplashWindow;
class TerminationSignals;
class TrayIcon;

/// Builds the console's services once and wires them to the windows. The
/// only place that knows which real implementation stands behind each
/// interface.
class ConsoleApplication : public QObject,
                           public StartupHost,
                           private TrayWindowPort,
                           private ShutdownHost,
                           private CallWindowPort,
                           private CallView
{
    Q_OBJECT
public:
    explicit ConsoleApplication(const QString& programDir, QObject* parent = nullptr);
    ~ConsoleApplication() override;

    /// Starts the console; false when the program must end at once.
    bool start();

    MainWindow* mainWindow() const { return m_mainWindow.get(); }
    /// Read access for the console's end-to-end tests and benchmarks.
    const ConsoleState& state() const { return m_state; }
    const ConfigRecord& record() const { return m_record; }
    bool isStarted() const { return m_startup->isFinished(); }
    RingPopup* ringPopup() const;
    TrayController* tray() const { return m_tray; }
    ZoomController* zoom() const { return m_zoom; }
    LinphoneEngine* engine() const { return m_engine.get(); }

    /// Runs the shutdown once (window closed, "Esci", SIGTERM, session end),
    /// then ends the event loop.
    void shutdown();

    // StartupHost
    void showOsVersionError() override;
    void showSplash() override;
    void showStartupError(const QString& text) override;
    void openCallSockets() override;
    void createHttpClient() override;
    void fetchFirstPicture(const QString& url, std::function<void()> done) override;
    void startSnapshotTimer() override;
    void applyPlacement(const WindowPlacement& placement) override;
    void startupFinished() override;

private:
    void closeSplash();
    void openAboutBox();
    void openConfigDialog();

    // TrayWindowPort
    void setNormalState() override;
    void setMinimizedState() override;
    void hideWindow() override;
    void showWindow() override;
    void setTopmost(bool onTop) override;
    void setTransparency(int alpha) override;
    void closeZoomWindow() override;

    // ShutdownHost
    void stopSnapshotTimer() override;
    void processPendingEvents() override;
    int windowState() const override;
    void windowFrameTwips(double* left, double* top, double* width, double* height) const override;
    void closeOtherWindows() override;

    // CallWindowPort
    bool isMinimized() const override;
    bool isInTray() const override;
    bool isRestoredForCall() const override;
    void bringBackForCall() override;
    void fadeBackToTray(std::function<void()> after) override;

    // CallView (setTopmost, isRestoredForCall, bringBackForCall are shared with CallWindowPort)
    void setTelImage(int station, const QString& key) override;
    void setZoomTelImage(const QString& key) override;
    int zoomedStation() const override;
    void setZoomTopmost(bool onTop) override;
    void setMuteButtonVisible(bool visible) override;
    void setMuteLook(bool muted) override;
    bool muteLook() const override;
    bool startFadeBackToTray(std::function<void()> after) override;

    void wireStations();
    void wireTelephony();

    QString m_programDir;
    ConfigRecord m_record;
    ConsoleState m_state;
    std::unique_ptr<EventLog> m_log;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<QtScheduler> m_scheduler;
    std::unique_ptr<ChildProcessRunner> m_processes;
    std::unique_ptr<ShellRunner> m_shell;
    std::unique_ptr<LinphoneEngine> m_engine;
    std::unique_ptr<InstanceLock> m_instanceLock;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::unique_ptr<SplashWindow> m_splash;
    CallSockets* m_callSockets = nullptr;
    SnapshotClient* m_snapshots = nullptr;
    std::unique_ptr<StartupSequence> m_startup;
    TrayIcon* m_trayIcon = nullptr;
    TrayController* m_tray = nullptr;
    TerminationSignals* m_signals = nullptr;
    std::unique_ptr<ShutdownSequence> m_shutdown;
    ZoomController* m_zoom = nullptr;
    RelayCommander* m_relays = nullptr;
    CallNotifications* m_calls = nullptr;
    SnapshotPoller* m_poller = nullptr;
    RingPlayer* m_ringPlayer = nullptr;
    RingTone* m_ringTone = nullptr;
    IncomingCallAlert* m_alert = nullptr;
    CallStatusMonitor* m_monitor = nullptr;
    CallControl* m_callControl = nullptr;
    bool m_muted = false;
    WindowPlacement m_placement;
};

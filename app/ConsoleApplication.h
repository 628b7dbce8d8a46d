#pragma once

#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "HistoryWindow.h"
#include "StartupSequence.h"
#include "WindowPlacement.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class CallControl;
class CallNotifications;
class CallSockets;
class CallStatusMonitor;
class ChildProcessRunner;
class EngineBringUp;
class EngineSupervisor;
class EventLog;
class HistoryArchive;
class HistoryRecorder;
class IncomingCallAlert;
class InstanceLock;
class LinphoneEngine;
class MainWindow;
class MainWindowAdapter;
class QtScheduler;
class RelayCommander;
class RingPlayer;
class RingPopup;
class RingTone;
class SettingsStore;
class ShellRunner;
class ShutdownSequence;
class SnapshotClient;
class SnapshotPoller;
class SplashWindow;
class TerminationSignals;
class TrayIcon;
class ZoomController;

/// Builds the console's services once and wires them to the windows. The
/// only place that knows which real implementation stands behind each
/// interface.
class ConsoleApplication : public QObject, private StartupHost
{
    Q_OBJECT
public:
    explicit ConsoleApplication(const QString& programDir, QObject* parent = nullptr);
    ~ConsoleApplication() override;

    /// Starts the console; false when the program must end at once.
    bool start();

    /// Runs the shutdown once (window closed, "Esci", SIGTERM, session end),
    /// then ends the event loop.
    void shutdown();

    /// Read access for the console's end-to-end tests and benchmarks.
    MainWindow* mainWindow() const { return m_mainWindow.get(); }
    MainWindowAdapter* window() const { return m_window; }
    const ConsoleState& state() const { return m_state; }
    const ConfigRecord& record() const { return m_record; }
    bool isStarted() const { return m_startup->isFinished(); }
    RingPopup* ringPopup() const;
    ZoomController* zoom() const { return m_zoom; }
    LinphoneEngine* engine() const { return m_engine.get(); }
    EngineSupervisor* supervisor() const { return m_supervisor; }
    HistoryArchive* history() const { return m_history; }
    HistoryRecorder* historyRecorder() const { return m_historyRecorder; }
    /// The history window while it is open.
    HistoryWindow* historyWindow() const { return m_historyWindow; }
    /// Opens the history window (or brings it forward); the missed calls count from zero again.
    void openHistory();

    /// Per-user settings of the history: days kept, megabytes at most, and
    /// when the operator last opened it (ms since the epoch).
    static inline const QString kHistoryDaysKey = QStringLiteral("historyDays");
    static inline const QString kHistoryMegabytesKey = QStringLiteral("historyMaxMB");
    static inline const QString kHistorySeenKey = QStringLiteral("historySeen");

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
    void openHistoryArchive();
    void markHistorySeen();
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
    std::unique_ptr<ChildProcessRunner> m_processes;
    std::unique_ptr<ShellRunner> m_shell;
    std::unique_ptr<LinphoneEngine> m_engine;
    std::unique_ptr<EngineBringUp> m_bringUp;
    std::unique_ptr<InstanceLock> m_instanceLock;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::unique_ptr<SplashWindow> m_splash;
    std::unique_ptr<StartupSequence> m_startup;
    std::unique_ptr<ShutdownSequence> m_shutdown;
    // Children of this object, deleted in the destructor before the services above.
    CallSockets* m_callSockets = nullptr;
    SnapshotClient* m_snapshots = nullptr;
    TrayIcon* m_trayIcon = nullptr;
    TerminationSignals* m_signals = nullptr;
    ZoomController* m_zoom = nullptr;
    MainWindowAdapter* m_window = nullptr;
    RelayCommander* m_relays = nullptr;
    CallNotifications* m_calls = nullptr;
    SnapshotPoller* m_poller = nullptr;
    RingPlayer* m_ringPlayer = nullptr;
    RingTone* m_ringTone = nullptr;
    IncomingCallAlert* m_alert = nullptr;
    CallStatusMonitor* m_monitor = nullptr;
    CallControl* m_callControl = nullptr;
    EngineSupervisor* m_supervisor = nullptr;
    HistoryArchive* m_history = nullptr;
    HistoryRecorder* m_historyRecorder = nullptr;
    QPointer<HistoryWindow> m_historyWindow;
};

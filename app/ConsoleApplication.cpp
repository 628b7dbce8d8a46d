#include "ConsoleApplication.h"

#include "AboutBox.h"
#include "Artwork.h"
#include "CallControl.h"
#include "CallNotifications.h"
#include "CallSockets.h"
#include "CallStatusMonitor.h"
#include "ChildProcessRunner.h"
#include "ConfigDialog.h"
#include "ConfigFile.h"
#include "EngineBringUp.h"
#include "EngineSupervisor.h"
#include "EventLog.h"
#include "HistoryArchive.h"
#include "HistoryRecorder.h"
#include "HistoryWindow.h"
#include "ImageButton.h"
#include "IncomingCallAlert.h"
#include "InstanceLock.h"
#include "LinphoneEngine.h"
#include "MainWindow.h"
#include "MainWindowAdapter.h"
#include "PictureView.h"
#include "RelayCommander.h"
#include "RingPopup.h"
#include "RingTone.h"
#include "Scheduler.h"
#include "SettingsStore.h"
#include "ShellRunner.h"
#include "ShutdownSequence.h"
#include "SnapshotClient.h"
#include "SnapshotPoller.h"
#include "SoundEffectRingPlayer.h"
#include "SplashWindow.h"
#include "TerminationSignals.h"
#include "TrayIcon.h"
#include "WindowStyling.h"
#include "ZoomController.h"
#include "ZoomWindow.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QMessageBox>
#include <QTimer>

namespace {

// The splash closes on the main window's first activation; a desktop that
// never activates the window must not leave it standing.
constexpr int kSplashFallbackMs = 2000;

} // namespace

ConsoleApplication::ConsoleApplication(const QString& programDir, QObject* parent)
    : QObject(parent)
    , m_programDir(programDir)
    , m_log(std::make_unique<EventLog>())
    , m_settings(std::make_unique<QtSettingsStore>())
    , m_scheduler(std::make_unique<QtScheduler>())
    , m_processes(std::make_unique<QtChildProcessRunner>())
    , m_shell(std::make_unique<ShellRunner>(*m_log, *m_processes))
    , m_engine(std::make_unique<LinphoneEngine>(*m_log))
    , m_bringUp(std::make_unique<EngineBringUp>(*m_engine, *m_shell, *m_log, *m_scheduler, m_record, programDir))
    , m_instanceLock(std::make_unique<InstanceLock>())
    , m_mainWindow(std::make_unique<MainWindow>(m_record, m_state))
{
    m_callSockets = new CallSockets(this);
    m_snapshots = new SnapshotClient(*m_log, this);
    m_trayIcon = new QtTrayIcon(this);
    m_zoom = new ZoomController(m_record, *m_settings, m_state.zoomedStation, this);
    m_window = new MainWindowAdapter(*m_mainWindow, *m_zoom, *m_trayIcon, *m_scheduler, m_state,
                                     Artwork::icon(QStringLiteral("app")), this);
    connect(m_mainWindow.get(), &MainWindow::firstActivated, this, &ConsoleApplication::closeSplash);
    connect(m_instanceLock.get(), &InstanceLock::activationRequested, this, [this]() {
        if (m_startup->isFinished() && m_state.exiting == 0)
            m_window->bringToFront();
    });

    StartupContext context{
        m_record,
        m_state,
        *m_log,
        *m_engine,
        *m_bringUp,
        *m_settings,
        m_programDir,
        [this]() {
            if (m_instanceLock->tryAcquire())
                return true;
            // The operator started the console again: bring the running one to the front.
            m_instanceLock->activateRunningInstance();
            return false;
        },
        // The scratch directory is the system's temporary directory (TMPDIR or /tmp).
        []() { QDir().mkpath(QDir::tempPath()); },
    };
    m_startup = std::make_unique<StartupSequence>(std::move(context), static_cast<StartupHost&>(*this));

    wireStations();
    wireTelephony();
    wireHistory();
    wireShutdown();
}

void ConsoleApplication::wireStations()
{
    MainWindow* w = m_mainWindow.get();
    m_relays = new RelayCommander(m_record, *m_log, *m_scheduler, RelayCommander::kPort, this);
    m_calls = new CallNotifications(m_record, *m_callSockets, *m_window, *m_log, *m_scheduler, this);
    m_poller = new SnapshotPoller(m_record, *m_snapshots, *m_window, *m_scheduler, *m_log, SnapshotClient::kPort, this);
    m_poller->setZoomFeed(m_zoom);
    m_poller->setSocketReopen([this](std::function<void()> done) { m_calls->reopenSockets(std::move(done)); });
    connect(w->snapshotTimer(), &QTimer::timeout, m_poller, &SnapshotPoller::tick);
    connect(w, &MainWindow::pictureClicked, this, [this, w](int i) {
        m_zoom->open(i, w->stationPicture(i), w->telephoneImage(i), m_state.callState == 3);
    });

    for (int i = 0; i < MainWindow::kStations; ++i) {
        connect(w->lockButton(i), &ImageButton::released, m_relays, [this, i]() { m_relays->openDoor(i); });
        connect(w->lightButton(i), &ImageButton::released, m_relays, [this, i]() { m_relays->switchLight(i); });
    }
    // The zoom window's buttons act for the zoomed station; the tile's button moves with them.
    connect(m_zoom, &ZoomController::lockPressed, this, [w](int i) { w->lockButton(i)->pressLook(); });
    connect(m_zoom, &ZoomController::lockReleased, this, [this, w](int i) {
        w->lockButton(i)->releaseLook();
        m_relays->openDoor(i);
    });
    connect(m_zoom, &ZoomController::lightPressed, this, [w](int i) { w->lightButton(i)->pressLook(); });
    connect(m_zoom, &ZoomController::lightReleased, this, [this, w](int i) {
        w->lightButton(i)->releaseLook();
        m_relays->switchLight(i);
    });
    connect(m_zoom, &ZoomController::telephonePressed, this, [w](int i) { w->telephoneButton(i)->pressLook(); });
    connect(m_zoom, &ZoomController::telephoneReleased, this, [w](int i) { w->telephoneButton(i)->releaseLook(); });
    // The call handling acts on the zoom's telephone release too (wired with the telephony).
}

void ConsoleApplication::wireTelephony()
{
    MainWindow* w = m_mainWindow.get();
    m_ringPlayer = new SoundEffectRingPlayer(this);
    m_ringTone = new RingTone(*m_ringPlayer, *m_scheduler, *m_log, m_state.callState,
                              RingTone::ringPath(m_programDir), this);
    m_alert = new IncomingCallAlert(*m_engine, *m_window, *m_ringTone, this);
    m_monitor = new CallStatusMonitor(*m_engine, m_record, m_state.callState, m_state.callStation, *m_window,
                                      *m_alert, this);
    connect(w->statusTimer(), &QTimer::timeout, m_monitor, &CallStatusMonitor::pollCallStatus);
    m_callControl = new CallControl(*m_engine, *m_log, m_record, m_state.callState, m_state.callStation,
                                    *m_window, *m_alert, this);
    for (int i = 0; i < MainWindow::kStations; ++i) {
        connect(w->telephoneButton(i), &ImageButton::released, m_callControl,
                [this, i]() { m_callControl->onTelephoneButton(i); });
    }
    connect(m_zoom, &ZoomController::telephoneReleased, m_callControl, &CallControl::onTelephoneButton);
    connect(w->commandButton(CommandButton::About), &ImageButton::released, this, &ConsoleApplication::openAboutBox);
    connect(w->commandButton(CommandButton::Settings), &ImageButton::released, this,
            &ConsoleApplication::openConfigDialog);
    connect(w->commandButton(CommandButton::Microphone), &ImageButton::released, m_callControl,
            &CallControl::toggleMute);

    m_supervisor = new EngineSupervisor(*m_engine, *m_bringUp, *m_log, *m_scheduler, this);
    connect(m_monitor, &CallStatusMonitor::tickFinished, m_supervisor, &EngineSupervisor::checkPoll);
    connect(m_supervisor, &EngineSupervisor::engineLost, m_monitor, &CallStatusMonitor::engineLost);
    connect(m_supervisor, &EngineSupervisor::telephonyChanged, m_window, &MainWindowAdapter::setTelephonyUp);
}

void ConsoleApplication::wireHistory()
{
    MainWindow* w = m_mainWindow.get();
    m_history = new HistoryArchive(this);
    m_historyRecorder = new HistoryRecorder(*m_history, m_record, {}, this);
    HistoryRecorder* recorder = m_historyRecorder;
    connect(m_monitor, &CallStatusMonitor::callStateChanged, recorder, &HistoryRecorder::callStateChanged);
    connect(m_alert, &IncomingCallAlert::callRejected, recorder, &HistoryRecorder::callRejected);
    connect(m_calls, &CallNotifications::doorCallAnnounced, recorder, &HistoryRecorder::doorCallAnnounced);
    connect(m_calls, &CallNotifications::doorCallEnded, recorder, &HistoryRecorder::doorCallEnded);
    connect(m_relays, &RelayCommander::commandSent, recorder,
            [recorder](int station, const QString& command) { recorder->relayCommandDone(station, command, true); });
    connect(m_relays, &RelayCommander::commandDropped, recorder,
            [recorder](int station, const QString& command) { recorder->relayCommandDone(station, command, false); });
    connect(m_supervisor, &EngineSupervisor::telephonyChanged, recorder, &HistoryRecorder::telephonyChanged);
    connect(m_snapshots, &SnapshotClient::pictureReceived, recorder, [this](const QString& url, const QByteArray& jpeg) {
        // The poller asks each active station's own URL, so the URL names the station.
        for (int i = 0; i < ConfigRecord::kStations; ++i) {
            if (m_record.active[std::size_t(i)] != 0
                && url == SnapshotClient::snapshotUrl(m_record.ipAddress[std::size_t(i)])) {
                m_historyRecorder->frameArrived(i, jpeg);
            }
        }
    });
    connect(recorder, &HistoryRecorder::missedCountChanged, this, [this](int count) {
        // A call missed while the operator has the history in view is seen already.
        if (count > 0 && m_historyWindow && m_historyWindow->isVisible()) {
            markHistorySeen();
            return;
        }
        m_window->setMissedCalls(count);
        m_mainWindow->setMissedCallBadge(count);
    });
    connect(w->commandButton(CommandButton::History), &ImageButton::released, this, &ConsoleApplication::openHistory);
    connect(m_trayIcon, &TrayIcon::historyRequested, this, &ConsoleApplication::openHistory);
}

void ConsoleApplication::openHistoryArchive()
{
    bool ok = false;
    HistoryLimits limits;
    const int days = m_settings->value(kHistoryDaysKey, QString()).toInt(&ok);
    if (ok && days > 0)
        limits.keepDays = days;
    const qint64 megabytes = m_settings->value(kHistoryMegabytesKey, QString()).toLongLong(&ok);
    if (ok && megabytes > 0)
        limits.maxBytes = megabytes * 1024 * 1024;
    connect(m_history, &HistoryArchive::opened, this, [this](bool ok, const QString& error) {
        if (!ok || !error.isEmpty())
            m_log->write(QStringLiteral("history: ") + error);
    });
    m_history->open(HistoryArchive::defaultDirectory(), limits);
    m_historyRecorder->loadMissedCount(m_settings->value(kHistorySeenKey, QStringLiteral("0")).toLongLong());
}

void ConsoleApplication::openHistory()
{
    WindowStyling::setTopmost(m_mainWindow.get(), false);
    if (!m_historyWindow)
        m_historyWindow = new HistoryWindow(*m_history, m_record);
    m_historyWindow->open();
    markHistorySeen();
}

void ConsoleApplication::markHistorySeen()
{
    m_settings->setValue(kHistorySeenKey, QString::number(QDateTime::currentMSecsSinceEpoch()));
    m_historyRecorder->historyOpened();
}

void ConsoleApplication::wireShutdown()
{
    ShutdownContext context{
        m_state,
        *m_log,
        *m_engine,
        *m_shell,
        *m_settings,
        m_programDir,
        [this]() {
            m_mainWindow->snapshotTimer()->stop();
            m_poller->stop();
            m_supervisor->stop();
        },
        []() { QCoreApplication::processEvents(); },
        [this]() { m_engine->stopStartedDaemon(m_engine->options().quitGraceMs); },
        [this]() { return WindowPlacement::of(*m_mainWindow); },
        [this]() {
            m_zoom->close();
            closeSplash();
            m_alert->unloadPopup();
        },
    };
    m_shutdown = std::make_unique<ShutdownSequence>(std::move(context));
    connect(m_mainWindow.get(), &MainWindow::closing, this, &ConsoleApplication::shutdown);
    connect(m_trayIcon, &TrayIcon::exitRequested, m_mainWindow.get(), &QWidget::close);
    m_signals = new TerminationSignals(this);
    connect(m_signals, &TerminationSignals::terminationRequested, this, &ConsoleApplication::shutdown);
    // The desktop session ends: the same shutdown, so the engine stops and the placement is kept.
    connect(qApp, &QGuiApplication::commitDataRequest, this, &ConsoleApplication::shutdown);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &ConsoleApplication::shutdown);
}

ConsoleApplication::~ConsoleApplication()
{
    if (m_trayIcon)
        m_trayIcon->hideIcon();
    // They use the services below, which go before this object's children would.
    delete m_historyWindow;
    delete m_historyRecorder;
    // Its destructor waits for the writes still queued.
    delete m_history;
    delete m_supervisor;
    delete m_callControl;
    delete m_monitor;
    delete m_alert;
    delete m_ringTone;
    delete m_ringPlayer;
    delete m_poller;
    delete m_calls;
    delete m_relays;
    delete m_window;
    delete m_zoom;
    // Windows first: they refer to the services below.
    m_splash.reset();
    m_mainWindow.reset();
}

bool ConsoleApplication::start()
{
    return m_startup->start() == StartupSequence::Outcome::Running;
}

void ConsoleApplication::showSplash()
{
    m_splash = std::make_unique<SplashWindow>();
    m_splash->showCentred();
}

void ConsoleApplication::showEngineMissing(const QString& program)
{
    // Not modal: a console started with the session must come up for the cameras even if nobody is there.
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("QZ Video Console"),
                                QStringLiteral("The SIP engine program \"%1\" was not found or cannot be run.\n\n"
                                               "Calls are not possible until it is installed (Debian package "
                                               "linphone-cli); the console looks for it again every half "
                                               "minute. The cameras and relays work.")
                                    .arg(program));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("engineMissingBox"));
    box->show();
}

void ConsoleApplication::showStartupError(const QString& text)
{
    closeSplash();
    QMessageBox::critical(nullptr, QStringLiteral("Error"), text);
}

void ConsoleApplication::openCallSockets()
{
    m_callSockets->startupOpen(m_record);
}

void ConsoleApplication::createHttpClient()
{
    m_snapshots->createHttpClient();
}

void ConsoleApplication::fetchFirstPicture(const QString& url, std::function<void()> done)
{
    const QSize shown = m_window->stationPictureSize(0);
    m_snapshots->fetchPicture(url, shown, [this, done = std::move(done)](const QImage& picture) {
        m_mainWindow->setStationPicture(0, picture);
        done();
    });
}

void ConsoleApplication::startSnapshotTimer()
{
    m_mainWindow->snapshotTimer()->start(MainWindow::kTimerPeriodMs);
}

void ConsoleApplication::applyPlacement(const WindowPlacement& placement)
{
    m_placement = placement;
}

void ConsoleApplication::startupFinished(bool engineUp)
{
    m_window->setTelephonyUp(engineUp);
    openHistoryArchive();
    m_historyRecorder->telephonyChanged(engineUp);
    m_supervisor->watch(engineUp);
    if (m_placement.applies())
        m_placement.applyTo(*m_mainWindow);
    m_mainWindow->show();
    m_mainWindow->activateWindow();
    m_mainWindow->statusTimer()->start();
    QTimer::singleShot(kSplashFallbackMs, this, &ConsoleApplication::closeSplash);
}

void ConsoleApplication::closeSplash()
{
    if (!m_splash)
        return;
    m_splash->close();
    // Deleted later: this runs inside the window system's activation handling,
    // which still walks the top-level windows.
    m_splash.release()->deleteLater();
}

void ConsoleApplication::shutdown()
{
    if (!m_shutdown->hasRun() && m_startup->isFinished()) {
        // Before the engine goes: a call still up is kept as it stood.
        m_historyRecorder->finishOpenCall();
        m_shutdown->run();
    }
    m_trayIcon->hideIcon();
    QCoreApplication::quit();
}

void ConsoleApplication::openAboutBox()
{
    WindowStyling::setTopmost(m_mainWindow.get(), false);
    AboutBox box(m_mainWindow.get());
    box.exec();
}

void ConsoleApplication::openConfigDialog()
{
    WindowStyling::setTopmost(m_mainWindow.get(), false);
    ConfigDialog dialog(m_record, ConfigFile::configPath(m_programDir), m_mainWindow.get());
    dialog.exec();
    // Either way: a changed set of active stations is laid out at once.
    m_mainWindow->layOut();
}

RingPopup* ConsoleApplication::ringPopup() const
{
    return m_alert->popup();
}

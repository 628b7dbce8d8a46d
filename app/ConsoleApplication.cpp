#include "ConsoleApplication.h"

#include "AboutBox.h"
#include "Artwork.h"
#include "CallControl.h"
#include "CallNotifications.h"
#include "CallStatusMonitor.h"
#include "IncomingCallAlert.h"
#include "RingPopup.h"
#include "RingTone.h"
#include "SoundEffectRingPlayer.h"
#include "CallSockets.h"
#include "ConfigDialog.h"
#include "ConfigFile.h"
#include "ImageButton.h"
#include "ChildProcessRunner.h"
#include "EventLog.h"
#include "InstanceLock.h"
#include "LinphoneEngine.h"
#include "MainWindow.h"
#include "PictureView.h"
#include "RelayCommander.h"
#include "Scheduler.h"
#include "SettingsStore.h"
#include "ShellRunner.h"
#include "SnapshotClient.h"
#include "SnapshotPoller.h"
#include "SplashWindow.h"
#include "TerminationSignals.h"
#include "TrayIcon.h"
#include "Twips.h"
#include "WindowStyling.h"
#include "ZoomController.h"
#include "ZoomWindow.h"

#include <QApplication>
#include <QGuiApplication>

#include <QDir>
#include <QLabel>
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
    , m_instanceLock(std::make_unique<InstanceLock>())
    , m_mainWindow(std::make_unique<MainWindow>(m_record, m_state))
{
    m_callSockets = new CallSockets(this);
    m_snapshots = new SnapshotClient(*m_log, this);
    connect(m_mainWindow.get(), &MainWindow::firstActivated, this, &ConsoleApplication::closeSplash);

    StartupContext context{
        m_record,
        m_state,
        *m_log,
        *m_engine,
        *m_shell,
        *m_settings,
        *m_scheduler,
        m_programDir,
        queryOsVersion(),
        [this]() { return m_instanceLock->tryAcquire(); },
        // The scratch directory is the system's temporary directory (TMPDIR or /tmp).
        []() { QDir().mkpath(QDir::tempPath()); },
    };
    m_startup = std::make_unique<StartupSequence>(std::move(context), *this);

    m_trayIcon = new QtTrayIcon(this);
    m_tray = new TrayController(m_state, *m_trayIcon, static_cast<TrayWindowPort&>(*this), *m_scheduler, Artwork::icon(QStringLiteral("app")), this);
    m_mainWindow->setMinimizeHandler([this]() { return m_tray->minimizeToTray(); });
    connect(m_trayIcon, &TrayIcon::exitRequested, m_mainWindow.get(), &QWidget::close);


    ShutdownContext shutdownContext{
        m_state, *m_log, *m_engine, *m_shell, *m_settings, m_programDir,
        [this]() { m_engine->stopStartedDaemon(m_engine->options().quitGraceMs); },
    };
    m_shutdown = std::make_unique<ShutdownSequence>(std::move(shutdownContext), static_cast<ShutdownHost&>(*this));
    connect(m_mainWindow.get(), &MainWindow::closing, this, &ConsoleApplication::shutdown);
    m_signals = new TerminationSignals(this);
    connect(m_signals, &TerminationSignals::terminationRequested, this, &ConsoleApplication::shutdown);
    // The desktop session ends: the same shutdown, so the engine stops and the placement is kept.
    connect(qApp, &QGuiApplication::commitDataRequest, this, &ConsoleApplication::shutdown);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &ConsoleApplication::shutdown);

    wireStations();
    wireTelephony();
}

void ConsoleApplication::wireTelephony()
{
    MainWindow* w = m_mainWindow.get();
    m_ringPlayer = new SoundEffectRingPlayer(this);
    m_ringTone = new RingTone(*m_ringPlayer, *m_scheduler, *m_log, m_state.CallState,
                              RingTone::ringPath(m_programDir), this);
    m_alert = new IncomingCallAlert(*m_engine, static_cast<CallView&>(*this), *m_ringTone, this);
    m_monitor = new CallStatusMonitor(*m_engine, m_record, m_state.CallState, m_state.CallStation,
                                      static_cast<CallView&>(*this), *m_alert, this);
    connect(w->Timer2(), &QTimer::timeout, m_monitor, &CallStatusMonitor::Timer2Tick);
    m_callControl = new CallControl(*m_engine, *m_log, m_record, m_state.CallState, m_state.CallStation,
                                    static_cast<CallView&>(*this), *m_alert, this);
    for (int i = 0; i < MainWindow::kStations; ++i)
        connect(w->cmdTel(i), &ImageButton::released, m_callControl, [this, i]() { m_callControl->cmdTel_MouseUp(i); });
    for (int i = 0; i < 3; ++i)
        connect(w->iCmd(i), &ImageButton::released, m_callControl, [this, i]() { m_callControl->iCmd_MouseUp(i); });
    connect(m_zoom, &ZoomController::cmdTelReleased, m_callControl,
            [this](int station) { m_callControl->cmdTel_MouseUp(station); });
    connect(m_callControl, &CallControl::aboutBoxRequested, this, &ConsoleApplication::openAboutBox);
    connect(m_callControl, &CallControl::configurationRequested, this, &ConsoleApplication::openConfigDialog);
}

void ConsoleApplication::wireStations()
{
    MainWindow* w = m_mainWindow.get();
    m_zoom = new ZoomController(m_record, *w, *m_settings, m_state.zoomedStation, this);
    m_relays = new RelayCommander(m_record, *m_log, *m_scheduler, RelayCommander::kPort, this);
    m_calls = new CallNotifications(m_record, *m_callSockets, static_cast<CallWindowPort&>(*this), *m_log,
                                    *m_scheduler, this);
    m_poller = new SnapshotPoller(m_record, *m_snapshots, *w, *m_scheduler, *m_log, SnapshotClient::kPort, this);
    m_poller->setZoomFeed(m_zoom);
    m_poller->setSocketReopen([this](std::function<void()> done) { m_calls->reopenSockets(std::move(done)); });
    connect(w->Timer1(), &QTimer::timeout, m_poller, &SnapshotPoller::Timer1Tick);
    connect(w, &MainWindow::pictureClicked, this, [this](int i) { m_zoom->open(i, m_state.CallState == 3); });

    for (int i = 0; i < MainWindow::kStations; ++i) {
        connect(w->cmdLock(i), &ImageButton::released, m_relays, [this, i]() { m_relays->cmdLock_MouseUp(i); });
        connect(w->cmdLight(i), &ImageButton::released, m_relays, [this, i]() { m_relays->cmdLight_MouseUp(i); });
    }
    // The zoom window's buttons act for the zoomed station; the tile's button moves with them.
    connect(m_zoom, &ZoomController::cmdLockPressed, this, [w](int i) { w->cmdLock(i)->pressLook(); });
    connect(m_zoom, &ZoomController::cmdLockReleased, this, [this, w](int i) {
        w->cmdLock(i)->releaseLook();
        m_relays->cmdLock_MouseUp(i);
    });
    connect(m_zoom, &ZoomController::cmdLightPressed, this, [w](int i) { w->cmdLight(i)->pressLook(); });
    connect(m_zoom, &ZoomController::cmdLightReleased, this, [this, w](int i) {
        w->cmdLight(i)->releaseLook();
        m_relays->cmdLight_MouseUp(i);
    });
    connect(m_zoom, &ZoomController::cmdTelPressed, this, [w](int i) { w->cmdTel(i)->pressLook(); });
    connect(m_zoom, &ZoomController::cmdTelReleased, this, [w](int i) { w->cmdTel(i)->releaseLook(); });
    // The call handling acts on the zoom's telephone release too (wired with the telephony).
}

ConsoleApplication::~ConsoleApplication()
{
    if (m_trayIcon)
        m_trayIcon->RemoveTrayIcon();
    // They use the services below, which go before this object's children would.
    delete m_callControl;
    delete m_monitor;
    delete m_alert;
    delete m_ringTone;
    delete m_ringPlayer;
    delete m_poller;
    delete m_calls;
    delete m_relays;
    delete m_zoom;
    // Windows first: they refer to the services below.
    m_splash.reset();
    m_mainWindow.reset();
}

bool ConsoleApplication::start()
{
    return m_startup->start() == StartupSequence::Outcome::Running;
}

void ConsoleApplication::showOsVersionError()
{
    QMessageBox::critical(nullptr, QStringLiteral("Error"), QStringLiteral("The software requires WinXP or more to run"));
}

void ConsoleApplication::showSplash()
{
    m_splash = std::make_unique<SplashWindow>();
    m_splash->showCentred();
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
    const QSize shown = m_mainWindow->imgCam(0)->size();
    m_snapshots->GetPicFromHTTP(url, shown, [this, done = std::move(done)](const QImage& picture) {
        m_mainWindow->setStationPicture(0, picture);
        done();
    });
}

void ConsoleApplication::startSnapshotTimer()
{
    m_mainWindow->Timer1()->start(MainWindow::kTimerPeriodMs);
}

void ConsoleApplication::applyPlacement(const WindowPlacement& placement)
{
    m_placement = placement;
}

void ConsoleApplication::startupFinished()
{
    if (m_placement.applies()) {
        m_mainWindow->showWithPlacement(m_placement.state, m_placement.leftTwips, m_placement.topTwips,
                                        m_placement.widthTwips, m_placement.heightTwips);
    } else {
        m_mainWindow->show();
    }
    m_mainWindow->activateWindow();
    m_mainWindow->Timer2()->start();
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
    if (!m_shutdown->hasRun() && m_startup->isFinished())
        m_shutdown->Form_Unload();
    m_trayIcon->RemoveTrayIcon();
    QCoreApplication::quit();
}

void ConsoleApplication::openAboutBox()
{
    WindowStyling::SetTopmost(m_mainWindow.get(), false);
    AboutBox box(m_mainWindow.get());
    box.exec();
}

void ConsoleApplication::openConfigDialog()
{
    WindowStyling::SetTopmost(m_mainWindow.get(), false);
    ConfigDialog dialog(m_record, ConfigFile::configPath(m_programDir), m_mainWindow.get());
    dialog.exec();
    // Either way: a changed set of active stations is laid out at once.
    m_mainWindow->layOut();
}

void ConsoleApplication::setNormalState()
{
    m_mainWindow->setWindowState(m_mainWindow->windowState() & ~Qt::WindowMinimized);
    m_mainWindow->layOut();
}

void ConsoleApplication::setMinimizedState()
{
    m_mainWindow->setWindowState(m_mainWindow->windowState() | Qt::WindowMinimized);
    // Some window systems report the change late or not at all for hidden windows.
    if (m_state.inTray == 0)
        m_tray->minimizeToTray();
}

void ConsoleApplication::hideWindow()
{
    m_mainWindow->hide();
}

void ConsoleApplication::showWindow()
{
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

void ConsoleApplication::setTopmost(bool onTop)
{
    WindowStyling::SetTopmost(m_mainWindow.get(), onTop);
}

void ConsoleApplication::setTransparency(int alpha)
{
    WindowStyling::SetTransparency(m_mainWindow.get(), alpha);
}

void ConsoleApplication::closeZoomWindow()
{
    m_zoom->close();
    m_state.zoomedStation = -1;
}

void ConsoleApplication::stopSnapshotTimer()
{
    m_mainWindow->Timer1()->stop();
    m_poller->stop();
}

void ConsoleApplication::processPendingEvents()
{
    QCoreApplication::processEvents();
}

int ConsoleApplication::windowState() const
{
    if (m_state.inTray != 0 || m_mainWindow->isMinimized())
        return 1;
    return m_mainWindow->isMaximized() ? 2 : 0;
}

void ConsoleApplication::windowFrameTwips(double* left, double* top, double* width, double* height) const
{
    const QRect frame = m_mainWindow->frameGeometry();
    *left = Twips::fromPx(frame.left());
    *top = Twips::fromPx(frame.top());
    *width = Twips::fromPx(frame.width());
    *height = Twips::fromPx(frame.height());
}

void ConsoleApplication::closeOtherWindows()
{
    closeZoomWindow();
    closeSplash();
    m_alert->unloadPopup();
}

bool ConsoleApplication::isMinimized() const
{
    return m_state.inTray != 0 || m_mainWindow->isMinimized();
}

bool ConsoleApplication::isInTray() const
{
    return m_state.inTray != 0;
}

bool ConsoleApplication::isRestoredForCall() const
{
    return m_state.RestoredForCall != 0;
}

void ConsoleApplication::bringBackForCall()
{
    m_tray->bringBackForCall();
}

void ConsoleApplication::fadeBackToTray(std::function<void()> after)
{
    // A fade already running takes the window to the tray anyway; the caller's
    // last step must still happen.
    auto shared = std::make_shared<std::function<void()>>(std::move(after));
    if (!m_tray->fadeBackToTray([shared]() {
            if (*shared)
                (*shared)();
        }) && *shared)
        (*shared)();
}

void ConsoleApplication::setTelImage(int station, const QString& key)
{
    m_mainWindow->setTelImage(station, key);
}

void ConsoleApplication::setZoomTelImage(const QString& key)
{
    if (m_state.zoomedStation >= 0)
        m_zoom->setTelImage(m_state.zoomedStation, key);
}

int ConsoleApplication::zoomedStation() const
{
    return m_state.zoomedStation;
}

void ConsoleApplication::setZoomTopmost(bool onTop)
{
    m_zoom->setTopmost(onTop);
}

void ConsoleApplication::setMuteButtonVisible(bool visible)
{
    m_mainWindow->iCmd(2)->setVisible(visible);
}

void ConsoleApplication::setMuteLook(bool muted)
{
    m_muted = muted;
    m_mainWindow->setMuteLook(muted);
}

bool ConsoleApplication::muteLook() const
{
    return m_muted;
}

bool ConsoleApplication::startFadeBackToTray(std::function<void()> after)
{
    return m_tray->fadeBackToTray(std::move(after));
}

RingPopup* ConsoleApplication::ringPopup() const
{
    return m_alert->popup();
}

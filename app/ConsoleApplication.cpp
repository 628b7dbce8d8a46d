#include "ConsoleApplication.h"

#include "AboutBox.h"
#include "Artwork.h"
#include "CallControl.h"
#include "CallKeys.h"
#include "CallNotifications.h"
#include "CallSession.h"
#include "ConfigDialog.h"
#include "ConfigFile.h"
#include "EngineBringUp.h"
#include "EngineSupervisor.h"
#include "EventLog.h"
#include "HistoryRecorder.h"
#include "HistoryWindow.h"
#include "HistoryWiring.h"
#include "ImageButton.h"
#include "IncomingCallAlert.h"
#include "InstanceLock.h"
#include "LinphoneEngine.h"
#include "MainWindow.h"
#include "MainWindowAdapter.h"
#include "RelayCommander.h"
#include "Scheduler.h"
#include "SettingsStore.h"
#include "ShutdownSequence.h"
#include "SnapshotClient.h"
#include "SnapshotPoller.h"
#include "SplashWindow.h"
#include "StationWiring.h"
#include "TelephonyWiring.h"
#include "TerminationSignals.h"
#include "TrayIcon.h"
#include "WindowStyling.h"
#include "ZoomController.h"
#include "ZoomWindow.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSysInfo>
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
    , m_instanceLock(std::make_unique<InstanceLock>())
    , m_mainWindow(std::make_unique<MainWindow>(m_record, m_state))
    , m_trayIcon(std::make_unique<QtTrayIcon>())
    , m_zoom(std::make_unique<ZoomController>(m_record, *m_settings, m_state.zoomedStation))
    , m_window(std::make_unique<MainWindowAdapter>(*m_mainWindow, *m_zoom, *m_trayIcon, *m_scheduler, m_state,
                                                   Artwork::icon(QStringLiteral("app"))))
    , m_stations(std::make_unique<StationWiring>(m_record, *m_window, *m_log, *m_scheduler))
    , m_telephony(std::make_unique<TelephonyWiring>(m_record, *m_window, *m_log, *m_scheduler, programDir))
    , m_history(std::make_unique<HistoryWiring>(m_record, *m_settings, *m_log))
{
    connect(m_mainWindow.get(), &MainWindow::firstActivated, this, &ConsoleApplication::closeSplash);
    connect(m_instanceLock.get(), &InstanceLock::activationRequested, this, [this]() {
        if (m_startup->isFinished() && m_state.exiting == 0)
            m_window->bringToFront();
    });

    StartupContext context{
        m_record,
        m_state,
        *m_log,
        m_telephony->engine(),
        m_telephony->bringUp(),
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

ConsoleApplication::~ConsoleApplication()
{
    m_trayIcon->hideIcon();
}

void ConsoleApplication::wireStations()
{
    MainWindow* w = m_mainWindow.get();
    RelayCommander* relays = &m_stations->relays();
    m_stations->addPictureFeed(m_zoom.get());
    // The popup of a ringing station shows its camera live, decoded at the popup's size.
    m_stations->addPictureFeed(&m_telephony->alert());
    connect(w->snapshotTimer(), &QTimer::timeout, &m_stations->poller(), &SnapshotPoller::tick);
    connect(w, &MainWindow::pictureClicked, this, [this, w](int i) {
        m_zoom->open(i, w->stationPicture(i), w->telephoneImage(i),
                     m_telephony->session().state() == CallState::InCall);
    });

    for (int i = 0; i < MainWindow::kStations; ++i) {
        connect(w->lockButton(i), &ImageButton::released, relays, [relays, i]() { relays->openDoor(i); });
        connect(w->lightButton(i), &ImageButton::released, relays, [relays, i]() { relays->switchLight(i); });
    }
    // The zoom window's buttons act for the zoomed station; the tile's button moves with them.
    ZoomController* zoom = m_zoom.get();
    connect(zoom, &ZoomController::lockPressed, this, [w](int i) { w->lockButton(i)->pressLook(); });
    connect(zoom, &ZoomController::lockReleased, this, [relays, w](int i) {
        w->lockButton(i)->releaseLook();
        relays->openDoor(i);
    });
    connect(zoom, &ZoomController::lightPressed, this, [w](int i) { w->lightButton(i)->pressLook(); });
    connect(zoom, &ZoomController::lightReleased, this, [relays, w](int i) {
        w->lightButton(i)->releaseLook();
        relays->switchLight(i);
    });
    connect(zoom, &ZoomController::telephonePressed, this, [w](int i) { w->telephoneButton(i)->pressLook(); });
    connect(zoom, &ZoomController::telephoneReleased, this, [w](int i) { w->telephoneButton(i)->releaseLook(); });
    // The call handling acts on the zoom's telephone release too (wired with the telephony).
}

void ConsoleApplication::wireTelephony()
{
    MainWindow* w = m_mainWindow.get();
    CallControl* control = &m_telephony->control();
    for (int i = 0; i < MainWindow::kStations; ++i) {
        connect(w->telephoneButton(i), &ImageButton::released, control,
                [control, i]() { control->onTelephoneButton(i); });
    }
    connect(m_zoom.get(), &ZoomController::telephoneReleased, control, &CallControl::onTelephoneButton);
    new CallKeys(*w, *control);
    connect(w->commandButton(CommandButton::About), &ImageButton::released, this, &ConsoleApplication::openAboutBox);
    connect(w->commandButton(CommandButton::Settings), &ImageButton::released, this,
            &ConsoleApplication::openConfigDialog);
    connect(w->commandButton(CommandButton::Microphone), &ImageButton::released, control, &CallControl::toggleMute);
    connect(&m_telephony->supervisor(), &EngineSupervisor::telephonyChanged, m_window.get(),
            &MainWindowAdapter::setTelephonyUp);
    CallNotifications* doorCalls = &m_stations->notifications();
    connect(doorCalls, &CallNotifications::doorCallAnnounced, m_window.get(),
            [this](int station) { m_window->setDoorCallMark(station, true); });
    connect(doorCalls, &CallNotifications::doorCallEnded, m_window.get(),
            [this](int station) { m_window->setDoorCallMark(station, false); });
}

void ConsoleApplication::wireHistory()
{
    MainWindow* w = m_mainWindow.get();
    HistoryRecorder* recorder = &m_history->recorder();
    m_history->setDeskName(deskName());
    connect(&m_telephony->session(), &CallSession::callStateChanged, recorder, &HistoryRecorder::callStateChanged);
    CallNotifications* notifications = &m_stations->notifications();
    connect(notifications, &CallNotifications::doorCallAnnounced, recorder, &HistoryRecorder::doorCallAnnounced);
    connect(notifications, &CallNotifications::doorCallEnded, recorder, &HistoryRecorder::doorCallEnded);
    RelayCommander* relays = &m_stations->relays();
    connect(relays, &RelayCommander::commandSent, recorder,
            [recorder](int station, const QString& command) { recorder->relayCommandDone(station, command, true); });
    connect(relays, &RelayCommander::commandDropped, recorder,
            [recorder](int station, const QString& command) { recorder->relayCommandDone(station, command, false); });
    connect(&m_telephony->supervisor(), &EngineSupervisor::telephonyChanged, recorder,
            &HistoryRecorder::telephonyChanged);
    connect(&m_stations->poller(), &SnapshotPoller::frameReceived, recorder, &HistoryRecorder::frameArrived);
    connect(m_history.get(), &HistoryWiring::missedCallsToShow, this, [this](int count) {
        m_window->setMissedCalls(count);
        m_mainWindow->setMissedCallBadge(count);
    });
    connect(w->commandButton(CommandButton::History), &ImageButton::released, this, &ConsoleApplication::openHistory);
    connect(m_trayIcon.get(), &TrayIcon::historyRequested, this, &ConsoleApplication::openHistory);
}

QString ConsoleApplication::deskName() const
{
    const QString name = m_settings->value(kDeskNameKey, QString()).trimmed();
    return name.isEmpty() ? QSysInfo::machineHostName() : name;
}

HistoryWindow* ConsoleApplication::historyWindow() const
{
    return m_history->window();
}

void ConsoleApplication::openHistory()
{
    WindowStyling::setTopmost(m_mainWindow.get(), false);
    m_history->openWindow();
}

void ConsoleApplication::wireShutdown()
{
    ShutdownContext context{
        m_state,
        *m_log,
        m_telephony->engine(),
        *m_settings,
        [this]() {
            m_mainWindow->snapshotTimer()->stop();
            m_stations->stop();
            m_telephony->stop();
        },
        [this]() { return WindowPlacement::of(*m_mainWindow); },
        [this]() {
            m_zoom->close();
            closeSplash();
            m_telephony->alert().unloadPopup();
            if (m_history->window())
                m_history->window()->close();
            m_mainWindow->hide();
            m_trayIcon->hideIcon();
        },
        m_telephony->engine().options().quitGraceMs,
    };
    m_shutdown = std::make_unique<ShutdownSequence>(std::move(context));
    connect(m_mainWindow.get(), &MainWindow::closing, this, &ConsoleApplication::shutdown);
    connect(m_trayIcon.get(), &TrayIcon::exitRequested, m_mainWindow.get(), &QWidget::close);
    m_signals = std::make_unique<TerminationSignals>();
    connect(m_signals.get(), &TerminationSignals::terminationRequested, this, &ConsoleApplication::shutdown);
    // The desktop session ends: the same shutdown, so the engine stops and the placement is kept.
    connect(qApp, &QGuiApplication::commitDataRequest, this, &ConsoleApplication::shutdown);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &ConsoleApplication::shutdown);
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
                                tr("The SIP engine program \"%1\" was not found or cannot be run.\n\n"
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
    QMessageBox::critical(nullptr, tr("Error"), text);
}

void ConsoleApplication::openCallSockets()
{
    m_stations->openCallSockets();
}

void ConsoleApplication::createHttpClient()
{
    m_stations->createHttpClient();
}

void ConsoleApplication::fetchFirstPicture(const QString& url, std::function<void()> done)
{
    const QSize shown = m_window->stationPictureSize(0);
    m_stations->snapshots().fetchPicture(url, shown, [this, done = std::move(done)](const QImage& picture) {
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
    m_history->openArchive();
    m_history->recorder().telephonyChanged(engineUp);
    m_telephony->watch(engineUp);
    if (m_placement.applies())
        m_placement.applyTo(*m_mainWindow);
    m_mainWindow->show();
    m_mainWindow->activateWindow();
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
        m_history->recorder().finishOpenCall();
        m_shutdown->run([]() { QCoreApplication::quit(); });
        return;
    }
    if (m_shutdown->hasRun() && !m_shutdown->isFinished())
        return; // the engine is still quitting; the event loop ends when it is gone
    m_trayIcon->hideIcon();
    QCoreApplication::quit();
}

bool ConsoleApplication::isShutDown() const
{
    return m_shutdown->isFinished();
}

void ConsoleApplication::openAboutBox()
{
    WindowStyling::setTopmost(m_mainWindow.get(), false);
    // Window-modal without a nested event loop: the console goes on serving its stations meanwhile.
    auto* box = new AboutBox(deskName(), m_mainWindow.get());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void ConsoleApplication::openConfigDialog()
{
    WindowStyling::setTopmost(m_mainWindow.get(), false);
    if (m_mainWindow->findChild<ConfigDialog*>())
        return;
    auto* dialog = new ConfigDialog(m_record, ConfigFile::configPath(m_programDir), m_mainWindow.get());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Either way: a changed set of active stations is laid out at once.
    connect(dialog, &QDialog::finished, m_mainWindow.get(), &MainWindow::layOut);
    dialog->open();
}

RingPopup* ConsoleApplication::ringPopup() const
{
    return m_telephony->alert().popup();
}

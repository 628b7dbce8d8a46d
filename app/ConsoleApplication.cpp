#include "ConsoleApplication.h"

#include "AboutBox.h"
#include "Artwork.h"
#include "CallSockets.h"
#include "ConfigDialog.h"
#include "ConfigFile.h"
#include "ImageButton.h"
#include "ChildProcessRunner.h"
#include "EventLog.h"
#include "InstanceLock.h"
#include "LinphoneEngine.h"
#include "MainWindow.h"
#include "Scheduler.h"
#include "SettingsStore.h"
#include "ShellRunner.h"
#include "SnapshotClient.h"
#include "SplashWindow.h"
#include "TerminationSignals.h"
#include "TrayIcon.h"
#include "Twips.h"
#include "WindowStyling.h"

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

    connect(m_mainWindow->iCmd(0), &ImageButton::released, this, &ConsoleApplication::openAboutBox);
    connect(m_mainWindow->iCmd(1), &ImageButton::released, this, &ConsoleApplication::openConfigDialog);

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
}

ConsoleApplication::~ConsoleApplication()
{
    if (m_trayIcon)
        m_trayIcon->RemoveTrayIcon();
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
    m_state.zoomedStation = -1;
}

void ConsoleApplication::stopSnapshotTimer()
{
    m_mainWindow->Timer1()->stop();
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
}

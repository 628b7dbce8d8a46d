#include "ConsoleApplication.h"

#include "CallSockets.h"
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
}

ConsoleApplication::~ConsoleApplication()
{
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
    if (m_splash)
        m_splash->close();
    m_splash.reset();
}

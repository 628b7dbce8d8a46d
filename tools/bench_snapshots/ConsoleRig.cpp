#include "ConsoleRig.h"

#include "MainWindow.h"
#include "MainWindowAdapter.h"
#include "SettingsStore.h"
#include "StationWiring.h"
#include "TrayIcon.h"
#include "ZoomController.h"
#include "ZoomWindow.h"

#include <QDir>
#include <QTimer>

namespace {

ConfigRecord loopbackStations(int stations, int firstOctet)
{
    ConfigRecord record;
    for (int i = 0; i < stations && i < ConfigRecord::kStations; ++i) {
        record.active[i] = 1;
        record.ipAddress[i] = QStringLiteral("127.0.0.%1").arg(firstOctet + i);
        record.description[i] = QStringLiteral("Station %1").arg(i + 1);
        record.param(ConfigRecord::kLockRelayParam, i) = 1;
        record.param(ConfigRecord::kLightRelayParam, i) = 10;
    }
    return record;
}

} // namespace

ConsoleRig::ConsoleRig(const Settings& settings)
    : m_settings(settings)
    , m_record(loopbackStations(settings.stations, settings.firstOctet))
    , m_eventLog(QDir(settings.logDir).filePath(QStringLiteral("qz.log")))
    , m_log(m_eventLog)
    , m_window(std::make_unique<MainWindow>(m_record, m_state))
    , m_zoom(std::make_unique<ZoomController>(m_record, m_settingsStore, m_state.zoomedStation))
    , m_tray(std::make_unique<QtTrayIcon>())
    , m_adapter(std::make_unique<MainWindowAdapter>(*m_window, *m_zoom, *m_tray, m_scheduler, m_state, QIcon()))
    , m_stations(std::make_unique<StationWiring>(m_record, *m_adapter, m_log, m_scheduler,
                                                 StationWiring::Ports{.camera = settings.cameraPort,
                                                                      .call = settings.callPort,
                                                                      .relay = settings.relayPort}))
{
    m_stations->addPictureFeed(m_zoom.get());
    QObject::connect(m_window->snapshotTimer(), &QTimer::timeout, &m_stations->poller(), &SnapshotPoller::tick);
}

ConsoleRig::~ConsoleRig()
{
    stop();
}

void ConsoleRig::open()
{
    m_window->resize(m_settings.windowSize);
    m_window->show();
    m_window->layOut();
    // Start-up's order: call sockets, HTTP client, then (startPolling) the timer's period.
    m_stations->openCallSockets();
    m_stations->createHttpClient();
}

void ConsoleRig::startPolling()
{
    m_window->snapshotTimer()->start(MainWindow::kTimerPeriodMs);
}

void ConsoleRig::stopPolling()
{
    m_window->snapshotTimer()->stop();
}

void ConsoleRig::stop()
{
    m_window->snapshotTimer()->stop();
    m_stations->stop();
}

SnapshotPoller& ConsoleRig::poller()
{
    return m_stations->poller();
}

SnapshotClient& ConsoleRig::client()
{
    return m_stations->snapshots();
}

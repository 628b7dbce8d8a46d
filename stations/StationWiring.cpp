#include "StationWiring.h"

#include "ConfigRecord.h"

StationWiring::StationWiring(const ConfigRecord& record, ConsoleWindow& window, Logger& log, Scheduler& scheduler,
                             const Ports& ports, QObject* parent)
    : QObject(parent)
    , m_record(record)
    , m_callSockets(ports.call, nullptr)
    , m_notifications(record, m_callSockets, window, log, scheduler)
    , m_relays(record, log, scheduler, ports.relay)
    , m_poller(record, m_snapshots, window, scheduler, log, ports.camera)
{
    m_poller.setSocketReopen([this](std::function<void()> done) { m_notifications.reopenSockets(std::move(done)); });
}

StationWiring::~StationWiring() = default;

void StationWiring::addPictureFeed(StationPictureFeed* feed)
{
    m_poller.addPictureFeed(feed);
}

void StationWiring::openCallSockets()
{
    m_callSockets.startupOpen(m_record);
}

void StationWiring::createHttpClient()
{
    m_snapshots.createHttpClient();
}

void StationWiring::stop()
{
    m_poller.stop();
}

#include "SnapshotPoller.h"

#include "ConfigRecord.h"
#include "Logger.h"
#include "Scheduler.h"
#include "ConsoleWindow.h"
#include "ZoomFeed.h"

#include <QPointer>

#include <exception>
#include <limits>

SnapshotPoller::SnapshotPoller(const ConfigRecord& record, SnapshotClient& client, ConsoleWindow& tiles,
                               Scheduler& scheduler, Logger& log, quint16 cameraPort, QObject* parent)
    : QObject(parent)
    , m_record(record)
    , m_client(client)
    , m_tiles(tiles)
    , m_scheduler(scheduler)
    , m_log(log)
    , m_cameraPort(cameraPort)
{
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(kFetchDeadlineMs);
    connect(&m_deadline, &QTimer::timeout, this, [this]() { guarded([this]() { deadlineExpired(); }); });
}

SnapshotPoller::~SnapshotPoller() = default;

void SnapshotPoller::startPass()
{
    if (m_stopped)
        return;
    if (m_running) {
        ++m_skippedTicks;
        return;
    }
    m_running = true;
    m_nextStation = 0;
    scheduleNextStation();
}

void SnapshotPoller::stop()
{
    m_stopped = true;
}

void SnapshotPoller::scheduleNextStation()
{
    // Back to the event loop before every station index: clicks, socket data
    // and the call-status timer are served in the middle of a pass.
    m_scheduler.singleShot(0, this, [this]() { guarded([this]() { pollStep(); }); });
}

void SnapshotPoller::pollStep()
{
    if (!m_running)
        return;
    if (m_stopped) {
        finishPass();
        return;
    }
    if (m_nextStation >= kStations) {
        endOfStations();
        return;
    }
    const int station = m_nextStation++;
    if (m_record.active[station] == 0) {
        scheduleNextStation();
        return;
    }
    fetch(station);
}

QSize SnapshotPoller::decodeSizeFor(int station) const
{
    QSize size = m_tiles.stationPictureSize(station);
    if (m_zoom && m_zoom->zoomedStation() == station)
        size = size.expandedTo(m_zoom->zoomPictureSize());
    // Nothing known about where it is shown: decode at full size.
    return size.isEmpty() ? QSize() : size;
}

void SnapshotPoller::fetch(int station)
{
    const QString url = SnapshotClient::snapshotUrl(m_record.ipAddress[station], m_cameraPort);
    const quint64 fetchId = ++m_fetchId;
    m_fetching = true;
    m_fetchStation = station;
    m_deadline.start();
    QPointer<SnapshotPoller> self(this);
    m_client.fetchPicture(url, decodeSizeFor(station), [self, fetchId, station](const QImage& picture) {
        if (self)
            self->guarded([&]() { self->fetchEnded(fetchId, station, picture); });
    });
}

void SnapshotPoller::fetchEnded(quint64 fetchId, int station, const QImage& picture)
{
    // A late answer to a fetch the deadline already gave up on is dropped.
    if (!m_fetching || fetchId != m_fetchId)
        return;
    m_fetching = false;
    m_deadline.stop();
    if (!m_stopped)
        showResult(station, picture);
    scheduleNextStation();
}

void SnapshotPoller::deadlineExpired()
{
    if (!m_fetching)
        return;
    const int station = m_fetchStation;
    ++m_fetchId;
    m_fetching = false;
    // Drops the stuck request with its connection, so fetches stay one at a time.
    m_client.createHttpClient();
    if (!m_stopped)
        showResult(station, QImage());
    scheduleNextStation();
}

void SnapshotPoller::showResult(int station, const QImage& picture)
{
    const bool ok = !picture.isNull();
    if (ok) {
        m_tiles.setStationPicture(station, picture);
        // The zoomed station is looked up now: the zoom window may have been
        // retargeted or closed while the fetch ran.
        if (m_zoom && m_zoom->zoomedStation() == station)
            m_zoom->showZoomPicture(picture);
        m_tiles.setNoImageShown(station, false);
        m_failures[station] = 0;
    } else {
        int& failures = m_failures[station];
        if (failures < std::numeric_limits<int>::max())
            ++failures;
        if (failures > kFailuresKeepingPicture) {
            m_tiles.setStationPicture(station, QImage());
            m_tiles.setNoImageShown(station, true);
        }
    }
    emit stationPolled(station, ok);
}

void SnapshotPoller::endOfStations()
{
    ++m_passes;
    ++m_tickCounter;
    if (m_tickCounter != kPassesPerReopen || m_stopped) {
        if (m_tickCounter >= kPassesPerReopen)
            m_tickCounter = 0;
        finishPass();
        return;
    }
    m_tickCounter = 0;
    if (!m_reopen) {
        finishPass();
        return;
    }
    // The pass lasts until the sockets are open again: no tick starts a pass meanwhile.
    QPointer<SnapshotPoller> self(this);
    m_reopen([self]() {
        if (self)
            self->guarded([&]() { self->finishPass(); });
    });
}

void SnapshotPoller::finishPass()
{
    if (!m_running)
        return;
    m_running = false;
    m_fetching = false;
    m_deadline.stop();
    emit passFinished();
}

void SnapshotPoller::guarded(const std::function<void()>& step)
{
    try {
        step();
    } catch (const std::exception& e) {
        m_log.write(QStringLiteral("Timer1 ") + QString::fromLocal8Bit(e.what()));
        finishPass();
    } catch (...) {
        m_log.write(QStringLiteral("Timer1 unknown error"));
        finishPass();
    }
}

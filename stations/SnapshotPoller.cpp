#include "SnapshotPoller.h"

#include "ConfigRecord.h"
#include "ConsoleWindow.h"
#include "Logger.h"
#include "Scheduler.h"
#include "StationPictureFeed.h"

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
}

SnapshotPoller::~SnapshotPoller() = default;

void SnapshotPoller::tick()
{
    if (m_stopped)
        return;
    ++m_tickCount;
    for (int station = 0; station < ConfigRecord::kStations; ++station) {
        if (m_record.active[station] == 0)
            continue;
        if (m_stations[station].fetching)
            ++m_skipped; // its camera is still at the previous tick's request
        else
            fetch(station);
    }
    if (++m_tickCounter >= kPassesPerReopen) {
        m_tickCounter = 0;
        reopenSockets();
    }
    if (m_inFlight == 0)
        emit fetchesEnded();
}

void SnapshotPoller::stop()
{
    m_stopped = true;
}

QSize SnapshotPoller::decodeSizeFor(int station) const
{
    QSize size = m_tiles.stationPictureSize(station);
    for (const StationPictureFeed* feed : m_feeds)
        if (feed->shownStation() == station)
            size = size.expandedTo(feed->shownPictureSize());
    // Nothing known about where it is shown: decode at full size.
    return size.isEmpty() ? QSize() : size;
}

void SnapshotPoller::fetch(int station)
{
    Station& s = m_stations[station];
    s.fetching = true;
    ++m_inFlight;
    s.url = SnapshotClient::snapshotUrl(m_record.ipAddress[station], m_cameraPort);
    const quint64 fetch = ++s.fetch;
    QPointer<SnapshotPoller> self(this);
    m_scheduler.singleShot(kFetchDeadlineMs, this, [this, station, fetch]() { abandon(station, fetch); });
    m_client.fetchFrame(s.url, decodeSizeFor(station),
                        [self, station, fetch](const QImage& picture, const QByteArray& jpeg, const QString& fault) {
                            if (self)
                                self->fetchEnded(station, fetch, picture, jpeg, fault);
                        });
}

void SnapshotPoller::fetchEnded(int station, quint64 fetch, const QImage& picture, const QByteArray& jpeg,
                                const QString& fault)
{
    if (!picture.isNull())
        guarded([&]() { emit frameReceived(station, jpeg); });
    // A late answer to a fetch the deadline already gave up on is dropped.
    if (!m_stations[station].fetching || m_stations[station].fetch != fetch)
        return;
    guarded([&]() {
        if (!m_stopped)
            showResult(station, picture, fault);
    });
    endFetch(station);
}

void SnapshotPoller::abandon(int station, quint64 fetch)
{
    Station& s = m_stations[station];
    if (!s.fetching || s.fetch != fetch)
        return;
    ++s.fetch;
    // Drops the stuck request with its connection, so the station has one request at a time.
    m_client.cancel(s.url);
    guarded([&]() {
        if (!m_stopped)
            showResult(station, QImage(), QStringLiteral("no picture within %1 s").arg(kFetchDeadlineMs / 1000));
    });
    endFetch(station);
}

void SnapshotPoller::endFetch(int station)
{
    m_stations[station].fetching = false;
    if (--m_inFlight == 0)
        emit fetchesEnded();
}

void SnapshotPoller::showResult(int station, const QImage& picture, const QString& fault)
{
    const bool ok = !picture.isNull();
    logResult(station, ok, fault);
    int& failures = m_stations[station].failures;
    if (ok) {
        m_tiles.setStationPicture(station, picture);
        // The zoomed station is looked up now: the zoom window may have been
        // retargeted or closed while the fetch ran.
        for (StationPictureFeed* feed : m_feeds)
            if (feed->shownStation() == station)
                feed->showPicture(picture);
        m_tiles.setNoImageShown(station, false);
        failures = 0;
    } else {
        if (failures < std::numeric_limits<int>::max())
            ++failures;
        if (failures > kFailuresKeepingPicture) {
            m_tiles.setStationPicture(station, QImage());
            m_tiles.setNoImageShown(station, true);
        }
    }
    emit stationPolled(station, ok);
}

void SnapshotPoller::logResult(int station, bool ok, const QString& fault)
{
    const QString name = FailureLogPolicy::stationName(m_record.description[station], station);
    const QString line = ok ? m_failureLog.succeeded(station, QStringLiteral("GetPicFromHTTP (%1)").arg(name))
                            : m_failureLog.failed(station, QStringLiteral("GetPicFromHTTP %1 (%2)").arg(fault, name));
    if (!line.isEmpty())
        m_log.write(line);
}

void SnapshotPoller::reopenSockets()
{
    // A reopen still under way (16 stations take about 2 s) is not started twice.
    if (!m_reopen || m_reopening || m_stopped)
        return;
    m_reopening = true;
    QPointer<SnapshotPoller> self(this);
    m_reopen([self]() {
        if (self)
            self->m_reopening = false;
    });
}

void SnapshotPoller::guarded(const std::function<void()>& step)
{
    try {
        step();
    } catch (const std::exception& e) {
        m_log.write(QStringLiteral("Timer1 ") + QString::fromLocal8Bit(e.what()));
    } catch (...) {
        m_log.write(QStringLiteral("Timer1 unknown error"));
    }
}

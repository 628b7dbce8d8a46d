#pragma once

#include "ConfigRecord.h"
#include "FailureLogPolicy.h"
#include "SnapshotClient.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QSize>

#include <array>
#include <functional>

class ConsoleWindow;
class Logger;
class Scheduler;
class StationPictureFeed;

/// The snapshot polling. Every tick of the snapshot timer starts a fetch for
/// each active station that has none under way; the fetches run side by side,
/// at most one per station, so a camera that does not answer costs only its
/// own tile. A picture goes to the station's tile and, for the zoomed station,
/// to the zoom window (the same image, decoded once). From the fourth
/// consecutive failure a tile shows "No image available"; before that it keeps
/// its last picture. Failures go to the event log through a FailureLogPolicy:
/// "GetPicFromHTTP FAULT (STATION)" when a camera's outage begins, then counts
/// at most once a minute, and "GetPicFromHTTP (STATION) works again after ...".
/// Every 120th tick also reopens the call-notification sockets, beside the
/// polling.
///
/// Nothing blocks and nothing nests an event loop. No error raised while a
/// result is shown ends the program: that station's fetch ends instead.
class SnapshotPoller : public QObject
{
    Q_OBJECT
public:
    /// Ticks between two reopens of the call-notification sockets.
    static constexpr int kPassesPerReopen = 120;
    /// Consecutive failures a tile rides out with its last picture.
    static constexpr int kFailuresKeepingPicture = 3;
    /// Last resort for a fetch that never ends (a camera that trickles its
    /// answer): the HTTP client's own time-out normally ends it long before.
    static constexpr int kFetchDeadlineMs = 5000;

    /// Closes and reopens the call sockets, then calls done (asynchronously).
    using SocketReopen = std::function<void(std::function<void()> done)>;

    /// record, client, tiles, scheduler and log must outlive the poller. The
    /// record is read at every fetch, so changes made by the configuration
    /// dialog apply from the next tick. cameraPort is the port of every
    /// snapshot URL (8081 for real stations).
    SnapshotPoller(const ConfigRecord& record, SnapshotClient& client, ConsoleWindow& tiles, Scheduler& scheduler,
                   Logger& log, quint16 cameraPort = SnapshotClient::kPort, QObject* parent = nullptr);
    ~SnapshotPoller() override;

    /// The zoom window to feed (not owned; nullptr for none).
    void addPictureFeed(StationPictureFeed* feed) { m_feeds.push_back(feed); }
    /// What every 120th tick runs (unset: nothing).
    void setSocketReopen(SocketReopen reopen) { m_reopen = std::move(reopen); }

    /// The snapshot timer's tick: a fetch for every active station with none
    /// under way. Returns at once; the results come on the event loop.
    void tick();
    /// For shutdown: no fetch starts any more and no result reaches a tile.
    /// Cannot be undone.
    void stop();

    /// True while a fetch is under way.
    bool isFetching() const { return m_inFlight > 0; }
    /// Consecutive failed fetches of station (0 after a success).
    int failureCount(int station) const { return m_stations.at(station).failures; }
    /// Ticks modulo 120: the count that paces the socket reopen.
    int tickCounter() const { return m_tickCounter; }
    /// Ticks since construction.
    qint64 ticks() const { return m_tickCount; }
    /// Stations a tick found still fetching, and so started nothing for.
    qint64 skippedFetches() const { return m_skipped; }

signals:
    /// No fetch is under way any more.
    void fetchesEnded();
    /// The fetch of station ended: with a picture shown (ok) or as a failure.
    void stationPolled(int station, bool ok);
    /// A fetch of station brought a picture that decodes; jpeg is the body as the camera sent it. Emitted
    /// before the picture reaches the tile, and also for a late answer the poller no longer waits for:
    /// it is still that station's frame.
    void frameReceived(int station, const QByteArray& jpeg);

private:
    struct Station
    {
        bool fetching = false;
        quint64 fetch = 0; ///< numbers the fetches; a late answer to an abandoned one is dropped
        int failures = 0;
        QString url;
    };

    void fetch(int station);
    void fetchEnded(int station, quint64 fetch, const QImage& picture, const QByteArray& jpeg, const QString& fault);
    void abandon(int station, quint64 fetch);
    void endFetch(int station);
    /// fault: why there is no picture, as SnapshotClient::FrameCallback names it.
    void showResult(int station, const QImage& picture, const QString& fault);
    void logResult(int station, bool ok, const QString& fault);
    QSize decodeSizeFor(int station) const;
    void reopenSockets();
    void guarded(const std::function<void()>& step);

    const ConfigRecord& m_record;
    SnapshotClient& m_client;
    ConsoleWindow& m_tiles;
    Scheduler& m_scheduler;
    Logger& m_log;
    quint16 m_cameraPort;
    std::vector<StationPictureFeed*> m_feeds;
    SocketReopen m_reopen;
    FailureLogPolicy m_failureLog;
    std::array<Station, ConfigRecord::kStations> m_stations{};
    int m_inFlight = 0;
    int m_tickCounter = 0;
    qint64 m_tickCount = 0;
    qint64 m_skipped = 0;
    bool m_reopening = false;
    bool m_stopped = false;
};

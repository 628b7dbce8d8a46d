#pragma once

#include "SnapshotClient.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QTimer>

#include <array>
#include <functional>

class Logger;
class Scheduler;
class ConsoleWindow;
class ZoomFeed;
struct ConfigRecord;

/// The snapshot pass, one per tick of the snapshot timer: every active station's camera is
/// fetched in index order, one fetch at a time and each to completion, the
/// event loop served between stations. A picture goes to the station's tile
/// and, for the zoomed station, to the zoom window (the same image, decoded
/// once). From the fourth consecutive failure a tile shows "No image
/// available"; before that it keeps its last picture. Every 120th pass ends
/// with the reopen of the call-notification sockets.
///
/// The pass is a sequence of steps on the event loop: no nested event loop,
/// nothing blocks. A tick that falls due while a pass runs starts nothing.
/// No error raised inside a pass ends the program: it ends the pass instead.
class SnapshotPoller : public QObject
{
    Q_OBJECT
public:
    static constexpr int kStations = 16;
    /// Passes between two reopens of the call-notification sockets.
    static constexpr int kPassesPerReopen = 120;
    /// Consecutive failures a tile rides out with its last picture.
    static constexpr int kFailuresKeepingPicture = 3;
    /// Last resort for a fetch that never ends (a camera that trickles its
    /// answer): the HTTP client's own time-out normally ends it long before.
    static constexpr int kFetchDeadlineMs = 5000;

    /// Closes and reopens the call sockets, then calls done (asynchronously).
    using SocketReopen = std::function<void(std::function<void()> done)>;

    /// record, client, tiles, scheduler and log must outlive the poller. The
    /// record is read at every station of every pass, so changes made by the
    /// configuration dialog apply from the next station fetched. cameraPort is
    /// the port of every snapshot URL (8081 for real stations).
    SnapshotPoller(const ConfigRecord& record, SnapshotClient& client, ConsoleWindow& tiles, Scheduler& scheduler,
                   Logger& log, quint16 cameraPort = SnapshotClient::kPort, QObject* parent = nullptr);
    ~SnapshotPoller() override;

    /// The zoom window to feed (not owned; nullptr for none).
    void setZoomFeed(ZoomFeed* zoom) { m_zoom = zoom; }
    /// What every 120th pass runs before it ends (unset: nothing).
    void setSocketReopen(SocketReopen reopen) { m_reopen = std::move(reopen); }

    /// The snapshot timer's tick: starts a pass unless one is running or the poller is stopped.
    void startPass();

    /// For shutdown: no pass starts any more; a running pass ends at its next
    /// step without touching the tiles again. Cannot be undone.
    void stop();

    bool isPassRunning() const { return m_running; }
    /// Consecutive failed fetches of station (0 after a success).
    int failureCount(int station) const { return m_failures.at(station); }
    /// Completed passes modulo 120: the count that paces the socket reopen.
    int tickCounter() const { return m_tickCounter; }
    /// Completed passes since construction.
    qint64 passesCompleted() const { return m_passes; }
    /// Ticks that fell due while a pass was running and so started nothing.
    qint64 skippedTicks() const { return m_skippedTicks; }

signals:
    /// A pass ended (also one cut short by stop() or by an error).
    void passFinished();
    /// The fetch of station ended: with a picture shown (ok) or as a failure.
    void stationPolled(int station, bool ok);

private:
    void scheduleNextStation();
    void pollStep();
    void fetch(int station);
    void fetchEnded(quint64 fetchId, int station, const QImage& picture);
    void deadlineExpired();
    void showResult(int station, const QImage& picture);
    void endOfStations();
    void finishPass();
    QSize decodeSizeFor(int station) const;
    void guarded(const std::function<void()>& step);

    const ConfigRecord& m_record;
    SnapshotClient& m_client;
    ConsoleWindow& m_tiles;
    Scheduler& m_scheduler;
    Logger& m_log;
    quint16 m_cameraPort;
    ZoomFeed* m_zoom = nullptr;
    SocketReopen m_reopen;

    std::array<int, kStations> m_failures{};
    int m_tickCounter = 0;
    qint64 m_passes = 0;
    qint64 m_skippedTicks = 0;

    bool m_running = false;
    bool m_stopped = false;
    int m_nextStation = 0;
    bool m_fetching = false;
    int m_fetchStation = -1;
    quint64 m_fetchId = 0;
    QTimer m_deadline;
};

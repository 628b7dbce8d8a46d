#include "HistoryLoad.h"

#include "ConsoleRig.h"
#include "HistoryDatabase.h"
#include "ProcessStats.h"
#include "SnapshotPoller.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>

#include <ctime>
#include <memory>

#include <sys/resource.h>

namespace {

constexpr int kOpenTimeoutMs = 10000;
/// How long the server may take to catch up after the run.
constexpr int kCatchUpTimeoutMs = 60000;
/// More events than any run records: the query must see them all.
constexpr int kQueryLimit = 10000000;

/// The calling thread's context switches so far.
struct Switches
{
    long voluntary = 0;
    long involuntary = 0;
};

Switches threadSwitches()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return {usage.ru_nvcsw, usage.ru_nivcsw};
}

qint64 threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

/// The archive's worker thread, named after the QThread's object name.
qint64 workerCpuUs()
{
    return ProcessStats::threadCpuUs(QByteArrayLiteral("history"));
}

qint64 fileSize(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() ? info.size() : 0;
}

} // namespace

HistoryLoad::HistoryLoad(ConsoleRig& rig, const QList<int>& stations)
    : m_stations(stations)
    , m_recorder(m_archive, rig.record())
{
    QObject::connect(&rig.poller(), &SnapshotPoller::frameReceived, &m_recorder,
                     [this](int station, const QByteArray& jpeg) { frameReceived(station, jpeg); });
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kEventPeriodMs);
    QObject::connect(&m_timer, &QTimer::timeout, &m_recorder, [this]() { recordEvent(); });
}

void HistoryLoad::setServer(const QString& connection, const QString& mode, const QString& desk)
{
    m_serverConnection = connection;
    m_serverMode = mode;
    m_desk = desk;
}

bool HistoryLoad::open(const QString& dir, QString* error)
{
    m_dir = dir;
    bool answered = false;
    bool ok = false;
    QEventLoop loop;
    QObject::connect(&m_archive, &HistoryArchive::opened, &loop, [&](bool opened, const QString& note) {
        answered = true;
        ok = opened;
        if (!opened)
            *error = QStringLiteral("history database: ") + note;
        loop.quit();
    });
    QTimer::singleShot(kOpenTimeoutMs, &loop, &QEventLoop::quit);
    m_archive.open(dir, HistoryLimits());
    loop.exec();
    if (!answered)
        *error = QStringLiteral("history database: no answer to open within %1 ms").arg(kOpenTimeoutMs);
    m_recorder.setDeskName(m_desk);
    m_archive.setServer(m_serverConnection, m_desk);
    return ok;
}

qint64 HistoryLoad::serverEvents(qint64 expected)
{
    // Asked again until the server holds them all (or the time is up): the courier delivers in batches.
    HistoryFilter mine;
    mine.desk = m_desk;
    mine.limit = kQueryLimit;
    auto count = std::make_shared<qint64>(-1);
    QElapsedTimer waited;
    waited.start();
    while (*count < expected && waited.elapsed() < kCatchUpTimeoutMs) {
        QEventLoop loop;
        QPointer<QEventLoop> waiting(&loop);
        m_archive.queryEvents(mine, [this, count, expected, waiting](const QList<HistoryEvent>& events) {
            if (m_archive.serverState() == HistoryServerState::Reachable)
                *count = events.size();
            if (waiting)
                QTimer::singleShot(*count < expected ? 200 : 0, waiting, &QEventLoop::quit);
        });
        QTimer::singleShot(kCatchUpTimeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return *count;
}

void HistoryLoad::start()
{
    m_workerCpuAtStart = workerCpuUs();
    m_timing = true;
    m_timer.start();
}

void HistoryLoad::stop()
{
    m_timer.stop();
    m_timing = false;
}

void HistoryLoad::recordEvent()
{
    if (m_stations.isEmpty())
        return;
    const int station = m_stations.at(m_next++ % m_stations.size());
    const Switches switchesAtStart = threadSwitches();
    QElapsedTimer wall;
    wall.start();
    const qint64 cpuAtStart = threadCpuNs();
    m_recorder.relayCommandDone(station, QStringLiteral("101"), true);
    const qint64 cpuNs = threadCpuNs() - cpuAtStart;
    const qint64 wallNs = wall.nsecsElapsed();
    // Wall time far above CPU time: did the thread wait (a lock, the disk) or was it preempted?
    const Switches switchesAtEnd = threadSwitches();
    m_eventCpuNs.push_back(cpuNs);
    m_eventWallNs.push_back(wallNs);
    m_switched.waited += int(switchesAtEnd.voluntary > switchesAtStart.voluntary);
    m_switched.preempted += int(switchesAtEnd.involuntary > switchesAtStart.involuntary);
}

void HistoryLoad::frameReceived(int station, const QByteArray& jpeg)
{
    QElapsedTimer wall;
    wall.start();
    m_recorder.frameArrived(station, jpeg);
    if (m_timing)
        m_frameWallNs.push_back(wall.nsecsElapsed());
}

HistoryFigures HistoryLoad::finish()
{
    m_archive.flush();
    // After the flush: the writes of the last events are the worker's too.
    const qint64 workerCpuAtEnd = workerCpuUs();
    HistoryFigures f;
    f.on = true;
    f.events = qint64(m_eventWallNs.size());
    f.eventWall = Spread::of(m_eventWallNs);
    f.eventCpu = Spread::of(m_eventCpuNs);
    f.frameWall = Spread::of(m_frameWallNs);
    f.switchedEvents = m_switched;
    if (m_workerCpuAtStart >= 0 && workerCpuAtEnd >= 0)
        f.workerCpuUs = workerCpuAtEnd - m_workerCpuAtStart;

    HistoryFilter all;
    all.limit = kQueryLimit;
    // Read here, beside the archive's own connection: with a server the archive's queries read the server.
    HistoryDatabase local;
    if (local.open(m_dir)) {
        const QList<HistoryEvent> events = local.events(all);
        f.storedEvents = events.size();
        for (const HistoryEvent& e : events)
            f.storedPictures += int(e.hasPicture[0]) + int(e.hasPicture[1]);
    }
    local.close();
    f.server = m_serverMode;
    if (m_serverMode == QStringLiteral("up"))
        f.serverEvents = serverEvents(f.storedEvents);
    const QString db = m_dir + QStringLiteral("/history.db");
    f.databaseBytes = fileSize(db);
    f.walBytes = fileSize(db + QStringLiteral("-wal"));
    return f;
}

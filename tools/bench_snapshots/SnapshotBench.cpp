#include "SnapshotBench.h"

#include "ConsoleRig.h"
#include "HttpGetter.h"
#include "LatenessProbe.h"
#include "MainWindow.h"
#include "PictureView.h"
#include "ProcessStats.h"
#include "StationSimulator.h"
#include "SnapshotClient.h"
#include "SnapshotPoller.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int kStations = 16;
constexpr int kReadyTimeoutMs = 15000;
constexpr int kFetchTimeoutMs = 5000;
/// A pass cut short by stop() ends at its next step; this only bounds a stuck one.
constexpr int kPassEndWaitMs = 5000;
/// The console shown and idle before polling starts: settling, then the idle CPU measure.
constexpr int kSettleMs = 500;
constexpr int kIdleMs = 2000;

/// Runs the event loop until done() is true or timeoutMs has passed.
template <typename Done>
bool waitFor(Done done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

/// Runs the event loop for ms.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

/// CPU time of this process per second of wall time while the event loop runs for ms.
double cpuMsPerSecond(int ms)
{
    const qint64 cpuAtStart = ProcessStats::cpuTimeUs();
    QElapsedTimer clock;
    clock.start();
    runFor(ms);
    return double(ProcessStats::cpuTimeUs() - cpuAtStart) * 1000.0 / double(clock.nsecsElapsed() / 1000);
}

} // namespace

RunResult SnapshotBench::run(const RunPlan& plan)
{
    RunResult result;
    result.plan = plan;
    for (int i = 0; i < kStations; ++i) {
        result.stations[i].address = stationAddress(i);
        result.stations[i].hangs = i == plan.hangStation;
    }
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        result.error = QStringLiteral("no temporary directory: %1").arg(scratch.errorString());
        return result;
    }

    StationSimulator simulator(simulatorArguments(plan), kReadyTimeoutMs);
    if (!simulator.isReady()) {
        result.error = simulator.errorString();
        return result;
    }

    QByteArray frame;
    if (!prepareFrames(plan, &result, &frame))
        return result;
    result.djpeg = DjpegBench::measure(frame, m_options.djpegIterations, scratch.path());
    if (!result.djpeg.ok) {
        result.error = result.djpeg.error;
        return result;
    }

    poll(scratch.path(), &result);

    const QString simulatorErrors = simulator.stop();
    if (!simulatorErrors.isEmpty())
        result.error = QStringLiteral("simulator: ") + simulatorErrors;
    result.ok = result.error.isEmpty();
    return result;
}

QStringList SnapshotBench::simulatorArguments(const RunPlan& plan) const
{
    QStringList args{
        QStringLiteral("--count"),      QString::number(kStations),
        QStringLiteral("--first"),      QString::number(m_options.firstOctet),
        QStringLiteral("--http-port"),  QString::number(m_options.httpPort),
        QStringLiteral("--relay-port"), QString::number(m_options.relayPort),
        QStringLiteral("--call-port"),  QString::number(m_options.callPort),
        QStringLiteral("--size"),
        QStringLiteral("%1x%2").arg(plan.pictureSize.width()).arg(plan.pictureSize.height()),
    };
    if (m_options.cycle >= 0)
        args << QStringLiteral("--cycle") << QString::number(m_options.cycle);
    if (plan.hangStation >= 0)
        args << QStringLiteral("--mode") << QStringLiteral("%1=hang").arg(plan.hangStation);
    return args;
}

QString SnapshotBench::stationAddress(int station) const
{
    return QStringLiteral("127.0.0.%1").arg(m_options.firstOctet + station);
}

int SnapshotBench::simulatorCycle(const RunPlan& plan) const
{
    if (m_options.cycle >= 0)
        return m_options.cycle;
    // The simulator's default.
    return qint64(plan.pictureSize.width()) * plan.pictureSize.height() > 800 * 600 ? 16 : 0;
}

bool SnapshotBench::prepareFrames(const RunPlan& plan, RunResult* result, QByteArray* frame)
{
    HttpGetter http;
    // The simulator renders a cycle's frames on first use: ask for all of them now, so the run
    // measures the console and not the simulator's first rendering.
    const int rounds = std::max(1, simulatorCycle(plan));
    for (int station = 0; station < kStations; ++station) {
        if (station == plan.hangStation)
            continue;
        const QString url = SnapshotClient::snapshotUrl(stationAddress(station), m_options.httpPort);
        for (int round = 0; round < rounds; ++round) {
            QByteArray body;
            if (!fetch(http, url, &body, &result->error))
                return false;
            if (frame->isEmpty())
                *frame = body;
        }
    }
    const QImage image = QImage::fromData(*frame);
    if (image.isNull()) {
        result->error = QStringLiteral("the simulator's picture does not decode");
        return false;
    }
    result->frameSize = image.size();
    result->frameBytes = frame->size();
    return true;
}

bool SnapshotBench::fetch(HttpGetter& http, const QString& url, QByteArray* body, QString* error)
{
    bool done = false;
    HttpResult answer;
    http.get(url, kFetchTimeoutMs, SnapshotClient::kMaxBodyBytes, [&](const HttpResult& r) {
        answer = r;
        done = true;
    });
    waitFor([&]() { return done; }, kFetchTimeoutMs + 1000);
    if (!done || !answer.ok) {
        *error = QStringLiteral("cannot fetch %1: %2").arg(url, done ? answer.errorText : QStringLiteral("no answer"));
        return false;
    }
    *body = answer.body;
    return true;
}

void SnapshotBench::poll(const QString& logDir, RunResult* result)
{
    ConsoleRig::Settings settings;
    settings.stations = kStations;
    settings.firstOctet = m_options.firstOctet;
    settings.cameraPort = m_options.httpPort;
    settings.callPort = m_options.callPort;
    settings.windowSize = m_options.windowSize;
    settings.logDir = logDir;
    ConsoleRig rig(settings);
    LatenessProbe probe;

    bool counting = false;
    QObject::connect(&rig.poller(), &SnapshotPoller::stationPolled, &rig.poller(), [&](int station, bool ok) {
        if (!counting)
            return;
        StationFigures& s = result->stations.at(station);
        ++(ok ? s.pictures : s.failures);
    });

    const int warmupMs = m_options.warmupS * 1000;
    const int durationMs = m_options.durationS * 1000;
    const int rssEarlyMs = std::min(m_options.rssEarlyS * 1000, durationMs);
    result->rssEarlyAtS = rssEarlyMs / 1000;
    result->rssEndAtS = m_options.durationS;

    QElapsedTimer window;
    qint64 cpuAtStart = 0;
    qint64 passesAtStart = 0;
    qint64 skippedAtStart = 0;
    qint64 logAtStart = 0;
    rig.open();
    runFor(kSettleMs);
    // The probe wakes the loop 100 times a second: its own cost, taken as the difference between
    // the idle console with and without it, is not the console's.
    result->idleCpuMsPerS = cpuMsPerSecond(kIdleMs);
    probe.start();
    result->idleProbeCpuMsPerS = cpuMsPerSecond(kIdleMs);

    QEventLoop loop;
    // Precise timers: a coarse one may be off by 5 % of its interval, seconds at this length.
    QTimer::singleShot(warmupMs, Qt::PreciseTimer, &loop, [&]() {
        counting = true;
        window.start();
        cpuAtStart = ProcessStats::cpuTimeUs();
        passesAtStart = rig.poller().passesCompleted();
        skippedAtStart = rig.poller().skippedTicks();
        logAtStart = rig.log().entries();
        result->rssStartKiB = ProcessStats::residentKiB();
        probe.clear();
    });
    QTimer::singleShot(rssEarlyMs, Qt::PreciseTimer, &loop,
                       [&]() { result->rssEarlyKiB = ProcessStats::residentKiB(); });
    QTimer::singleShot(durationMs, Qt::PreciseTimer, &loop, [&]() {
        counting = false;
        result->cpuUs = ProcessStats::cpuTimeUs() - cpuAtStart;
        result->windowS = double(window.nsecsElapsed()) / 1e9;
        result->rssEndKiB = ProcessStats::residentKiB();
        result->passes = rig.poller().passesCompleted() - passesAtStart;
        result->skippedTicks = rig.poller().skippedTicks() - skippedAtStart;
        result->logEntries = rig.log().entries() - logAtStart;
        probe.stop();
        rig.stop();
        loop.quit();
    });
    rig.startPolling();
    loop.exec();

    const std::vector<qint64>& late = probe.samples();
    result->lateSamples = qint64(late.size());
    result->lateP50Ms = probe.percentileMs(50);
    result->lateP99Ms = probe.percentileMs(99);
    result->lateMaxMs = probe.percentileMs(100);
    result->tileSize = rig.window().pictureView(0)->sizeInDevicePixels();
    for (int i = 0; i < kStations; ++i) {
        result->stations.at(i).decodedSize = rig.window().stationPicture(i).size();
        result->pictures += result->stations.at(i).pictures;
    }
    if (!waitFor([&]() { return !rig.poller().isPassRunning(); }, kPassEndWaitMs))
        result->error = QStringLiteral("the last pass did not end after stop()");
}

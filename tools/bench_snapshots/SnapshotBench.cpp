#include "SnapshotBench.h"

#include "ConfigRecord.h"
#include "ConsoleRig.h"
#include "HistoryLoad.h"
#include "LatenessProbe.h"
#include "MainWindow.h"
#include "PictureView.h"
#include "ProcessStats.h"
#include "StationSimulator.h"
#include "SnapshotClient.h"
#include "SnapshotPoller.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <optional>

namespace {

constexpr int kStations = ConfigRecord::kStations;
constexpr int kReadyTimeoutMs = 15000;
constexpr int kFetchTimeoutMs = 5000;
/// After the last tick every fetch under way ends by the poller's own deadline at the latest.
constexpr int kFetchesEndWaitMs = SnapshotPoller::kFetchDeadlineMs + 2000;
constexpr int kStatusTimeoutMs = 5000;
/// Half the snapshot timer's period.
constexpr int kWindowPhaseMs = MainWindow::kTimerPeriodMs / 2;
/// Past the first SYN retransmission (1 s): a connect still pending then was not answered twice.
constexpr int kBlackholeCheckMs = 2000;
constexpr const char* kBlackhole = "blackhole";
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
        result.stations[i].deadMode = plan.deadMode(i);
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
    if (!prepareFrames(plan, &result, &frame) || !checkBlackholes(plan, &result))
        return result;
    result.djpeg = DjpegBench::measure(frame, m_options.djpegIterations, scratch.path());
    if (!result.djpeg.ok) {
        result.error = result.djpeg.error;
        return result;
    }

    poll(scratch.path(), simulator, &result);

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
    for (const DeadStation& dead : plan.dead)
        args << QStringLiteral("--mode") << QStringLiteral("%1=%2").arg(dead.station).arg(dead.mode);
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
    // Qt's own client, not the console's: the console's HTTP layer is what the run measures.
    QNetworkAccessManager http;
    // The simulator renders a cycle's frames on first use: ask for all of them now, so the run
    // measures the console and not the simulator's first rendering.
    const int rounds = std::max(1, simulatorCycle(plan));
    for (int station = 0; station < kStations; ++station) {
        if (!plan.deadMode(station).isEmpty())
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

bool SnapshotBench::fetch(QNetworkAccessManager& http, const QString& url, QByteArray* body, QString* error)
{
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(kFetchTimeoutMs);
    QNetworkReply* reply = http.get(request);
    waitFor([reply]() { return reply->isFinished(); }, kFetchTimeoutMs + 1000);
    const bool ok = reply->isFinished() && reply->error() == QNetworkReply::NoError;
    if (ok)
        *body = reply->readAll();
    else
        *error = QStringLiteral("cannot fetch %1: %2")
                     .arg(url, reply->isFinished() ? reply->errorString() : QStringLiteral("no answer"));
    reply->abort();
    reply->deleteLater();
    return ok;
}

bool SnapshotBench::checkBlackholes(const RunPlan& plan, RunResult* result)
{
    QList<std::pair<int, QTcpSocket*>> probes;
    for (const DeadStation& dead : plan.dead) {
        if (dead.mode != QLatin1StringView(kBlackhole))
            continue;
        auto* socket = new QTcpSocket;
        socket->connectToHost(stationAddress(dead.station), m_options.httpPort);
        probes.append({dead.station, socket});
    }
    if (probes.isEmpty())
        return true;
    runFor(kBlackholeCheckMs);
    QStringList wrong;
    for (const auto& [station, socket] : std::as_const(probes)) {
        if (socket->state() == QAbstractSocket::ConnectingState)
            result->blackholeChecked.append(station);
        else
            wrong << QStringLiteral("%1 (%2)").arg(station).arg(socket->state() == QAbstractSocket::ConnectedState
                                                                    ? QStringLiteral("connected")
                                                                    : socket->errorString());
        socket->abort();
        delete socket;
    }
    result->blackholeCheckMs = kBlackholeCheckMs;
    if (wrong.isEmpty())
        return true;
    result->error = QStringLiteral("blackhole stations whose connect did not stay pending for %1 ms: %2")
                        .arg(kBlackholeCheckMs)
                        .arg(wrong.join(QStringLiteral(", ")));
    return false;
}

bool SnapshotBench::readRequests(StationSimulator& simulator, std::array<qint64, 16>* requests)
{
    static const QRegularExpression end(QStringLiteral("^status end$"));
    static const QRegularExpression line(QStringLiteral("^status (\\d+) \\S+ camera=\\S+ requests=(\\d+) "));
    requests->fill(-1);
    const int from = simulator.lineCount();
    simulator.send(QStringLiteral("status"));
    if (!simulator.waitForLine(end, kStatusTimeoutMs, from))
        return false;
    const QStringList lines = simulator.lines();
    for (qsizetype i = from; i < lines.size(); ++i) {
        const QRegularExpressionMatch m = line.match(lines.at(i));
        const int station = m.hasMatch() ? m.captured(1).toInt() : -1;
        if (station >= 0 && station < kStations)
            (*requests)[station] = m.captured(2).toLongLong();
    }
    return true;
}

void SnapshotBench::poll(const QString& logDir, StationSimulator& simulator, RunResult* result)
{
    ConsoleRig::Settings settings;
    settings.stations = kStations;
    settings.firstOctet = m_options.firstOctet;
    settings.cameraPort = m_options.httpPort;
    settings.callPort = m_options.callPort;
    settings.relayPort = m_options.relayPort;
    settings.windowSize = m_options.windowSize;
    settings.logDir = logDir;
    ConsoleRig rig(settings);
    LatenessProbe probe;

    std::optional<HistoryLoad> history;
    if (m_options.history) {
        QList<int> healthy;
        for (int i = 0; i < kStations; ++i) {
            if (!result->stations.at(i).isDead())
                healthy.append(i);
        }
        history.emplace(rig, healthy);
        // A desk of its own per run: the run's events on the server are those of its desk.
        history->setServer(m_options.historyConnection, m_options.historyServer,
                           QStringLiteral("bench %1").arg(QDateTime::currentMSecsSinceEpoch()));
        if (!history->open(QDir(logDir).filePath(QStringLiteral("history")), &result->error))
            return;
    }

    bool counting = false;
    QObject::connect(&rig.poller(), &SnapshotPoller::stationPolled, &rig.poller(), [&](int station, bool ok) {
        if (station < 0 || station >= kStations)
            return;
        StationFigures& s = result->stations.at(station);
        ++s.attempts;
        if (counting)
            ++(ok ? s.pictures : s.failures);
    });

    // The window's ends fall between two ticks, so a tick's pictures are counted in or out as a whole.
    const int warmupMs = m_options.warmupS * 1000 + kWindowPhaseMs;
    const int durationMs = m_options.durationS * 1000 + kWindowPhaseMs;
    const int rssEarlyMs = m_options.rssEarlyAtS() * 1000;
    result->rssEarlyAtS = m_options.rssEarlyAtS();
    result->rssEndAtS = m_options.durationS;

    QElapsedTimer window;
    qint64 cpuAtStart = 0;
    qint64 passesAtStart = 0;
    qint64 skippedAtStart = 0;
    qint64 logAtStart = 0;
    qint64 fetchErrorsAtStart = 0;
    rig.open();
    runFor(kSettleMs);
    // The probe wakes the loop 100 times a second: its own cost, taken as the difference between
    // the idle console with and without it, is not the console's.
    result->idleCpuMsPerS = cpuMsPerSecond(kIdleMs);
    probe.start();
    result->idleProbeCpuMsPerS = cpuMsPerSecond(kIdleMs);
    std::array<qint64, 16> requestsAtStart{};
    const bool requestsKnown = readRequests(simulator, &requestsAtStart);

    QEventLoop loop;
    // Precise timers: a coarse one may be off by 5 % of its interval, seconds at this length.
    QTimer::singleShot(warmupMs, Qt::PreciseTimer, &loop, [&]() {
        counting = true;
        window.start();
        cpuAtStart = ProcessStats::cpuTimeUs();
        passesAtStart = rig.poller().ticks();
        skippedAtStart = rig.poller().skippedFetches();
        logAtStart = rig.log().entries();
        fetchErrorsAtStart = rig.log().fetchErrors();
        result->rssStartKiB = ProcessStats::residentKiB();
        probe.clear();
        if (history)
            history->start();
    });
    QTimer::singleShot(rssEarlyMs, Qt::PreciseTimer, &loop,
                       [&]() { result->rssEarlyKiB = ProcessStats::residentKiB(); });
    QTimer::singleShot(durationMs, Qt::PreciseTimer, &loop, [&]() {
        counting = false;
        result->cpuUs = ProcessStats::cpuTimeUs() - cpuAtStart;
        result->windowS = double(window.nsecsElapsed()) / 1e9;
        result->rssEndKiB = ProcessStats::residentKiB();
        result->passes = rig.poller().ticks() - passesAtStart;
        result->skippedTicks = rig.poller().skippedFetches() - skippedAtStart;
        result->logEntries = rig.log().entries() - logAtStart;
        result->fetchErrorEntries = rig.log().fetchErrors() - fetchErrorsAtStart;
        probe.stop();
        if (history)
            history->stop();
        // No tick any more, but the fetches under way finish and are counted as attempts.
        rig.stopPolling();
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
    const bool fetchesEnded = waitFor([&]() { return !rig.poller().isFetching(); }, kFetchesEndWaitMs);
    std::array<qint64, 16> requestsAtEnd{};
    if (fetchesEnded && requestsKnown && readRequests(simulator, &requestsAtEnd)) {
        for (int i = 0; i < kStations; ++i) {
            if (requestsAtStart[i] >= 0 && requestsAtEnd[i] >= 0)
                result->stations.at(i).requests = requestsAtEnd[i] - requestsAtStart[i];
        }
    }
    rig.stop();
    if (history)
        result->history = history->finish();
    if (!fetchesEnded)
        result->error = QStringLiteral("fetches still under way %1 ms after the last tick").arg(kFetchesEndWaitMs);
    else if (!requestsKnown)
        result->error = QStringLiteral("the simulator did not answer \"status\"");
}

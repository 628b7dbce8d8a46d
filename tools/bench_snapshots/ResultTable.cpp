#include "ResultTable.h"

#include <QStringList>

namespace ResultTable {

namespace {

constexpr double kTargetRate = 1.9;
constexpr double kTargetLateP99Ms = 20.0;
/// The GUI thread's time per recorded event, p99 and max.
constexpr double kTargetEventUs = 5000.0;
/// Delivery of a backlog to the history server on loopback, events per second.
constexpr double kTargetBacklogRate = 100.0;
/// Growth between the two memory figures still taken as noise.
constexpr double kRssNoiseMiB = 2.0;

QString size(const QSize& s)
{
    return !s.isEmpty() ? QStringLiteral("%1x%2").arg(s.width()).arg(s.height()) : QStringLiteral("-");
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

double mib(qint64 kib)
{
    return double(kib) / 1024.0;
}

QString verdict(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("MISSED");
}

double rssGrowthMiB(const RunResult& r)
{
    return mib(r.rssEndKiB - r.rssEarlyKiB);
}

QString requestsPerAttempt(const StationFigures& s)
{
    const double ratio = s.requestsPerAttempt();
    return ratio < 0 ? QStringLiteral("?") : fixed(ratio, 2);
}

/// A camera that takes no connection receives no request; any other gets exactly one per attempt.
bool requestsAsExpected(const StationFigures& s)
{
    const bool unreachable = s.deadMode == QStringLiteral("refuse") || s.deadMode == QStringLiteral("blackhole");
    return s.attempts > 0 && s.requests == (unreachable ? 0 : s.attempts);
}

QString deadRequests(const RunResult& r, bool withStation)
{
    QStringList parts;
    bool sameMode = true;
    for (const StationFigures& s : r.stations)
        sameMode = sameMode && (!s.isDead() || s.deadMode == r.plan.dead.constFirst().mode);
    for (int i = 0; i < int(r.stations.size()); ++i) {
        const StationFigures& s = r.stations.at(i);
        if (!s.isDead())
            continue;
        QString part = requestsPerAttempt(s);
        if (!sameMode)
            part = s.deadMode + QLatin1Char(' ') + part;
        if (withStation)
            part = QStringLiteral("%1: %2 (%3/%4)").arg(i).arg(part).arg(s.requests).arg(s.attempts);
        parts << part;
    }
    return parts.join(QStringLiteral(", "));
}

/// "p50 / p99 / max" in ms.
QString spreadMs(const Spread& s)
{
    return QStringLiteral("%1 / %2 / %3 ms")
        .arg(fixed(s.p50Us / 1000.0, 3), fixed(s.p99Us / 1000.0, 3), fixed(s.maxUs / 1000.0, 3));
}

QString workerCpuPerEvent(const HistoryFigures& h)
{
    if (h.workerCpuUs < 0 || h.events <= 0)
        return QStringLiteral("?");
    return QStringLiteral("%1 ms").arg(fixed(double(h.workerCpuUs) / 1000.0 / double(h.events), 2));
}

QString databaseSize(const HistoryFigures& h)
{
    const auto mebibytes = [](qint64 bytes) { return fixed(double(bytes) / (1024.0 * 1024.0), 1); };
    return QStringLiteral("%1 MiB + WAL %2 MiB").arg(mebibytes(h.databaseBytes), mebibytes(h.walBytes));
}

bool eventTimeMet(const HistoryFigures& h)
{
    return h.events > 0 && h.eventWall.p99Us <= kTargetEventUs && h.eventWall.maxUs <= kTargetEventUs;
}

QString serverText(const HistoryFigures& h)
{
    if (h.server.isEmpty())
        return QStringLiteral("none");
    if (h.server == QStringLiteral("down"))
        return QStringLiteral("down (refused)");
    return QStringLiteral("up, %1 events there").arg(h.serverEvents);
}

QStringList historyRows(const HistoryFigures& h)
{
    QStringList out;
    out << QStringLiteral("| history: lock events | %1 given, %2 stored, %3 pictures stored | every event with its "
                          "picture | %4 |")
               .arg(h.events)
               .arg(h.storedEvents)
               .arg(h.storedPictures)
               .arg(verdict(h.events > 0 && h.storedEvents == h.events && h.storedPictures == h.events));
    out << QStringLiteral("| history: GUI thread per event, wall p50 / p99 / max | %1 (%2 events) | p99 and max <= "
                          "%3 ms | %4 |")
               .arg(spreadMs(h.eventWall))
               .arg(h.eventWall.samples)
               .arg(fixed(kTargetEventUs / 1000.0, 0), verdict(eventTimeMet(h)));
    out << QStringLiteral("| history: GUI thread per event, thread CPU p50 / p99 / max | %1 | | |")
               .arg(spreadMs(h.eventCpu));
    out << QStringLiteral("| history: events with the GUI thread switched out | waited in %1, preempted in %2 | | |")
               .arg(h.switchedEvents.waited)
               .arg(h.switchedEvents.preempted);
    out << QStringLiteral("| history: GUI thread per camera frame, wall p50 / p99 / max | %1 (%2 frames) | | |")
               .arg(spreadMs(h.frameWall))
               .arg(h.frameWall.samples);
    out << QStringLiteral("| history: worker thread CPU per event | %1 (%2 ms in all) | | |")
               .arg(workerCpuPerEvent(h), fixed(double(h.workerCpuUs) / 1000.0, 0));
    out << QStringLiteral("| history: database file | %1 | | |").arg(databaseSize(h));
    if (h.server == QStringLiteral("up"))
        out << QStringLiteral("| history: server | %1 | every event | %2 |")
                   .arg(serverText(h), verdict(h.serverEvents == h.storedEvents));
    else if (!h.server.isEmpty())
        out << QStringLiteral("| history: server | %1 | | |").arg(serverText(h));
    return out;
}

double cpuRatio(const RunResult& r)
{
    return r.djpeg.decodeMs() > 0 ? r.cpuPerPictureMs() / r.djpeg.decodeMs() : 0;
}

} // namespace

QString runReport(const RunResult& r)
{
    QStringList out;
    out << QStringLiteral("### Run %1) %2").arg(r.plan.name, r.plan.title);
    if (!r.ok && r.windowS <= 0) {
        out << QString() << QStringLiteral("Failed: %1").arg(r.error) << QString();
        return out.join(QLatin1Char('\n'));
    }
    out << QString()
        << QStringLiteral("Picture %1, %2 bytes; tile %3; counted over %4 s.")
               .arg(size(r.frameSize))
               .arg(r.frameBytes)
               .arg(size(r.tileSize))
               .arg(fixed(r.windowS, 1));
    if (!r.blackholeChecked.isEmpty()) {
        QStringList stations;
        for (const int station : r.blackholeChecked)
            stations << QString::number(station);
        out << QStringLiteral("Before polling, a connect to the blackhole station(s) %1 was still pending after %2 s.")
                   .arg(stations.join(QStringLiteral(", ")), fixed(r.blackholeCheckMs / 1000.0, 1));
    }
    out << QString();
    out << QStringLiteral("| station | address | camera | pictures | pictures/s | failed fetches | attempts | requests "
                          "| requests/attempt | decoded at |");
    out << QStringLiteral("|---|---|---|---|---|---|---|---|---|---|");
    for (int i = 0; i < int(r.stations.size()); ++i) {
        const StationFigures& s = r.stations.at(i);
        out << QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 | %10 |")
                   .arg(i)
                   .arg(s.address, s.isDead() ? s.deadMode : QStringLiteral("ok"))
                   .arg(s.pictures)
                   .arg(fixed(r.windowS > 0 ? double(s.pictures) / r.windowS : 0, 2))
                   .arg(s.failures)
                   .arg(s.attempts)
                   .arg(s.requests >= 0 ? QString::number(s.requests) : QStringLiteral("?"))
                   .arg(requestsPerAttempt(s), size(s.decodedSize));
    }
    const double cpu = r.cpuPerPictureMs();
    const double decode = r.djpeg.decodeMs();
    out << QString();
    out << QStringLiteral("| figure | value | target | |");
    out << QStringLiteral("|---|---|---|---|");
    out << QStringLiteral("| pictures/s per healthy tile | min %1, median %2 | >= %3 | %4 |")
               .arg(fixed(r.minRate(), 2), fixed(r.medianRate(), 2), fixed(kTargetRate, 1))
               .arg(verdict(r.minRate() >= kTargetRate));
    if (!r.plan.dead.isEmpty()) {
        bool allExpected = true;
        for (const StationFigures& s : r.stations)
            allExpected = allExpected && (!s.isDead() || requestsAsExpected(s));
        out << QStringLiteral("| requests per attempt, dead stations (requests/attempts) | %1 | 1 (0 where no connect "
                              "completes) | %2 |")
                   .arg(deadRequests(r, true), verdict(allExpected));
    }
    out << QStringLiteral("| console CPU per displayed picture | %1 ms, %2x djpeg (%3 pictures; %4 ms with the probe's "
                          "own cost) | <= djpeg decode %5 ms (%6 ms per run - %7 ms start-up, medians of %8) | %9 |")
               .arg(fixed(cpu, 2), fixed(cpuRatio(r), 2))
               .arg(r.pictures)
               .arg(fixed(r.grossCpuPerPictureMs(), 2))
               .arg(fixed(decode, 2), fixed(r.djpeg.perRunMs, 2), fixed(r.djpeg.startupMs, 2))
               .arg(r.djpeg.iterations)
               .arg(verdict(r.pictures > 0 && cpu <= decode));
    out << QStringLiteral("| idle console, CPU per s | %1 ms; %2 ms with the 10 ms probe | | |")
               .arg(fixed(r.idleCpuMsPerS, 2), fixed(r.idleProbeCpuMsPerS, 2));
    out << QStringLiteral("| 10 ms timer lateness | p50 %1 ms, p99 %2 ms, max %3 ms (%4 samples) | p99 <= %5 ms | %6 |")
               .arg(fixed(r.lateP50Ms, 2), fixed(r.lateP99Ms, 2), fixed(r.lateMaxMs, 1))
               .arg(r.lateSamples)
               .arg(fixed(kTargetLateP99Ms, 0))
               .arg(verdict(r.lateP99Ms <= kTargetLateP99Ms));
    out << QStringLiteral("| VmRSS | %1 MiB at %2 s, %3 MiB at %4 s (%5 MiB at the window's start) | growth <= %6 MiB "
                          "| %7 |")
               .arg(fixed(mib(r.rssEarlyKiB), 1))
               .arg(r.rssEarlyAtS)
               .arg(fixed(mib(r.rssEndKiB), 1))
               .arg(r.rssEndAtS)
               .arg(fixed(mib(r.rssStartKiB), 1))
               .arg(fixed(kRssNoiseMiB, 0))
               .arg(verdict(rssGrowthMiB(r) <= kRssNoiseMiB));
    out << QStringLiteral("| ticks, skipped | %1 ticks, %2 skipped | | |").arg(r.passes).arg(r.skippedTicks);
    out << QStringLiteral("| event log entries | %1 (%2 \"GetPicFromHTTP\") | | |")
               .arg(r.logEntries)
               .arg(r.fetchErrorEntries);
    if (r.history.on)
        out << historyRows(r.history);
    if (!r.error.isEmpty())
        out << QString() << QStringLiteral("Error: %1").arg(r.error);
    out << QString();
    return out.join(QLatin1Char('\n'));
}

QString summary(const QList<RunResult>& results)
{
    const int early = results.isEmpty() ? 0 : results.constFirst().rssEarlyAtS;
    const int late = results.isEmpty() ? 0 : results.constFirst().rssEndAtS;
    QStringList out;
    out << QStringLiteral("| Run | Pictures/s per healthy tile (min / median) | Requests per attempt, dead stations "
                          "| CPU per picture (x djpeg) | djpeg full decode | Lateness p99 (max) "
                          "| VmRSS at %1 s -> %2 s | Skipped ticks |")
               .arg(early)
               .arg(late);
    out << QStringLiteral("|---|---:|---:|---:|---:|---:|---:|---:|");
    for (const RunResult& r : results) {
        if (r.windowS <= 0) {
            out << QStringLiteral("| %1) %2 | failed: %3 | | | | | | |").arg(r.plan.name, r.plan.title, r.error);
            continue;
        }
        out << QStringLiteral("| %1) %2 | %3 / %4 | %5 | %6 ms (%7) | %8 ms | %9 ms (%10) | %11 -> %12 MiB | %13 |")
                   .arg(r.plan.name, r.plan.title, fixed(r.minRate(), 2), fixed(r.medianRate(), 2),
                        r.plan.dead.isEmpty() ? QStringLiteral("-") : deadRequests(r, false),
                        fixed(r.cpuPerPictureMs(), 2), fixed(cpuRatio(r), 2), fixed(r.djpeg.decodeMs(), 2),
                        fixed(r.lateP99Ms, 2))
                   .arg(fixed(r.lateMaxMs, 1), fixed(mib(r.rssEarlyKiB), 1), fixed(mib(r.rssEndKiB), 1))
                   .arg(r.skippedTicks);
    }
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString historySummary(const QList<RunResult>& results)
{
    QStringList out;
    out << QStringLiteral("| Run | Events given / stored (pictures) | GUI thread per event, wall p50 / p99 / max "
                          "| GUI thread per event, CPU p50 / p99 / max | Events switched out (waited / preempted) "
                          "| GUI thread per frame, wall p99 | Worker CPU per event | Database | History server |");
    out << QStringLiteral("|---|---:|---:|---:|---:|---:|---:|---:|---|");
    for (const RunResult& r : results) {
        const HistoryFigures& h = r.history;
        if (!h.on) {
            out << QStringLiteral("| %1) %2 | failed: %3 | | | | | | | |").arg(r.plan.name, r.plan.title, r.error);
            continue;
        }
        out << QStringLiteral("| %1) %2 | %3 / %4 (%5) | %6 | %7 | %8 / %9 | %10 ms | %11 | %12 | %13 |")
                   .arg(r.plan.name, r.plan.title)
                   .arg(h.events)
                   .arg(h.storedEvents)
                   .arg(h.storedPictures)
                   .arg(spreadMs(h.eventWall), spreadMs(h.eventCpu))
                   .arg(h.switchedEvents.waited)
                   .arg(h.switchedEvents.preempted)
                   .arg(fixed(h.frameWall.p99Us / 1000.0, 3), workerCpuPerEvent(h), databaseSize(h), serverText(h));
    }
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString backlogSummary(const BacklogFigures& b)
{
    const double rate = b.seconds > 0 ? double(b.onServer) / b.seconds : 0;
    QStringList out;
    out << QStringLiteral("| Backlog | Pictures | Delivered | Last commit (caught up) | Events/s | Target |");
    out << QStringLiteral("|---|---:|---:|---:|---:|---|");
    out << QStringLiteral("| %1 events, a 640 x 480 picture each | %2 MiB | %3 | %4 s (%5 s) | %6 | >= %7: %8 |")
               .arg(b.events)
               .arg(fixed(double(b.pictureBytes) / (1024.0 * 1024.0), 1))
               .arg(b.onServer)
               .arg(fixed(b.seconds, 2), fixed(b.caughtUpSeconds, 2), fixed(rate, 0), fixed(kTargetBacklogRate, 0),
                    verdict(b.ok && rate >= kTargetBacklogRate));
    if (!b.error.isEmpty())
        out << QString() << QStringLiteral("Failed: ") + b.error;
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace ResultTable

#include "ResultTable.h"

#include <QStringList>

namespace ResultTable {

namespace {

constexpr double kTargetRate = 1.9;
constexpr double kTargetLateP99Ms = 20.0;
/// Growth between the two memory figures still taken as noise.
constexpr double kRssNoiseMiB = 2.0;

QString size(const QSize& s)
{
    return s.isValid() ? QStringLiteral("%1x%2").arg(s.width()).arg(s.height()) : QStringLiteral("-");
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

} // namespace

QString runReport(const RunResult& r)
{
    QStringList out;
    out << QStringLiteral("### Run %1) %2").arg(r.plan.label, r.plan.title);
    if (!r.ok && r.windowS <= 0) {
        out << QString() << QStringLiteral("Failed: %1").arg(r.error) << QString();
        return out.join(QLatin1Char('\n'));
    }
    out << QString()
        << QStringLiteral("Picture %1, %2 bytes; tile %3; counted over %4 s.")
               .arg(size(r.frameSize))
               .arg(r.frameBytes)
               .arg(size(r.tileSize))
               .arg(fixed(r.windowS, 1))
        << QString();
    out << QStringLiteral("| station | address | pictures | pictures/s | failed fetches | decoded at |");
    out << QStringLiteral("|---|---|---|---|---|---|");
    for (int i = 0; i < int(r.stations.size()); ++i) {
        const StationFigures& s = r.stations.at(i);
        out << QStringLiteral("| %1%2 | %3 | %4 | %5 | %6 | %7 |")
                   .arg(i)
                   .arg(s.hangs ? QStringLiteral(" (hang)") : QString())
                   .arg(s.address)
                   .arg(s.pictures)
                   .arg(fixed(r.windowS > 0 ? double(s.pictures) / r.windowS : 0, 2))
                   .arg(s.failures)
                   .arg(size(s.decodedSize));
    }
    const double cpu = r.cpuPerPictureMs();
    const double decode = r.djpeg.decodeMs();
    out << QString();
    out << QStringLiteral("| figure | value | target | |");
    out << QStringLiteral("|---|---|---|---|");
    out << QStringLiteral("| pictures/s per tile%1 | min %2, mean %3 | >= %4 | %5 |")
               .arg(r.plan.hangStation >= 0 ? QStringLiteral(" (the answering stations)") : QString())
               .arg(fixed(r.minRate(), 2), fixed(r.meanRate(), 2), fixed(kTargetRate, 1))
               .arg(verdict(r.minRate() >= kTargetRate));
    out << QStringLiteral("| console CPU per displayed picture | %1 ms (%2 pictures; %3 ms with the probe's own cost) "
                          "| <= djpeg decode %4 ms (%5 ms per run - %6 ms start-up, medians of %7) | %8 |")
               .arg(fixed(cpu, 2))
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
    out << QStringLiteral("| passes, skipped ticks | %1 passes, %2 skipped ticks | | |").arg(r.passes).arg(r.skippedTicks);
    out << QStringLiteral("| event log entries | %1 | | |").arg(r.logEntries);
    if (!r.error.isEmpty())
        out << QString() << QStringLiteral("Error: %1").arg(r.error);
    out << QString();
    return out.join(QLatin1Char('\n'));
}

QString summary(const QList<RunResult>& results)
{
    QStringList out;
    out << QStringLiteral("| run | pictures/s per tile (min / mean) | CPU per picture | djpeg full decode "
                          "| lateness p99 | VmRSS early -> end | skipped ticks |");
    out << QStringLiteral("|---|---|---|---|---|---|---|");
    for (const RunResult& r : results) {
        if (r.windowS <= 0) {
            out << QStringLiteral("| %1) %2 | failed: %3 | | | | | |").arg(r.plan.label, r.plan.title, r.error);
            continue;
        }
        out << QStringLiteral("| %1) %2 | %3 / %4 | %5 ms | %6 ms | %7 ms | %8 -> %9 MiB | %10 |")
                   .arg(r.plan.label, r.plan.title, fixed(r.minRate(), 2), fixed(r.meanRate(), 2),
                        fixed(r.cpuPerPictureMs(), 2), fixed(r.djpeg.decodeMs(), 2), fixed(r.lateP99Ms, 2),
                        fixed(mib(r.rssEarlyKiB), 1), fixed(mib(r.rssEndKiB), 1))
                   .arg(r.skippedTicks);
    }
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace ResultTable

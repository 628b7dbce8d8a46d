#include "FailureLogPolicy.h"

#include <QElapsedTimer>

#include <memory>
#include <utility>

namespace {

QString lastMinutes(qint64 ms)
{
    const qint64 minutes = ms / 60000;
    return minutes < 2 ? QStringLiteral("the last minute") : QStringLiteral("the last %1 min").arg(minutes);
}

QString duration(qint64 ms)
{
    const qint64 seconds = (ms + 500) / 1000;
    return seconds < 120 ? QStringLiteral("%1 s").arg(seconds) : QStringLiteral("%1 min").arg(seconds / 60);
}

} // namespace

FailureLogPolicy::FailureLogPolicy(Clock clock)
    : m_clock(std::move(clock))
{
    if (!m_clock) {
        auto timer = std::make_shared<QElapsedTimer>();
        timer->start();
        m_clock = [timer]() { return timer->elapsed(); };
    }
}

qint64 FailureLogPolicy::now() const
{
    return m_clock();
}

QString FailureLogPolicy::failed(int station, const QString& line)
{
    if (station < 0 || station >= kStations)
        return line;
    Station& s = m_stations[std::size_t(station)];
    const qint64 t = now();
    if (!s.down) {
        s.down = true;
        s.downSinceMs = t;
    }
    ++s.uncounted;
    if (s.lastLineMs >= 0 && t - s.lastLineMs < kCountIntervalMs)
        return QString();
    QString text = line;
    // The outage's first line names the failure alone; later ones say how many came since the last line.
    if (s.logsDown || s.uncounted > 1)
        text += QStringLiteral(": %1 more %2 in %3")
                    .arg(s.uncounted)
                    .arg(s.uncounted == 1 ? QStringLiteral("failure") : QStringLiteral("failures"),
                         lastMinutes(t - s.lastLineMs));
    s.logsDown = true;
    s.lastLineMs = t;
    s.uncounted = 0;
    return text;
}

QString FailureLogPolicy::succeeded(int station, const QString& subject)
{
    if (station < 0 || station >= kStations)
        return QString();
    Station& s = m_stations[std::size_t(station)];
    if (!s.down)
        return QString();
    s.down = false;
    if (!s.logsDown)
        return QString();
    s.logsDown = false;
    s.uncounted = 0;
    return subject + QStringLiteral(" works again after ") + duration(now() - s.downSinceMs);
}

QString FailureLogPolicy::stationName(const QString& description, int station)
{
    const QString name = description.trimmed();
    return name.isEmpty() ? QStringLiteral("Station %1").arg(station + 1) : name;
}

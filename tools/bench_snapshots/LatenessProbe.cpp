#include "LatenessProbe.h"

#include <algorithm>
#include <cmath>

LatenessProbe::LatenessProbe(QObject* parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    // A coarse timer may fire up to 5 % early or late on purpose; only the loop's own delay is wanted.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, &LatenessProbe::fired);
}

void LatenessProbe::start()
{
    m_armed.start();
    m_timer.start();
}

void LatenessProbe::stop()
{
    m_timer.stop();
}

void LatenessProbe::fired()
{
    const qint64 lateUs = m_armed.nsecsElapsed() / 1000 - kPeriodMs * 1000;
    m_lateUs.push_back(std::max<qint64>(lateUs, 0));
    m_armed.start();
    m_timer.start();
}

double LatenessProbe::percentileMs(double p) const
{
    if (m_lateUs.empty())
        return 0;
    std::vector<qint64> sorted = m_lateUs;
    std::sort(sorted.begin(), sorted.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * double(sorted.size())));
    const std::size_t index = std::clamp<std::size_t>(rank, 1, sorted.size()) - 1;
    return double(sorted[index]) / 1000.0;
}

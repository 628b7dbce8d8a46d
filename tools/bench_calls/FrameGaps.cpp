#include "FrameGaps.h"

#include <algorithm>

FrameGaps::FrameGaps(int stations)
    : m_lastNs(std::size_t(stations), -1)
    , m_longestNs(std::size_t(stations), 0)
{
    m_clock.start();
}

void FrameGaps::start()
{
    std::fill(m_longestNs.begin(), m_longestNs.end(), 0);
    m_frames = 0;
    m_windowStartNs = m_clock.nsecsElapsed();
    m_open = true;
}

void FrameGaps::frame(int station)
{
    if (station < 0 || std::size_t(station) >= m_lastNs.size())
        return;
    const qint64 now = m_clock.nsecsElapsed();
    auto& last = m_lastNs[std::size_t(station)];
    if (m_open) {
        auto& longest = m_longestNs[std::size_t(station)];
        longest = std::max(longest, now - (last >= 0 ? last : m_windowStartNs));
        ++m_frames;
    }
    last = now;
}

void FrameGaps::finish()
{
    if (!m_open)
        return;
    const qint64 now = m_clock.nsecsElapsed();
    for (std::size_t i = 0; i < m_lastNs.size(); ++i)
        m_longestNs[i] = std::max(m_longestNs[i], now - (m_lastNs[i] >= 0 ? m_lastNs[i] : m_windowStartNs));
    m_open = false;
}

double FrameGaps::longestMs() const
{
    const int station = longestStation();
    return station < 0 ? 0 : double(m_longestNs[std::size_t(station)]) / 1e6;
}

int FrameGaps::longestStation() const
{
    if (m_longestNs.empty())
        return -1;
    return int(std::max_element(m_longestNs.begin(), m_longestNs.end()) - m_longestNs.begin());
}

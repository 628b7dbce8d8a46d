#include "RingSlide.h"

#include <algorithm>

RingSlide::RingSlide(double screenWidthTwips, double screenHeightTwips, double popupWidthTwips,
                     double popupHeightTwips)
    : m_screenHeight(screenHeightTwips)
    , m_popupHeight(popupHeightTwips)
    , m_left(std::max(screenWidthTwips - popupWidthTwips - kRightMarginTwips, 0.0))
    , m_top(screenHeightTwips)
{
}

RingSlide::Tick RingSlide::tick()
{
    if (!m_timerRunning)
        return Tick::Stopped;
    if (m_slidePhase == 1) {
        m_top -= kStepTwips;
        if (m_top < restLimit()) {
            m_slidePhase = 0;
            m_timerRunning = false;
            return Tick::Rested;
        }
        return Tick::Moved;
    }
    m_top += kStepTwips;
    if (m_top > m_screenHeight) {
        m_timerRunning = false;
        return Tick::SlidOut;
    }
    return Tick::Moved;
}

void RingSlide::buttonUsed()
{
    m_timerRunning = true;
}

double RingSlide::restLimit() const
{
    // It stops at the first step past the limit: a limit one step down keeps the whole popup on the screen.
    return std::max(m_screenHeight - m_popupHeight - kRestAboveBottomTwips, kStepTwips);
}

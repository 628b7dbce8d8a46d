#include "RingSlide.h"

RingSlide::RingSlide(double screenWidthTwips, double screenHeightTwips, double popupWidthTwips,
                     double popupHeightTwips)
    : m_screenHeight(screenHeightTwips)
    , m_popupHeight(popupHeightTwips)
    , m_left(screenWidthTwips - popupWidthTwips - kRightMarginTwips)
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

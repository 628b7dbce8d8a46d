#pragma once

/// Where the incoming-call popup stands during its slide, in twips, and what
/// its 5 ms timer does at each tick. Pure arithmetic: the popup widget moves
/// itself to left(), top() and starts or stops its timer as told.
class RingSlide
{
public:
    static constexpr double kStepTwips = 35;
    static constexpr double kRightMarginTwips = 200;
    /// The popup rests with its lower edge about this far above the screen's bottom.
    static constexpr double kRestAboveBottomTwips = 800;
    static constexpr int kTickMs = 5;

    enum class Tick
    {
        Moved,    ///< moved one step, the timer goes on
        Rested,   ///< came to rest at the top of the rise; the timer stops
        SlidOut,  ///< below the screen; the timer stops and the popup unloads
        Stopped,  ///< the timer was not running; nothing moved
    };

    /// The set-up of a loading popup: Left = screen width - popup width - 200,
    /// Top = screen height (just below the screen), rising, timer running.
    /// Screen and popup sizes are outer sizes in twips.
    RingSlide(double screenWidthTwips, double screenHeightTwips, double popupWidthTwips, double popupHeightTwips);

    /// One timer tick: rising, 35 twips up, at rest once Top is less than
    /// screen height - popup height - 800; lowering, 35 twips down, gone once
    /// Top is greater than the screen height.
    Tick tick();

    /// A popup button was used: the timer runs again (5 ms). The direction is
    /// not changed, so a popup still rising finishes its rise and rests.
    void buttonUsed();

    double left() const { return m_left; }
    double top() const { return m_top; }
    /// 1 rising, 0 lowering or at rest.
    int slidePhase() const { return m_slidePhase; }
    /// Whether the timer runs (period 5 ms) or is stopped (period 0).
    bool isTimerRunning() const { return m_timerRunning; }
    /// Top of the resting place's threshold: screen height - popup height - 800, but never above the
    /// screen's top (a popup taller than the room left rests at the top, whole).
    double restLimit() const;

private:
    double m_screenHeight;
    double m_popupHeight;
    double m_left;
    double m_top;
    int m_slidePhase = 1;
    bool m_timerRunning = true;
};

#pragma once

#include "RingSlide.h"

#include <QWidget>

#include <array>

class ImageButton;
class QTimer;
class SipEngine;

/// frmRing, the incoming-call popup: a small dark window with an answer
/// button iCmd(1) and a reject button iCmd(0). It places itself just below
/// the bottom right of the primary screen and rises (Timer1, 5 ms steps) to
/// rest above the bottom; after a button it slides back down and closes.
/// Always on top, opacity 150/255, not in the task bar, and shown without
/// taking the keyboard focus from whatever the operator is typing in.
class RingPopup : public QWidget
{
    Q_OBJECT
public:
    static constexpr double kWidthTwips = 1755;
    static constexpr double kHeightTwips = 990;
    static constexpr int kOpacity = 150;
    static constexpr int kIconPx = 35;

    /// engine must outlive the popup. Set-up happens here (place, rise,
    /// always on top, translucent); the caller then shows it. Without a parent
    /// it is a top-level window; the caller owns it.
    explicit RingPopup(SipEngine& engine, QWidget* parent = nullptr);
    ~RingPopup() override;

    /// 0 reject (or hang up), 1 answer.
    ImageButton* iCmd(int index) const { return m_iCmd.at(std::size_t(index)); }
    QTimer* Timer1() const { return m_timer1; }
    const RingSlide& slide() const { return m_slide; }

    /// A click of iCmd(index): 0 linphoneTerminate, 1 linphoneAnswer and then
    /// answered(); either way the timer runs again, so a popup at rest slides out.
    void iCmd_Click(int index);

signals:
    /// The answer button asked the engine to answer; the main window comes back for the call.
    void answered();
    /// The slide-out has left the screen; the popup closes right after.
    void slidOut();

protected:
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void Timer1Tick();
    void placeAtSlide();

    SipEngine& m_engine;
    RingSlide m_slide;
    QPoint m_screenOrigin;
    std::array<ImageButton*, 2> m_iCmd{};
    QTimer* m_timer1;
};

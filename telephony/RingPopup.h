#pragma once

#include "RingSlide.h"

#include <QWidget>


class ImageButton;
class QTimer;

/// The incoming-call popup: a small dark window with an answer button and a
/// reject button. It places itself just below
/// the bottom right of the primary screen and rises (5 ms steps) to
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

    /// Set-up happens here (place, rise, always on top, translucent); the
    /// caller then shows it. Without a parent it is a top-level window; the
    /// caller owns it.
    explicit RingPopup(QWidget* parent = nullptr);
    ~RingPopup() override;

    ImageButton* answerButton() const { return m_answerButton; }
    /// Rejects a ringing call, or hangs up one already answered.
    ImageButton* rejectButton() const { return m_rejectButton; }
    QTimer* slideTimer() const { return m_slideTimer; }
    const RingSlide& slide() const { return m_slide; }

    /// The buttons' actions: answered() or rejected() (the call control asks
    /// the engine), and the popup slides out, or finishes its rise first and rests.
    void rejectCall();
    void answerCall();

signals:
    /// The operator answered in the popup; the main window comes back for the call.
    void answered();
    /// The operator refused the call.
    void rejected();
    /// The slide-out has left the screen; the popup closes right after.
    void slidOut();

protected:
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void slideStep();
    void placeAtSlide();
    void buttonUsed();

    RingSlide m_slide;
    QPoint m_screenOrigin;
    QTimer* m_slideTimer;
    ImageButton* m_answerButton = nullptr;
    ImageButton* m_rejectButton = nullptr;
};

#pragma once

#include "RingSlide.h"

#include <QWidget>


class ImageButton;
class PictureView;
class QLabel;
class QTimer;

/// The incoming-call popup: a small dark window with an answer button and a
/// reject button, the caller's name beside them and the calling station's
/// camera picture under them. It places itself just below
/// the bottom right of the primary screen and rises (5 ms steps) to
/// rest above the bottom; after a button it slides back down and closes.
/// Always on top, opacity 150/255, not in the task bar, and shown without
/// taking the keyboard focus from whatever the operator is typing in.
class RingPopup : public QWidget
{
    Q_OBJECT
public:
    /// Wide enough for a picture to recognise a visitor at a glance (320 px).
    static constexpr double kWidthTwips = 4800;
    static constexpr double kHeightTwips = 4725;
    /// The camera picture, below the buttons: 4:3, the popup's width less its margins.
    static constexpr double kPictureLeftTwips = 150;
    static constexpr double kPictureTopTwips = 975;
    static constexpr double kPictureWidthTwips = 4500;
    static constexpr double kPictureHeightTwips = 3375;
    static constexpr int kOpacity = 150;
    static constexpr int kIconPx = 35;

    /// Set-up happens here (place, rise, always on top, translucent); the
    /// caller then shows it. Without a parent it is a top-level window; the
    /// caller owns it.
    explicit RingPopup(QWidget* parent = nullptr);
    ~RingPopup() override;

    /// Who calls: the station's description and number, or the caller's address.
    void setCaller(const QString& text);
    QString caller() const;
    /// The calling station's latest camera picture (null: none yet).
    void setPicture(const QImage& picture);
    PictureView* pictureView() const { return m_picture; }

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
    QLabel* m_caller = nullptr;
    PictureView* m_picture = nullptr;
};

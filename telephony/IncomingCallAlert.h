#pragma once

#include "RingAlert.h"

#include <QObject>
#include <QPointer>

class ConsoleWindow;
class RingPopup;
class RingTone;

/// The real RingAlert: loads the incoming-call popup as a top-level window of its
/// own and starts the ring. The popup's answer brings the main window back for
/// the call. GUI thread only.
class IncomingCallAlert : public QObject, public RingAlert
{
    Q_OBJECT
public:
    /// Every reference must outlive the object.
    IncomingCallAlert(ConsoleWindow& window, RingTone& ring, QObject* parent = nullptr);
    /// Unloads a popup still loaded.
    ~IncomingCallAlert() override;

    void showPopup() override;
    void unloadPopup() override;
    void startRing() override;
    void stopRing() override;

    /// The loaded popup, or nullptr.
    RingPopup* popup() const;

signals:
    /// A popup was loaded and shown.
    void popupShown();
    /// The operator answered the ringing call on the popup.
    void callAnswered();
    /// The operator refused the ringing call on the popup.
    void callRejected();

private:
    ConsoleWindow& m_window;
    RingTone& m_ring;
    QPointer<RingPopup> m_popup;
};

#pragma once

#include "RingAlert.h"
#include "StationPictureFeed.h"

#include <QObject>
#include <QPointer>

class ConsoleWindow;
class RingPopup;
class RingTone;
class QImage;
struct ConfigRecord;

/// The real RingAlert: loads the incoming-call popup as a top-level window of its
/// own and starts the ring. The popup's answer brings the main window back for
/// the call. GUI thread only.
class IncomingCallAlert : public QObject, public RingAlert, public StationPictureFeed
{
    Q_OBJECT
public:
    /// Every reference must outlive the object; record names the stations.
    IncomingCallAlert(const ConfigRecord& record, ConsoleWindow& window, RingTone& ring, QObject* parent = nullptr);
    /// Unloads a popup still loaded.
    ~IncomingCallAlert() override;

    void showPopup(int station, const QString& peer) override;
    // StationPictureFeed: the popup shows the ringing station's camera.
    /// The station whose call the popup shows; -1 for none or a caller that is no station.
    int shownStation() const override;
    QSize shownPictureSize() const override;
    void showPicture(const QImage& picture) override;

    /// What the popup says of the caller: "DESCRIPTION (N)" for station N-1 ("Station N" without a description),
    /// the caller's SIP address for a caller that is no station.
    static QString callerText(const ConfigRecord& record, int station, const QString& peer);
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
    const ConfigRecord& m_record;
    ConsoleWindow& m_window;
    int m_station = -1;
    RingTone& m_ring;
    QPointer<RingPopup> m_popup;
};

#include "IncomingCallAlert.h"

#include "CallState.h"
#include "ConfigRecord.h"
#include "ConsoleWindow.h"
#include "PictureView.h"
#include "RingPopup.h"
#include "RingTone.h"

IncomingCallAlert::IncomingCallAlert(const ConfigRecord& record, ConsoleWindow& window, RingTone& ring,
                                     QObject* parent)
    : QObject(parent)
    , m_record(record)
    , m_window(window)
    , m_ring(ring)
{
}

IncomingCallAlert::~IncomingCallAlert()
{
    delete m_popup.data();
}

RingPopup* IncomingCallAlert::popup() const
{
    return m_popup.data();
}

QString IncomingCallAlert::callerText(const ConfigRecord& record, int station, const QString& peer)
{
    if (station < 0 || station >= ConfigRecord::kStations) {
        const QString address = callerAddress(peer);
        return address.isEmpty() ? peer.trimmed() : address;
    }
    const QString description = record.description[std::size_t(station)].trimmed();
    return description.isEmpty() ? tr("Station %1").arg(station + 1)
                                 : QStringLiteral("%1 (%2)").arg(description).arg(station + 1);
}

int IncomingCallAlert::shownStation() const
{
    return m_popup ? m_station : -1;
}

QSize IncomingCallAlert::shownPictureSize() const
{
    return m_popup && m_station >= 0 ? m_popup->pictureView()->sizeInDevicePixels() : QSize();
}

void IncomingCallAlert::showPicture(const QImage& picture)
{
    if (m_popup && m_station >= 0 && !picture.isNull())
        m_popup->setPicture(picture);
}

void IncomingCallAlert::showPopup(int station, const QString& peer)
{
    if (m_popup)
        return;
    auto* popup = new RingPopup;
    m_station = station;
    popup->setCaller(callerText(m_record, station, peer));
    // The tile's picture of the moment, until the next one comes.
    if (station >= 0)
        popup->setPicture(m_window.stationPicture(station));
    // Closing is unloading: the slide-out's end and unloadPopup both close it.
    popup->setAttribute(Qt::WA_DeleteOnClose);
    connect(popup, &RingPopup::answered, this, [this] {
        emit callAnswered();
        m_window.bringBackForCall();
    });
    connect(popup, &RingPopup::rejected, this, &IncomingCallAlert::callRejected);
    // Its deletion comes later from the event loop; a call in the same tick must already find no popup.
    connect(popup, &RingPopup::slidOut, this, [this, popup] {
        if (m_popup == popup)
            m_popup = nullptr;
    });
    m_popup = popup;
    popup->show();
    emit popupShown();
}

void IncomingCallAlert::unloadPopup()
{
    RingPopup* popup = m_popup;
    m_popup = nullptr;
    if (popup)
        popup->close();
}

void IncomingCallAlert::startRing()
{
    m_ring.startRing();
}

void IncomingCallAlert::stopRing()
{
    m_ring.stopRing();
}

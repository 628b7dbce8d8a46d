#include "IncomingCallAlert.h"

#include "ConsoleWindow.h"
#include "RingPopup.h"
#include "RingTone.h"

IncomingCallAlert::IncomingCallAlert(ConsoleWindow& window, RingTone& ring, QObject* parent)
    : QObject(parent)
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

void IncomingCallAlert::showPopup()
{
    if (m_popup)
        return;
    auto* popup = new RingPopup;
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

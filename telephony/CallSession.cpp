#include "CallSession.h"

#include "ConsoleWindow.h"
#include "RingAlert.h"
#include "SipEngine.h"

#include <QPointer>
#include <QTimer>

CallSession::CallSession(SipEngine& engine, const ConfigRecord& stations, ConsoleWindow& window, RingAlert& alert,
                         QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_stations(stations)
    , m_window(window)
    , m_alert(alert)
    , m_backstop(new QTimer(this))
{
    m_backstop->setInterval(kBackstopIntervalMs);
    connect(m_backstop, &QTimer::timeout, this, &CallSession::pollStatus);
}

void CallSession::startBackstop(int intervalMs)
{
    m_backstop->start(intervalMs);
}

void CallSession::stopBackstop()
{
    m_backstop->stop();
}

int CallSession::backstopIntervalMs() const
{
    return m_backstop->interval();
}

void CallSession::handleEvent(const EngineEvent& event)
{
    ++m_events;
    feed(Input{Input::Kind::Event, event, {}, false});
}

void CallSession::pollStatus()
{
    if (m_pollOut || m_fading)
        return;
    m_pollOut = true;
    const quint64 eventsBefore = m_events;
    QPointer<CallSession> self(this);
    m_engine.requestStatus([self, eventsBefore](const EngineReply& reply) {
        if (!self)
            return;
        self->m_pollOut = false;
        if (reply.ok)
            self->feed(Input{Input::Kind::Status, {}, reply.text, self->m_events == eventsBefore});
        emit self->statusPolled(reply.ok);
    });
}

void CallSession::engineLost()
{
    m_alert.stopRing();
    // What the dead engine said last is of no use any more.
    m_held.clear();
    feed(Input{Input::Kind::Lost, {}, {}, false});
}

void CallSession::noteDialled(int station)
{
    m_call.dialled(station);
}

void CallSession::noteHungUp()
{
    m_call.hungUpHere();
}

void CallSession::noteRejected()
{
    m_call.rejectedHere();
}

void CallSession::feed(Input input)
{
    m_held.push_back(std::move(input));
    drain();
}

void CallSession::drain()
{
    // A move's effects may run the event loop's signals back into here: one pass at a time.
    if (m_draining)
        return;
    m_draining = true;
    while (!m_fading) {
        if (m_moves.empty()) {
            if (m_held.empty())
                break;
            const Input input = std::move(m_held.front());
            m_held.pop_front();
            QList<CallTransition> moves;
            switch (input.kind) {
            case Input::Kind::Event:
                moves = m_call.onEvent(input.event, m_stations);
                break;
            case Input::Kind::Status:
                moves = m_call.onStatus(input.status, input.fresh, m_stations);
                break;
            case Input::Kind::Lost:
                if (const auto t = m_call.engineLost())
                    moves.append(*t);
                break;
            }
            m_moves.insert(m_moves.end(), moves.cbegin(), moves.cend());
            continue;
        }
        const CallTransition t = m_moves.front();
        m_moves.pop_front();
        apply(t);
    }
    m_draining = false;
}

bool CallSession::apply(const CallTransition& t)
{
    const QString key = telImageKey(t.to);
    switch (t.to) {
    case CallState::Idle: {
        m_window.setTopmost(false);
        m_window.setZoomTopmost(false);
        m_window.setTelephoneImage(t.station, key);
        m_window.setCallMark(-1);
        m_alert.unloadPopup();
        emit callStateChanged(t);
        if (!m_window.isRestoredForCall()) {
            m_window.setMuteButtonVisible(false);
            return true;
        }
        // What comes next waits for the fade; polls due meanwhile are skipped.
        m_fading = true;
        QPointer<CallSession> self(this);
        m_window.fadeBackToTray([self] {
            if (!self)
                return;
            self->m_window.setMuteButtonVisible(false);
            self->m_fading = false;
            self->drain();
        });
        return false;
    }
    case CallState::Incoming:
        m_window.setTelephoneImage(t.station, key);
        m_window.setCallMark(t.stationKnown ? t.station : -1);
        emit callStateChanged(t);
        m_window.bringBackForCall();
        m_alert.showPopup(t.stationKnown ? t.station : -1, t.peer);
        m_alert.startRing();
        return true;
    case CallState::InCall:
        m_window.setTelephoneImage(t.station, key);
        m_window.setCallMark(t.stationKnown ? t.station : -1);
        m_window.setTopmost(true);
        m_window.setZoomTopmost(true);
        m_window.setMuteLook(false);
        m_window.setMuteButtonVisible(true);
        emit callStateChanged(t);
        return true;
    case CallState::Outgoing:
        m_window.setTelephoneImage(t.station, key);
        m_window.setCallMark(t.stationKnown ? t.station : -1);
        emit callStateChanged(t);
        return true;
    }
    return true;
}

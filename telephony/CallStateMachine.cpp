#include "CallStateMachine.h"

#include "ConfigRecord.h"
#include "EngineOutputReader.h"

namespace {

bool contains(QStringView text, QLatin1String word)
{
    return text.contains(word, Qt::CaseSensitive);
}

} // namespace

void CallStateMachine::dialled(int station)
{
    if (station >= 0 && station < kStations) {
        m_station = station;
        m_stationKnown = true;
    }
}

void CallStateMachine::hungUpHere()
{
    m_hungUpHere = true;
}

void CallStateMachine::rejectedHere()
{
    m_rejectedHere = true;
}

CallTransition CallStateMachine::moveTo(CallState to, CallCause cause, const QString& peer)
{
    CallTransition t{m_state, to, m_station, cause, peer, m_stationKnown};
    m_state = to;
    return t;
}

CallTransition CallStateMachine::ring(int callId, const QString& peer, const ConfigRecord& stations)
{
    forgetCall();
    const std::optional<int> match = matchCallingStation(peer, stations);
    m_station = match.value_or(0);
    m_stationKnown = match.has_value();
    m_callId = callId;
    return moveTo(CallState::Incoming, CallCause::None, peer);
}

void CallStateMachine::forgetCall()
{
    m_callId = 0;
    m_hungUpHere = false;
    m_rejectedHere = false;
}

QList<CallTransition> CallStateMachine::onEvent(const EngineEvent& event, const ConfigRecord& stations)
{
    using Kind = EngineEvent::Kind;
    // An event settles what the engine does: a disagreement a poll saw before it is old news.
    m_statusTarget.reset();
    const bool current = m_state != CallState::Idle && (m_callId == event.callId || m_callId == 0);
    QList<CallTransition> moves;
    switch (event.kind) {
    case Kind::IncomingCall:
        if (m_state == CallState::Idle)
            moves.append(ring(event.callId, event.peer, stations));
        else if (event.callId != m_callId)
            m_waiting = std::make_pair(event.callId, event.peer);
        break;
    case Kind::OutgoingStarted:
        if (m_state == CallState::Idle) {
            forgetCall();
            m_callId = event.callId;
            moves.append(moveTo(CallState::Outgoing, CallCause::None, event.peer));
        } else if (current) {
            m_callId = event.callId;
        }
        break;
    case Kind::Connected:
        if (m_state == CallState::Idle) {
            // Answered before its ring was seen (an engine that was already running): its station as for a ring.
            forgetCall();
            const std::optional<int> match = matchCallingStation(event.peer, stations);
            m_station = match.value_or(0);
            m_stationKnown = match.has_value();
            m_callId = event.callId;
            moves.append(moveTo(CallState::InCall, CallCause::None, event.peer));
        } else if (current && m_state != CallState::InCall) {
            m_callId = event.callId;
            const CallCause cause =
                m_state == CallState::Incoming ? CallCause::AnsweredHere : CallCause::PeerAnswered;
            moves.append(moveTo(CallState::InCall, cause, event.peer));
        }
        break;
    case Kind::Ended:
    case Kind::Error: {
        if (m_waiting && m_waiting->first == event.callId) {
            m_waiting.reset();
            break;
        }
        if (!current)
            break;
        const bool operatorEnded = m_hungUpHere || m_rejectedHere;
        const CallCause cause = event.kind == Kind::Error && !operatorEnded
                                    ? CallCause::Failed
                                    : endCause(m_state, event.reason, m_hungUpHere, m_rejectedHere);
        moves.append(moveTo(CallState::Idle, cause, event.peer));
        forgetCall();
        if (const auto waiting = std::exchange(m_waiting, std::nullopt))
            moves.append(ring(waiting->first, waiting->second, stations));
        break;
    }
    }
    return moves;
}

QList<CallTransition> CallStateMachine::onStatus(QStringView status, bool freshSinceSent, const ConfigRecord& stations)
{
    QList<CallTransition> steps = freshSinceSent ? statusSteps(status, m_state, m_station, stations)
                                                 : QList<CallTransition>();
    if (steps.isEmpty()) {
        m_statusTarget.reset();
        return {};
    }
    const CallState target = steps.constLast().to;
    if (m_statusTarget != target) {
        m_statusTarget = target;
        return {};
    }
    m_statusTarget.reset();
    for (CallTransition& t : steps) {
        switch (t.to) {
        case CallState::Idle:
            t.cause = endCause(t.from, {}, m_hungUpHere, m_rejectedHere);
            forgetCall();
            m_waiting.reset();
            break;
        case CallState::Incoming:
            forgetCall();
            m_station = t.station;
            m_stationKnown = t.stationKnown;
            break;
        case CallState::InCall:
            t.cause = t.from == CallState::Incoming ? CallCause::AnsweredHere : CallCause::PeerAnswered;
            break;
        case CallState::Outgoing:
            break;
        }
        m_state = t.to;
    }
    return steps;
}

std::optional<CallTransition> CallStateMachine::engineLost()
{
    m_statusTarget.reset();
    m_waiting.reset();
    if (m_state == CallState::Idle)
        return std::nullopt;
    const CallTransition t = moveTo(CallState::Idle, CallCause::EngineLost);
    forgetCall();
    return t;
}

QList<CallTransition> CallStateMachine::statusSteps(QStringView status, CallState state, int station,
                                                    const ConfigRecord& stations)
{
    QList<CallTransition> steps;
    const auto step = [&](CallState to) {
        CallTransition t{state, to, station, CallCause::None, status.toString(), true};
        steps.append(t);
        state = to;
        return &steps.last();
    };
    if (state != CallState::Idle && contains(status, QLatin1String("offhook")))
        step(CallState::Idle);
    if (state != CallState::Incoming && contains(status, QLatin1String("Incoming call"))) {
        const std::optional<int> match = matchCallingStation(status, stations);
        station = match.value_or(0);
        CallTransition* t = step(CallState::Incoming);
        t->station = station;
        t->stationKnown = match.has_value();
    }
    if (state != CallState::InCall
        && (contains(status, QLatin1String("Call out")) || contains(status, QLatin1String("answered"))))
        step(CallState::InCall);
    if (state != CallState::Outgoing
        && (contains(status, QLatin1String("ringing")) || contains(status, QLatin1String("dialing"))))
        step(CallState::Outgoing);
    return steps;
}

std::optional<int> CallStateMachine::matchCallingStation(QStringView text, const ConfigRecord& stations)
{
    std::optional<int> found;
    for (int i = 0; i < kStations; ++i) {
        const QString& extension = stations.extension[std::size_t(i)];
        if (stations.active[std::size_t(i)] == 0 || extension.isEmpty())
            continue;
        // Plain containment on purpose: "sip:10" also matches "sip:101", and the later station wins.
        if (text.contains(QString(QLatin1String("sip:") + extension), Qt::CaseSensitive))
            found = i;
    }
    return found;
}

CallCause CallStateMachine::endCause(CallState from, QStringView reason, bool hungUpHere, bool rejectedHere)
{
    if (from == CallState::Incoming) {
        if (rejectedHere || reason == QLatin1String("Call declined"))
            return CallCause::Rejected;
        // A CANCEL that says "Call completed elsewhere" ends without an error; a caller who gives up leaves
        // "Not answered".
        if (reason == QLatin1String("No error"))
            return CallCause::TakenElsewhere;
        return CallCause::EndedByPeer;
    }
    return hungUpHere ? CallCause::HungUpHere : CallCause::EndedByPeer;
}

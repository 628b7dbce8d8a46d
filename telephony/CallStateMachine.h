#pragma once

#include "CallState.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

struct ConfigRecord;
struct EngineEvent;

/// The console's one call: where it stands, which station it concerns and why
/// it moves. Pure (no window, no engine): the engine's event lines move it at
/// once; the status text of the slow backstop poll corrects it only when the
/// same disagreement shows at two polls in a row with no event in between, so a
/// reply that crossed an event line on its way never undoes that event.
class CallStateMachine
{
public:
    static constexpr int kStations = 16;

    CallState state() const { return m_state; }
    /// The station of the current or last call (0..15).
    int station() const { return m_station; }
    /// The engine's id of the current call; 0 when not known (the backstop saw it first).
    int callId() const { return m_callId; }

    /// The operator dialled station: the call that starts next is that station's.
    void dialled(int station);
    /// The operator ended the call under way (Outgoing, InCall) or refused the ringing one.
    void hungUpHere();
    void rejectedHere();

    /// The moves an engine event makes, in order (none, one, or an end followed by a call that waited).
    QList<CallTransition> onEvent(const EngineEvent& event, const ConfigRecord& stations);
    /// The moves a backstop status text makes. freshSinceSent: no event arrived
    /// between the poll's request and its reply (otherwise the text may be stale and is ignored).
    QList<CallTransition> onStatus(QStringView status, bool freshSinceSent, const ConfigRecord& stations);
    /// The engine is gone and the call with it: to Idle, cause EngineLost (nothing when idle).
    std::optional<CallTransition> engineLost();

    /// What a status text would do from state, station: the steps "offhook" (to Idle), "Incoming call",
    /// "Call out"/"answered" (to InCall), "ringing"/"dialing" (to Outgoing), tested in that order, each
    /// against the state the steps before it left. Case-sensitive substring search.
    static QList<CallTransition> statusSteps(QStringView status, CallState state, int station,
                                             const ConfigRecord& stations);
    /// The calling station: the last active station 0..15 with a non-empty
    /// extension such that text contains "sip:" followed by it; nothing when none.
    static std::optional<int> matchCallingStation(QStringView text, const ConfigRecord& stations);
    /// Why a call that stood at from ended, given the engine's reason text (empty: unknown) and what the
    /// operator did. A ringing call ended with "No error" was taken by another phone of the line.
    static CallCause endCause(CallState from, QStringView reason, bool hungUpHere, bool rejectedHere);

private:
    CallTransition moveTo(CallState to, CallCause cause, const QString& peer = {});
    CallTransition ring(int callId, const QString& peer, const ConfigRecord& stations);
    void forgetCall();

    CallState m_state = CallState::Idle;
    int m_station = 0;
    /// False while the call is of a caller that matched no station (m_station is then 0).
    bool m_stationKnown = true;
    int m_callId = 0;
    bool m_hungUpHere = false;
    bool m_rejectedHere = false;
    /// A second call that rang while this one was up; it rings here once this one ends.
    std::optional<std::pair<int, QString>> m_waiting;
    /// The state the last status poll disagreed towards; a second poll agreeing moves the call.
    std::optional<CallState> m_statusTarget;
};

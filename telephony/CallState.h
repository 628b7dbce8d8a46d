#pragma once

#include <QString>

/// Where the console's one call stands.
enum class CallState
{
    Idle,     ///< no call
    Incoming, ///< a call rings at the console
    Outgoing, ///< dialled, not yet answered
    InCall,   ///< connected
};

/// Why a call moved: set on the moves to InCall and to Idle, None on the others.
enum class CallCause
{
    None,
    AnsweredHere,   ///< an incoming call answered at this console
    PeerAnswered,   ///< the called station answered
    HungUpHere,     ///< the operator ended the call
    Rejected,       ///< the operator refused the ringing call
    EndedByPeer,    ///< the other side hung up, gave up or refused
    TakenElsewhere, ///< another phone of the same line answered the ringing call
    Failed,         ///< the engine reported an error for the call
    EngineLost,     ///< the engine died or hung, and the call with it
};

/// One move of the call, with what moved it.
struct CallTransition
{
    CallState from = CallState::Idle;
    CallState to = CallState::Idle;
    /// The call's station after the move.
    int station = 0;
    CallCause cause = CallCause::None;
    /// The caller's or callee's address as the engine gave it; empty when unknown.
    QString peer;
    /// False when no configured station matched the caller (station then is 0).
    bool stationKnown = true;

    friend bool operator==(const CallTransition&, const CallTransition&) = default;
};

/// Names for logs and test reports.
QString callStateName(CallState state);
QString callCauseName(CallCause cause);
/// Telephone image key of a state: "tel_n", "tel_v", "tel_b", "tel_r".
QString telImageKey(CallState state);
/// The caller's address in an engine text: "sip:" up to '>', a quote or white space; empty when there is none.
QString callerAddress(const QString& text);

#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

struct ConfigRecord;

/// The steps of one status tick, in the order they are tested.
enum class CallStep
{
    Ended,     ///< "offhook" while not idle
    Incoming,  ///< "Incoming call" while not incoming
    Connected, ///< "Call out" or "answered" while not in call
    Outgoing,  ///< "ringing" or "dialing" while not outgoing
};

/// One step that fired.
struct CallTransition
{
    CallStep step = CallStep::Ended;
    int fromState = 0;
    int toState = 0;
    int station = 0; ///< callStation after the step

    friend bool operator==(const CallTransition&, const CallTransition&) = default;
};

/// How the engine's status text moves callState (0 idle, 1 incoming,
/// 2 outgoing, 3 in call) and callStation. Pure: no window, no engine.
/// Status words are found by case-sensitive substring search.
class CallStateMachine
{
public:
    static constexpr int kIdle = 0;
    static constexpr int kIncoming = 1;
    static constexpr int kOutgoing = 2;
    static constexpr int kInCall = 3;
    static constexpr int kStations = 16;

    static constexpr std::array<CallStep, 4> kStepOrder{CallStep::Ended, CallStep::Incoming, CallStep::Connected,
                                                        CallStep::Outgoing};

    /// Whether step fires on status in callState and, if so, where it leads.
    /// Only Incoming chooses a new station; the others keep callStation.
    static std::optional<CallTransition> tryStep(CallStep step, QStringView status, int callState, int callStation,
                                                 const ConfigRecord& stations);

    /// Every step of one tick in order, each tested against the state the
    /// steps before it left.
    static QList<CallTransition> tick(QStringView status, int callState, int callStation,
                                      const ConfigRecord& stations);

    /// The calling station: the last active station 0..15 with a non-empty
    /// extension such that status contains "sip:" followed by it; 0 when none.
    static int findCallingStation(QStringView status, const ConfigRecord& stations);
    /// The same, but nothing when no station matches (the caller is unknown).
    static std::optional<int> matchCallingStation(QStringView status, const ConfigRecord& stations);

    /// Telephone image key of a state: "tel_n", "tel_v", "tel_b", "tel_r".
    static QString telImageKey(int callState);
};

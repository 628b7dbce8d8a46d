#include "CallStateMachine.h"

#include "ConfigRecord.h"

namespace {

bool contains(QStringView text, QLatin1String word)
{
    return text.contains(word, Qt::CaseSensitive);
}

} // namespace

std::optional<CallTransition> CallStateMachine::tryStep(CallStep step, QStringView status, int callState,
                                                        int callStation, const ConfigRecord& stations)
{
    CallTransition t{step, callState, callState, callStation};
    switch (step) {
    case CallStep::Ended:
        if (callState == kIdle || !contains(status, QLatin1String("offhook")))
            return std::nullopt;
        t.toState = kIdle;
        return t;
    case CallStep::Incoming:
        if (callState == kIncoming || !contains(status, QLatin1String("Incoming call")))
            return std::nullopt;
        t.toState = kIncoming;
        t.station = findCallingStation(status, stations);
        return t;
    case CallStep::Connected:
        if (callState == kInCall
            || !(contains(status, QLatin1String("Call out")) || contains(status, QLatin1String("answered"))))
            return std::nullopt;
        t.toState = kInCall;
        return t;
    case CallStep::Outgoing:
        if (callState == kOutgoing
            || !(contains(status, QLatin1String("ringing")) || contains(status, QLatin1String("dialing"))))
            return std::nullopt;
        t.toState = kOutgoing;
        return t;
    }
    return std::nullopt;
}

QList<CallTransition> CallStateMachine::tick(QStringView status, int callState, int callStation,
                                             const ConfigRecord& stations)
{
    QList<CallTransition> fired;
    for (CallStep step : kStepOrder) {
        if (auto t = tryStep(step, status, callState, callStation, stations)) {
            fired.append(*t);
            callState = t->toState;
            callStation = t->station;
        }
    }
    return fired;
}

int CallStateMachine::findCallingStation(QStringView status, const ConfigRecord& stations)
{
    return matchCallingStation(status, stations).value_or(0);
}

std::optional<int> CallStateMachine::matchCallingStation(QStringView status, const ConfigRecord& stations)
{
    std::optional<int> found;
    for (int i = 0; i < kStations; ++i) {
        const QString& extension = stations.extension[std::size_t(i)];
        if (stations.active[std::size_t(i)] == 0 || extension.isEmpty())
            continue;
        // Plain containment on purpose: "sip:10" also matches "sip:101", and the later station wins.
        if (status.contains(QString(QLatin1String("sip:") + extension), Qt::CaseSensitive))
            found = i;
    }
    return found;
}

QString CallStateMachine::telImageKey(int callState)
{
    switch (callState) {
    case kIncoming:
        return QStringLiteral("tel_v");
    case kOutgoing:
        return QStringLiteral("tel_b");
    case kInCall:
        return QStringLiteral("tel_r");
    default:
        return QStringLiteral("tel_n");
    }
}

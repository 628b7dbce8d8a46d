#include "CallState.h"

QString callStateName(CallState state)
{
    switch (state) {
    case CallState::Idle:
        return QStringLiteral("idle");
    case CallState::Incoming:
        return QStringLiteral("incoming");
    case CallState::Outgoing:
        return QStringLiteral("outgoing");
    case CallState::InCall:
        return QStringLiteral("in call");
    }
    return {};
}

QString callCauseName(CallCause cause)
{
    switch (cause) {
    case CallCause::None:
        return QStringLiteral("none");
    case CallCause::AnsweredHere:
        return QStringLiteral("answered here");
    case CallCause::PeerAnswered:
        return QStringLiteral("peer answered");
    case CallCause::HungUpHere:
        return QStringLiteral("hung up here");
    case CallCause::Rejected:
        return QStringLiteral("rejected");
    case CallCause::EndedByPeer:
        return QStringLiteral("ended by peer");
    case CallCause::TakenElsewhere:
        return QStringLiteral("taken elsewhere");
    case CallCause::Failed:
        return QStringLiteral("failed");
    case CallCause::EngineLost:
        return QStringLiteral("engine lost");
    }
    return {};
}

QString telImageKey(CallState state)
{
    switch (state) {
    case CallState::Incoming:
        return QStringLiteral("tel_v");
    case CallState::Outgoing:
        return QStringLiteral("tel_b");
    case CallState::InCall:
        return QStringLiteral("tel_r");
    case CallState::Idle:
        break;
    }
    return QStringLiteral("tel_n");
}

QString callerAddress(const QString& text)
{
    const qsizetype start = text.indexOf(QLatin1String("sip:"));
    if (start < 0)
        return {};
    qsizetype end = start;
    while (end < text.size()) {
        const QChar c = text.at(end);
        if (c == QLatin1Char('>') || c == QLatin1Char('"') || c.isSpace())
            break;
        ++end;
    }
    return text.mid(start, end - start);
}

#include "HistoryEvent.h"

#include <array>
#include <utility>

namespace {

// Stored and exported: never change a word, only add.
constexpr std::array<std::pair<HistoryKind, const char*>, 6> kKindWords{{
    {HistoryKind::IncomingCall, "incoming call"},
    {HistoryKind::OutgoingCall, "outgoing call"},
    {HistoryKind::DoorCall, "door call"},
    {HistoryKind::DoorOpen, "door open"},
    {HistoryKind::Light, "light"},
    {HistoryKind::Engine, "sip engine"},
}};

constexpr std::array<std::pair<HistoryOutcome, const char*>, 13> kOutcomeWords{{
    {HistoryOutcome::Ringing, "ringing"},
    {HistoryOutcome::Calling, "calling"},
    {HistoryOutcome::InCall, "in call"},
    {HistoryOutcome::Answered, "answered"},
    {HistoryOutcome::Missed, "missed"},
    {HistoryOutcome::Rejected, "rejected"},
    {HistoryOutcome::NotAnswered, "not answered"},
    {HistoryOutcome::Ended, "ended"},
    {HistoryOutcome::Sent, "sent"},
    {HistoryOutcome::Failed, "failed"},
    {HistoryOutcome::Lost, "lost"},
    {HistoryOutcome::Back, "back"},
    {HistoryOutcome::AnsweredElsewhere, "answered elsewhere"},
}};

template <typename Enum, std::size_t N>
QString wordOf(const std::array<std::pair<Enum, const char*>, N>& table, Enum value)
{
    for (const auto& [e, word] : table) {
        if (e == value)
            return QString::fromLatin1(word);
    }
    return {};
}

template <typename Enum, std::size_t N>
std::optional<Enum> valueOf(const std::array<std::pair<Enum, const char*>, N>& table, const QString& word)
{
    for (const auto& [e, w] : table) {
        if (word == QLatin1String(w))
            return e;
    }
    return std::nullopt;
}

QString capitalised(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

} // namespace

QString HistoryEvent::stationName() const
{
    if (station < 0)
        return {};
    return QStringLiteral("Station %1").arg(station + 1);
}

namespace history {

QString kindWord(HistoryKind kind)
{
    return wordOf(kKindWords, kind);
}

QString outcomeWord(HistoryOutcome outcome)
{
    return wordOf(kOutcomeWords, outcome);
}

std::optional<HistoryKind> kindFromWord(const QString& word)
{
    return valueOf(kKindWords, word);
}

std::optional<HistoryOutcome> outcomeFromWord(const QString& word)
{
    return valueOf(kOutcomeWords, word);
}

QList<HistoryKind> allKinds()
{
    QList<HistoryKind> kinds;
    for (const auto& entry : kKindWords)
        kinds.append(entry.first);
    return kinds;
}

QString kindText(HistoryKind kind)
{
    if (kind == HistoryKind::Engine)
        return QStringLiteral("SIP engine");
    return capitalised(kindWord(kind));
}

QString outcomeText(const HistoryEvent& event)
{
    QString text = capitalised(outcomeWord(event.outcome));
    if (event.outcome == HistoryOutcome::Answered && event.durationSec >= 0) {
        text += QStringLiteral(" (%1:%2)")
                    .arg(event.durationSec / 60)
                    .arg(event.durationSec % 60, 2, 10, QLatin1Char('0'));
    }
    return text;
}

} // namespace history

#include "HistoryEvent.h"

#include <QCoreApplication>

#include <array>
#include <utility>

namespace {

template <typename Enum>
struct Word
{
    Enum value;
    const char* stored; ///< in the database and the export: never change one, only add
    const char* shown;  ///< in the history window, in the operator's language
};

constexpr std::array<Word<HistoryKind>, 6> kKindWords{{
    {HistoryKind::IncomingCall, "incoming call", QT_TRANSLATE_NOOP("HistoryEvent", "Incoming call")},
    {HistoryKind::OutgoingCall, "outgoing call", QT_TRANSLATE_NOOP("HistoryEvent", "Outgoing call")},
    {HistoryKind::DoorCall, "door call", QT_TRANSLATE_NOOP("HistoryEvent", "Door call")},
    {HistoryKind::DoorOpen, "door open", QT_TRANSLATE_NOOP("HistoryEvent", "Door open")},
    {HistoryKind::Light, "light", QT_TRANSLATE_NOOP("HistoryEvent", "Light")},
    {HistoryKind::Engine, "sip engine", QT_TRANSLATE_NOOP("HistoryEvent", "SIP engine")},
}};

constexpr std::array<Word<HistoryOutcome>, 13> kOutcomeWords{{
    {HistoryOutcome::Ringing, "ringing", QT_TRANSLATE_NOOP("HistoryEvent", "Ringing")},
    {HistoryOutcome::Calling, "calling", QT_TRANSLATE_NOOP("HistoryEvent", "Calling")},
    {HistoryOutcome::InCall, "in call", QT_TRANSLATE_NOOP("HistoryEvent", "In call")},
    {HistoryOutcome::Answered, "answered", QT_TRANSLATE_NOOP("HistoryEvent", "Answered")},
    {HistoryOutcome::Missed, "missed", QT_TRANSLATE_NOOP("HistoryEvent", "Missed")},
    {HistoryOutcome::Rejected, "rejected", QT_TRANSLATE_NOOP("HistoryEvent", "Rejected")},
    {HistoryOutcome::NotAnswered, "not answered", QT_TRANSLATE_NOOP("HistoryEvent", "Not answered")},
    {HistoryOutcome::Ended, "ended", QT_TRANSLATE_NOOP("HistoryEvent", "Ended")},
    {HistoryOutcome::Sent, "sent", QT_TRANSLATE_NOOP("HistoryEvent", "Sent")},
    {HistoryOutcome::Failed, "failed", QT_TRANSLATE_NOOP("HistoryEvent", "Failed")},
    {HistoryOutcome::Lost, "lost", QT_TRANSLATE_NOOP("HistoryEvent", "Lost")},
    {HistoryOutcome::Back, "back", QT_TRANSLATE_NOOP("HistoryEvent", "Back")},
    {HistoryOutcome::AnsweredElsewhere, "answered elsewhere", QT_TRANSLATE_NOOP("HistoryEvent", "Answered elsewhere")},
}};

template <typename Enum, std::size_t N>
const Word<Enum>* find(const std::array<Word<Enum>, N>& table, Enum value)
{
    for (const Word<Enum>& w : table) {
        if (w.value == value)
            return &w;
    }
    return nullptr;
}

template <typename Enum, std::size_t N>
QString wordOf(const std::array<Word<Enum>, N>& table, Enum value)
{
    const Word<Enum>* w = find(table, value);
    return w ? QString::fromLatin1(w->stored) : QString();
}

template <typename Enum, std::size_t N>
QString shownOf(const std::array<Word<Enum>, N>& table, Enum value)
{
    const Word<Enum>* w = find(table, value);
    return w ? QCoreApplication::translate("HistoryEvent", w->shown) : QString();
}

template <typename Enum, std::size_t N>
std::optional<Enum> valueOf(const std::array<Word<Enum>, N>& table, const QString& word)
{
    for (const Word<Enum>& w : table) {
        if (word == QLatin1String(w.stored))
            return w.value;
    }
    return std::nullopt;
}

} // namespace

QString HistoryEvent::stationName() const
{
    if (station < 0)
        return {};
    return QCoreApplication::translate("HistoryEvent", "Station %1").arg(station + 1);
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
        kinds.append(entry.value);
    return kinds;
}

QString kindText(HistoryKind kind)
{
    return shownOf(kKindWords, kind);
}

QString outcomeText(const HistoryEvent& event)
{
    QString text = shownOf(kOutcomeWords, event.outcome);
    if (event.outcome == HistoryOutcome::Answered && event.durationSec >= 0) {
        text += QStringLiteral(" (%1:%2)")
                    .arg(event.durationSec / 60)
                    .arg(event.durationSec % 60, 2, 10, QLatin1Char('0'));
    }
    return text;
}

} // namespace history

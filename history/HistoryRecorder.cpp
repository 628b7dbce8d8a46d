#include "HistoryRecorder.h"

#include "CallStateMachine.h"
#include "ConfigRecord.h"
#include "HistoryArchive.h"

#include <QDateTime>
#include <QPointer>

#include <algorithm>

HistoryRecorder::HistoryRecorder(HistoryArchive& archive, const ConfigRecord& record, Clock clock, QObject* parent)
    : QObject(parent)
    , m_archive(archive)
    , m_record(record)
    , m_clock(std::move(clock))
{
}

qint64 HistoryRecorder::now() const
{
    return m_clock ? m_clock() : QDateTime::currentMSecsSinceEpoch();
}

HistoryEvent HistoryRecorder::newEvent(HistoryKind kind, HistoryOutcome outcome, int station)
{
    HistoryEvent event;
    event.timeMs = now();
    event.id = std::max(m_lastId + 1, event.timeMs * 1000);
    m_lastId = event.id;
    event.kind = kind;
    event.outcome = outcome;
    event.station = (station >= 0 && station < kStations) ? station : -1;
    event.desk = m_deskName;
    if (event.station >= 0)
        event.description = m_record.description[std::size_t(event.station)];
    return event;
}

void HistoryRecorder::callStateChanged(const CallTransition& t)
{
    const int station = t.station;
    const QString& status = t.peer;
    switch (t.to) {
    case CallState::Incoming:
        finishCall(std::nullopt);
        startCall(HistoryKind::IncomingCall, HistoryOutcome::Ringing, t.stationKnown ? station : -1, status);
        break;
    case CallState::Outgoing:
        // "ringing" after "dialing" is the same call.
        if (m_call && m_call->event.kind == HistoryKind::OutgoingCall && m_call->event.station == station
            && m_call->answeredMs == 0)
            break;
        finishCall(std::nullopt);
        startCall(HistoryKind::OutgoingCall, HistoryOutcome::Calling, station, status);
        break;
    case CallState::InCall:
        // A call answered before its ring was seen is kept as an incoming call.
        if (!m_call)
            startCall(HistoryKind::IncomingCall, HistoryOutcome::InCall, t.stationKnown ? station : -1, status);
        if (m_call->answeredMs != 0)
            break;
        m_call->answeredMs = now();
        m_call->event.outcome = HistoryOutcome::InCall;
        m_archive.update(m_call->event);
        takePicture(m_call->event, 1);
        break;
    case CallState::Idle:
        if (m_call && t.cause == CallCause::Rejected && m_call->answeredMs == 0)
            m_call->rejected = true;
        // Another desk of the line answered: nothing was missed.
        if (m_call && t.cause == CallCause::TakenElsewhere && m_call->answeredMs == 0) {
            finishCall(HistoryOutcome::AnsweredElsewhere);
            break;
        }
        finishCall(std::nullopt);
        break;
    }
}

void HistoryRecorder::startCall(HistoryKind kind, HistoryOutcome outcome, int station, const QString& status)
{
    OpenCall call;
    call.event = newEvent(kind, outcome, station);
    if (call.event.station < 0)
        call.event.caller = callerAddress(status);
    if (outcome == HistoryOutcome::InCall)
        call.answeredMs = call.event.timeMs;
    m_archive.add(call.event);
    takePicture(call.event, 0);
    m_call = std::move(call);
}

void HistoryRecorder::finishCall(std::optional<HistoryOutcome> outcome)
{
    if (!m_call)
        return;
    HistoryEvent& event = m_call->event;
    if (outcome) {
        event.outcome = *outcome;
    } else if (m_call->answeredMs != 0) {
        event.outcome = HistoryOutcome::Answered;
        event.durationSec = int((now() - m_call->answeredMs + 500) / 1000);
    } else if (event.kind == HistoryKind::OutgoingCall) {
        event.outcome = HistoryOutcome::NotAnswered;
    } else {
        event.outcome = m_call->rejected ? HistoryOutcome::Rejected : HistoryOutcome::Missed;
    }
    m_archive.update(event);
    if (event.outcome == HistoryOutcome::Missed) {
        ++m_missedSinceLoad;
        setMissed(m_missed + 1);
    }
    m_call.reset();
}

void HistoryRecorder::finishOpenCall()
{
    finishCall(std::nullopt);
}

void HistoryRecorder::doorCallAnnounced(int station)
{
    if (station < 0 || station >= kStations || m_doorCalls[std::size_t(station)])
        return;
    const HistoryEvent event = newEvent(HistoryKind::DoorCall, HistoryOutcome::Ringing, station);
    m_archive.add(event);
    takePicture(event, 0);
    m_doorCalls[std::size_t(station)] = event;
}

void HistoryRecorder::doorCallEnded(int station)
{
    if (station < 0 || station >= kStations)
        return;
    auto& open = m_doorCalls[std::size_t(station)];
    if (!open)
        return;
    open->outcome = HistoryOutcome::Ended;
    m_archive.update(*open);
    open.reset();
}

void HistoryRecorder::relayCommandDone(int station, const QString& command, bool sent)
{
    HistoryKind kind;
    if (command.startsWith(QLatin1Char('1')))
        kind = HistoryKind::DoorOpen;
    else if (command.startsWith(QLatin1Char('2')))
        kind = HistoryKind::Light;
    else
        return;
    const HistoryEvent event = newEvent(kind, sent ? HistoryOutcome::Sent : HistoryOutcome::Failed, station);
    m_archive.add(event);
    takePicture(event, 0);
}

void HistoryRecorder::telephonyChanged(bool up)
{
    if (up == m_telephonyUp)
        return;
    m_telephonyUp = up;
    m_archive.add(newEvent(HistoryKind::Engine, up ? HistoryOutcome::Back : HistoryOutcome::Lost, -1));
}

void HistoryRecorder::takePicture(const HistoryEvent& event, int slot)
{
    if (event.station < 0)
        return;
    const qint64 t = now();
    const Frame& frame = m_frames[std::size_t(event.station)];
    if (!frame.jpeg.isEmpty() && t - frame.arrivedMs <= kFreshFrameMs) {
        m_archive.addPicture(HistoryPicture{event.id, slot, frame.jpeg, frame.arrivedMs});
        return;
    }
    auto& pending = m_pending[std::size_t(event.station)];
    std::erase_if(pending, [t](const PendingPicture& p) { return t - p.askedMs > kLateFrameMs; });
    pending.push_back(PendingPicture{event.id, slot, t});
}

void HistoryRecorder::frameArrived(int station, const QByteArray& jpeg)
{
    if (station < 0 || station >= kStations || jpeg.isEmpty())
        return;
    const qint64 t = now();
    m_frames[std::size_t(station)] = Frame{jpeg, t};
    auto& pending = m_pending[std::size_t(station)];
    for (const PendingPicture& p : pending) {
        if (t - p.askedMs <= kLateFrameMs)
            m_archive.addPicture(HistoryPicture{p.eventId, p.slot, jpeg, t});
    }
    pending.clear();
}

void HistoryRecorder::loadMissedCount(qint64 sinceMs)
{
    const quint64 generation = ++m_countGeneration;
    m_missedSinceLoad = 0;
    QPointer<HistoryRecorder> self(this);
    m_archive.countMissedSince(sinceMs, [self, generation](int stored) {
        if (!self || generation != self->m_countGeneration)
            return;
        self->setMissed(stored + self->m_missedSinceLoad);
    });
}

void HistoryRecorder::historyOpened()
{
    ++m_countGeneration;
    m_missedSinceLoad = 0;
    setMissed(0);
}

void HistoryRecorder::setMissed(int count)
{
    if (count == m_missed)
        return;
    m_missed = count;
    emit missedCountChanged(count);
}

#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

/// What happened. The words are stored in the database and exported, so they
/// never change; new kinds get new words.
enum class HistoryKind
{
    IncomingCall, ///< "incoming call": a SIP call from a station (or an unknown caller)
    OutgoingCall, ///< "outgoing call": the operator called a station
    DoorCall,     ///< "door call": "CALL" ... "END" on a station's notification connection
    DoorOpen,     ///< "door open": the lock relay command
    Light,        ///< "light": the light relay command
    Engine,       ///< "sip engine": telephony lost or back
};

/// How it ended (or where it stands while it runs). Stored as words too.
enum class HistoryOutcome
{
    Ringing,     ///< "ringing": an incoming call not yet answered, or a door call not yet ended
    Calling,     ///< "calling": an outgoing call not yet answered
    InCall,      ///< "in call": answered, not yet ended
    Answered,    ///< "answered": an answered call that ended (durationSec set)
    Missed,      ///< "missed": the caller gave up, nobody answered
    Rejected,    ///< "rejected": the operator refused the call
    NotAnswered, ///< "not answered": an outgoing call the station did not answer
    Ended,       ///< "ended": a door call's "END" arrived
    Sent,        ///< "sent": a relay command reached the station's connection
    Failed,      ///< "failed": a relay command did not reach the station
    Lost,        ///< "lost": the SIP engine stopped working
    Back,        ///< "back": the SIP engine works again
    AnsweredElsewhere, ///< "answered elsewhere": another desk of the same line took the ringing call
};

/// One entry of the history.
struct HistoryEvent
{
    /// Unique and ascending with time: microseconds since the epoch at the
    /// event's start, moved on by one where two events share a microsecond.
    qint64 id = 0;
    /// Start of the event, milliseconds since the epoch (UTC).
    qint64 timeMs = 0;
    /// Station 0..15; -1 for none (the engine) or a caller that matched no station.
    int station = -1;
    /// The station's description when the event happened.
    QString description;
    HistoryKind kind = HistoryKind::IncomingCall;
    HistoryOutcome outcome = HistoryOutcome::Ringing;
    /// Seconds between answer and end of an answered call; -1 otherwise.
    int durationSec = -1;
    /// The caller's SIP address where it matched no station; empty otherwise.
    QString caller;
    /// The desk (console) that recorded the event; empty in events from before desks had names.
    QString desk;
    /// Unique across desks: a random UUID (text, without braces). The database gives one to an event
    /// first stored without it; the history server knows the event by it.
    QString uuid;
    /// Which of the two picture slots hold a picture (see HistoryPicture).
    bool hasPicture[2] = {false, false};

    QDateTime localTime() const { return QDateTime::fromMSecsSinceEpoch(timeMs); }
    /// "Station N" for 0..15 (N = station + 1); empty for none.
    QString stationName() const;

    friend bool operator==(const HistoryEvent&, const HistoryEvent&) = default;
};

/// The camera frame kept with an event: slot 0 at the event (a call's ring),
/// slot 1 at a call's answer. The JPEG bytes exactly as the camera sent them.
struct HistoryPicture
{
    qint64 eventId = 0;
    int slot = 0;
    QByteArray jpeg;
    qint64 takenMs = 0; ///< when the frame arrived, ms since the epoch
};

/// What the history window shows. Unset fields match everything.
struct HistoryFilter
{
    std::optional<int> station;       ///< 0..15, or -1 for events without a station
    std::optional<HistoryKind> kind;  ///< one kind
    std::optional<QDate> day;         ///< one local day
    int limit = 1000;                 ///< newest first, at most this many
    std::optional<QString> desk = std::nullopt; ///< one desk's events ("" for those recorded without a name)
};

/// What a desk still owes the history server: events (whole, as stored) and pictures, oldest first,
/// each with the revision stored (every update of an event or a picture counts it up).
struct HistoryBatch
{
    struct Event
    {
        HistoryEvent event;
        QString kind; ///< the stored words, which a later build may have written
        QString outcome;
        int revision = 0;
    };
    struct Picture
    {
        HistoryPicture picture;
        QString eventUuid;
        int revision = 0;
    };
    QList<Event> events;
    QList<Picture> pictures;

    bool isEmpty() const { return events.isEmpty() && pictures.isEmpty(); }
};

/// Whether the history server has the desk's history, as the desk last saw it.
enum class HistoryServerState
{
    Off,        ///< no server is set: the history is this desk's alone
    Connecting, ///< set, not yet reached
    Reachable,  ///< the last connection or statement worked
    OutOfReach, ///< unreachable or refusing; the desk keeps everything and tries again
};

/// Retention: the oldest events go first once either limit is passed.
struct HistoryLimits
{
    int keepDays = 90;
    qint64 maxBytes = 1024LL * 1024 * 1024;
};

namespace history {

QString kindWord(HistoryKind kind);
QString outcomeWord(HistoryOutcome outcome);
std::optional<HistoryKind> kindFromWord(const QString& word);
std::optional<HistoryOutcome> outcomeFromWord(const QString& word);
/// Every kind, in the order the window's filter lists them.
QList<HistoryKind> allKinds();
/// The operator's words for the window: "Incoming call", "Missed", ...
QString kindText(HistoryKind kind);
QString outcomeText(const HistoryEvent& event);

} // namespace history

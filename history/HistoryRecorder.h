#pragma once

#include "CallState.h"
#include "HistoryEvent.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class HistoryArchive;
struct ConfigRecord;

/// Turns what the console sees (the call's moves, door
/// calls, relay commands, the engine's fate, camera frames) into history
/// events with their pictures, and counts the calls missed since the
/// operator last looked. Decides only; the archive stores. GUI thread only.
class HistoryRecorder : public QObject
{
    Q_OBJECT
public:
    /// A frame at most this old when an event happens is the event's picture.
    static constexpr qint64 kFreshFrameMs = 1000;
    /// Otherwise the next frame is taken, if it comes within this time: a
    /// camera back after an hour shows nothing of the event.
    static constexpr qint64 kLateFrameMs = 30000;
    static constexpr int kStations = 16;

    using Clock = std::function<qint64()>; ///< ms since the epoch

    /// archive and record must outlive the recorder.
    HistoryRecorder(HistoryArchive& archive, const ConfigRecord& record, Clock clock = {},
                    QObject* parent = nullptr);

    /// The call moved; a ringing call that ends refused by the operator is "rejected", one another desk took
    /// is "answered elsewhere" (not missed), otherwise it is missed.
    void callStateChanged(const CallTransition& transition);
    /// The name every event from now on is recorded with.
    void setDeskName(const QString& name) { m_deskName = name; }
    void doorCallAnnounced(int station);
    void doorCallEnded(int station);
    /// A relay command ("1.." lock, "2.." light) reached the station, or did not.
    void relayCommandDone(int station, const QString& command, bool sent);
    void telephonyChanged(bool up);
    /// A camera frame that decodes, as the camera sent it.
    void frameArrived(int station, const QByteArray& jpeg);

    /// A call still open is closed as it stands (console shutdown): answered
    /// with its duration so far, unanswered as missed or not answered.
    void finishOpenCall();

    /// Missed incoming calls since the history was last opened.
    int missedCount() const { return m_missed; }
    /// Starts the count from the calls missed after sinceMs (stored at the last opening).
    void loadMissedCount(qint64 sinceMs);
    /// The operator opened the history: the count starts again from zero.
    void historyOpened();


signals:
    void missedCountChanged(int count);

private:
    struct OpenCall
    {
        HistoryEvent event;
        qint64 answeredMs = 0;
        bool rejected = false;
    };
    struct Frame
    {
        QByteArray jpeg;
        qint64 arrivedMs = 0;
    };
    struct PendingPicture
    {
        qint64 eventId = 0;
        int slot = 0;
        qint64 askedMs = 0;
    };

    HistoryEvent newEvent(HistoryKind kind, HistoryOutcome outcome, int station);
    void startCall(HistoryKind kind, HistoryOutcome outcome, int station, const QString& status);
    void finishCall(std::optional<HistoryOutcome> outcome);
    /// Attaches station's picture to the event's slot: the latest frame if fresh, else the next one.
    void takePicture(const HistoryEvent& event, int slot);
    void setMissed(int count);
    qint64 now() const;

    HistoryArchive& m_archive;
    const ConfigRecord& m_record;
    Clock m_clock;
    qint64 m_lastId = 0;
    std::optional<OpenCall> m_call;
    std::array<std::optional<HistoryEvent>, kStations> m_doorCalls;
    std::array<Frame, kStations> m_frames;
    std::array<std::vector<PendingPicture>, kStations> m_pending;
    QString m_deskName;
    bool m_telephonyUp = true;
    int m_missed = 0;
    /// Calls missed since the stored count was asked for; its answer does not include them.
    int m_missedSinceLoad = 0;
    quint64 m_countGeneration = 0;
};

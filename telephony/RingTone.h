#pragma once

#include <QObject>
#include <QString>

#include <functional>

class Logger;
class RingPlayer;
class Scheduler;

/// The ring tone of an incoming call: started once per call, played again
/// each time it ends while the call rings, otherwise left to finish. A file or audio
/// output that cannot ring leaves the call handling untouched and silent, with
/// one log entry per ring saying why.
class RingTone : public QObject
{
    Q_OBJECT
public:
    /// The ring beside the program: programDir + "/ring.wav".
    static QString ringPath(const QString& programDir);

    /// All references must outlive the object; stillRinging says whether the call still rings.
    RingTone(RingPlayer& player, Scheduler& scheduler, Logger& logger, std::function<bool()> stillRinging,
             QString wavePath, QObject* parent = nullptr);

    /// Ring start: "open" the ring file, then "play". A restart of an
    /// earlier ring still under way is dropped; its playback is replaced.
    void startRing();
    /// Silences the ring at once (the engine was lost with the call).
    void stopRing();

    /// The player's end of playback: while the call rings, "stop", "close",
    /// "open" and "play" again, each after the events pending before it
    /// (so ticks and clicks run in between); in any other state nothing.
    void onPlaybackFinished();

    const QString& wavePath() const { return m_wavePath; }

signals:
    /// The ring was (re)started: "play" was sent.
    void ringPlayed();

private:
    void openAndPlay();
    /// Runs fn from the event loop unless another ring has started by then.
    void afterPendingEvents(std::function<void()> fn);
    void reportSilent(const QString& reason);

    RingPlayer& m_player;
    Scheduler& m_scheduler;
    Logger& m_logger;
    std::function<bool()> m_stillRinging;
    QString m_wavePath;
    /// Counts rings; a restart step of an earlier ring sees another value and stops.
    quint64 m_ring = 0;
    bool m_reported = false;
};

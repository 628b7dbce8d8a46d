#pragma once

#include <QObject>
#include <QString>

/// Plays one wave file with the multimedia control's four commands "open",
/// "play", "stop" and "close". GUI thread only.
class RingPlayer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    /// "open": prepares the file for playing. False, with *error saying why the
    /// ring stays silent, when the file is missing or not a playable wave or
    /// when there is no audio output; nothing is open then.
    virtual bool open(const QString& path, QString* error) = 0;
    /// "play": plays the open file once from its start. Later exactly one of
    /// playbackFinished or playbackFailed follows, unless stop or close comes first.
    virtual void play() = 0;
    /// "stop": ends the playback at once; no signal follows.
    virtual void stop() = 0;
    /// "close": stops and releases the file.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

signals:
    /// The playback asked for by play() has reached the end of the file.
    void playbackFinished();
    /// The playback asked for by play() cannot happen or did not end; reason
    /// is a short English text for the event log.
    void playbackFailed(const QString& reason);
};

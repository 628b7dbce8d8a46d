#pragma once

#include "RingPlayer.h"

#include <QStringList>

/// Player for tests: records the commands ("open PATH", "play", "stop",
/// "close"); open succeeds unless openError is set; the test ends a playback
/// with finish() or fail().
class FakeRingPlayer : public RingPlayer
{
public:
    QStringList commands;
    QString openError;
    bool opened = false;
    bool playing = false;

    bool open(const QString& path, QString* error) override
    {
        commands.append(QStringLiteral("open ") + path);
        if (!openError.isEmpty()) {
            if (error)
                *error = openError;
            return false;
        }
        opened = true;
        return true;
    }
    void play() override
    {
        commands.append(QStringLiteral("play"));
        playing = opened;
    }
    void stop() override
    {
        commands.append(QStringLiteral("stop"));
        playing = false;
    }
    void close() override
    {
        commands.append(QStringLiteral("close"));
        playing = false;
        opened = false;
    }
    bool isOpen() const override { return opened; }

    /// The playback under way reached the file's end.
    void finish()
    {
        playing = false;
        emit playbackFinished();
    }
    void fail(const QString& reason)
    {
        playing = false;
        emit playbackFailed(reason);
    }
};

#pragma once

#include "RingPlayer.h"

#include <QPointer>
#include <QTimer>

#include <functional>

class QSoundEffect;

/// RingPlayer over QSoundEffect, which talks to the sound server directly.
/// QSoundEffect neither ends nor fails with no audio device (it reports
/// playing forever) or on a truncated file (it stays loading forever), so the
/// file is checked first, the outputs are looked at, and watchdogs bound the
/// loading and the playing.
class SoundEffectRingPlayer : public RingPlayer
{
    Q_OBJECT
public:
    struct Options
    {
        /// Longest wait for the file to load after play().
        int loadTimeoutMs = 3000;
        /// How long past the file's own duration a playback may go unfinished.
        int endMarginMs = 2000;
        /// Whether the machine has an audio output; empty: QMediaDevices::audioOutputs().
        std::function<bool()> hasAudioOutput;
    };

    explicit SoundEffectRingPlayer(QObject* parent = nullptr);
    SoundEffectRingPlayer(Options options, QObject* parent = nullptr);
    ~SoundEffectRingPlayer() override;

    bool open(const QString& path, QString* error) override;
    void play() override;
    void stop() override;
    void close() override;
    bool isOpen() const override { return m_effect != nullptr; }

    /// True from play() until the playback finished, failed or was stopped.
    bool isPlaying() const { return m_playRequested; }

private:
    void onStatusChanged();
    void onPlayingChanged();
    void startPlayback();
    void failPlayback(const QString& reason);
    void releaseEffect();

    Options m_options;
    QSoundEffect* m_effect = nullptr;
    QString m_path;
    qint64 m_durationMs = 0;
    bool m_playRequested = false;
    bool m_started = false;
    quint64 m_generation = 0;
    QTimer m_watchdog;
};

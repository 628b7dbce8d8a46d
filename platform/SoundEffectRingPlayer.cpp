#include "SoundEffectRingPlayer.h"

#include "WaveFile.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include <algorithm>

SoundEffectRingPlayer::SoundEffectRingPlayer(QObject* parent)
    : SoundEffectRingPlayer(Options{}, parent)
{
}

SoundEffectRingPlayer::SoundEffectRingPlayer(Options options, QObject* parent)
    : RingPlayer(parent)
    , m_options(std::move(options))
{
    if (!m_options.hasAudioOutput)
        m_options.hasAudioOutput = [] { return !QMediaDevices::audioOutputs().isEmpty(); };
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, [this] {
        if (!m_started) {
            failPlayback(QStringLiteral("%1 did not load within %2 ms").arg(m_path).arg(m_options.loadTimeoutMs));
            return;
        }
        failPlayback(QStringLiteral("playback of %1 did not end (no working audio output)").arg(m_path));
    });
}

SoundEffectRingPlayer::~SoundEffectRingPlayer()
{
    releaseEffect();
}

bool SoundEffectRingPlayer::open(const QString& path, QString* error)
{
    close();
    WaveInfo info;
    if (!WaveFile::inspectFile(path, &info, error))
        return false;
    if (!m_options.hasAudioOutput()) {
        if (error)
            *error = QStringLiteral("no audio output device");
        return false;
    }
    m_path = path;
    m_durationMs = info.durationMs;
    m_effect = new QSoundEffect(this);
    connect(m_effect, &QSoundEffect::statusChanged, this, &SoundEffectRingPlayer::onStatusChanged);
    connect(m_effect, &QSoundEffect::playingChanged, this, &SoundEffectRingPlayer::onPlayingChanged);
    m_effect->setLoopCount(1);
    m_effect->setSource(QUrl::fromLocalFile(path));
    return true;
}

void SoundEffectRingPlayer::play()
{
    stop();
    m_playRequested = true;
    m_started = false;
    if (!m_effect) {
        failPlayback(QStringLiteral("nothing is open to play"));
        return;
    }
    switch (m_effect->status()) {
    case QSoundEffect::Ready:
        startPlayback();
        break;
    case QSoundEffect::Error:
        failPlayback(QStringLiteral("the audio back end cannot play %1").arg(m_path));
        break;
    case QSoundEffect::Null:
    case QSoundEffect::Loading:
        m_watchdog.start(m_options.loadTimeoutMs);
        break;
    }
}

void SoundEffectRingPlayer::stop()
{
    ++m_generation;
    m_playRequested = false;
    m_started = false;
    m_watchdog.stop();
    if (m_effect && m_effect->isPlaying())
        m_effect->stop();
}

void SoundEffectRingPlayer::close()
{
    stop();
    releaseEffect();
}

void SoundEffectRingPlayer::releaseEffect()
{
    if (!m_effect)
        return;
    m_effect->disconnect(this);
    // close() may run inside one of the effect's own signals.
    m_effect->deleteLater();
    m_effect = nullptr;
}

void SoundEffectRingPlayer::startPlayback()
{
    m_started = true;
    m_watchdog.start(int(std::min<qint64>(m_durationMs + m_options.endMarginMs, 24 * 3600 * 1000)));
    m_effect->play();
}

void SoundEffectRingPlayer::onStatusChanged()
{
    if (!m_playRequested || m_started)
        return;
    if (m_effect->status() == QSoundEffect::Ready)
        startPlayback();
    else if (m_effect->status() == QSoundEffect::Error)
        failPlayback(QStringLiteral("the audio back end cannot play %1").arg(m_path));
}

void SoundEffectRingPlayer::onPlayingChanged()
{
    if (!m_playRequested || !m_started || m_effect->isPlaying())
        return;
    m_playRequested = false;
    m_started = false;
    m_watchdog.stop();
    emit playbackFinished();
}

void SoundEffectRingPlayer::failPlayback(const QString& reason)
{
    m_playRequested = false;
    m_started = false;
    m_watchdog.stop();
    if (m_effect && m_effect->isPlaying())
        m_effect->stop();
    // Never from inside play(): the caller sees the failure from the event loop, as it would a late one;
    // a stop, close or new play before then cancels it.
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, reason, generation] {
            if (generation == m_generation)
                emit playbackFailed(reason);
        },
        Qt::QueuedConnection);
}

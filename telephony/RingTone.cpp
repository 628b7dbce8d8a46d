#include "RingTone.h"

#include "Logger.h"
#include "RingPlayer.h"
#include "Scheduler.h"

QString RingTone::ringPath(const QString& programDir)
{
    return programDir + QStringLiteral("/ring.wav");
}

RingTone::RingTone(RingPlayer& player, Scheduler& scheduler, Logger& logger, std::function<bool()> stillRinging,
                   QString wavePath, QObject* parent)
    : QObject(parent)
    , m_player(player)
    , m_scheduler(scheduler)
    , m_logger(logger)
    , m_stillRinging(std::move(stillRinging))
    , m_wavePath(std::move(wavePath))
{
    connect(&m_player, &RingPlayer::playbackFinished, this, &RingTone::onPlaybackFinished);
    connect(&m_player, &RingPlayer::playbackFailed, this, &RingTone::reportSilent);
}

void RingTone::startRing()
{
    ++m_ring;
    m_reported = false;
    m_player.close();
    openAndPlay();
}

void RingTone::stopRing()
{
    ++m_ring; // restart steps still queued see another ring and stop
    m_player.close();
}

void RingTone::openAndPlay()
{
    QString error;
    if (!m_player.open(m_wavePath, &error)) {
        reportSilent(error);
        return;
    }
    m_player.play();
    emit ringPlayed();
}

void RingTone::onPlaybackFinished()
{
    if (!m_stillRinging || !m_stillRinging())
        return;
    m_player.stop();
    afterPendingEvents([this] {
        m_player.close();
        afterPendingEvents([this] {
            QString error;
            if (!m_player.open(m_wavePath, &error)) {
                reportSilent(error);
                return;
            }
            afterPendingEvents([this] {
                m_player.play();
                emit ringPlayed();
            });
        });
    });
}

void RingTone::afterPendingEvents(std::function<void()> fn)
{
    // A new ring started meanwhile owns the player; the old restart ends here.
    m_scheduler.singleShot(0, this, [this, ring = m_ring, fn = std::move(fn)] {
        if (ring == m_ring)
            fn();
    });
}

void RingTone::reportSilent(const QString& reason)
{
    if (m_reported)
        return;
    m_reported = true;
    m_logger.write(QStringLiteral("Ring tone silent: %1").arg(reason));
}

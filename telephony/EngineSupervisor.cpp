#include "EngineSupervisor.h"

#include "LinphoneEngine.h"
#include "Logger.h"
#include "Scheduler.h"

#include <algorithm>

EngineSupervisor::EngineSupervisor(LinphoneEngine& engine, EngineBringUp& bringUp, Logger& log,
                                   Scheduler& scheduler, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_bringUp(bringUp)
    , m_log(log)
    , m_scheduler(scheduler)
{
    connect(&m_engine, &LinphoneEngine::daemonEnded, this, &EngineSupervisor::onDaemonEnded);
    connect(&m_engine, &LinphoneEngine::requestUnanswered, this, &EngineSupervisor::checkUnanswered);
}

int EngineSupervisor::retryDelayMs(int failures)
{
    const int doublings = std::clamp(failures - 1, 0, 5);
    return std::min(1000 << doublings, kMaxRetryDelayMs);
}

void EngineSupervisor::watch(bool engineUp)
{
    if (m_state != State::NotWatching)
        return;
    m_state = State::Running;
    if (!engineUp)
        lose(QStringLiteral("not running after start-up"));
}

void EngineSupervisor::stop()
{
    m_state = State::Stopped;
    m_bringUp.cancel();
}

void EngineSupervisor::checkUnanswered()
{
    if (m_state != State::Running || m_engine.unansweredCalls() < kUnansweredForHung)
        return;
    if (m_engine.isDaemonRunning())
        lose(QStringLiteral("linphonec (pid %1) does not answer: killed").arg(m_engine.startedPid()));
    else
        lose(QStringLiteral("the engine does not answer"));
}

void EngineSupervisor::onDaemonEnded(qint64 pid, int exitCode)
{
    const QString why = exitCode < 0 ? QStringLiteral("linphonec (pid %1) was killed or crashed").arg(pid)
                                     : QStringLiteral("linphonec (pid %1) ended with code %2").arg(pid).arg(exitCode);
    if (m_state == State::Running) {
        lose(why);
    } else if (m_state == State::Restarting) {
        // Crashed while coming up: no use waiting for its answer.
        m_bringUp.cancel();
        attemptEnded(false);
    }
}

void EngineSupervisor::lose(const QString& why)
{
    if (m_state != State::Running)
        return;
    m_engine.noteLost(why);
    m_engine.killStartedDaemon();
    m_failures = 0;
    emit engineLost();
    emit telephonyChanged(false);
    attempt();
}

void EngineSupervisor::attempt()
{
    m_state = State::Restarting;
    m_bringUp.run(EngineBringUp::kRestartPace, [this](bool up) { attemptEnded(up); });
}

void EngineSupervisor::attemptEnded(bool up)
{
    if (m_state != State::Restarting)
        return;
    if (up) {
        m_state = State::Running;
        emit telephonyChanged(true);
        return;
    }
    // A daemon that never answered is of no use; the next try starts a fresh one.
    m_engine.killStartedDaemon();
    ++m_failures;
    const int delayMs = retryDelayMs(m_failures);
    if (!m_lastFailureLog.isValid() || m_lastFailureLog.hasExpired(kFailureLogIntervalMs)) {
        m_lastFailureLog.start();
        const QString why = m_engine.programAvailable() ? QStringLiteral("it does not answer")
                                                        : m_engine.programName() + QStringLiteral(" not found");
        m_log.write(QStringLiteral("engine: restart %1 failed (%2); next try in %3 s")
                        .arg(m_failures)
                        .arg(why)
                        .arg(delayMs / 1000));
    }
    m_state = State::Waiting;
    const quint64 wait = ++m_wait;
    m_scheduler.singleShot(delayMs, this, [this, wait]() {
        if (m_state == State::Waiting && wait == m_wait)
            attempt();
    });
}

#pragma once

#include "EngineBringUp.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class LinphoneEngine;
class Logger;
class Scheduler;

/// Keeps telephony alive. Notices at once when the engine's daemon ends, and
/// that it hangs when a request (a call action or the backstop status poll)
/// goes unanswered within its bound; then the call handling goes back to
/// idle, a hung daemon the console started is killed by its PID, and a new
/// engine is brought up the way start-up does it. While that fails the next
/// try waits 1, 2, 4 ... up to 30 s. A daemon the console only attached to is
/// replaced by its own when it stops answering. Nothing here waits.
class EngineSupervisor : public QObject
{
    Q_OBJECT
public:
    /// Unanswered requests in a row (each bounded by the engine's request time-out,
    /// 100 times its usual round trip) after which a running engine counts as hung.
    static constexpr int kUnansweredForHung = 1;
    static constexpr int kMaxRetryDelayMs = 30000;
    /// Failed restarts are logged at most this often.
    static constexpr int kFailureLogIntervalMs = 60000;

    /// Every reference must outlive the supervisor.
    EngineSupervisor(LinphoneEngine& engine, EngineBringUp& bringUp, Logger& log, Scheduler& scheduler,
                     QObject* parent = nullptr);

    /// Start-up is over; engineUp: the engine answered while starting. An
    /// engine that did not is restarted at once.
    void watch(bool engineUp);
    /// After a request went unanswered: a running engine that has had enough of them is hung.
    void checkUnanswered();
    /// Shutdown: no more restarts, a restart under way ends.
    void stop();
    bool isTelephonyUp() const { return m_state == State::Running; }

    /// Wait before restart number failures + 1: 1, 2, 4 ... 30 s.
    static int retryDelayMs(int failures);

signals:
    /// The engine is gone: whatever call was up is gone with it.
    void engineLost();
    /// Telephony went down (false) or works again (true).
    void telephonyChanged(bool up);

private:
    enum class State
    {
        NotWatching,
        Running,
        Restarting,
        Waiting,
        Stopped,
    };

    void onDaemonEnded(qint64 pid, int exitCode);
    void lose(const QString& why);
    void attempt();
    void attemptEnded(bool up);

    LinphoneEngine& m_engine;
    EngineBringUp& m_bringUp;
    Logger& m_log;
    Scheduler& m_scheduler;
    State m_state = State::NotWatching;
    int m_failures = 0;
    quint64 m_wait = 0;
    QElapsedTimer m_lastFailureLog;
};

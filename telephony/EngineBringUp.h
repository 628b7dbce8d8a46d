#pragma once

#include "SipEngine.h"

#include <QObject>
#include <QString>

#include <functional>

class Logger;
class Scheduler;
class SipEngine;
struct ConfigRecord;

/// Brings the SIP engine up the way the console starts it: "init" and the
/// engine start, a wait, "codec disable 0" until the engine answers
/// "disabled", codecs 1 and 2, then registration with the SIP server over
/// the engine's socket when one is configured (the password masked in the
/// log, on no command line). Every reply is logged as it comes. Nothing
/// waits: the waits are timers and the replies come back to handlers.
class EngineBringUp : public QObject
{
    Q_OBJECT
public:
    struct Pace
    {
        int startWaitMs;   ///< after the engine start, before the first codec request
        int retryWaitMs;   ///< between codec requests that got no "disabled"
        int attempts;      ///< codec requests in all
        int pauseMs;       ///< before codecs 1 and 2
        bool goOnSilent;   ///< without "disabled": still the other codecs and registration
    };
    /// Start-up: three seconds for the engine, ten tries three seconds apart,
    /// and on regardless.
    static constexpr Pace kStartupPace{3000, 3000, 10, 100, true};
    /// A restart after the engine was lost: the call handling waits for it, so
    /// it is asked often; a silent engine is a failed restart.
    static constexpr Pace kRestartPace{250, 250, 40, 100, false};

    /// Every reference must outlive the object; record is read when registering.
    EngineBringUp(SipEngine& engine, Logger& log, Scheduler& scheduler, const ConfigRecord& record,
                  QObject* parent = nullptr);

    /// Runs the steps, then done(up): up when the engine answered "disabled".
    /// A missing engine program ends at once (done(false), nothing logged).
    /// Ignored while a run is under way.
    void run(const Pace& pace, std::function<void(bool up)> done);
    /// Ends a run under way without calling its done.
    void cancel();
    bool isRunning() const { return m_running; }
    /// Codec requests of the last run.
    int codecAttempts() const { return m_attempt; }

    /// The registration as the log shows it: "--host SERVER --username USER --password ******".
    static QString registrationLogText(const QString& server, const QString& user);

private:
    void later(int delayMs, void (EngineBringUp::*step)());
    /// Runs fn with the reply unless the run was cancelled or replaced meanwhile.
    EngineReplyHandler whileRunning(std::function<void(const EngineReply&)> fn);
    void tryCodec();
    void codecReplied(const EngineReply& reply);
    void otherCodecs();
    void lastCodec();
    void registerWithServer();
    void finish();

    SipEngine& m_engine;
    Logger& m_log;
    Scheduler& m_scheduler;
    const ConfigRecord& m_record;
    Pace m_pace = kStartupPace;
    std::function<void(bool)> m_done;
    quint64 m_run = 0;
    bool m_running = false;
    bool m_up = false;
    int m_attempt = 0;
};

#pragma once

#include "LinphoneEngine.h"

#include <QObject>
#include <QString>

#include <memory>

class CallControl;
class CallSession;
class ConsoleWindow;
class EngineBringUp;
class EngineSupervisor;
class IncomingCallAlert;
class Logger;
class RingPlayer;
class RingTone;
class Scheduler;
struct ConfigRecord;

/// The console's telephony, built once and wired: the engine, its bring-up
/// and supervisor, the call session that follows the engine's events, the
/// operator's call buttons, the popup and the ring. Owns every part; they go
/// in the reverse order of their declaration. GUI thread only.
class TelephonyWiring : public QObject
{
    Q_OBJECT
public:
    /// Every reference must outlive the object. The ring file is programDir/ring.wav.
    TelephonyWiring(const ConfigRecord& record, ConsoleWindow& window, Logger& log, Scheduler& scheduler,
                    const QString& programDir, LinphoneEngine::Options engineOptions = {},
                    QObject* parent = nullptr);
    ~TelephonyWiring() override;

    LinphoneEngine& engine() const { return *m_engine; }
    EngineBringUp& bringUp() const { return *m_bringUp; }
    RingTone& ringTone() const { return *m_ringTone; }
    IncomingCallAlert& alert() const { return *m_alert; }
    CallSession& session() const { return *m_session; }
    CallControl& control() const { return *m_control; }
    EngineSupervisor& supervisor() const { return *m_supervisor; }

    /// Start-up is over: the backstop poll runs and the supervisor watches the engine (engineUp: it answered).
    void watch(bool engineUp);
    /// Shutdown: no more polls, no more restarts.
    void stop();

    /// The status poll's period when the engine's events cannot be read (a daemon the console attached to).
    static constexpr int kPollOnlyIntervalMs = 500;

private:
    void pacePoll();

    std::unique_ptr<LinphoneEngine> m_engine;
    std::unique_ptr<EngineBringUp> m_bringUp;
    std::unique_ptr<RingPlayer> m_ringPlayer;
    std::unique_ptr<RingTone> m_ringTone;
    std::unique_ptr<IncomingCallAlert> m_alert;
    std::unique_ptr<CallSession> m_session;
    std::unique_ptr<CallControl> m_control;
    std::unique_ptr<EngineSupervisor> m_supervisor;
};

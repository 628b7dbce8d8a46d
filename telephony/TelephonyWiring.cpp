#include "TelephonyWiring.h"

#include "CallControl.h"
#include "CallSession.h"
#include "EngineBringUp.h"
#include "EngineSupervisor.h"
#include "IncomingCallAlert.h"
#include "Logger.h"
#include "RingTone.h"
#include "SoundEffectRingPlayer.h"

TelephonyWiring::TelephonyWiring(const ConfigRecord& record, ConsoleWindow& window, Logger& log,
                                 Scheduler& scheduler, const QString& programDir,
                                 LinphoneEngine::Options engineOptions, QObject* parent)
    : QObject(parent)
    , m_engine(std::make_unique<LinphoneEngine>(log, std::move(engineOptions)))
    , m_bringUp(std::make_unique<EngineBringUp>(*m_engine, log, scheduler, record))
    , m_ringPlayer(std::make_unique<SoundEffectRingPlayer>())
    , m_ringTone(std::make_unique<RingTone>(
          *m_ringPlayer, scheduler, log, [this] { return m_session && m_session->isRinging(); },
          RingTone::ringPath(programDir)))
    , m_alert(std::make_unique<IncomingCallAlert>(record, window, *m_ringTone))
    , m_session(std::make_unique<CallSession>(*m_engine, record, window, *m_alert))
    , m_control(std::make_unique<CallControl>(*m_engine, log, record, *m_session, window, *m_alert))
    , m_supervisor(std::make_unique<EngineSupervisor>(*m_engine, *m_bringUp, log, scheduler))
{
    connect(m_engine.get(), &LinphoneEngine::callEvent, m_session.get(), &CallSession::handleEvent);
    connect(m_supervisor.get(), &EngineSupervisor::engineLost, m_session.get(), &CallSession::engineLost);
    connect(m_alert.get(), &IncomingCallAlert::callAnswered, m_control.get(), &CallControl::answerFromPopup);
    connect(m_alert.get(), &IncomingCallAlert::callRejected, m_control.get(), &CallControl::rejectFromPopup);
    connect(m_session.get(), &CallSession::callStateChanged, this, [&log](const CallTransition& t) {
        if (t.cause == CallCause::TakenElsewhere)
            log.write(QStringLiteral("call taken at another desk"));
    });
    connect(m_supervisor.get(), &EngineSupervisor::telephonyChanged, this, [this](bool up) {
        if (up)
            pacePoll();
    });
}

TelephonyWiring::~TelephonyWiring()
{
    // The ring asks the session whether the call still rings: the session goes first, so it must not be asked.
    m_ringTone->stopRing();
}

void TelephonyWiring::watch(bool engineUp)
{
    m_supervisor->watch(engineUp);
    pacePoll();
}

void TelephonyWiring::pacePoll()
{
    // A daemon someone else started prints its events where the console cannot read them: the poll is all
    // there is, so it runs at the pace the console always polled at.
    m_session->startBackstop(m_engine->deliversEvents() ? CallSession::kBackstopIntervalMs : kPollOnlyIntervalMs);
}

void TelephonyWiring::stop()
{
    m_session->stopBackstop();
    m_supervisor->stop();
}

#include "EngineBringUp.h"

#include "ConfigRecord.h"
#include "Logger.h"
#include "Scheduler.h"

#include <QPointer>

EngineBringUp::EngineBringUp(SipEngine& engine, Logger& log, Scheduler& scheduler, const ConfigRecord& record,
                             QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_log(log)
    , m_scheduler(scheduler)
    , m_record(record)
{
}

void EngineBringUp::run(const Pace& pace, std::function<void(bool up)> done)
{
    if (m_running)
        return;
    m_pace = pace;
    m_done = std::move(done);
    m_attempt = 0;
    m_up = false;
    m_running = true;
    ++m_run;
    if (!m_engine.programAvailable()) {
        finish();
        return;
    }
    m_log.write(QStringLiteral("init"));
    m_engine.start();
    later(m_pace.startWaitMs, &EngineBringUp::tryCodec);
}

void EngineBringUp::cancel()
{
    m_running = false;
    m_done = nullptr;
    ++m_run;
}

void EngineBringUp::later(int delayMs, void (EngineBringUp::*step)())
{
    // A step of a cancelled or finished run must not go on.
    m_scheduler.singleShot(delayMs, this, [this, step, run = m_run]() {
        if (run == m_run && m_running)
            (this->*step)();
    });
}

EngineReplyHandler EngineBringUp::whileRunning(std::function<void(const EngineReply&)> fn)
{
    return [self = QPointer<EngineBringUp>(this), run = m_run, fn = std::move(fn)](const EngineReply& reply) {
        if (self && run == self->m_run && self->m_running)
            fn(reply);
    };
}

void EngineBringUp::tryCodec()
{
    ++m_attempt;
    m_engine.disableCodec(0, whileRunning([this](const EngineReply& reply) { codecReplied(reply); }));
}

void EngineBringUp::codecReplied(const EngineReply& reply)
{
    m_up = reply.text.contains(QLatin1String("disabled"));
    if (!m_up && m_attempt < m_pace.attempts) {
        later(m_pace.retryWaitMs, &EngineBringUp::tryCodec);
        return;
    }
    // Silent after every try: start-up goes on with whatever the engine said last.
    if (!m_up && !m_pace.goOnSilent) {
        finish();
        return;
    }
    m_log.write(reply.text);
    later(m_pace.pauseMs, &EngineBringUp::otherCodecs);
}

void EngineBringUp::otherCodecs()
{
    m_engine.disableCodec(1, whileRunning([this](const EngineReply& reply) {
        m_log.write(reply.text);
        later(m_pace.pauseMs, &EngineBringUp::lastCodec);
    }));
}

void EngineBringUp::lastCodec()
{
    m_engine.disableCodec(2, whileRunning([this](const EngineReply& reply) {
        m_log.write(reply.text);
        registerWithServer();
    }));
}

void EngineBringUp::registerWithServer()
{
    if (m_record.useSipServer == 0) {
        finish();
        return;
    }
    const ConfigRecord& r = m_record;
    // The password stays out of the log; the engine gets it over its socket, never on a command line.
    m_log.write(registrationLogText(r.serverAddress, r.userId));
    m_engine.registerAt(r.serverAddress, r.userId, r.password, whileRunning([this](const EngineReply& reply) {
        if (!reply.text.isEmpty())
            m_log.write(reply.text);
        finish();
    }));
}

QString EngineBringUp::registrationLogText(const QString& server, const QString& user)
{
    return QStringLiteral("--host ") + server + QStringLiteral(" --username ") + user
           + QStringLiteral(" --password ******");
}

void EngineBringUp::finish()
{
    m_running = false;
    if (auto done = std::exchange(m_done, nullptr))
        done(m_up);
}

#include "EngineBringUp.h"

#include "ConfigRecord.h"
#include "EngineShell.h"
#include "Logger.h"
#include "Scheduler.h"
#include "ShellRunner.h"
#include "SipEngine.h"

EngineBringUp::EngineBringUp(SipEngine& engine, ShellRunner& shell, Logger& log, Scheduler& scheduler,
                             const ConfigRecord& record, QString programDir, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_shell(shell)
    , m_log(log)
    , m_scheduler(scheduler)
    , m_record(record)
    , m_programDir(std::move(programDir))
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

void EngineBringUp::tryCodec()
{
    ++m_attempt;
    const QString reply = m_engine.disableCodec(0);
    m_up = reply.contains(QLatin1String("disabled"));
    if (!m_up && m_attempt < m_pace.attempts) {
        later(m_pace.retryWaitMs, &EngineBringUp::tryCodec);
        return;
    }
    // Silent after every try: start-up goes on with whatever the engine said last.
    if (!m_up && !m_pace.goOnSilent) {
        finish();
        return;
    }
    m_log.write(reply);
    later(m_pace.pauseMs, &EngineBringUp::otherCodecs);
}

void EngineBringUp::otherCodecs()
{
    m_log.write(m_engine.disableCodec(1));
    later(m_pace.pauseMs, &EngineBringUp::lastCodec);
}

void EngineBringUp::lastCodec()
{
    m_log.write(m_engine.disableCodec(2));
    if (m_record.useSipServer != 0) {
        const ConfigRecord& r = m_record;
        // The password stays out of the log; the command itself gets it in full.
        m_log.write(EngineShell::registerArgumentText(r.serverAddress, r.userId, r.password, true));
        const ShellCommand command = EngineShell::registerCommand(EngineShell::shellPath(m_programDir),
                                                                  r.serverAddress, r.userId, r.password);
        m_log.write(m_shell.run(command, true, false));
    }
    finish();
}

void EngineBringUp::finish()
{
    m_running = false;
    if (auto done = std::exchange(m_done, nullptr))
        done(m_up);
}

#include "ShutdownSequence.h"

#include "ConsoleState.h"
#include "EngineShell.h"
#include "Logger.h"
#include "ShellRunner.h"
#include "SipEngine.h"

ShutdownSequence::ShutdownSequence(ShutdownContext context)
    : m_ctx(std::move(context))
{
}

void ShutdownSequence::run()
{
    if (m_ran)
        return;
    m_ran = true;

    m_ctx.state.exiting = 1;
    m_ctx.stopPolling();
    m_ctx.processPendingEvents();
    m_ctx.log.write(QStringLiteral("close"));
    m_ctx.engine.release();
    const ShellCommand exit = EngineShell::exitCommand(EngineShell::shellPath(m_ctx.programDir));
    m_ctx.log.write(m_ctx.shell.run(exit, true, true));
    m_ctx.stopStartedDaemon();

    // Minimised (or in the tray): the placement of an earlier run stays.
    const WindowPlacement placement = m_ctx.windowPlacement();
    if (placement.state != 1)
        placement.save(m_ctx.settings, WindowPlacement::kMainWindowPrefix);
    m_ctx.closeOtherWindows();
}

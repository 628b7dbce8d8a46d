#include "ShutdownSequence.h"

#include "ConsoleState.h"
#include "Logger.h"
#include "SipEngine.h"

ShutdownSequence::ShutdownSequence(ShutdownContext context)
    : m_ctx(std::move(context))
{
}

void ShutdownSequence::run(std::function<void()> finished)
{
    if (m_ran)
        return;
    m_ran = true;

    m_ctx.state.exiting = 1;
    m_ctx.stopPolling();
    m_ctx.log.write(QStringLiteral("close"));

    // Minimised (or in the tray): the placement of an earlier run stays.
    const WindowPlacement placement = m_ctx.windowPlacement();
    if (placement.state != 1)
        placement.save(m_ctx.settings, WindowPlacement::kMainWindowPrefix);
    // The operator sees the console go at once; the engine's quit goes on behind.
    m_ctx.closeWindows();

    m_ctx.engine.stop(m_ctx.engineGraceMs, [this, finished = std::move(finished)]() {
        m_finished = true;
        if (finished)
            finished();
    });
}

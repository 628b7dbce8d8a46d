#include "ShutdownSequence.h"

#include "ConsoleState.h"
#include "EngineShell.h"
#include "Logger.h"
#include "SettingsStore.h"
#include "ShellRunner.h"
#include "SipEngine.h"

#include <QLocale>

ShutdownSequence::ShutdownSequence(ShutdownContext context, ShutdownHost& host)
    : m_ctx(std::move(context))
    , m_host(host)
{
}

QString ShutdownSequence::placementText(double twips)
{
    // Whole twips have no separator; fractions use the locale's, as start-up reads them.
    return QLocale::system().toString(twips, 'g', 10).remove(QLocale::system().groupSeparator());
}

void ShutdownSequence::Form_Unload()
{
    if (m_ran)
        return;
    m_ran = true;

    m_ctx.state.exiting = 1;
    m_host.stopSnapshotTimer();
    m_host.processPendingEvents();
    m_ctx.log.WriteLog(QStringLiteral("close"));
    m_ctx.engine.linphoneClose();
    const ShellCommand exit = EngineShell::exitCommand(EngineShell::shellPath(m_ctx.programDir));
    m_ctx.log.WriteLog(m_ctx.shell.RunShellCommand(exit, true, true, false));
    if (m_ctx.stopStartedDaemon)
        m_ctx.stopStartedDaemon();

    // Minimised (or in the tray): the placement of an earlier run stays.
    const int state = m_host.windowState();
    if (state != 1) {
        double left = 0, top = 0, width = 0, height = 0;
        m_host.windowFrameTwips(&left, &top, &width, &height);
        m_ctx.settings.setValue(QStringLiteral("wstate"), QString::number(state));
        m_ctx.settings.setValue(QStringLiteral("wleft"), placementText(left));
        m_ctx.settings.setValue(QStringLiteral("wtop"), placementText(top));
        m_ctx.settings.setValue(QStringLiteral("wwidth"), placementText(width));
        m_ctx.settings.setValue(QStringLiteral("wheight"), placementText(height));
    }
    m_host.closeOtherWindows();
}

#include "StartupSequence.h"

#include "ConfigFile.h"
#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "EngineBringUp.h"
#include "Logger.h"
#include "Scheduler.h"
#include "SipEngine.h"
#include "SnapshotClient.h"

StartupSequence::StartupSequence(StartupContext context, StartupHost& host, QObject* parent)
    : QObject(parent)
    , m_ctx(std::move(context))
    , m_host(host)
{
}

StartupSequence::Outcome StartupSequence::start()
{
    if (m_started)
        return Outcome::Running;
    m_started = true;

    if (m_ctx.state.exiting != 0 || !m_ctx.acquireInstance())
        return Outcome::AlreadyRunning;

    m_host.showSplash();

    const QString cfgPath = ConfigFile::configPath(m_ctx.programDir);
    if (ConfigFile::exists(cfgPath)) {
        QString error;
        if (!ConfigFile::readFile(cfgPath, &m_ctx.record, &error)) {
            // Running on the defaults would silently serve the wrong stations:
            // say why and stop, as for any failure that ends start-up.
            if (ConfigFile::readDenied(cfgPath)) {
                // Not a damaged file: the account is not among the operators, and only the installer can add it.
                const QString group = QString::fromLatin1(ConfigFile::kOperatorsGroup);
                m_ctx.log.write(QStringLiteral("The configuration file %1 may not be read by this account: "
                                               "it is kept to the group %2")
                                    .arg(cfgPath, group));
                m_host.showStartupError(
                    tr("This account may not read the configuration file %1. It holds the SIP password, so only "
                       "the members of the group \"%2\" may read it.\n\nAsk the installer to add this account to "
                       "the group \"%2\", then log out and log in again.")
                        .arg(cfgPath, group));
                return Outcome::Failed;
            }
            m_ctx.log.write(QStringLiteral("The configuration file could not be read: ") + error);
            m_host.showStartupError(tr("The configuration file could not be read: %1").arg(error));
            return Outcome::Failed;
        }
    } else {
        m_ctx.record = ConfigRecord::defaults();
    }

    m_host.openCallSockets();
    m_host.createHttpClient();
    m_host.fetchFirstPicture(SnapshotClient::snapshotUrl(m_ctx.record.ipAddress[0]), [this]() { startEngine(); });
    return Outcome::Running;
}

void StartupSequence::startEngine()
{
    const QString program = m_ctx.engine.programName();
    if (!m_ctx.engine.programAvailable()) {
        m_ctx.log.write(QStringLiteral("engine: %1 not found or not executable: telephony is off").arg(program));
        m_host.showEngineMissing(program);
        finish(false);
        return;
    }
    m_ctx.bringUp.run(EngineBringUp::kStartupPace, [this](bool up) { finish(up); });
}

void StartupSequence::finish(bool engineUp)
{
    m_host.startSnapshotTimer();
    m_host.applyPlacement(WindowPlacement::load(m_ctx.settings, WindowPlacement::kMainWindowPrefix));
    m_ctx.state.zoomedStation = -1;
    m_ctx.record.active[0] = 1; // in memory only: station 0 is always shown
    if (m_ctx.makeScratchDirectory)
        m_ctx.makeScratchDirectory();
    m_finished = true;
    m_host.startupFinished(engineUp);
}

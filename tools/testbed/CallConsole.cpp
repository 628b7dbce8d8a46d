#include "CallConsole.h"

#include "ConsoleApplication.h"
#include "EngineSocketClient.h"
#include "LinphoneEngine.h"
#include "MainWindow.h"
#include "TelephonyWiring.h"
#include "ProcessProbe.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <sys/types.h>

CallConsole::CallConsole(QString homeDir)
    : m_homeDir(std::move(homeDir))
{
}

CallConsole::~CallConsole()
{
    QString ignored;
    stop(&ignored);
}

bool CallConsole::start(const QString& programDir, const ConfigRecord& record, QString* error, bool withEngine)
{
    error->clear();
    m_programDir = programDir;
    if (!EngineRig::prepareProgramDir(programDir, record, QStringLiteral(QZ_PROGRAM_DIR), error))
        return false;
    QDir::setCurrent(programDir);
    m_console = std::make_unique<ConsoleApplication>(programDir);
    if (!m_console->start()) {
        *error = QStringLiteral("the console refused to start\n") + log();
        return false;
    }
    m_watch.watch(&m_console->telephony().engine());
    (void)QTest::qWaitFor([this] { return m_console->isStarted() || !m_watch.runaway().isEmpty(); }, 60000);
    if (!m_console->isStarted())
        *error = QStringLiteral("start-up did not finish\n") + m_watch.runaway() + log();
    else if (withEngine != m_console->telephony().engine().startedDaemon())
        *error = (withEngine ? QStringLiteral("the console started no engine of its own\n")
                             : QStringLiteral("the console started an engine\n"))
                 + log();
    return error->isEmpty();
}

bool CallConsole::stop(QString* error)
{
    error->clear();
    if (!m_console)
        return true;
    const qint64 enginePid = m_console->telephony().engine().startedPid();
    m_watch.watch(nullptr);
    // The operator's close: the window goes at once, the engine quits behind it and the event loop would end.
    m_console->mainWindow()->close();
    const bool shutDown = QTest::qWaitFor([this] { return m_console->isShutDown(); }, 10000);
    m_console.reset();
    QDir::setCurrent(m_homeDir);
    if (!shutDown) {
        *error = QStringLiteral("the shutdown did not end\n") + log();
    } else if (!QTest::qWaitFor([enginePid] { return ProcessProbe::gone(enginePid); }, 5000)) {
        ::kill(pid_t(enginePid), SIGKILL);
        *error = QStringLiteral("linphonec (pid %1) outlived the console: killed").arg(enginePid);
    } else if (QFileInfo::exists(EngineSocketClient::defaultSocketPath())) {
        *error = QStringLiteral("the engine's socket is left behind");
    } else if (log().contains(QLatin1String("did not quit"))) {
        *error = QStringLiteral("the engine had to be killed:\n") + log();
    }
    return error->isEmpty();
}

QString CallConsole::log() const
{
    return EngineRig::readText(m_programDir + QStringLiteral("/qz.log"));
}

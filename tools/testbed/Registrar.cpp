#include "Registrar.h"

#include "EngineRig.h"
#include "ProcessProbe.h"

#include <QStandardPaths>

#include <csignal>

Registrar::Registrar(QString dir)
    : m_dir(std::move(dir))
{
}

Registrar::~Registrar()
{
    // SIGTERM ends the workers with it; any left are killed by PID.
    if (m_process.isRunning() && ::kill(pid_t(m_process.pid()), SIGTERM) == 0 && !m_process.waitForExit(3000))
        m_process.kill();
    for (qint64 worker : std::as_const(m_workers))
        if (!ProcessProbe::gone(worker))
            ::kill(pid_t(worker), SIGKILL);
}

bool Registrar::start(const QString& config, const QStringList& defines, QString* error)
{
    m_port = EngineRig::freeSipPort(5180);
    QStringList arguments{QStringLiteral("-f"), config};
    for (const QString& define : defines)
        arguments << QStringLiteral("-A") << define;
    arguments << QStringLiteral("-l") << QStringLiteral("udp:127.0.0.1:%1").arg(m_port) << QStringLiteral("-DD")
              << QStringLiteral("-E") << QStringLiteral("-n") << QStringLiteral("1") << QStringLiteral("-m")
              << QStringLiteral("32") << QStringLiteral("-M") << QStringLiteral("4") << QStringLiteral("-Y") << m_dir
              << QStringLiteral("-w") << m_dir << QStringLiteral("-P") << m_dir + QStringLiteral("/kamailio.pid");
    if (!m_process.start(QStandardPaths::findExecutable(QStringLiteral("kamailio")), arguments,
                         m_dir + QStringLiteral("/kamailio.log"), error))
        return false;
    if (!EngineRig::waitUntilBound(QHostAddress::LocalHost, m_port, 10000) || !m_process.isRunning()) {
        *error = QStringLiteral("kamailio does not listen on port %1\n").arg(m_port) + log();
        return false;
    }
    const QString children = EngineRig::readText(QStringLiteral("/proc/%1/task/%1/children").arg(m_process.pid()));
    for (const QString& child : children.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        m_workers.append(child.toLongLong());
    return true;
}

QString Registrar::log() const
{
    return EngineRig::readText(m_dir + QStringLiteral("/kamailio.log"));
}

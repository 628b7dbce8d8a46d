#include "EngineRig.h"

#include "ConfigFile.h"
#include "ConfigRecord.h"
#include "EngineSocketClient.h"
#include "LinphoneEngine.h"
#include "ProcessProbe.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>
#include <QUdpSocket>

#include <cstdio>

namespace EngineRig {

bool useHome(const QString& root)
{
    const QString runtime = root + QStringLiteral("/run");
    if (!QDir().mkpath(runtime)
        || !QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return false;
    qputenv("HOME", root.toUtf8());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (root + QStringLiteral("/.cache")).toUtf8());
    qputenv("XDG_STATE_HOME", (root + QStringLiteral("/.local/state")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    return true;
}

Home::Home()
{
    if (qEnvironmentVariableIsSet("QZ_KEEP_TEST_HOME")) {
        m_dir.setAutoRemove(false);
        fprintf(stderr, "test home kept: %s\n", qPrintable(m_dir.path()));
    }
    m_valid = m_dir.isValid() && useHome(m_dir.path() + QStringLiteral("/home"));
}

QString Home::makeDir(const QString& name) const
{
    const QString path = m_dir.path() + QLatin1Char('/') + name;
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

bool writeEngineConfig(quint16 sipPort)
{
    const QString path = LinphoneEngine::defaultConfigPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile config(path);
    return config.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && config.write(QStringLiteral("[sip]\nsip_port=%1\nsip_tcp_port=0\nsip_tls_port=0\n").arg(sipPort).toUtf8())
                  > 0;
}

quint16 freeSipPort(quint16 from)
{
    for (quint16 port = from; port < from + 100; ++port) {
        if (udpPortFree(QHostAddress::Any, port))
            return port;
    }
    return 0;
}

QPair<quint16, quint16> freeUdpPorts(const QHostAddress& address)
{
    QUdpSocket first;
    QUdpSocket second;
    if (!first.bind(address, 0) || !second.bind(address, 0))
        return {0, 0};
    return {first.localPort(), second.localPort()};
}

bool udpPortFree(const QHostAddress& address, quint16 port)
{
    QUdpSocket udp;
    return udp.bind(address, port);
}

bool waitUntilBound(const QHostAddress& address, quint16 port, int timeoutMs)
{
    return QTest::qWaitFor([&] { return !udpPortFree(address, port); }, timeoutMs);
}

QString lockPath()
{
    return EngineSocketClient::defaultSocketPath() + QStringLiteral(".qztest.lock");
}

bool lockEngine(QLockFile& lock, int timeoutMs, QString* error)
{
    // A holder that died leaves a stale lock, which is taken over at once.
    lock.setStaleLockTime(0);
    if (!lock.tryLock(timeoutMs)) {
        *error = QStringLiteral("another engine user holds %1").arg(lock.fileName());
        return false;
    }
    const auto answers = [] {
        return EngineSocketClient::request(EngineSocketClient::defaultSocketPath(), "status hook", 2000).ok;
    };
    if (QTest::qWaitFor([&] { return !answers(); }, 30000))
        return true;
    *error = QStringLiteral("a linphonec daemon of this user already answers on %1; stop it first")
                 .arg(EngineSocketClient::defaultSocketPath());
    return false;
}

bool prepareProgramDir(const QString& dir, const ConfigRecord& record, const QString& builtProgramDir,
                       QString* error)
{
    QDir().mkpath(dir);
    const QString ring = builtProgramDir + QStringLiteral("/ring.wav");
    if (QFileInfo::exists(ring)) {
        QFile::remove(dir + QStringLiteral("/ring.wav"));
        QFile::copy(ring, dir + QStringLiteral("/ring.wav"));
    }
    return ConfigFile::writeFile(ConfigFile::configPath(dir), record, error);
}

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace EngineRig

SipPeer::SipPeer(QString logDir, QString name)
    : m_logDir(std::move(logDir))
    , m_name(std::move(name))
{
    m_process.setWorkingDirectory(m_logDir);
}

bool SipPeer::start(QStringList arguments, int timeoutS, QString* error)
{
    const QString errors = m_logDir + QLatin1Char('/') + m_name + QStringLiteral("_errors.log");
    const QString log = m_logDir + QLatin1Char('/') + m_name + QStringLiteral(".log");
    QFile::remove(errors);
    QFile::remove(log);
    arguments << QStringLiteral("-m") << QStringLiteral("1") << QStringLiteral("-nostdin")
              << QStringLiteral("-timeout") << QString::number(timeoutS) << QStringLiteral("-timeout_error")
              << QStringLiteral("-trace_err") << QStringLiteral("-error_file") << errors;
    return m_process.start(QStringLiteral("sipp"), arguments, log, error);
}

bool SipPeer::call(const QString& scenario, quint16 enginePort, const QString& ip, const QString& extension,
                   int pauseMs, QString* error)
{
    const auto [sipPort, mediaPort] = EngineRig::freeUdpPorts(QHostAddress(ip));
    if (sipPort == 0) {
        *error = QStringLiteral("no free UDP port on %1").arg(ip);
        return false;
    }
    return start({QStringLiteral("127.0.0.1:%1").arg(enginePort), QStringLiteral("-sf"), scenario,
                  QStringLiteral("-s"), extension, QStringLiteral("-i"), ip, QStringLiteral("-p"),
                  QString::number(sipPort), QStringLiteral("-mi"), ip, QStringLiteral("-mp"),
                  QString::number(mediaPort), QStringLiteral("-d"), QString::number(pauseMs)},
                 60, error);
}

bool SipPeer::finish(int timeoutMs, QString* report)
{
    // The console under test runs in this thread: its event loop must go on while the peer ends.
    if (!QTest::qWaitFor([this] { return !m_process.isRunning(); }, timeoutMs)) {
        *report = m_name + QStringLiteral(": still running after %1 ms\n").arg(timeoutMs) + output();
        return false;
    }
    if (m_process.exitCode() != 0) {
        *report = m_name + QStringLiteral(": exit code %1\n").arg(m_process.exitCode()) + output();
        return false;
    }
    return true;
}

QString SipPeer::output() const
{
    const QString base = m_logDir + QLatin1Char('/') + m_name;
    return EngineRig::readText(base + QStringLiteral(".log"))
           + EngineRig::readText(base + QStringLiteral("_errors.log"));
}

EngineMemoryWatch::EngineMemoryWatch()
{
    m_timer.setInterval(200);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { sample(); });
}

void EngineMemoryWatch::watch(LinphoneEngine* engine)
{
    m_engine = engine;
    if (engine)
        m_timer.start();
    else
        m_timer.stop();
}

void EngineMemoryWatch::sample()
{
    if (!m_engine)
        return;
    const qint64 kb = ProcessProbe::residentKb(m_engine->startedPid());
    m_peakKb = qMax(m_peakKb, kb);
    if (kb > kLimitKb) {
        m_engine->killStartedDaemon();
        m_runaway = QStringLiteral("engine memory ran away (%1 kB): killed").arg(kb);
    }
}

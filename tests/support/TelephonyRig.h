#pragma once

// What the end-to-end telephony test and the call benchmark share: a home and
// program directory of their own for an in-process console, the engine's
// configuration, the cross-process engine lock, SIP peers (sipp) and a
// registrar (kamailio) stopped by PID whatever way the run ends, and a watch
// on the engine's memory. Loopback only.

#include "ConfigFile.h"
#include "ConfigRecord.h"
#include "DaemonProcess.h"
#include "EngineSocketClient.h"
#include "LinphoneEngine.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QLockFile>
#include <QPair>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/types.h>
#include <utility>

namespace TelephonyRig
{

/// Resident memory of a process in kB, -1 when it cannot be read.
inline qint64 residentKb(qint64 pid)
{
    if (pid <= 0)
        return -1;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

/// True when the process has ended (gone, or a zombie its parent has not reaped).
inline bool processGone(qint64 pid)
{
    if (pid <= 0)
        return true;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    return !status.open(QIODevice::ReadOnly) || status.readAll().contains("State:\tZ");
}

inline QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

/// A UDP port free on every address, from 5062 up (the engine binds its SIP port on all of them).
inline quint16 freeSipPort(quint16 from = 5062)
{
    for (quint16 port = from; port < from + 100; ++port) {
        QUdpSocket udp;
        if (udp.bind(QHostAddress::Any, port))
            return port;
    }
    return 0;
}

/// Two distinct free UDP ports on address ({0, 0} when none).
inline QPair<quint16, quint16> freeUdpPorts(const QHostAddress& address)
{
    QUdpSocket first;
    QUdpSocket second;
    if (!first.bind(address, 0) || !second.bind(address, 0))
        return {0, 0};
    return {first.localPort(), second.localPort()};
}

/// True while nothing holds UDP address:port.
inline bool udpPortFree(const QHostAddress& address, quint16 port)
{
    QUdpSocket udp;
    return udp.bind(address, port);
}

/// Waits until something has bound UDP address:port (a peer is listening).
inline bool waitUntilBound(const QHostAddress& address, quint16 port, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (udpPortFree(address, port)) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

/// A home of its own for the console and its engine: HOME and the XDG folders
/// point into a temporary directory. Construct it before QApplication, since
/// some of Qt reads these variables only once.
class Home
{
public:
    Home()
    {
        // For a look at the console's log and the peers' traces after a run.
        if (qEnvironmentVariableIsSet("QZ_KEEP_TEST_HOME")) {
            m_dir.setAutoRemove(false);
            fprintf(stderr, "test home kept: %s\n", qPrintable(m_dir.path()));
        }
        m_runtime = m_dir.path() + QStringLiteral("/run");
        QDir().mkpath(m_runtime);
        QFile::setPermissions(m_runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString home = m_dir.path() + QStringLiteral("/home");
        QDir().mkpath(home);
        qputenv("HOME", home.toUtf8());
        qputenv("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toUtf8());
        qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
        qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toUtf8());
        qputenv("XDG_RUNTIME_DIR", m_runtime.toUtf8());
    }

    bool isValid() const { return m_dir.isValid(); }
    QString root() const { return m_dir.path(); }
    /// A fresh directory under the root (program directories, peer logs).
    QString makeDir(const QString& name) const
    {
        const QString path = m_dir.path() + QLatin1Char('/') + name;
        QDir(path).removeRecursively();
        QDir().mkpath(path);
        return path;
    }

private:
    QTemporaryDir m_dir;
    QString m_runtime;
};

/// Writes the engine's configuration where the console's engine looks for it:
/// a SIP port of its own, TCP and TLS off (or the engine takes TCP 5060
/// whatever sip_port says).
inline bool writeEngineConfig(quint16 sipPort)
{
    const QString path = LinphoneEngine::defaultConfigPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile config(path);
    if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return config.write(QStringLiteral("[sip]\nsip_port=%1\nsip_tcp_port=0\nsip_tls_port=0\n").arg(sipPort).toUtf8())
           > 0;
}

/// A program directory as the console expects it: qzp.cfg, lp/linphonecsh
/// and, when the build made one, ring.wav.
inline bool prepareProgramDir(const QString& dir, const ConfigRecord& record, const QString& builtProgramDir,
                              QString* error)
{
    QDir().mkpath(dir + QStringLiteral("/lp"));
    const QString shell = dir + QStringLiteral("/lp/linphonecsh");
    QFile::remove(shell);
    const QString shellProgram = QStandardPaths::findExecutable(QStringLiteral("linphonecsh"));
    if (shellProgram.isEmpty() || !QFile::link(shellProgram, shell)) {
        *error = QStringLiteral("cannot link linphonecsh into %1").arg(dir);
        return false;
    }
    const QString ring = builtProgramDir + QStringLiteral("/ring.wav");
    if (QFileInfo::exists(ring)) {
        QFile::remove(dir + QStringLiteral("/ring.wav"));
        QFile::copy(ring, dir + QStringLiteral("/ring.wav"));
    }
    return ConfigFile::writeFile(ConfigFile::configPath(dir), record, error);
}

/// The lock every engine test takes (the daemon's socket is per user), then a
/// wait until no daemon answers on the socket, which would be attached to
/// instead of started.
inline bool lockEngine(QLockFile& lock, int timeoutMs, QString* error)
{
    lock.setStaleLockTime(0);
    if (!lock.tryLock(timeoutMs)) {
        *error = QStringLiteral("another engine test holds %1").arg(lock.fileName());
        return false;
    }
    const QDeadlineTimer deadline(30000);
    while (EngineSocketClient::request(EngineSocketClient::defaultSocketPath(), "status hook", 2000).ok) {
        if (deadline.hasExpired()) {
            *error = QStringLiteral("a linphonec daemon of this user already answers on %1; stop it first")
                         .arg(EngineSocketClient::defaultSocketPath());
            return false;
        }
        QTest::qWait(500);
    }
    return true;
}

inline QString engineLockPath()
{
    return EngineSocketClient::defaultSocketPath() + QStringLiteral(".qztest.lock");
}

/// One sipp run. The process is killed by PID when the object goes (DaemonProcess).
class SipPeer
{
public:
    /// logDir: where its output and error file go; name tells them apart.
    SipPeer(QString logDir, QString name)
        : m_logDir(std::move(logDir))
        , m_name(std::move(name))
    {
        m_process.setWorkingDirectory(m_logDir);
    }

    /// Starts sipp with arguments (scenario, addresses, ...) plus the common
    /// bounds: one call, no keyboard, an overall time-out, errors traced.
    bool start(QStringList arguments, int timeoutS, QString* error)
    {
        QFile::remove(errorPath());
        QFile::remove(logPath());
        arguments << QStringLiteral("-m") << QStringLiteral("1") << QStringLiteral("-nostdin")
                  << QStringLiteral("-timeout") << QString::number(timeoutS) << QStringLiteral("-timeout_error")
                  << QStringLiteral("-trace_err") << QStringLiteral("-error_file") << errorPath();
        return m_process.start(QStringLiteral("sipp"), arguments, logPath(), error);
    }

    /// Waits for the scenario's end; true when sipp ended with 0 (every call succeeded).
    bool finish(int timeoutMs, QString* report)
    {
        if (!m_process.waitForExit(timeoutMs)) {
            *report = m_name + QStringLiteral(": still running after %1 ms\n").arg(timeoutMs) + output();
            return false;
        }
        if (m_process.exitCode() != 0) {
            *report = m_name + QStringLiteral(": exit code %1\n").arg(m_process.exitCode()) + output();
            return false;
        }
        return true;
    }

    qint64 pid() const { return m_process.pid(); }
    bool isRunning() const { return m_process.isRunning(); }
    QString output() const { return readText(logPath()) + readText(errorPath()); }

private:
    QString logPath() const { return m_logDir + QLatin1Char('/') + m_name + QStringLiteral(".log"); }
    QString errorPath() const { return m_logDir + QLatin1Char('/') + m_name + QStringLiteral("_errors.log"); }

    QString m_logDir;
    QString m_name;
    DaemonProcess m_process;
};

/// kamailio as a registrar on 127.0.0.1:port (configuration tests/data/e2e_registrar.cfg).
/// It forks workers: the destructor ends the main process with SIGTERM, which
/// takes its workers along, and kills by PID whichever of them is still there.
class SipRegistrar
{
public:
    explicit SipRegistrar(QString workDir)
        : m_workDir(std::move(workDir))
    {
    }

    ~SipRegistrar() { stop(); }

    static QString program() { return QStandardPaths::findExecutable(QStringLiteral("kamailio")); }

    bool start(const QString& configPath, quint16 port, QString* error)
    {
        m_port = port;
        const QStringList arguments = {
            QStringLiteral("-f"), configPath,
            QStringLiteral("-l"), QStringLiteral("udp:127.0.0.1:%1").arg(port),
            QStringLiteral("-DD"), QStringLiteral("-E"),
            QStringLiteral("-n"), QStringLiteral("1"),
            QStringLiteral("-m"), QStringLiteral("32"), QStringLiteral("-M"), QStringLiteral("4"),
            QStringLiteral("-Y"), m_workDir, QStringLiteral("-w"), m_workDir,
            QStringLiteral("-P"), m_workDir + QStringLiteral("/kamailio.pid"),
        };
        if (!m_process.start(program(), arguments, logPath(), error))
            return false;
        if (!waitUntilBound(QHostAddress::LocalHost, port, 10000) || !m_process.isRunning()) {
            *error = QStringLiteral("kamailio does not listen on 127.0.0.1:%1\n").arg(port) + log();
            return false;
        }
        // Its workers are up once it listens; note them so that none can outlive the run.
        const qint64 pid = m_process.pid();
        const QString children =
            readText(QStringLiteral("/proc/%1/task/%1/children").arg(pid)).trimmed();
        for (const QString& child : children.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            m_workers.append(child.toLongLong());
        return true;
    }

    void stop()
    {
        if (m_process.isRunning()) {
            ::kill(pid_t(m_process.pid()), SIGTERM);
            m_process.waitForExit(3000);
            m_process.kill();
        }
        for (qint64 worker : std::as_const(m_workers)) {
            if (!processGone(worker))
                ::kill(pid_t(worker), SIGKILL);
        }
        m_workers.clear();
    }

    quint16 port() const { return m_port; }
    QList<qint64> workers() const { return m_workers; }
    QString log() const { return readText(logPath()); }

private:
    QString logPath() const { return m_workDir + QStringLiteral("/kamailio.log"); }

    QString m_workDir;
    quint16 m_port = 0;
    DaemonProcess m_process;
    QList<qint64> m_workers;
};

/// Samples the engine's resident memory every 200 ms and kills a runaway
/// engine by PID (the engine once grew to 24 GB within two minutes here).
class EngineMemoryWatch : public QObject
{
public:
    static constexpr qint64 kLimitKb = 500 * 1024;

    EngineMemoryWatch()
    {
        m_timer.setInterval(200);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { sample(); });
    }

    /// Watches engine (nullptr: nothing) from now on.
    void watch(LinphoneEngine* engine)
    {
        m_engine = engine;
        if (engine)
            m_timer.start();
        else
            m_timer.stop();
    }

    void sample()
    {
        if (!m_engine)
            return;
        const qint64 kb = residentKb(m_engine->startedPid());
        m_peakKb = qMax(m_peakKb, kb);
        if (kb > kLimitKb) {
            m_engine->stopStartedDaemon(0);
            m_runaway = QStringLiteral("engine memory ran away (%1 kB): killed").arg(kb);
        }
    }

    qint64 peakKb() const { return m_peakKb; }
    /// Empty unless the engine had to be killed.
    QString runaway() const { return m_runaway; }

private:
    QTimer m_timer;
    LinphoneEngine* m_engine = nullptr;
    qint64 m_peakKb = 0;
    QString m_runaway;
};

} // namespace TelephonyRig

#pragma once

// Runs the real console executable in a program directory of its own, with its
// own HOME, settings and runtime directory, headless. Used by the end-to-end
// tests; the destructor stops the console (and so its engine) by PID.

#include "ConfigFile.h"
#include "ConfigRecord.h"
#include "EngineSocketClient.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <memory>
#include <sys/types.h>

class ConsoleProcess
{
public:
    /// consoleBinary: the built executable; withShell: lp/linphonecsh linked in.
    explicit ConsoleProcess(const QString& consoleBinary, bool withShell = true)
    {
        m_programDir = m_root.path() + QStringLiteral("/prog");
        m_home = m_root.path() + QStringLiteral("/home");
        m_runtime = m_root.path() + QStringLiteral("/run");
        QDir().mkpath(m_programDir + QStringLiteral("/lp"));
        QDir().mkpath(m_home);
        QDir().mkpath(m_runtime);
        QFile::setPermissions(m_runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // A copy, not a link: the program's directory is where the executable really is.
        QFile::copy(consoleBinary, programPath());
        if (withShell)
            QFile::link(QStringLiteral("/usr/bin/linphonecsh"), m_programDir + QStringLiteral("/lp/linphonecsh"));
    }

    ~ConsoleProcess() { stop(0); }

    /// Writes the engine configuration with a SIP port of its own (TCP and TLS
    /// off, or the engine takes TCP 5060 whatever sip_port says).
    bool writeEngineConfig(quint16 sipPort)
    {
        const QString dir = m_home + QStringLiteral("/.local/share/qzconsole");
        QDir().mkpath(dir);
        QFile f(dir + QStringLiteral("/linphonerc"));
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write(QStringLiteral("[sip]\nsip_port=%1\nsip_tcp_port=0\nsip_tls_port=0\n").arg(sipPort).toUtf8());
        return true;
    }

    bool writeConfig(const ConfigRecord& record)
    {
        QString error;
        return ConfigFile::writeFile(m_programDir + QStringLiteral("/qzp.cfg"), record, &error);
    }

    /// Takes the lock every engine test takes: one daemon per user at a time.
    bool lockEngine(int timeoutMs = 90000)
    {
        m_lock = std::make_unique<QLockFile>(EngineSocketClient::defaultSocketPath() + QStringLiteral(".qztest.lock"));
        m_lock->setStaleLockTime(0);
        if (!m_lock->tryLock(timeoutMs))
            return false;
        // A daemon that already answers would be used instead of a new one.
        const QDeadlineTimer deadline(30000);
        while (EngineSocketClient::request(EngineSocketClient::defaultSocketPath(), "status hook", 2000).ok) {
            if (deadline.hasExpired())
                return false;
            QTest::qWait(500);
        }
        return true;
    }

    bool start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime);
        if (!env.contains(QStringLiteral("DISPLAY")) || qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("offscreen"))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(m_programDir);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(programPath(), {});
        return m_process.waitForStarted(5000);
    }

    /// The log as text (qz.log in the working directory).
    QString log() const
    {
        QFile f(m_programDir + QStringLiteral("/qz.log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    /// Log messages without their time stamps, one per entry (continuation
    /// lines stay with their entry).
    QStringList logEntries() const
    {
        static const QRegularExpression stamp(QStringLiteral("^\\d{1,2} \\w+ \\d{4} \\d{1,2}:\\d{2}:\\d{2} ?"));
        QStringList entries;
        for (const QString& line : log().split(QStringLiteral("\r\n"))) {
            const QRegularExpressionMatch m = stamp.match(line);
            if (m.hasMatch())
                entries.append(line.mid(m.capturedLength()));
            else if (!entries.isEmpty() && !line.isEmpty())
                entries.last() += QLatin1Char('\n') + line;
        }
        return entries;
    }

    bool waitForLog(const QString& text, int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!log().contains(text)) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return false;
            QTest::qWait(100);
        }
        return true;
    }

    /// PID of the engine daemon the console logged it started, 0 if none.
    qint64 enginePid() const
    {
        static const QRegularExpression re(QStringLiteral("started linphonec \\(pid (\\d+)\\)"));
        const QRegularExpressionMatch m = re.match(log());
        return m.hasMatch() ? m.captured(1).toLongLong() : 0;
    }

    static bool processAlive(qint64 pid)
    {
        if (pid <= 0)
            return false;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        // A zombie has ended; only its parent has not reaped it yet.
        const QByteArray text = stat.read(1024); // /proc files report no size
        const int close = text.lastIndexOf(')');
        return close < 0 || text.mid(close + 2, 1) != "Z";
    }

    bool signal(int sig) { return m_process.processId() > 0 && ::kill(pid_t(m_process.processId()), sig) == 0; }
    bool waitForExit(int timeoutMs) { return m_process.waitForFinished(timeoutMs); }
    QByteArray output() { return m_process.readAll(); }

    /// Ends the console: SIGTERM, then SIGKILL after graceMs; also any engine it left.
    void stop(int graceMs)
    {
        const qint64 engine = enginePid();
        if (m_process.state() != QProcess::NotRunning) {
            signal(SIGTERM);
            if (!m_process.waitForFinished(graceMs)) {
                m_process.kill();
                m_process.waitForFinished(5000);
            }
        }
        if (processAlive(engine))
            ::kill(pid_t(engine), SIGKILL);
    }

    QString programDir() const { return m_programDir; }
    QString programPath() const { return m_programDir + QStringLiteral("/qzconsole"); }
    QString settingsFile() const { return m_home + QStringLiteral("/.config/qzr/qzr.conf"); }

    static quint16 freeUdpPort(quint16 from)
    {
        for (quint16 port = from; port < from + 100; ++port) {
            QUdpSocket udp;
            if (udp.bind(QHostAddress::Any, port))
                return port;
        }
        return 0;
    }

private:
    QTemporaryDir m_root;
    QString m_programDir;
    QString m_home;
    QString m_runtime;
    QProcess m_process;
    std::unique_ptr<QLockFile> m_lock;
};

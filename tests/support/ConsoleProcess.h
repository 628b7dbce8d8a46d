#pragma once

// Runs the real console executable in a program directory of its own, with its
// own HOME, settings and runtime directory, headless. Used by the end-to-end
// tests; the destructor stops the console (and so its engine) by PID.

#include "ConfigFile.h"
#include "ConfigRecord.h"
#include "EngineTestEnv.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>

class ConsoleProcess
{
public:
    /// consoleBinary: the built executable; withShell: lp/linphonecsh linked in.
    explicit ConsoleProcess(const QString& consoleBinary, bool withShell = true)
    {
        QDir().mkpath(m_programDir + QStringLiteral("/lp"));
        QDir().mkpath(m_home);
        // A copy, not a link: the program's directory is where the executable really is.
        QFile::copy(consoleBinary, programPath());
        if (withShell)
            QFile::link(QStringLiteral("/usr/bin/linphonecsh"), m_programDir + QStringLiteral("/lp/linphonecsh"));
    }

    ~ConsoleProcess() { stop(0); }

    /// The engine configuration with a SIP port of its own.
    bool writeEngineConfig(quint16 sipPort)
    {
        return EngineTestEnv::writeEngineConfig(m_home + QStringLiteral("/.local/share/qzconsole/linphonerc"), sipPort);
    }

    bool writeConfig(const ConfigRecord& record)
    {
        QString error;
        return ConfigFile::writeFile(m_programDir + QStringLiteral("/qzp.cfg"), record, &error);
    }

    /// Takes the lock every engine test takes: one daemon per user at a time.
    bool lockEngine()
    {
        QString why;
        return EngineTestEnv::lockEngine(m_lock, &why);
    }

    bool start()
    {
        const QString runtime = m_home + QStringLiteral("/runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        if (!env.contains(QStringLiteral("DISPLAY"))
            || qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("offscreen"))
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
        return QTest::qWaitFor([&] { return log().contains(text) || m_process.state() == QProcess::NotRunning; },
                               timeoutMs)
               && log().contains(text);
    }

    /// PID of the engine daemon the console logged it started, 0 if none.
    qint64 enginePid() const
    {
        static const QRegularExpression re(QStringLiteral("started linphonec \\(pid (\\d+)\\)"));
        const QRegularExpressionMatch m = re.match(log());
        return m.hasMatch() ? m.captured(1).toLongLong() : 0;
    }

    static bool processAlive(qint64 pid) { return pid > 0 && !EngineTestEnv::processGone(pid); }

    bool signal(int sig) { return m_process.processId() > 0 && ::kill(pid_t(m_process.processId()), sig) == 0; }
    bool waitForExit(int timeoutMs) { return m_process.waitForFinished(timeoutMs); }

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

    QString programPath() const { return m_programDir + QStringLiteral("/qzconsole"); }
    QString settingsFile() const { return m_home + QStringLiteral("/.config/qzr/qzr.conf"); }

private:
    QTemporaryDir m_root;
    QString m_programDir = m_root.path() + QStringLiteral("/prog");
    QString m_home = m_root.path() + QStringLiteral("/home");
    QProcess m_process;
    QLockFile m_lock{EngineTestEnv::lockPath()};
};

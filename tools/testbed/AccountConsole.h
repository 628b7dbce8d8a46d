#pragma once

#include "DaemonProcess.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

struct ConfigRecord;

/// The built console run by another operator account of this machine, a second desk beside a console of this
/// process: a home, runtime folder (0700) and program directory of its own, owned by that account, and its
/// engine on a SIP port of its own (the engine's socket, /tmp/linphonec-UID, is per user). Needs root. Stopped
/// by PID whatever way the test ends: SIGTERM, then SIGKILL, its engine too; should this process die, the
/// console gets SIGTERM. Its engine's memory is watched meanwhile and a runaway engine killed.
class AccountConsole
{
public:
    /// Creates account when it is missing: a system account with no home and no login shell, left in place.
    static bool ensureAccount(const QString& account, QString* error);

    explicit AccountConsole(QString account);
    ~AccountConsole();

    /// Lays out the directories (record as qzp.cfg, the engine on sipPort, settings as lines of the section
    /// [settings] of qzr.conf), starts the console on this process's display and waits until its engine runs.
    bool start(const ConfigRecord& record, quint16 sipPort, const QStringList& settings, QString* error);
    /// Ends it by SIGTERM. False (with why) when it or its engine had to be killed.
    bool stop(QString* error);

    /// The console's PID, 0 before it runs.
    qint64 pid() const;
    /// The engine's PID as the console logged it, 0 before.
    qint64 enginePid() const;
    QString home() const { return m_dir.path() + QStringLiteral("/home"); }
    QString log() const;
    QString engineSocket() const;
    /// Empty unless the engine had to be killed for its memory.
    QString runaway() const { return m_runaway; }

private:
    QString m_account;
    QTemporaryDir m_dir;
    DaemonProcess m_runner;
    QTimer m_memoryWatch;
    QString m_runaway;
};

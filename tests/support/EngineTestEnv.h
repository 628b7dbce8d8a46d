#pragma once

// What the tests that start engine daemons (or stand-ins for them) share: a home of
// their own, the engine's configuration file, the cross-process engine lock and
// looks at a process by PID.

#include "EngineSocketClient.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QLockFile>
#include <QTest>
#include <QUdpSocket>

namespace EngineTestEnv {

/// Points HOME and the XDG folders of this process at root (the runtime folder with mode 0700).
inline bool useHome(const QString& root)
{
    const QString runtime = root + QStringLiteral("/runtime");
    if (!QDir().mkpath(runtime)
        || !QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return false;
    qputenv("HOME", root.toUtf8());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (root + QStringLiteral("/.cache")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    return true;
}

/// An engine configuration with a SIP port of its own; TCP and TLS off, or the
/// engine takes TCP 5060 whatever sip_port says.
inline bool writeEngineConfig(const QString& path, quint16 sipPort)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly)
           && f.write(QStringLiteral("[sip]\nsip_port=%1\nsip_tcp_port=0\nsip_tls_port=0\n").arg(sipPort).toUtf8()) > 0;
}

/// A UDP port free on every address, from `from` on (the engine binds its SIP port on all of them); 0 if none.
inline quint16 freeUdpPort(quint16 from)
{
    for (quint16 port = from; port < from + 100; ++port) {
        QUdpSocket udp;
        if (udp.bind(QHostAddress::Any, port))
            return port;
    }
    return 0;
}

/// Takes the lock every engine test takes (the daemon's socket is per user, so one
/// engine at a time, whichever build tree the test comes from), then waits until no
/// daemon of this user answers: one that did would be used instead of a new one.
inline bool lockEngine(QLockFile& lock, QString* why)
{
    lock.setStaleLockTime(0);
    if (!lock.tryLock(90000)) {
        *why = QStringLiteral("another engine test holds the engine lock");
        return false;
    }
    const QDeadlineTimer deadline(30000);
    while (EngineSocketClient::request(EngineSocketClient::defaultSocketPath(), "status hook", 2000).ok) {
        if (deadline.hasExpired()) {
            *why = QStringLiteral("a linphonec daemon of this user already answers; stop it first");
            return false;
        }
        QTest::qWait(500);
    }
    return true;
}

inline QString lockPath()
{
    return EngineSocketClient::defaultSocketPath() + QStringLiteral(".qztest.lock");
}

/// True when pid runs no more (a zombie whose reaper is slow counts as gone).
inline bool processGone(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    return !status.open(QIODevice::ReadOnly) || status.readAll().contains("State:\tZ");
}

/// Resident memory of pid in kB, -1 when it cannot be read.
inline qint64 residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace EngineTestEnv

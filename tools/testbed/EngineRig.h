#pragma once

// What the tests that run the SIP engine and the call benchmark share: a home of
// their own, the engine's configuration, the cross-process engine lock, free
// loopback ports, sipp peers stopped by PID whatever way the run ends, and a
// watch on the engine's memory. Loopback only.

#include "DaemonProcess.h"

#include <QHostAddress>
#include <QLockFile>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

class LinphoneEngine;
struct ConfigRecord;

namespace EngineRig {

/// Points HOME and the XDG folders of this process, and so of the children it
/// starts, at root (the runtime folder with mode 0700).
bool useHome(const QString& root);

/// A temporary home for the whole run, in use from construction on. Construct
/// it before QApplication where the application reads these variables only
/// once. With QZ_KEEP_TEST_HOME set it stays, for a look at the logs.
class Home
{
public:
    Home();
    bool isValid() const { return m_valid; }
    QString root() const { return m_dir.path(); }
    /// A fresh, empty directory under the root.
    QString makeDir(const QString& name) const;

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};

/// Writes the engine configuration where the console's engine looks for it: a
/// SIP port of its own, TCP and TLS off (or the engine takes TCP 5060 whatever
/// sip_port says).
bool writeEngineConfig(quint16 sipPort);

/// A UDP port free on every address, from `from` up (the engine binds its SIP
/// port on all of them); 0 when none.
quint16 freeSipPort(quint16 from = 5062);
/// Two distinct free UDP ports on address ({0, 0} when none).
QPair<quint16, quint16> freeUdpPorts(const QHostAddress& address);
bool udpPortFree(const QHostAddress& address, quint16 port);
/// Waits until something has bound UDP address:port (a peer listens).
bool waitUntilBound(const QHostAddress& address, quint16 port, int timeoutMs);

/// The lock every user of the engine takes: the daemon's socket is per user, so
/// only one engine can run at a time. tools/testbed/engine_lock.sh takes the
/// same file from shell scripts.
QString lockPath();
/// Takes the lock, then waits until no daemon answers on the socket (one that
/// did would be attached to instead of started).
bool lockEngine(QLockFile& lock, int timeoutMs, QString* error);

/// A program directory as the console expects it: qzp.cfg and,
/// when the build made one, ring.wav.
bool prepareProgramDir(const QString& dir, const ConfigRecord& record, const QString& builtProgramDir,
                       QString* error);

QString readText(const QString& path);

} // namespace EngineRig

/// One sipp run: one call, no keyboard, an overall time-out, errors traced to
/// a file. Killed by PID when the object goes.
class SipPeer
{
public:
    /// logDir: where its output and error files go; name tells them apart.
    SipPeer(QString logDir, QString name);

    bool start(QStringList arguments, int timeoutS, QString* error);
    /// A station calling the console's engine at 127.0.0.1:enginePort with the
    /// scenario from ip as extension, from free ports (a simulated station may
    /// hold 5060 there); pauseMs is the scenario's pause.
    bool call(const QString& scenario, quint16 enginePort, const QString& ip, const QString& extension, int pauseMs,
              QString* error);
    /// Waits for the scenario's end; true when every call succeeded.
    bool finish(int timeoutMs, QString* report);

    qint64 pid() const { return m_process.pid(); }
    QString output() const;

private:
    QString m_logDir;
    QString m_name;
    DaemonProcess m_process;
};

/// Samples the engine's resident memory every 200 ms and kills a runaway engine
/// by PID (without a paced sound card it once grew to 24 GB within two minutes).
class EngineMemoryWatch : public QObject
{
public:
    static constexpr qint64 kLimitKb = 500 * 1024;

    EngineMemoryWatch();
    /// Watches engine (nullptr: nothing) from now on.
    void watch(LinphoneEngine* engine);
    qint64 peakKb() const { return m_peakKb; }
    /// Empty unless the engine had to be killed.
    QString runaway() const { return m_runaway; }

private:
    void sample();

    QTimer m_timer;
    LinphoneEngine* m_engine = nullptr;
    qint64 m_peakKb = 0;
    QString m_runaway;
};

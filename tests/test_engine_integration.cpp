#include "AudioHardware.h"
#include "DaemonProcess.h"
#include "EngineSocketClient.h"
#include "LinphoneEngine.h"
#include "RecordingLogger.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <functional>
#include <memory>

namespace
{
// The daemon's socket is per user, so only one engine test may run at a time on
// the machine, whichever build tree it comes from.
QString crossProcessLockPath()
{
    return EngineSocketClient::defaultSocketPath() + QStringLiteral(".qztest.lock");
}

// The engine binds its SIP port on every address (UDP only: TCP and TLS are off in the test's configuration).
quint16 freeSipPort()
{
    for (quint16 port = 5062; port < 5100; ++port) {
        QUdpSocket udp;
        if (udp.bind(QHostAddress::Any, port))
            return port;
    }
    return 0;
}

/// Two distinct free UDP ports on address (0 when none).
QPair<quint16, quint16> freeUdpPorts(const QHostAddress& address)
{
    QUdpSocket first;
    QUdpSocket second;
    if (!first.bind(address, 0) || !second.bind(address, 0))
        return {0, 0};
    return {first.localPort(), second.localPort()};
}

/// Resident memory of a process in kB, -1 when it cannot be read.
qint64 residentKb(qint64 pid)
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

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool processGone(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    return !status.open(QIODevice::ReadOnly) || status.readAll().contains("State:\tZ");
}

/// Stops the daemon the engine started, whatever way the test ends.
struct EngineGuard
{
    LinphoneEngine& engine;
    ~EngineGuard() { engine.stopStartedDaemon(3000); }
};
} // namespace

class TestEngineIntegration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void incomingCallIsAnsweredAndEnds();
    void daemonHungInShutdownIsWokenNotKilled();

private:
    /// Polls predicate every 100 ms until it holds or timeoutMs passes. Watches
    /// the engine's memory meanwhile and kills a runaway engine.
    bool waitFor(LinphoneEngine& engine, const std::function<bool()>& predicate, int timeoutMs);
    QString logText() const { return m_logger.entries.join(QLatin1Char('\n')); }
    /// One status poll; each new text is kept for the report.
    QString pollStatus(LinphoneEngine& engine);
    /// Polls the status until it contains word; status holds the last text.
    bool waitForStatus(LinphoneEngine& engine, const QString& word, int timeoutMs, QString* status);
    /// linphoneInit, then waits until the engine answers its codec request.
    bool bringUp(LinphoneEngine& engine);

    static constexpr qint64 MemoryLimitKb = 500 * 1024;

    QTemporaryDir m_home;
    std::unique_ptr<QLockFile> m_lock;
    RecordingLogger m_logger;
    QString m_failure;
    qint64 m_peakKb = 0;
    quint16 m_sipPort = 0;
    QStringList m_statusTrail;
};

void TestEngineIntegration::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("linphonec")).isEmpty())
        QSKIP("linphonec is not installed (Debian package linphone-cli)");
    if (QStandardPaths::findExecutable(QStringLiteral("sipp")).isEmpty())
        QSKIP("sipp is not installed (Debian package sip-tester)");

    // The engine keeps databases and caches under its home: give it one of its own.
    QVERIFY(m_home.isValid());
    const QString home = m_home.path();
    const QString runtime = home + QStringLiteral("/runtime");
    QVERIFY(QDir().mkpath(runtime));
    QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());

    // Prepared before start, as an installer would: the engine keeps the port. TCP and TLS
    // are switched off, or the engine would also take TCP 5060 whatever sip_port says.
    m_sipPort = freeSipPort();
    QVERIFY(m_sipPort != 0);
    const QString configPath = LinphoneEngine::defaultConfigPath();
    QVERIFY(configPath.startsWith(home));
    QVERIFY(QDir().mkpath(QFileInfo(configPath).absolutePath()));
    QFile config(configPath);
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("[sip]\nsip_port=%1\nsip_tcp_port=0\nsip_tls_port=0\n").arg(m_sipPort).toUtf8());
    config.close();

    m_lock = std::make_unique<QLockFile>(crossProcessLockPath());
    m_lock->setStaleLockTime(0);
    QVERIFY2(m_lock->tryLock(90000),
             qPrintable(QStringLiteral("another engine test holds %1").arg(crossProcessLockPath())));

    // A daemon that already answers would be attached to instead of started.
    const QString socketPath = EngineSocketClient::defaultSocketPath();
    QDeadlineTimer deadline(30000);
    while (EngineSocketClient::request(socketPath, QByteArrayLiteral("status hook"), 2000).ok) {
        if (deadline.hasExpired())
            QFAIL(qPrintable(QStringLiteral("a linphonec daemon of this user already answers on %1; stop it first")
                                 .arg(socketPath)));
        QTest::qWait(500);
    }
}

bool TestEngineIntegration::waitFor(LinphoneEngine& engine, const std::function<bool()>& predicate, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const qint64 kb = residentKb(engine.startedPid());
        m_peakKb = qMax(m_peakKb, kb);
        if (kb > MemoryLimitKb) {
            engine.stopStartedDaemon(0);
            m_failure = QStringLiteral("engine memory ran away (%1 kB): killed").arg(kb);
            return false;
        }
        if (predicate())
            return true;
        if (deadline.hasExpired()) {
            m_failure = QStringLiteral("timed out after %1 ms").arg(timeoutMs);
            return false;
        }
        QTest::qWait(100);
    }
}

void TestEngineIntegration::init()
{
    m_logger.entries.clear();
    m_statusTrail.clear();
    m_failure.clear();
}

bool TestEngineIntegration::bringUp(LinphoneEngine& engine)
{
    engine.linphoneInit();
    if (!engine.startedDaemon()) {
        m_failure = QStringLiteral("no daemon started");
        return false;
    }
    // The engine is not up at once; it answers "disabled" once it serves its socket.
    QString reply;
    if (!waitFor(engine, [&]() { return (reply = engine.linphoneCodec(0, 0)).contains(QLatin1String("disabled")); },
                 30000)) {
        m_failure += QStringLiteral("; last codec reply: ") + reply;
        return false;
    }
    return true;
}

bool TestEngineIntegration::waitForStatus(LinphoneEngine& engine, const QString& word, int timeoutMs,
                                          QString* status)
{
    const bool seen = waitFor(engine, [&]() { return (*status = pollStatus(engine)).contains(word); }, timeoutMs);
    if (!seen)
        m_failure += QStringLiteral(" waiting for \"%1\"; status: %2").arg(word, *status);
    return seen;
}

QString TestEngineIntegration::pollStatus(LinphoneEngine& engine)
{
    const QString status = engine.linphoneStatusHook();
    if (m_statusTrail.isEmpty() || m_statusTrail.last() != status)
        m_statusTrail.append(status);
    return status;
}

void TestEngineIntegration::incomingCallIsAnsweredAndEnds()
{
    const quint16 sipPort = m_sipPort;
    LinphoneEngine::Options options;
    options.callTimeoutMs = 2000;
    options.quitGraceMs = 3000;
    LinphoneEngine engine(m_logger, options);
    EngineGuard guard{engine};
    QVERIFY2(bringUp(engine), qPrintable(m_failure + QLatin1Char('\n') + logText()));
    const qint64 enginePid = engine.startedPid();
    QVERIFY(QFileInfo(LinphoneEngine::engineDataDir()).isDir());
    if (!AudioHardware::hasSoundCard()) {
        QCOMPARE(m_logger.entries.count(QStringLiteral("no sound card: engine uses its file sound card")), 1);
    }
    QString status = pollStatus(engine);
    QVERIFY2(status.contains(QLatin1String("offhook")), qPrintable(status));

    // Station 101 at 127.0.0.3 calls, from free ports (a simulated station may hold 5060 there).
    const auto [sipSourcePort, mediaPort] = freeUdpPorts(QHostAddress(QStringLiteral("127.0.0.3")));
    QVERIFY(sipSourcePort != 0 && mediaPort != 0);
    DaemonProcess sipp;
    sipp.setWorkingDirectory(m_home.path());
    const QString scenario = QStringLiteral(QZ_SOURCE_DIR "/tests/data/engine_incoming_call.xml");
    const QStringList sippArgs = {
        QStringLiteral("127.0.0.1:%1").arg(sipPort),
        QStringLiteral("-sf"), scenario,
        QStringLiteral("-i"), QStringLiteral("127.0.0.3"),
        QStringLiteral("-p"), QString::number(sipSourcePort),
        QStringLiteral("-mi"), QStringLiteral("127.0.0.3"),
        QStringLiteral("-mp"), QString::number(mediaPort),
        QStringLiteral("-m"), QStringLiteral("1"),
        QStringLiteral("-nostdin"),
        QStringLiteral("-timeout"), QStringLiteral("60"),
        QStringLiteral("-timeout_error"),
        QStringLiteral("-trace_err"),
        QStringLiteral("-error_file"), m_home.path() + QStringLiteral("/sipp_errors.log"),
    };
    QString error;
    QVERIFY2(sipp.start(QStringLiteral("sipp"), sippArgs, m_home.path() + QStringLiteral("/sipp.log"), &error),
             qPrintable(error));

    QVERIFY2(waitForStatus(engine, QStringLiteral("Incoming call"), 20000, &status), qPrintable(m_failure));
    QVERIFY2(status.contains(QLatin1String("sip:101")), qPrintable(status));
    QVERIFY2(status.contains(QLatin1String("sip:101@127.0.0.3")), qPrintable(status));
    QVERIFY2(!status.contains(QLatin1String("offhook")), qPrintable(status));

    const QString answerReply = engine.linphoneAnswer();
    m_logger.WriteLog(QStringLiteral("answer: ") + answerReply);
    QVERIFY2(waitForStatus(engine, QStringLiteral("answered"), 5000, &status),
             qPrintable(m_failure + QStringLiteral("; answer: ") + answerReply));
    QVERIFY2(status.contains(QLatin1String("sip:101")), qPrintable(status));

    // The station hangs up after its pause.
    QVERIFY2(waitForStatus(engine, QStringLiteral("offhook"), 20000, &status), qPrintable(m_failure));
    QVERIFY2(sipp.waitForExit(15000), "sipp did not finish its scenario");
    QVERIFY2(sipp.exitCode() == 0, qPrintable(readText(m_home.path() + QStringLiteral("/sipp.log"))
                                              + readText(m_home.path() + QStringLiteral("/sipp_errors.log"))));

    const qint64 kb = residentKb(enginePid);
    QVERIFY2(kb > 0 && kb < MemoryLimitKb, qPrintable(QString::number(kb)));
    m_peakKb = qMax(m_peakKb, kb);
    qInfo("engine peak resident memory: %lld kB", m_peakKb);
    qInfo("status texts seen:\n%s", qPrintable(m_statusTrail.join(QString())));
    qInfo("engine log:\n%s", qPrintable(logText()));

    // Asked to quit, it quits on its own and takes its socket with it.
    engine.stopStartedDaemon(3000);
    QVERIFY(processGone(enginePid));
    QVERIFY2(!logText().contains(QLatin1String("killed")), qPrintable(logText()));
    QVERIFY(!QFileInfo::exists(EngineSocketClient::defaultSocketPath()));
}

void TestEngineIntegration::daemonHungInShutdownIsWokenNotKilled()
{
    LinphoneEngine engine(m_logger, LinphoneEngine::Options());
    EngineGuard guard{engine};
    QVERIFY2(bringUp(engine), qPrintable(m_failure + QLatin1Char('\n') + logText()));
    const qint64 pid = engine.startedPid();
    const QString socketPath = EngineSocketClient::defaultSocketPath();
    const QString wakeLink = socketPath + QStringLiteral(".wake");
    QVERIFY(QFileInfo::exists(wakeLink));

    // SIGTERM makes linphonec remove its socket and then wait forever for its socket
    // thread, which sits in accept(): the same hang that sometimes follows "quit".
    // The thread polls every 20 ms after a command before it goes back to accept().
    QTest::qWait(300);
    QCOMPARE(QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-TERM"), QString::number(pid)}), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(socketPath), 5000);
    QTest::qWait(500);
    QVERIFY2(!processGone(pid), "linphonec no longer hangs after SIGTERM: the wake path is not exercised");

    engine.stopStartedDaemon(3000);
    QVERIFY(processGone(pid));
    QVERIFY2(!logText().contains(QLatin1String("killed")), qPrintable(logText()));
    QVERIFY(!QFileInfo::exists(wakeLink));
    qInfo("engine log:\n%s", qPrintable(logText()));
}

QTEST_GUILESS_MAIN(TestEngineIntegration)
#include "test_engine_integration.moc"

// The real engine through linphoneInit: a sipp station calls it, the call is answered and ended, the
// engine is watched for memory and stopped, also when it hangs in its shutdown.

#include "AudioHardware.h"
#include "DaemonProcess.h"
#include "EngineSocketClient.h"
#include "LinphoneEngine.h"
#include "RecordingLogger.h"
#include "support/EngineTestEnv.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using EngineTestEnv::processGone;
using EngineTestEnv::residentKb;

namespace {

/// Two distinct free UDP ports on address (0 when none).
QPair<quint16, quint16> freeUdpPorts(const QHostAddress& address)
{
    QUdpSocket first;
    QUdpSocket second;
    if (!first.bind(address, 0) || !second.bind(address, 0))
        return {0, 0};
    return {first.localPort(), second.localPort()};
}

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
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
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(u"linphonec"_s).isEmpty())
            QSKIP("linphonec is not installed (Debian package linphone-cli)");
        if (QStandardPaths::findExecutable(u"sipp"_s).isEmpty())
            QSKIP("sipp is not installed (Debian package sip-tester)");
        // The engine keeps databases and caches under its home: give it one of its own.
        QVERIFY(EngineTestEnv::useHome(m_home.path()));
        // Prepared before start, as an installer would: the engine keeps the port.
        QVERIFY(LinphoneEngine::defaultConfigPath().startsWith(m_home.path()));
        m_sipPort = EngineTestEnv::freeUdpPort(5062);
        QVERIFY(m_sipPort != 0);
        QVERIFY(EngineTestEnv::writeEngineConfig(LinphoneEngine::defaultConfigPath(), m_sipPort));
        QString why;
        QVERIFY2(EngineTestEnv::lockEngine(m_lock, &why), qPrintable(why));
    }

    void init()
    {
        m_logger.entries.clear();
        m_failure.clear();
    }

    void incomingCallIsAnsweredAndEnds()
    {
        LinphoneEngine engine(m_logger, LinphoneEngine::Options());
        EngineGuard guard{engine};
        QVERIFY2(bringUp(engine), qPrintable(m_failure + u'\n' + logText()));
        const qint64 enginePid = engine.startedPid();
        QVERIFY(QFileInfo(LinphoneEngine::engineDataDir()).isDir());
        if (!AudioHardware::hasSoundCard())
            QCOMPARE(m_logger.entries.count(u"no sound card: engine uses its file sound card"_s), 1);
        QString status = engine.linphoneStatusHook();
        QVERIFY2(status.contains("offhook"_L1), qPrintable(status));

        // Station 101 at 127.0.0.3 calls, from free ports (a simulated station may hold 5060 there).
        const auto [sipSourcePort, mediaPort] = freeUdpPorts(QHostAddress(u"127.0.0.3"_s));
        QVERIFY(sipSourcePort != 0 && mediaPort != 0);
        DaemonProcess sipp;
        sipp.setWorkingDirectory(m_home.path());
        const QString scenario = QStringLiteral(QZ_SOURCE_DIR "/tests/data/engine_incoming_call.xml");
        const QStringList sippArgs = {u"127.0.0.1:%1"_s.arg(m_sipPort), u"-sf"_s, scenario, u"-i"_s, u"127.0.0.3"_s,
                                      u"-p"_s, QString::number(sipSourcePort), u"-mi"_s, u"127.0.0.3"_s, u"-mp"_s,
                                      QString::number(mediaPort), u"-m"_s, u"1"_s, u"-nostdin"_s, u"-timeout"_s,
                                      u"60"_s, u"-timeout_error"_s, u"-trace_err"_s, u"-error_file"_s,
                                      m_home.path() + u"/sipp_errors.log"_s};
        QString error;
        QVERIFY2(sipp.start(u"sipp"_s, sippArgs, m_home.path() + u"/sipp.log"_s, &error), qPrintable(error));

        QVERIFY2(waitForStatus(engine, u"Incoming call"_s, 20000, &status), qPrintable(m_failure));
        QVERIFY2(status.contains("sip:101@127.0.0.3"_L1), qPrintable(status));
        QVERIFY2(!status.contains("offhook"_L1), qPrintable(status));

        const QString answerReply = engine.linphoneAnswer();
        m_logger.WriteLog(u"answer: "_s + answerReply);
        QVERIFY2(waitForStatus(engine, u"answered"_s, 5000, &status),
                 qPrintable(m_failure + u"; answer: "_s + answerReply));
        QVERIFY2(status.contains("sip:101"_L1), qPrintable(status));

        // The station hangs up after its pause.
        QVERIFY2(waitForStatus(engine, u"offhook"_s, 20000, &status), qPrintable(m_failure));
        QVERIFY2(sipp.waitForExit(15000), "sipp did not finish its scenario");
        QVERIFY2(sipp.exitCode() == 0, qPrintable(readText(m_home.path() + u"/sipp.log"_s)
                                                  + readText(m_home.path() + u"/sipp_errors.log"_s)));

        const qint64 kb = residentKb(enginePid);
        QVERIFY2(kb > 0 && kb < MemoryLimitKb, qPrintable(QString::number(kb)));
        qInfo("engine peak resident memory: %lld kB", qMax(m_peakKb, kb));

        // Asked to quit, it quits on its own and takes its socket with it.
        engine.stopStartedDaemon(3000);
        QVERIFY(processGone(enginePid));
        QVERIFY2(!logText().contains("killed"_L1), qPrintable(logText()));
        QVERIFY(!QFileInfo::exists(EngineSocketClient::defaultSocketPath()));
    }

    void daemonHungInShutdownIsWokenNotKilled()
    {
        LinphoneEngine engine(m_logger, LinphoneEngine::Options());
        EngineGuard guard{engine};
        QVERIFY2(bringUp(engine), qPrintable(m_failure + u'\n' + logText()));
        const qint64 pid = engine.startedPid();
        const QString socketPath = EngineSocketClient::defaultSocketPath();
        const QString wakeLink = socketPath + u".wake"_s;
        QVERIFY(QFileInfo::exists(wakeLink));

        // SIGTERM makes linphonec remove its socket and then wait forever for its socket
        // thread, which sits in accept(): the same hang that sometimes follows "quit".
        // The thread polls every 20 ms after a command before it goes back to accept().
        QTest::qWait(300);
        QCOMPARE(QProcess::execute(u"kill"_s, {u"-TERM"_s, QString::number(pid)}), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(socketPath), 5000);
        QTest::qWait(500);
        QVERIFY2(!processGone(pid), "linphonec no longer hangs after SIGTERM: the wake path is not exercised");

        engine.stopStartedDaemon(3000);
        QVERIFY(processGone(pid));
        QVERIFY2(!logText().contains("killed"_L1), qPrintable(logText()));
        QVERIFY(!QFileInfo::exists(wakeLink));
    }

private:
    /// Polls predicate every 100 ms until it holds or timeoutMs passes. Watches
    /// the engine's memory meanwhile and kills a runaway engine.
    bool waitFor(LinphoneEngine& engine, const std::function<bool()>& predicate, int timeoutMs);
    QString logText() const { return m_logger.entries.join(u'\n'); }
    /// Polls the status until it contains word; status holds the last text.
    bool waitForStatus(LinphoneEngine& engine, const QString& word, int timeoutMs, QString* status);
    /// linphoneInit, then waits until the engine answers its codec request.
    bool bringUp(LinphoneEngine& engine);

    static constexpr qint64 MemoryLimitKb = 500 * 1024;

    QTemporaryDir m_home;
    QLockFile m_lock{EngineTestEnv::lockPath()};
    RecordingLogger m_logger;
    QString m_failure;
    qint64 m_peakKb = 0;
    quint16 m_sipPort = 0;
};

bool TestEngineIntegration::waitFor(LinphoneEngine& engine, const std::function<bool()>& predicate, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const qint64 kb = residentKb(engine.startedPid());
        m_peakKb = qMax(m_peakKb, kb);
        if (kb > MemoryLimitKb) {
            engine.stopStartedDaemon(0);
            m_failure = u"engine memory ran away (%1 kB): killed"_s.arg(kb);
            return false;
        }
        if (predicate())
            return true;
        if (deadline.hasExpired()) {
            m_failure = u"timed out after %1 ms"_s.arg(timeoutMs);
            return false;
        }
        QTest::qWait(100);
    }
}

bool TestEngineIntegration::bringUp(LinphoneEngine& engine)
{
    engine.linphoneInit();
    if (!engine.startedDaemon()) {
        m_failure = u"no daemon started"_s;
        return false;
    }
    // The engine is not up at once; it answers "disabled" once it serves its socket.
    QString reply;
    if (!waitFor(engine, [&]() { return (reply = engine.linphoneCodec(0, 0)).contains("disabled"_L1); },
                 30000)) {
        m_failure += u"; last codec reply: "_s + reply;
        return false;
    }
    return true;
}

bool TestEngineIntegration::waitForStatus(LinphoneEngine& engine, const QString& word, int timeoutMs,
                                          QString* status)
{
    const bool seen =
        waitFor(engine, [&]() { return (*status = engine.linphoneStatusHook()).contains(word); }, timeoutMs);
    if (!seen)
        m_failure += u" waiting for \"%1\"; status: %2"_s.arg(word, *status);
    return seen;
}

QTEST_GUILESS_MAIN(TestEngineIntegration)
#include "test_engine_integration.moc"

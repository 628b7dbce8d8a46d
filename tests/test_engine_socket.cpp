// The engine's socket client and LinphoneEngine against a stand-in daemon on a unix socket:
// reading to the close, bounds, the command mapping, status texts, the file sound card, and
// starting, attaching to and stopping the daemon.

#include "EngineSocketClient.h"
#include "LinphoneEngine.h"
#include "RecordingLogger.h"
#include "support/EngineTestEnv.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMutex>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

using namespace Qt::StringLiterals;
using EngineTestEnv::processGone;

/// Plays the linphonec daemon on a unix socket, on its own thread so that the
/// synchronous client under test can talk to it.
class FakeEngineDaemon : public QThread
{
public:
    enum class Mode
    {
        Answer,     ///< Reply, then close: what the daemon does.
        Trickle,    ///< Reply in two parts 150 ms apart, then close.
        Silent,     ///< Accept, read, never answer.
        NeverClose, ///< Reply, keep the connection open.
    };
    /// Set before listen(): the way it answers and the reply per command ("ok\n" unless set).
    Mode mode = Mode::Answer;
    QHash<QByteArray, QByteArray> replies;

    explicit FakeEngineDaemon(const QString& path)
        : m_path(path)
    {
    }
    ~FakeEngineDaemon() override { stop(); }

    bool listen()
    {
        start();
        m_ready.acquire();
        return m_listening;
    }
    void stop()
    {
        quit();
        wait();
    }
    QList<QByteArray> commands() const
    {
        QMutexLocker lock(&m_mutex);
        return m_commands;
    }
    std::atomic<int> connections = 0;

protected:
    void run() override
    {
        QLocalServer server;
        QLocalServer::removeServer(m_path);
        m_listening = server.listen(m_path);
        m_ready.release();
        if (!m_listening)
            return;
        QObject::connect(&server, &QLocalServer::newConnection, &server, [this, &server]() {
            while (QLocalSocket* socket = server.nextPendingConnection()) {
                ++connections;
                QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket]() { serve(socket); });
            }
        });
        exec();
    }

private:
    void serve(QLocalSocket* socket)
    {
        const QByteArray command = socket->readAll();
        {
            QMutexLocker lock(&m_mutex);
            m_commands.append(command);
        }
        const QByteArray reply = replies.value(command, "ok\n"_ba);
        if (mode == Mode::Silent)
            return;
        const qsizetype now = mode == Mode::Trickle ? reply.size() / 2 : reply.size();
        socket->write(reply.left(now));
        socket->flush();
        if (mode == Mode::Answer)
            socket->disconnectFromServer();
        if (mode == Mode::Trickle) {
            QTimer::singleShot(150, socket, [socket, rest = reply.mid(now)]() {
                socket->write(rest);
                socket->disconnectFromServer();
            });
        }
    }

    const QString m_path;
    QSemaphore m_ready;
    bool m_listening = false;
    mutable QMutex m_mutex;
    QList<QByteArray> m_commands;
};

/// One request of the socket client.
struct Request
{
    int daemon = 2; ///< 0: nothing at the path; 1: a plain file; 2: the stand-in daemon
    FakeEngineDaemon::Mode mode = FakeEngineDaemon::Mode::Answer;
    QByteArray reply{};
    int boundMs = 2000;
    bool ok = true;
    QByteArray text{}; ///< what the client returns (on failure what arrived before it)
    int minMs = 0;
    int maxMs = 2000;
};
Q_DECLARE_METATYPE(Request)

using Call = std::function<QString(LinphoneEngine&)>;
Q_DECLARE_METATYPE(Call)

class TestEngineSocket : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The engine creates folders under the user's home: keep them in the test's own.
        QVERIFY(EngineTestEnv::useHome(m_home.path()));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_socketPath = m_dir->path() + u"/engine.sock"_s;
        m_daemon = std::make_unique<FakeEngineDaemon>(m_socketPath);
        m_log.entries.clear();
    }

    void cleanup()
    {
        m_daemon.reset();
        m_dir.reset();
    }

    void clientRequest_data()
    {
        using Mode = FakeEngineDaemon::Mode;
        QTest::addColumn<Request>("r");
        QTest::newRow("status") << Request{.reply = "hook=on-hook\n"_ba, .text = "hook=on-hook\n"_ba};
        QTest::newRow("empty reply of mute") << Request{};
        const QByteArray lines = " 0: opus (48000) disabled\n 1: speex (16000) disabled\n 3: PCMU (8000) enabled\n"_ba;
        QTest::newRow("several lines") << Request{.reply = lines, .text = lines};
        const QByteArray incoming = "Incoming call from \"101\" <sip:101@127.0.0.3:5071>\n"_ba;
        QTest::newRow("reply in two parts") << Request{.mode = Mode::Trickle, .reply = incoming, .text = incoming};
        QTest::newRow("large reply") << Request{.reply = QByteArray(200000, 'x'), .text = QByteArray(200000, 'x')};
        // Nothing to wait for: it must not sit out the bound.
        QTest::newRow("no socket") << Request{.daemon = 0, .boundMs = 5000, .ok = false, .maxMs = 2500};
        QTest::newRow("plain file") << Request{.daemon = 1, .boundMs = 5000, .ok = false, .maxMs = 2500};
        // A hung daemon is waited for up to the bound, and not much longer.
        QTest::newRow("silent daemon") << Request{.mode = Mode::Silent, .boundMs = 300, .ok = false, .minMs = 290,
                                                  .maxMs = 1500};
        QTest::newRow("reply without close") << Request{.mode = Mode::NeverClose, .reply = "hook=on-"_ba,
                                                        .boundMs = 300, .ok = false, .text = "hook=on-"_ba,
                                                        .minMs = 290, .maxMs = 1500};
    }

    void clientRequest()
    {
        QFETCH(Request, r);
        if (r.daemon == 1) {
            QFile file(m_socketPath);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (r.daemon == 2) {
            m_daemon->mode = r.mode;
            m_daemon->replies = {{"status hook"_ba, r.reply}};
            QVERIFY(m_daemon->listen());
        }
        QElapsedTimer clock;
        clock.start();
        const EngineSocketClient::Reply result = EngineSocketClient::request(m_socketPath, "status hook"_ba, r.boundMs);
        QVERIFY2(clock.elapsed() >= r.minMs && clock.elapsed() < r.maxMs, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(result.ok == r.ok && result.error.isEmpty() == r.ok);
        QCOMPARE(result.text, r.text);
        if (r.daemon == 2)
            QCOMPARE(m_daemon->commands(), QList<QByteArray>{"status hook"}); // no line end
    }

    void wakeLinkAndConnectAndClose()
    {
        // The daemon's socket is the user's own: linphonecsh looks for it there.
        const QRegularExpressionMatch match =
            QRegularExpression(u"^/tmp/linphonec-(\\d+)$"_s).match(EngineSocketClient::defaultSocketPath());
        QVERIFY2(match.hasMatch() && match.captured(1).toUInt() == QFileInfo(m_dir->path()).ownerId(),
                 qPrintable(EngineSocketClient::defaultSocketPath()));

        const QString link = m_socketPath + u".wake"_s;
        QString error;
        QVERIFY(!EngineSocketClient::createLink(m_socketPath, link, &error));
        QVERIFY(!error.isEmpty() && !QFile::exists(link));
        QVERIFY(!EngineSocketClient::connectAndClose(m_socketPath, 500));

        QVERIFY(m_daemon->listen());
        QVERIFY(EngineSocketClient::connectAndClose(m_socketPath, 500));
        QTRY_COMPARE(m_daemon->connections.load(), 1);
        QVERIFY(m_daemon->commands().isEmpty()); // a wake call sends nothing

        QFile stale(link); // left by an earlier run: replaced
        QVERIFY(stale.open(QIODevice::WriteOnly));
        QVERIFY2(EngineSocketClient::createLink(m_socketPath, link, &error), qPrintable(error));
        QVERIFY(QFile::remove(m_socketPath));
        QVERIFY(!EngineSocketClient::request(m_socketPath, "status hook"_ba, 1000).ok);
        QVERIFY(EngineSocketClient::request(link, "status hook"_ba, 2000).ok);
        QCOMPARE(m_daemon->commands(), QList<QByteArray>{"status hook"});
    }

    void engineCall_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("expected");

        const Call status = [](LinphoneEngine& e) { return e.linphoneStatusHook(); };
        QTest::newRow("codec disable") << Call([](LinphoneEngine& e) { return e.linphoneCodec(0, 0); })
                                       << "codec disable 0"_ba << " 0: opus (48000) disabled\n"_ba
                                       << u" 0: opus (48000) disabled"_s;
        QTest::newRow("codec enable") << Call([](LinphoneEngine& e) { return e.linphoneCodec(3, 1); })
                                      << "codec enable 3"_ba << " 3: PCMU (8000) enabled\n"_ba
                                      << u" 3: PCMU (8000) enabled"_s;
        QTest::newRow("dial") << Call([](LinphoneEngine& e) { return e.linphoneDial(u"sip:127.0.0.3"_s); })
                              << "call sip:127.0.0.3"_ba
                              << "Establishing call id to <sip:127.0.0.3>, assigned id 1\n"_ba
                              << u"Establishing call id to <sip:127.0.0.3>, assigned id 1"_s;
        QTest::newRow("dial with line break")
            << Call([](LinphoneEngine& e) { return e.linphoneDial(u"sip:127.0.0.3\nquit"_s); })
            << "call sip:127.0.0.3quit"_ba << QByteArray() << QString();
        QTest::newRow("answer, utf-8 reply") << Call([](LinphoneEngine& e) { return e.linphoneAnswer(); })
                                             << "answer"_ba
                                             << "Call from \"rel\xc3\xa8\"\n"_ba << u"Call from \"rel\u00e8\""_s;
        QTest::newRow("terminate") << Call([](LinphoneEngine& e) { return e.linphoneTerminate(); }) << "terminate"_ba
                                   << "No active calls\n"_ba << u"No active calls"_s;
        QTest::newRow("mute") << Call([](LinphoneEngine& e) { return e.linphoneMute(); }) << "mute"_ba << QByteArray()
                              << QString();
        QTest::newRow("unmute") << Call([](LinphoneEngine& e) { return e.linphoneUnmute(); }) << "unmute"_ba
                                << QByteArray() << QString();
        // The idle text becomes the word the console looks for; every other status is left as it is.
        QTest::newRow("status idle") << status << "status hook"_ba << "hook=on-hook\n"_ba << u"hook=offhook"_s;
        QTest::newRow("status idle without line end") << status << "status hook"_ba << "hook=on-hook"_ba
                                                      << u"hook=offhook"_s;
        QTest::newRow("status incoming") << status << "status hook"_ba
                                         << "Incoming call from \"101\" <sip:101@127.0.0.3:5071>\n"_ba
                                         << u"Incoming call from \"101\" <sip:101@127.0.0.3:5071>"_s;
        QTest::newRow("status answered") << status << "status hook"_ba
                                         << "hook=answered duration=1 \"101\" <sip:101@127.0.0.3:5071>\n"_ba
                                         << u"hook=answered duration=1 \"101\" <sip:101@127.0.0.3:5071>"_s;
        QTest::newRow("status ringing") << status << "status hook"_ba << "hook=ringing sip:sip:127.0.0.3\n"_ba
                                        << u"hook=ringing sip:sip:127.0.0.3"_s;
        QTest::newRow("status between states") << status << "status hook"_ba << QByteArray() << QString();
    }

    void engineCall()
    {
        QFETCH(Call, call);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, reply);
        QFETCH(QString, expected);
        m_daemon->replies = {{command, reply}};
        QVERIFY(m_daemon->listen());
        LinphoneEngine engine(m_log, fakeOptions());
        QCOMPARE(call(engine), expected);
        QCOMPARE(m_daemon->commands(), QList<QByteArray>{command});

        // Without a daemon the call fails: an empty text, which holds none of the status words.
        LinphoneEngine::Options options = fakeOptions();
        options.socketPath = m_dir->path() + u"/none.sock"_s;
        LinphoneEngine unanswered(m_log, options);
        QCOMPARE(call(unanswered), QString());
    }

    void engineFailureIsLoggedOncePerOutage()
    {
        LinphoneEngine engine(m_log, fakeOptions());
        for (int i = 0; i < 5; ++i)
            QCOMPARE(engine.linphoneStatusHook(), QString());
        QCOMPARE(m_log.entries.size(), 1);
        QVERIFY2(m_log.entries.first().contains("status hook"_L1), qPrintable(m_log.entries.first()));

        m_daemon->replies = {{"status hook"_ba, "hook=on-hook\n"_ba}};
        QVERIFY(m_daemon->listen());
        QCOMPARE(engine.linphoneStatusHook(), u"hook=offhook"_s);
        QCOMPARE(engine.linphoneStatusHook(), u"hook=offhook"_s);
        QCOMPARE(m_log.entries.size(), 2);

        m_daemon->stop();
        QCOMPARE(engine.linphoneStatusHook(), QString());
        QCOMPARE(engine.linphoneStatusHook(), QString());
        QCOMPARE(m_log.entries.size(), 3);
    }

    void soundCardDecidesFirstCommand_data()
    {
        QTest::addColumn<bool>("soundCard");
        QTest::addColumn<QList<QByteArray>>("commands");
        QTest::newRow("no sound card: file sound card first")
            << false << QList<QByteArray>{"soundcard use files", "status hook", "codec disable 0", "status hook"};
        QTest::newRow("sound card: no switch")
            << true << QList<QByteArray>{"status hook", "codec disable 0", "status hook"};
    }

    void soundCardDecidesFirstCommand()
    {
        QFETCH(bool, soundCard);
        QFETCH(QList<QByteArray>, commands);
        m_daemon->replies = {{"soundcard use files"_ba, "Using wav files instead of soundcard.\n"_ba},
                             {"status hook"_ba, "hook=on-hook\n"_ba}};
        QVERIFY(m_daemon->listen());
        LinphoneEngine::Options options = fakeOptions();
        options.soundCard = soundCard ? LinphoneEngine::SoundCard::Present : LinphoneEngine::SoundCard::Absent;
        LinphoneEngine engine(m_log, options);

        engine.linphoneInit(); // probes with "status hook" and attaches
        QCOMPARE(engine.linphoneStatusHook(), u"hook=offhook"_s);
        QCOMPARE(engine.linphoneCodec(0, 0), u"ok"_s);
        QCOMPARE(engine.linphoneStatusHook(), u"hook=offhook"_s);
        QCOMPARE(m_daemon->commands(), QList<QByteArray>{"status hook"} + commands);
        QCOMPARE(m_log.entries.count(u"no sound card: engine uses its file sound card"_s), soundCard ? 0 : 1);
    }

    void fileSoundCardWaitsUntilEngineAnswers()
    {
        LinphoneEngine::Options options = fakeOptions();
        options.soundCard = LinphoneEngine::SoundCard::Absent;
        LinphoneEngine engine(m_log, options);
        engine.linphoneInit(); // nothing answers and the program is missing: the engine is not up yet
        QCOMPARE(engine.linphoneCodec(0, 0), QString());
        QCOMPARE(engine.linphoneCodec(0, 0), QString());
        QVERIFY(!m_log.entries.contains(u"no sound card: engine uses its file sound card"_s));

        m_daemon->replies = {{"codec disable 0"_ba, " 0: opus (48000) disabled\n"_ba}};
        QVERIFY(m_daemon->listen());
        QCOMPARE(engine.linphoneCodec(0, 0), u" 0: opus (48000) disabled"_s);
        QCOMPARE(engine.linphoneCodec(1, 0), u"ok"_s);
        QCOMPARE(m_daemon->commands(),
                 (QList<QByteArray>{"soundcard use files", "codec disable 0", "codec disable 1"}));
        QCOMPARE(m_log.entries.count(u"no sound card: engine uses its file sound card"_s), 1);
    }

    void initAttachesToAnsweringDaemon()
    {
        m_daemon->replies = {{"status hook"_ba, "hook=on-hook\n"_ba}};
        QVERIFY(m_daemon->listen());
        LinphoneEngine::Options options = fakeOptions();
        options.program = writeFakeDaemonScript();
        LinphoneEngine engine(m_log, options);
        engine.linphoneInit();
        QVERIFY(!engine.startedDaemon() && engine.startedPid() == 0);
        QVERIFY(!QFile::exists(options.program + u".args"_s) && !QFile::exists(options.configPath));
        QVERIFY2(m_log.entries.join(u'\n').contains("already answers"_L1), qPrintable(m_log.entries.join(u'\n')));
        QCOMPARE(engine.linphoneStatusHook(), u"hook=offhook"_s);

        // Closed, it sends nothing; initialised again, it talks again.
        engine.linphoneClose();
        QCOMPARE(engine.linphoneStatusHook(), QString());
        QCOMPARE(engine.linphoneTerminate(), QString());
        engine.linphoneInit();
        QCOMPARE(engine.linphoneAnswer(), u"ok"_s);
        QCOMPARE(m_daemon->commands(), (QList<QByteArray>{"status hook", "status hook", "status hook", "answer"}));
        // Only what it started is its to stop.
        engine.stopStartedDaemon(100);
        QVERIFY(!m_daemon->commands().contains("quit"));
    }

    void initStartsAndStopsDaemon_data()
    {
        QTest::addColumn<QByteArray>("prepared"); // the engine configuration before the start; empty: none
        QTest::addColumn<bool>("byDestructor");
        QTest::newRow("configuration written, stopped by call") << QByteArray() << false;
        QTest::newRow("prepared configuration kept, stopped by destructor") << "[sip]\nsip_port=5099\n"_ba << true;
    }

    void initStartsAndStopsDaemon()
    {
        QFETCH(QByteArray, prepared);
        QFETCH(bool, byDestructor);
        LinphoneEngine::Options options = fakeOptions();
        options.program = writeFakeDaemonScript();
        QFile config(options.configPath);
        if (!prepared.isEmpty())
            QVERIFY(config.open(QIODevice::WriteOnly) && config.write(prepared) == prepared.size());
        config.close();
        QDir(LinphoneEngine::engineDataDir()).removeRecursively();
        auto engine = std::make_unique<LinphoneEngine>(m_log, options);

        engine->linphoneInit();
        const qint64 pid = engine->startedPid();
        QVERIFY(engine->startedDaemon() && pid > 0 && !processGone(pid));
        QFile args(options.program + u".args"_s);
        QTRY_VERIFY(args.exists() && args.size() > 0);
        QVERIFY(args.open(QIODevice::ReadOnly));
        QCOMPARE(args.readAll().trimmed().split('\n'),
                 (QList<QByteArray>{"--pipe", "-c", options.configPath.toUtf8(), "-d", "0"}));
        QVERIFY(config.open(QIODevice::ReadOnly));
        QCOMPARE(config.readAll(), prepared.isEmpty() ? "[sip]\nsip_port=5060\n"_ba : prepared);
        // Without it the engine answers every call with 503.
        QVERIFY(QFileInfo(LinphoneEngine::engineDataDir()).isDir());
        // The daemon's output goes to its log file beside the configuration.
        const QString log = m_dir->path() + u"/linphonec.log"_s;
        QTRY_COMPARE(QFileInfo(log).size(), qint64(15));
        QFile logFile(log);
        QVERIFY(logFile.open(QIODevice::ReadOnly));
        QCOMPARE(logFile.readAll(), "fake engine up\n"_ba);

        // A second init while it runs (and does not answer yet) starts no second one.
        engine->linphoneInit();
        QCOMPARE(engine->startedPid(), pid);
        // It does not answer "quit", so it is killed after the grace period.
        if (byDestructor)
            engine.reset();
        else
            engine->stopStartedDaemon(200);
        QVERIFY(processGone(pid));
        QVERIFY2(m_log.entries.last().contains("killed"_L1), qPrintable(m_log.entries.last()));
    }

    void initRefusesDeviceAsConfiguration()
    {
        LinphoneEngine::Options options = fakeOptions();
        options.program = writeFakeDaemonScript();
        options.configPath = u"/dev/null"_s;
        options.logPath = m_dir->path() + u"/linphonec.log"_s;
        LinphoneEngine engine(m_log, options);
        engine.linphoneInit();
        QVERIFY(!engine.startedDaemon() && !QFile::exists(options.program + u".args"_s));
        QVERIFY(!QFileInfo(u"/dev/null"_s).isFile());
        QVERIFY2(m_log.entries.join(u'\n').contains("not a regular file"_L1), qPrintable(m_log.entries.join(u'\n')));
    }

private:
    LinphoneEngine::Options fakeOptions() const;

    QString writeFakeDaemonScript()
    {
        // Stands in for linphonec: records its arguments, says hello, then idles.
        const QString path = m_dir->path() + u"/fake-linphonec"_s;
        QFile script(path);
        if (!script.open(QIODevice::WriteOnly))
            return {};
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\necho fake engine up\nexec sleep 60\n");
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_socketPath;
    std::unique_ptr<FakeEngineDaemon> m_daemon;
    RecordingLogger m_log;
};

LinphoneEngine::Options TestEngineSocket::fakeOptions() const
{
    LinphoneEngine::Options options;
    options.socketPath = m_socketPath;
    options.program = u"/nonexistent/linphonec"_s;
    options.configPath = m_dir->path() + u"/linphonerc"_s;
    options.callTimeoutMs = 500;
    options.quitGraceMs = 200;
    options.soundCard = LinphoneEngine::SoundCard::Present;
    return options;
}

QTEST_GUILESS_MAIN(TestEngineSocket)
#include "test_engine_socket.moc"

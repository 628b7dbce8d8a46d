// LinphoneEngine against a stand-in daemon on a unix socket: the wake link, the command mapping, requests in order
// without waiting, status texts, one log line per outage, the file sound card, starting, attaching to and stopping
// the daemon, its events and its masked, private output.

#include "EngineRig.h"
#include "EngineSocketClient.h"
#include "LinphoneEngine.h"
#include "ProcessProbe.h"
#include "RecordingLogger.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMutex>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;
using Commands = QList<QByteArray>;

namespace {

const QString kFileSoundCard = u"no sound card: engine uses its file sound card"_s;

/// Plays the linphonec daemon on a unix socket, on a thread of its own: reads a command, replies, closes.
class FakeEngineDaemon : public QThread
{
public:
    /// Set before listen(): the replies per command, in turn (the last one stays; "ok\n" for a command without any).
    QHash<QByteArray, QByteArrayList> replies;

    explicit FakeEngineDaemon(QString path) : m_path(std::move(path)) {}
    ~FakeEngineDaemon() override { stop(); }
    bool listen() { start(); m_ready.acquire(); return m_listening; }
    void stop() { quit(); wait(); }
    Commands commands() const { QMutexLocker lock(&m_mutex); return m_commands; }

private:
    void run() override
    {
        QLocalServer server;
        QLocalServer::removeServer(m_path);
        m_listening = server.listen(m_path);
        m_ready.release();
        QObject::connect(&server, &QLocalServer::newConnection, &server, [this, &server] {
            while (QLocalSocket* socket = server.nextPendingConnection())
                QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { serve(socket); });
        });
        if (m_listening)
            exec();
    }
    void serve(QLocalSocket* socket)
    {
        const QByteArray command = socket->readAll();
        { QMutexLocker lock(&m_mutex); m_commands.append(command); }
        QByteArrayList& queue = replies[command];
        const QByteArray reply = queue.isEmpty() ? "ok\n"_ba : queue.size() > 1 ? queue.takeFirst() : queue.first();
        socket->write(reply);
        socket->disconnectFromServer();
    }

    const QString m_path;
    QSemaphore m_ready;
    bool m_listening = false;
    mutable QMutex m_mutex;
    Commands m_commands;
};

} // namespace

class TestEngineSocket : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_home.isValid()); // the engine makes folders in the user's home
        m_dir = std::make_unique<QTemporaryDir>();
        m_daemon = std::make_unique<FakeEngineDaemon>(m_dir->filePath(u"engine.sock"_s));
        m_log.entries.clear();
    }

    void wakeLinkAndConnectAndClose()
    {
        const QString link = socketPath() + u".wake"_s;
        QString error;
        QVERIFY(!EngineSocketClient::createLink(socketPath(), link, &error) && !error.isEmpty());
        QVERIFY(m_daemon->listen() && EngineSocketClient::connectAndClose(socketPath(), 500));
        QVERIFY(QFile(link).open(QIODevice::WriteOnly)); // left by an earlier run: replaced
        QVERIFY2(EngineSocketClient::createLink(socketPath(), link, &error), qPrintable(error));
        // The daemon removes its socket on the way out; the second name still reaches it.
        QVERIFY(QFile::remove(socketPath()) && EngineSocketClient::request(link, "status hook"_ba, 2000).ok);
        QCOMPARE(m_daemon->commands(), Commands{"status hook"}); // a wake call sends nothing
    }

    void commandsRepliesAndOutages()
    {
        LinphoneEngine engine(m_log, fakeOptions());
        for (int i = 0; i < 3; ++i) // the status poll while no daemon answers
            QCOMPARE(ask([&engine](EngineReplyHandler h) { engine.requestStatus(h); }), EngineReply{});
        engine.noteLost(u"ended"_s); // the same outage
        const QByteArray incoming = "Incoming call from \"101\" <sip:101@127.0.0.3:5071>"_ba;
        m_daemon->replies = {{"codec disable 2", {" 2: PCMU (8000) disabled\n"}},
                             {"call sip:127.0.0.3", {"Establishing call id to <sip:127.0.0.3>, assigned id 1\n"}},
                             {"status hook", {"hook=on-hook\n", incoming + '\n', ""}}};
        QVERIFY(m_daemon->listen());
        // Asked all at once, they go one by one in order.
        QStringList replies;
        const auto collect = [&replies](const EngineReply& r) { replies.append(r.ok ? r.text : u"FAILED"_s); };
        engine.disableCodec(2, collect);
        engine.dial(u" sip:127.0.0.3 "_s, collect);
        // One command per connection: a line break must not smuggle in a second one.
        engine.dial(u"sip:127.0.0.3\r\nquit"_s, collect);
        engine.answer();
        engine.hangUp();
        engine.mute();
        engine.unmute();
        // The idle text becomes the word the console looks for; every other status is left as it is.
        for (int i = 0; i < 3; ++i)
            engine.requestStatus(collect);
        QVERIFY(replies.isEmpty()); // nothing comes back from inside the call
        QTRY_COMPARE(replies.size(), 6);
        QCOMPARE(replies, (QStringList{u" 2: PCMU (8000) disabled"_s,
                                       u"Establishing call id to <sip:127.0.0.3>, assigned id 1"_s, u"ok"_s,
                                       u"hook=offhook"_s, QString::fromUtf8(incoming), QString()}));
        QCOMPARE(m_daemon->commands(), (Commands{"codec disable 2", "call sip:127.0.0.3", "call sip:127.0.0.3quit",
                                                 "answer", "terminate", "mute", "unmute", "status hook", "status hook",
                                                 "status hook"}));
        engine.noteLost(u"ended"_s);
        m_daemon->stop();
        QCOMPARE(ask([&engine](EngineReplyHandler h) { engine.requestStatus(h); }), EngineReply{});
        // One line when it stops answering, one when it is back, one when it is lost again.
        const QRegularExpression expected(u"^engine: no answer to \"status hook\": [^\n]+\n"
                                          "engine: running again after \\d+\\.\\d s\nengine: lost \\(ended\\)$"_s);
        QVERIFY2(expected.match(m_log.entries.join(u'\n')).hasMatch(), qPrintable(m_log.entries.join(u'\n')));
    }

    void soundCardDecidesFirstCommand_data()
    {
        QTest::addColumn<bool>("soundCard");
        QTest::addColumn<bool>("late");
        QTest::addColumn<Commands>("commands");
        QTest::newRow("sound card: no switch") << true << false << Commands{"status hook", "codec disable 0", "answer"};
        QTest::newRow("no sound card: file sound card first")
            << false << false << Commands{"status hook", "soundcard use files", "codec disable 0", "answer"};
        // Not up yet: what was asked fails with the switch; once it answers the switch comes first, once.
        QTest::newRow("no sound card, engine late")
            << false << true << Commands{"soundcard use files", "codec disable 0", "answer"};
    }

    // Attached to a daemon that answers, or to one that comes up late (its program missing).
    void soundCardDecidesFirstCommand()
    {
        QFETCH(bool, soundCard);
        QFETCH(bool, late);
        QFETCH(Commands, commands);
        QVERIFY(late || m_daemon->listen());
        LinphoneEngine::Options options = fakeOptions(!late);
        options.soundCard = soundCard ? LinphoneEngine::SoundCard::Present : LinphoneEngine::SoundCard::Absent;
        LinphoneEngine engine(m_log, options);
        engine.start(); // probes with "status hook"
        if (late)
            QCOMPARE(ask([&engine](EngineReplyHandler h) { engine.disableCodec(0, h); }), EngineReply{});
        // Attached: nothing written (so nothing started); missing: the configuration is written all the same.
        QTRY_COMPARE(EngineRig::readText(options.configPath), late ? u"[sip]\nsip_port=5060\n"_s : QString());
        QVERIFY(!m_log.entries.contains(kFileSoundCard) && (!late || m_daemon->listen()));
        QCOMPARE(ask([&engine](EngineReplyHandler h) { engine.disableCodec(0, h); }).text, u"ok"_s);
        engine.answer();
        QTRY_COMPARE(m_daemon->commands(), commands);
        QCOMPARE(m_log.entries.count(kFileSoundCard), soundCard ? 0 : 1);
        // Stopped, it sends nothing more; a daemon it did not start is told to quit, not killed.
        bool stopped = false;
        engine.stop(300, [&stopped] { stopped = true; });
        QTRY_VERIFY(stopped);
        QCOMPARE(ask([&engine](EngineReplyHandler h) { engine.requestStatus(h); }), EngineReply{});
        QCOMPARE(m_daemon->commands(), commands + Commands{"quit"});
    }

    void startedDaemonItsEventsAndItsEnd()
    {
        LinphoneEngine::Options options = fakeOptions(true);
        // A device as configuration: the engine would turn it into a regular file and break the machine.
        options.configPath = u"/dev/null"_s;
        {
            LinphoneEngine refused(m_log, options);
            refused.start();
            QTRY_COMPARE(m_log.entries,
                         QStringList{u"engine: /dev/null is not a regular file; engine not started"_s});
        }
        options.configPath = m_dir->filePath(u"linphonerc"_s);
        QFile config(options.configPath); // prepared by an installer or a test: kept, but made private
        QVERIFY(config.open(QIODevice::WriteOnly) && config.write("[sip]\nsip_port=5099\n") > 0);
        config.close();
        QDir(LinphoneEngine::engineDataDir()).removeRecursively();
        LinphoneEngine engine(m_log, options);
        QList<EngineEvent> events;
        connect(&engine, &LinphoneEngine::callEvent, this, [&events](const EngineEvent& e) { events.append(e); });
        engine.registerAt(u"127.0.0.1:5080"_s, u"100"_s, u"s3cret"_s, {}); // the password to mask from now on
        engine.start();
        QTRY_VERIFY(engine.startedDaemon());
        const qint64 pid = engine.startedPid();
        QTRY_COMPARE(EngineRig::readText(options.program + u".args"_s).split(u'\n'),
                     (QStringList{u"--pipe"_s, u"-c"_s, options.configPath, u"-d"_s, u"0"_s, QString()}));
        QCOMPARE(EngineRig::readText(options.configPath), u"[sip]\nsip_port=5099\n"_s);
        QVERIFY(QFileInfo(LinphoneEngine::engineDataDir()).isDir()); // without it the engine answers calls with 503
        // Its output: the event lines come as events, the copy beside the configuration masks the password and is
        // the operator's alone, like the configuration the engine stores it in.
        QTRY_COMPARE(events.size(), 2);
        QCOMPARE(events[0].kind, EngineEvent::Kind::IncomingCall);
        QCOMPARE(events[1].reason, u"Not answered"_s);
        const QString copy = m_dir->filePath(u"linphonec.log"_s);
        QTRY_VERIFY(EngineRig::readText(copy).contains("sip:127.0.0.1:5080 ******'"_L1));
        QVERIFY(!EngineRig::readText(copy).contains("s3cret"_L1));
        for (const QString& file : {copy, options.configPath})
            QCOMPARE(QFileInfo(file).permissions() & 0x0077, QFileDevice::Permissions());
        // A second start while it runs (and does not answer yet) starts no second one.
        engine.start();
        QTRY_VERIFY(m_log.entries.last().contains("is still starting"_L1));
        QCOMPARE(engine.startedPid(), pid);
        // It does not answer "quit", so it is killed after the grace period; the event loop runs meanwhile.
        bool stopped = false;
        engine.stop(200, [&stopped] { stopped = true; });
        QVERIFY(!stopped);
        QTRY_VERIFY(stopped);
        QVERIFY(ProcessProbe::gone(pid));
        QCOMPARE(m_log.entries.last(), u"engine: linphonec (pid %1) did not quit within 200 ms: killed"_s.arg(pid));
    }

private:
    QString socketPath() const { return m_dir->filePath(u"engine.sock"_s); }

    /// One request, waited for.
    static EngineReply ask(const std::function<void(EngineReplyHandler)>& request)
    {
        std::optional<EngineReply> reply;
        request([&reply](const EngineReply& r) { reply = r; });
        (void)QTest::qWaitFor([&reply] { return reply.has_value(); }, 5000);
        return reply.value_or(EngineReply{true, u"no reply at all"_s});
    }

    /// withProgram: a script stands in for linphonec (it records its arguments, says hello, then idles);
    /// otherwise the program is missing.
    LinphoneEngine::Options fakeOptions(bool withProgram = false) const
    {
        QFile script(m_dir->filePath(u"fake-linphonec"_s));
        if (withProgram && script.open(QIODevice::WriteOnly))
            script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n"
                         "echo \"linphonec> Receiving command 'register sip:100@127.0.0.1:5080 sip:127.0.0.1:5080 s3cret'\"\n"
                         "echo 'Receiving new incoming call from <sip:101@127.0.0.3>, assigned id 1'\n"
                         "printf 'linphonec> Call 1 with <sip:101@127.0.0.3> ended (Not answered).\\nstill s3cret\\n'\n"
                         "exec sleep 60\n");
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return {.program = withProgram ? script.fileName() : u"/nonexistent/linphonec"_s,
                .configPath = m_dir->filePath(u"linphonerc"_s), .logPath = {}, .socketPath = socketPath(),
                .callTimeoutMs = 500, .quitGraceMs = 200, .soundCard = LinphoneEngine::SoundCard::Present};
    }

    EngineRig::Home m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeEngineDaemon> m_daemon;
    RecordingLogger m_log;
};

QTEST_GUILESS_MAIN(TestEngineSocket)
#include "test_engine_socket.moc"

#include "EngineSocketClient.h"
#include "LinphoneEngine.h"
#include "RecordingLogger.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaEnum>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <functional>

namespace
{
const QStringList StatusWords = {QStringLiteral("offhook"), QStringLiteral("Incoming call"),
                                 QStringLiteral("ringing"), QStringLiteral("dialing"),
                                 QStringLiteral("Call out"), QStringLiteral("answered"),
                                 QStringLiteral("disabled")};

bool holdsStatusWord(const QString& text)
{
    for (const QString& word : StatusWords) {
        if (text.contains(word))
            return true;
    }
    return false;
}
} // namespace

/// Plays the linphonec daemon on a unix socket, on its own thread so that the
/// synchronous client under test can talk to it.
class FakeEngineDaemon : public QThread
{
public:
    enum class Mode
    {
        Answer,      ///< Reply, then close: what the daemon does.
        Trickle,     ///< Reply in two parts 150 ms apart, then close.
        Silent,      ///< Accept, read, never answer.
        NeverClose,  ///< Reply, keep the connection open.
    };

    explicit FakeEngineDaemon(const QString& path)
        : m_path(path)
    {
    }

    ~FakeEngineDaemon() override
    {
        stop();
    }

    bool startListening()
    {
        start();
        m_ready.acquire();
        return m_listening;
    }

    void stop()
    {
        if (isRunning()) {
            quit();
            wait();
        }
    }

    void setMode(Mode mode)
    {
        QMutexLocker lock(&m_mutex);
        m_mode = mode;
    }

    /// Reply for each command; by default every command answers "ok\n".
    void setReplies(const QHash<QByteArray, QByteArray>& replies)
    {
        QMutexLocker lock(&m_mutex);
        m_replies = replies;
    }

    QList<QByteArray> commands() const
    {
        QMutexLocker lock(&m_mutex);
        return m_commands;
    }

    int connections() const
    {
        QMutexLocker lock(&m_mutex);
        return m_connections;
    }

    void clearCommands()
    {
        QMutexLocker lock(&m_mutex);
        m_commands.clear();
    }

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
                {
                    QMutexLocker lock(&m_mutex);
                    ++m_connections;
                }
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
        Mode mode;
        QByteArray reply;
        {
            QMutexLocker lock(&m_mutex);
            m_commands.append(command);
            mode = m_mode;
            reply = m_replies.value(command, QByteArrayLiteral("ok\n"));
        }
        switch (mode) {
        case Mode::Answer:
            socket->write(reply);
            socket->disconnectFromServer();
            break;
        case Mode::Trickle: {
            const qsizetype half = reply.size() / 2;
            socket->write(reply.left(half));
            socket->flush();
            QTimer::singleShot(150, socket, [socket, rest = reply.mid(half)]() {
                socket->write(rest);
                socket->disconnectFromServer();
            });
            break;
        }
        case Mode::Silent:
            break;
        case Mode::NeverClose:
            socket->write(reply);
            socket->flush();
            break;
        }
    }

    const QString m_path;
    QSemaphore m_ready;
    bool m_listening = false;
    mutable QMutex m_mutex;
    Mode m_mode = Mode::Answer;
    QHash<QByteArray, QByteArray> m_replies;
    QList<QByteArray> m_commands;
    int m_connections = 0;
};
Q_DECLARE_METATYPE(FakeEngineDaemon::Mode)

class TestEngineSocket : public QObject
{
    Q_OBJECT

public:
    enum class Call
    {
        Codec,
        Status,
        Dial,
        Answer,
        Terminate,
        Mute,
        Unmute,
    };
    Q_ENUM(Call)

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void replyIsReadUntilClose_data();
    void replyIsReadUntilClose();
    void commandIsSentWithoutLineEnd();
    void silentDaemonFailsWithinTimeout();
    void replyWithoutCloseFails();
    void noDaemonFailsAtOnce_data();
    void noDaemonFailsAtOnce();
    void defaultSocketPathIsPerUser();
    void linkReachesDaemonAfterItsNameIsGone();
    void linkToMissingSocketFails();
    void connectAndCloseSendsNothing();

    void engineSendsCommandAndReturnsReply_data();
    void engineSendsCommandAndReturnsReply();
    void statusNormalisation_data();
    void statusNormalisation();
    void failedCallsHoldNoStatusWord_data();
    void failedCallsHoldNoStatusWord();
    void engineFailureIsLoggedOncePerOutage();
    void fileSoundCardIsSwitchedOnBeforeFirstCommand();
    void fileSoundCardWaitsUntilEngineAnswers();
    void soundCardPresentSendsNoSwitch();
    void closedEngineSendsNothing();
    void initAttachesToAnsweringDaemon();
    void initStartsDaemonWithItsConfiguration();
    void initKeepsExistingConfiguration();
    void initRefusesDeviceAsConfiguration();
    void destructorStopsStartedDaemon();
    void defaultConfigPathIsInUserDataFolder();

private:
    QString callEngine(LinphoneEngine& engine, Call call, const QString& argument);
    LinphoneEngine::Options fakeOptions() const;
    QString writeFakeDaemonScript();
    static bool processGone(qint64 pid);

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_socketPath;
    std::unique_ptr<FakeEngineDaemon> m_daemon;
};

void TestEngineSocket::initTestCase()
{
    QVERIFY(m_home.isValid());
    // The engine creates folders under the user's home: keep them in the test's own.
    qputenv("HOME", m_home.path().toUtf8());
    qputenv("XDG_DATA_HOME", (m_home.path() + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + QStringLiteral("/.config")).toUtf8());
}

void TestEngineSocket::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_socketPath = m_dir->path() + QStringLiteral("/engine.sock");
    m_daemon = std::make_unique<FakeEngineDaemon>(m_socketPath);
}

void TestEngineSocket::cleanup()
{
    m_daemon.reset();
    m_dir.reset();
}

QString TestEngineSocket::callEngine(LinphoneEngine& engine, Call call, const QString& argument)
{
    switch (call) {
    case Call::Codec:
        return engine.linphoneCodec(argument.section(QLatin1Char(','), 0, 0).toInt(),
                                    argument.section(QLatin1Char(','), 1, 1).toInt());
    case Call::Status:
        return engine.linphoneStatusHook();
    case Call::Dial:
        return engine.linphoneDial(argument);
    case Call::Answer:
        return engine.linphoneAnswer();
    case Call::Terminate:
        return engine.linphoneTerminate();
    case Call::Mute:
        return engine.linphoneMute();
    case Call::Unmute:
        return engine.linphoneUnmute();
    }
    return {};
}

LinphoneEngine::Options TestEngineSocket::fakeOptions() const
{
    LinphoneEngine::Options options;
    options.socketPath = m_socketPath;
    options.program = QStringLiteral("/nonexistent/linphonec");
    options.configPath = m_dir->path() + QStringLiteral("/linphonerc");
    options.callTimeoutMs = 500;
    options.quitGraceMs = 200;
    options.soundCard = LinphoneEngine::SoundCard::Present;
    return options;
}

QString TestEngineSocket::writeFakeDaemonScript()
{
    // Stands in for linphonec: records its arguments, says hello, then idles.
    const QString path = m_dir->path() + QStringLiteral("/fake-linphonec");
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly))
        return {};
    script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\necho fake engine up\nexec sleep 60\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

bool TestEngineSocket::processGone(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return true;
    // An orphan killed after its reaper left may linger as a zombie: it runs no more.
    return status.readAll().contains("State:\tZ");
}

void TestEngineSocket::replyIsReadUntilClose_data()
{
    QTest::addColumn<FakeEngineDaemon::Mode>("mode");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("status") << FakeEngineDaemon::Mode::Answer << QByteArray("hook=on-hook\n");
    QTest::newRow("empty reply of mute") << FakeEngineDaemon::Mode::Answer << QByteArray();
    QTest::newRow("codec list, several lines")
        << FakeEngineDaemon::Mode::Answer
        << QByteArray(" 0: opus (48000) disabled\n 1: speex (16000) disabled\n 2: speex (8000) disabled\n"
                      " 3: PCMU (8000) enabled\n");
    QTest::newRow("reply in two parts") << FakeEngineDaemon::Mode::Trickle
                                        << QByteArray("Incoming call from \"101\" <sip:101@127.0.0.3:5071>\n");
    QTest::newRow("large reply") << FakeEngineDaemon::Mode::Answer << QByteArray(200000, 'x');
}

void TestEngineSocket::replyIsReadUntilClose()
{
    QFETCH(FakeEngineDaemon::Mode, mode);
    QFETCH(QByteArray, reply);
    m_daemon->setMode(mode);
    m_daemon->setReplies({{QByteArrayLiteral("status hook"), reply}});
    QVERIFY(m_daemon->startListening());

    const EngineSocketClient::Reply result =
        EngineSocketClient::request(m_socketPath, QByteArrayLiteral("status hook"), 2000);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(result.text, reply);
    QVERIFY(result.error.isEmpty());
}

void TestEngineSocket::commandIsSentWithoutLineEnd()
{
    QVERIFY(m_daemon->startListening());
    QVERIFY(EngineSocketClient::request(m_socketPath, QByteArrayLiteral("codec disable 0"), 2000).ok);
    QVERIFY(EngineSocketClient::request(m_socketPath, QByteArrayLiteral("answer"), 2000).ok);
    QCOMPARE(m_daemon->commands(), (QList<QByteArray>{"codec disable 0", "answer"}));
}

void TestEngineSocket::silentDaemonFailsWithinTimeout()
{
    m_daemon->setMode(FakeEngineDaemon::Mode::Silent);
    QVERIFY(m_daemon->startListening());

    QElapsedTimer clock;
    clock.start();
    const EngineSocketClient::Reply result =
        EngineSocketClient::request(m_socketPath, QByteArrayLiteral("status hook"), 300);
    const qint64 elapsed = clock.elapsed();
    QVERIFY(!result.ok);
    QVERIFY(!result.error.isEmpty());
    QVERIFY(result.text.isEmpty());
    // It waits for the daemon up to the bound, and not much longer.
    QVERIFY2(elapsed >= 290, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < 1500, qPrintable(QString::number(elapsed)));
    QCOMPARE(m_daemon->commands(), QList<QByteArray>{"status hook"});
}

void TestEngineSocket::replyWithoutCloseFails()
{
    m_daemon->setMode(FakeEngineDaemon::Mode::NeverClose);
    m_daemon->setReplies({{QByteArrayLiteral("status hook"), QByteArrayLiteral("hook=on-")}});
    QVERIFY(m_daemon->startListening());

    const EngineSocketClient::Reply result =
        EngineSocketClient::request(m_socketPath, QByteArrayLiteral("status hook"), 300);
    QVERIFY(!result.ok);
    QVERIFY(!result.error.isEmpty());
    QCOMPARE(result.text, QByteArray("hook=on-"));
}

void TestEngineSocket::noDaemonFailsAtOnce_data()
{
    QTest::addColumn<bool>("regularFileAtPath");
    QTest::newRow("no socket") << false;
    QTest::newRow("plain file instead of a socket") << true;
}

void TestEngineSocket::noDaemonFailsAtOnce()
{
    QFETCH(bool, regularFileAtPath);
    if (regularFileAtPath) {
        QFile file(m_socketPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QElapsedTimer clock;
    clock.start();
    const EngineSocketClient::Reply result =
        EngineSocketClient::request(m_socketPath, QByteArrayLiteral("status hook"), 5000);
    QVERIFY(!result.ok);
    QVERIFY(!result.error.isEmpty());
    // Nothing to wait for: it must not sit out the bound.
    QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
}

void TestEngineSocket::defaultSocketPathIsPerUser()
{
    const QString path = EngineSocketClient::defaultSocketPath();
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^/tmp/linphonec-(\\d+)$")).match(path);
    QVERIFY2(match.hasMatch(), qPrintable(path));
    QTemporaryFile mine;
    QVERIFY(mine.open());
    QCOMPARE(match.captured(1).toUInt(), QFileInfo(mine.fileName()).ownerId());
}

void TestEngineSocket::linkReachesDaemonAfterItsNameIsGone()
{
    QVERIFY(m_daemon->startListening());
    const QString link = m_socketPath + QStringLiteral(".wake");
    {
        QFile stale(link);
        QVERIFY(stale.open(QIODevice::WriteOnly)); // left by an earlier run: replaced
    }
    QString error;
    QVERIFY2(EngineSocketClient::createLink(m_socketPath, link, &error), qPrintable(error));

    QVERIFY(QFile::remove(m_socketPath));
    QVERIFY(!EngineSocketClient::request(m_socketPath, QByteArrayLiteral("status hook"), 1000).ok);
    const EngineSocketClient::Reply reply = EngineSocketClient::request(link, QByteArrayLiteral("status hook"), 2000);
    QVERIFY2(reply.ok, qPrintable(reply.error));
    QCOMPARE(m_daemon->commands(), QList<QByteArray>{"status hook"});
}

void TestEngineSocket::linkToMissingSocketFails()
{
    QString error;
    QVERIFY(!EngineSocketClient::createLink(m_socketPath, m_socketPath + QStringLiteral(".wake"), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(m_socketPath + QStringLiteral(".wake")));
}

void TestEngineSocket::connectAndCloseSendsNothing()
{
    QVERIFY(!EngineSocketClient::connectAndClose(m_socketPath, 500));
    QVERIFY(m_daemon->startListening());
    QVERIFY(EngineSocketClient::connectAndClose(m_socketPath, 500));
    QTRY_COMPARE(m_daemon->connections(), 1);
    QVERIFY(m_daemon->commands().isEmpty());
}

void TestEngineSocket::engineSendsCommandAndReturnsReply_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("expected");

    QTest::newRow("codec 0") << Call::Codec << QStringLiteral("0,0") << QByteArray("codec disable 0")
                             << QByteArray(" 0: opus (48000) disabled\n")
                             << QStringLiteral(" 0: opus (48000) disabled");
    QTest::newRow("codec 1") << Call::Codec << QStringLiteral("1,0") << QByteArray("codec disable 1")
                             << QByteArray(" 1: speex (16000) disabled\n")
                             << QStringLiteral(" 1: speex (16000) disabled");
    QTest::newRow("codec 2") << Call::Codec << QStringLiteral("2,0") << QByteArray("codec disable 2")
                             << QByteArray(" 2: speex (8000) disabled\n")
                             << QStringLiteral(" 2: speex (8000) disabled");
    QTest::newRow("codec enable") << Call::Codec << QStringLiteral("3,1") << QByteArray("codec enable 3")
                                  << QByteArray(" 3: PCMU (8000) enabled\n")
                                  << QStringLiteral(" 3: PCMU (8000) enabled");
    QTest::newRow("dial") << Call::Dial << QStringLiteral("sip:127.0.0.3") << QByteArray("call sip:127.0.0.3")
                          << QByteArray("Establishing call id to <sip:127.0.0.3>, assigned id 1\n")
                          << QStringLiteral("Establishing call id to <sip:127.0.0.3>, assigned id 1");
    QTest::newRow("dial extension") << Call::Dial << QStringLiteral("sip:101@127.0.0.1")
                                    << QByteArray("call sip:101@127.0.0.1") << QByteArray("x\n")
                                    << QStringLiteral("x");
    QTest::newRow("dial with line break") << Call::Dial << QStringLiteral("sip:127.0.0.3\nquit")
                                          << QByteArray("call sip:127.0.0.3quit") << QByteArray()
                                          << QString();
    QTest::newRow("answer") << Call::Answer << QString() << QByteArray("answer")
                            << QByteArray("There are no calls to answer.\n")
                            << QStringLiteral("There are no calls to answer.");
    QTest::newRow("terminate") << Call::Terminate << QString() << QByteArray("terminate")
                               << QByteArray("No active calls\n") << QStringLiteral("No active calls");
    QTest::newRow("mute") << Call::Mute << QString() << QByteArray("mute") << QByteArray() << QString();
    QTest::newRow("unmute") << Call::Unmute << QString() << QByteArray("unmute") << QByteArray() << QString();
    QTest::newRow("utf-8 reply") << Call::Answer << QString() << QByteArray("answer")
                                 << QByteArray("Call from \"rel\xc3\xa8\"\n")
                                 << QStringLiteral(u"Call from \"rel\u00e8\"");
    QTest::newRow("status answered, unchanged")
        << Call::Status << QString() << QByteArray("status hook")
        << QByteArray("hook=answered duration=1 \"101\" <sip:101@127.0.0.3:5071>\n")
        << QStringLiteral("hook=answered duration=1 \"101\" <sip:101@127.0.0.3:5071>");
}

void TestEngineSocket::engineSendsCommandAndReturnsReply()
{
    QFETCH(Call, call);
    QFETCH(QString, argument);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QFETCH(QString, expected);

    m_daemon->setReplies({{command, reply}});
    QVERIFY(m_daemon->startListening());
    RecordingLogger logger;
    LinphoneEngine engine(logger, fakeOptions());

    QCOMPARE(callEngine(engine, call, argument), expected);
    QCOMPARE(m_daemon->commands(), QList<QByteArray>{command});
}

void TestEngineSocket::statusNormalisation_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("expected");

    QTest::newRow("idle") << QByteArray("hook=on-hook\n") << QStringLiteral("hook=offhook");
    QTest::newRow("idle without line end") << QByteArray("hook=on-hook") << QStringLiteral("hook=offhook");
    QTest::newRow("incoming")
        << QByteArray("Incoming call from \"101\" <sip:101@127.0.0.3:5071>\n")
        << QStringLiteral("Incoming call from \"101\" <sip:101@127.0.0.3:5071>");
    QTest::newRow("dialing") << QByteArray("hook=dialing sip:sip:127.0.0.9:5999\n")
                             << QStringLiteral("hook=dialing sip:sip:127.0.0.9:5999");
    QTest::newRow("ringing") << QByteArray("hook=ringing sip:sip:127.0.0.3\n")
                             << QStringLiteral("hook=ringing sip:sip:127.0.0.3");
    QTest::newRow("call out")
        << QByteArray("Call out, hook=sip:127.0.0.3 duration=0, muted=no rtp-xmit-muted=no\n")
        << QStringLiteral("Call out, hook=sip:127.0.0.3 duration=0, muted=no rtp-xmit-muted=no");
    QTest::newRow("between states") << QByteArray() << QString();
}

void TestEngineSocket::statusNormalisation()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, expected);

    m_daemon->setReplies({{QByteArrayLiteral("status hook"), reply}});
    QVERIFY(m_daemon->startListening());
    RecordingLogger logger;
    LinphoneEngine engine(logger, fakeOptions());

    const QString status = engine.linphoneStatusHook();
    QCOMPARE(status, expected);
    QCOMPARE(status.contains(QLatin1String("offhook")), reply.contains("on-hook"));
    QCOMPARE(LinphoneEngine::normaliseStatus(LinphoneEngine::decodeReply(reply)), expected);
}

void TestEngineSocket::failedCallsHoldNoStatusWord_data()
{
    QTest::addColumn<bool>("silentDaemon");
    QTest::addColumn<Call>("call");
    QTest::addColumn<QString>("argument");

    const QList<QPair<Call, QString>> calls = {
        {Call::Codec, QStringLiteral("0,0")}, {Call::Status, QString()},  {Call::Dial, QStringLiteral("sip:127.0.0.3")},
        {Call::Answer, QString()},            {Call::Terminate, QString()}, {Call::Mute, QString()},
        {Call::Unmute, QString()},
    };
    for (bool silent : {false, true}) {
        for (const auto& [call, argument] : calls) {
            const QByteArray name = QByteArray(silent ? "silent daemon, " : "no daemon, ")
                                    + QMetaEnum::fromType<Call>().valueToKey(int(call));
            QTest::newRow(name.constData()) << silent << call << argument;
        }
    }
}

void TestEngineSocket::failedCallsHoldNoStatusWord()
{
    QFETCH(bool, silentDaemon);
    QFETCH(Call, call);
    QFETCH(QString, argument);

    if (silentDaemon) {
        // A daemon that would answer every status word, were it answering at all.
        m_daemon->setMode(FakeEngineDaemon::Mode::Silent);
        QVERIFY(m_daemon->startListening());
    }
    RecordingLogger logger;
    LinphoneEngine::Options options = fakeOptions();
    options.callTimeoutMs = 200;
    LinphoneEngine engine(logger, options);

    const QString text = callEngine(engine, call, argument);
    QVERIFY2(!holdsStatusWord(text), qPrintable(text));
    QVERIFY(text.isEmpty());
}

void TestEngineSocket::engineFailureIsLoggedOncePerOutage()
{
    RecordingLogger logger;
    LinphoneEngine engine(logger, fakeOptions());
    for (int i = 0; i < 5; ++i)
        QCOMPARE(engine.linphoneStatusHook(), QString());
    QCOMPARE(logger.entries.size(), 1);
    QVERIFY2(logger.entries.first().contains(QLatin1String("status hook")), qPrintable(logger.entries.first()));

    m_daemon->setReplies({{QByteArrayLiteral("status hook"), QByteArrayLiteral("hook=on-hook\n")}});
    QVERIFY(m_daemon->startListening());
    QCOMPARE(engine.linphoneStatusHook(), QStringLiteral("hook=offhook"));
    QCOMPARE(engine.linphoneStatusHook(), QStringLiteral("hook=offhook"));
    QCOMPARE(logger.entries.size(), 2);

    m_daemon->stop();
    QCOMPARE(engine.linphoneStatusHook(), QString());
    QCOMPARE(engine.linphoneStatusHook(), QString());
    QCOMPARE(logger.entries.size(), 3);
}

void TestEngineSocket::fileSoundCardIsSwitchedOnBeforeFirstCommand()
{
    m_daemon->setReplies({{QByteArrayLiteral("soundcard use files"),
                           QByteArrayLiteral("Using wav files instead of soundcard.\n")},
                          {QByteArrayLiteral("status hook"), QByteArrayLiteral("hook=on-hook\n")}});
    QVERIFY(m_daemon->startListening());
    RecordingLogger logger;
    LinphoneEngine::Options options = fakeOptions();
    options.soundCard = LinphoneEngine::SoundCard::Absent;
    LinphoneEngine engine(logger, options);

    engine.linphoneInit();
    m_daemon->clearCommands(); // the attach probe
    QCOMPARE(engine.linphoneStatusHook(), QStringLiteral("hook=offhook"));
    QCOMPARE(engine.linphoneCodec(0, 0), QStringLiteral("ok"));
    QCOMPARE(engine.linphoneStatusHook(), QStringLiteral("hook=offhook"));
    QCOMPARE(m_daemon->commands(),
             (QList<QByteArray>{"soundcard use files", "status hook", "codec disable 0", "status hook"}));
    QCOMPARE(logger.entries.count(QStringLiteral("no sound card: engine uses its file sound card")), 1);
}

void TestEngineSocket::fileSoundCardWaitsUntilEngineAnswers()
{
    RecordingLogger logger;
    LinphoneEngine::Options options = fakeOptions();
    options.soundCard = LinphoneEngine::SoundCard::Absent;
    LinphoneEngine engine(logger, options);
    engine.linphoneInit(); // nothing answers and the program is missing: the engine is not up yet

    QCOMPARE(engine.linphoneCodec(0, 0), QString());
    QCOMPARE(engine.linphoneCodec(0, 0), QString());
    QVERIFY(!logger.entries.contains(QStringLiteral("no sound card: engine uses its file sound card")));

    m_daemon->setReplies({{QByteArrayLiteral("codec disable 0"), QByteArrayLiteral(" 0: opus (48000) disabled\n")}});
    QVERIFY(m_daemon->startListening());
    QCOMPARE(engine.linphoneCodec(0, 0), QStringLiteral(" 0: opus (48000) disabled"));
    QCOMPARE(engine.linphoneCodec(1, 0), QStringLiteral("ok"));
    QCOMPARE(m_daemon->commands(),
             (QList<QByteArray>{"soundcard use files", "codec disable 0", "codec disable 1"}));
    QCOMPARE(logger.entries.count(QStringLiteral("no sound card: engine uses its file sound card")), 1);
}

void TestEngineSocket::soundCardPresentSendsNoSwitch()
{
    QVERIFY(m_daemon->startListening());
    RecordingLogger logger;
    LinphoneEngine engine(logger, fakeOptions());
    engine.linphoneInit();
    engine.linphoneStatusHook();
    engine.linphoneAnswer();
    QCOMPARE(m_daemon->commands(), (QList<QByteArray>{"status hook", "status hook", "answer"}));
}

void TestEngineSocket::closedEngineSendsNothing()
{
    QVERIFY(m_daemon->startListening());
    RecordingLogger logger;
    LinphoneEngine engine(logger, fakeOptions());
    engine.linphoneInit();
    m_daemon->clearCommands();

    engine.linphoneClose();
    QCOMPARE(engine.linphoneStatusHook(), QString());
    QCOMPARE(engine.linphoneTerminate(), QString());
    QVERIFY(m_daemon->commands().isEmpty());

    engine.linphoneInit();
    QCOMPARE(engine.linphoneAnswer(), QStringLiteral("ok"));
    QCOMPARE(m_daemon->commands(), (QList<QByteArray>{"status hook", "answer"}));
}

void TestEngineSocket::initAttachesToAnsweringDaemon()
{
    m_daemon->setReplies({{QByteArrayLiteral("status hook"), QByteArrayLiteral("hook=on-hook\n")}});
    QVERIFY(m_daemon->startListening());
    RecordingLogger logger;
    LinphoneEngine::Options options = fakeOptions();
    options.program = writeFakeDaemonScript();
    LinphoneEngine engine(logger, options);

    engine.linphoneInit();
    QVERIFY(!engine.startedDaemon());
    QCOMPARE(engine.startedPid(), qint64(0));
    QVERIFY(!QFile::exists(options.program + QStringLiteral(".args")));
    QVERIFY(!QFile::exists(options.configPath));
    QVERIFY2(logger.entries.join(QLatin1Char('\n')).contains(QLatin1String("already answers")),
             qPrintable(logger.entries.join(QLatin1Char('\n'))));
    QCOMPARE(engine.linphoneStatusHook(), QStringLiteral("hook=offhook"));

    // Only what it started is its to stop.
    engine.stopStartedDaemon(100);
    QVERIFY(!m_daemon->commands().contains("quit"));
}

void TestEngineSocket::initStartsDaemonWithItsConfiguration()
{
    RecordingLogger logger;
    LinphoneEngine::Options options = fakeOptions();
    options.program = writeFakeDaemonScript();
    QVERIFY(!options.program.isEmpty());
    LinphoneEngine engine(logger, options);
    QDir(LinphoneEngine::engineDataDir()).removeRecursively();

    engine.linphoneInit();
    QVERIFY(engine.startedDaemon());
    const qint64 pid = engine.startedPid();
    QVERIFY(pid > 0);
    QVERIFY(!processGone(pid));

    QFile args(options.program + QStringLiteral(".args"));
    QTRY_VERIFY(args.exists() && args.size() > 0);
    QVERIFY(args.open(QIODevice::ReadOnly));
    const QList<QByteArray> argList = args.readAll().trimmed().split('\n');
    QCOMPARE(argList, (QList<QByteArray>{"--pipe", "-c", options.configPath.toUtf8(), "-d", "0"}));

    QFile config(options.configPath);
    QVERIFY(config.open(QIODevice::ReadOnly));
    const QByteArray configText = config.readAll();
    QVERIFY(configText.contains("[sip]"));
    QVERIFY(configText.contains("sip_port=5060"));
    QVERIFY(QFileInfo(LinphoneEngine::engineDataDir()).isDir());
    QCOMPARE(LinphoneEngine::engineDataDir(), m_home.path() + QStringLiteral("/.local/share/linphone"));

    // The daemon's output goes to its log file beside the configuration.
    const QString logPath = m_dir->path() + QStringLiteral("/linphonec.log");
    QTRY_VERIFY(QFileInfo(logPath).size() > 0);
    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), QByteArray("fake engine up\n"));

    // A second init while it runs (and does not answer yet) starts no second one.
    engine.linphoneInit();
    QCOMPARE(engine.startedPid(), pid);

    // It does not answer "quit", so it is killed after the grace period.
    engine.stopStartedDaemon(200);
    QVERIFY(processGone(pid));
    QVERIFY2(logger.entries.last().contains(QLatin1String("killed")), qPrintable(logger.entries.last()));
}

void TestEngineSocket::initKeepsExistingConfiguration()
{
    LinphoneEngine::Options options = fakeOptions();
    options.program = writeFakeDaemonScript();
    const QByteArray prepared = "[sip]\nsip_port=5099\n";
    {
        QFile config(options.configPath);
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(prepared);
    }
    RecordingLogger logger;
    LinphoneEngine engine(logger, options);
    engine.linphoneInit();
    QVERIFY(engine.startedDaemon());

    QFile config(options.configPath);
    QVERIFY(config.open(QIODevice::ReadOnly));
    QCOMPARE(config.readAll(), prepared);
    engine.stopStartedDaemon(0);
    QVERIFY(processGone(engine.startedPid()));
}

void TestEngineSocket::initRefusesDeviceAsConfiguration()
{
    LinphoneEngine::Options options = fakeOptions();
    options.program = writeFakeDaemonScript();
    options.configPath = QStringLiteral("/dev/null");
    options.logPath = m_dir->path() + QStringLiteral("/linphonec.log");
    RecordingLogger logger;
    LinphoneEngine engine(logger, options);

    engine.linphoneInit();
    QVERIFY(!engine.startedDaemon());
    QVERIFY(!QFile::exists(options.program + QStringLiteral(".args")));
    QVERIFY(!QFileInfo(QStringLiteral("/dev/null")).isFile());
    QVERIFY2(logger.entries.join(QLatin1Char('\n')).contains(QLatin1String("not a regular file")),
             qPrintable(logger.entries.join(QLatin1Char('\n'))));
}

void TestEngineSocket::destructorStopsStartedDaemon()
{
    qint64 pid = 0;
    RecordingLogger logger;
    {
        LinphoneEngine::Options options = fakeOptions();
        options.program = writeFakeDaemonScript();
        LinphoneEngine engine(logger, options);
        engine.linphoneInit();
        pid = engine.startedPid();
        QVERIFY(pid > 0);
        QVERIFY(!processGone(pid));
    }
    QVERIFY(processGone(pid));
}

void TestEngineSocket::defaultConfigPathIsInUserDataFolder()
{
    QCOMPARE(LinphoneEngine::defaultConfigPath(), m_home.path() + QStringLiteral("/.local/share/qzconsole/linphonerc"));
    RecordingLogger logger;
    LinphoneEngine engine(logger);
    QCOMPARE(engine.options().configPath, LinphoneEngine::defaultConfigPath());
    QCOMPARE(engine.options().logPath, m_home.path() + QStringLiteral("/.local/share/qzconsole/linphonec.log"));
    QCOMPARE(engine.options().socketPath, EngineSocketClient::defaultSocketPath());
    QCOMPARE(engine.options().program, QStringLiteral("linphonec"));
    QCOMPARE(LinphoneEngine::defaultConfigText(), QByteArray("[sip]\nsip_port=5060\n"));
}

QTEST_GUILESS_MAIN(TestEngineSocket)
#include "test_engine_socket.moc"

// Start-up against scripted fakes: the order of its steps, the waits for the
// engine and the registration over the engine's socket.

#include "ConfigFile.h"
#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "EngineBringUp.h"
#include "FakeScheduler.h"
#include "FakeSettingsStore.h"
#include "FakeSipEngine.h"
#include "RecordingLogger.h"
#include "StartupSequence.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

using CodecReply = std::function<QString(int index, int attempt)>;

class FakeHost : public StartupHost
{
public:
    explicit FakeHost(QStringList& journal)
        : m_journal(journal)
    {
    }
    void showSplash() override { m_journal.append(u"host:splash"_s); }
    void showEngineMissing(const QString& program) override { m_journal.append(u"host:missing "_s + program); }
    void showStartupError(const QString& text) override { m_journal.append(u"host:error "_s + text); }
    void openCallSockets() override { m_journal.append(u"host:callSockets"_s); }
    void createHttpClient() override { m_journal.append(u"host:http"_s); }
    void fetchFirstPicture(const QString& url, std::function<void()> done) override
    {
        m_journal.append(u"host:picture "_s + url);
        done();
    }
    void startSnapshotTimer() override { m_journal.append(u"host:timer"_s); }
    void applyPlacement(const WindowPlacement&) override {}
    void startupFinished(bool up) override { m_journal.append(up ? u"host:finished"_s : u"host:finished silent"_s); }
private:
    QStringList& m_journal;
};

struct Rig
{
    QTemporaryDir dir;
    QStringList journal;
    ConfigRecord record;
    ConsoleState state;
    RecordingLogger log;
    FakeSipEngine engine;
    FakeSettingsStore settings;
    FakeScheduler scheduler;
    FakeHost host{journal};
    EngineBringUp bringUp{engine, log, scheduler, record};
    int scratchCalls = 0;
    std::unique_ptr<StartupSequence> startup;

    Rig()
    {
        log.journal = engine.journal = &journal;
        engine.registerReply = u"registered"_s;
    }
    StartupSequence::Outcome start()
    {
        StartupContext ctx{record,     state, log, engine, bringUp, settings, dir.path(),
                           []() { return true; }, [this]() { ++scratchCalls; }};
        startup = std::make_unique<StartupSequence>(std::move(ctx), host);
        return startup->start();
    }
    void run()
    {
        QCOMPARE(start(), StartupSequence::Outcome::Running);
        QCOMPARE(startup->start(), StartupSequence::Outcome::Running); // a second start adds nothing
        // The waits are the scheduler's, the engine's replies come from the event loop.
        QVERIFY(QTest::qWaitFor(
            [this] {
                scheduler.runAll();
                return startup->isFinished();
            },
            5000));
    }
    QByteArray writeConfig(const ConfigRecord& r)
    {
        const QString path = ConfigFile::configPath(dir.path());
        QString error;
        QFile f(path);
        return ConfigFile::writeFile(path, r, &error) && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void orderOfStepsOnDefaults()
    {
        Rig rig;
        // A shorter reply after a longer one is logged as it is, nothing of the longer one behind it.
        rig.engine.codecReply = [](int index, int) { return index == 1 ? u"1: x"_s : u" 0: opus (48000) disabled"_s; };
        rig.run();
        QCOMPARE(rig.journal, (QStringList{
                                  u"host:splash"_s, u"host:callSockets"_s, u"host:http"_s,
                                  u"host:picture http://192.168.0.10:8081/snap.jpg"_s, u"log:init"_s, u"engine:init"_s,
                                  u"engine:codec 0"_s, u"log:0: opus (48000) disabled"_s, u"engine:codec 1"_s,
                                  u"log:1: x"_s, u"engine:codec 2"_s, u"log:0: opus (48000) disabled"_s,
                                  u"host:timer"_s, u"host:finished"_s}));
        QCOMPARE(rig.record, ConfigRecord::defaults());
        QCOMPARE(rig.state.zoomedStation, -1);
        QCOMPARE(rig.scratchCalls, 1);
        QVERIFY(!QFile::exists(ConfigFile::configPath(rig.dir.path()))); // the defaults are used, not written
    }

    void codecWait_data()
    {
        QTest::addColumn<CodecReply>("reply");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<int>("waits"); // of 3000 ms: after the engine start, then after each failed attempt
        QTest::newRow("disabled at once") << CodecReply() << 1 << 1;
        QTest::newRow("disabled at the fourth attempt") << CodecReply([](int index, int attempt) {
            return index == 0 && attempt < 4 ? u"Failed to connect"_s : u"disabled"_s;
        }) << 4 << 4;
        // Start-up goes on regardless after ten attempts.
        QTest::newRow("never disabled") << CodecReply([](int, int) { return QString(); }) << 10 << 10;
    }
    void codecWait()
    {
        QFETCH(CodecReply, reply);
        Rig rig;
        if (reply)
            rig.engine.codecReply = reply;
        rig.run();
        QTEST(rig.bringUp.codecAttempts(), "attempts");
        QTEST(int(rig.engine.calls.count(u"codec 0"_s)), "attempts");
        QFETCH(int, waits);
        QCOMPARE(rig.scheduler.delays, QList<int>(waits, 3000) << 100 << 100);
    }

    void registration_data()
    {
        QTest::addColumn<bool>("server");
        QTest::addColumn<bool>("engine");
        QTest::newRow("with a SIP server") << true << true;
        QTest::newRow("direct calls") << false << true;
        QTest::newRow("engine program missing") << true << false;
    }
    void registration()
    {
        QFETCH(bool, server);
        QFETCH(bool, engine);
        Rig rig;
        ConfigRecord r = ConfigRecord::defaults();
        r.serverAddress = u"127.0.0.1:5080 "_s;
        r.userId = u"100"_s;
        r.password = u"p a\"ss"_s;
        r.useSipServer = server ? 1 : 0;
        rig.writeConfig(r);
        rig.engine.available = engine;
        rig.run();
        const QStringList registrations = rig.engine.calls.filter(u"register"_s);
        QCOMPARE(registrations.size(), server && engine ? 1 : 0);
        QVERIFY2(!rig.log.entries.join(u'|').contains("p a\"ss"_L1), qPrintable(rig.log.entries.join(u'|')));
        QCOMPARE(rig.journal.contains(u"host:missing linphonec"_s), !engine);
        QCOMPARE(rig.engine.calls.contains(u"init"_s), engine); // no engine: no waits for it either
        QVERIFY(rig.journal.last().startsWith(u"host:finished"_s));
        if (registrations.isEmpty())
            return;
        // The fields reach the engine as stored (it makes them one command); the log masks the password.
        QCOMPARE(registrations.first(), u"register 127.0.0.1:5080  100 p a\"ss"_s);
        QCOMPARE(rig.log.entries.mid(rig.log.entries.size() - 2),
                 (QStringList{u"--host 127.0.0.1:5080  --username 100 --password ******"_s, u"registered"_s}));
    }

    void unreadableConfigStops_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("no permissions") << 0;
        // Group and others may read, the owner not: the owner's bits alone decide for the owner.
        QTest::newRow("kept from its owner") << 0066;
    }
    void unreadableConfigStops()
    {
        QFETCH(int, mode);
        Rig rig;
        ConfigRecord r = ConfigRecord::defaults();
        r.ipAddress[0] = u"127.0.0.2"_s;
        QVERIFY(!rig.writeConfig(r).isEmpty());
        const QString path = ConfigFile::configPath(rig.dir.path());
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions::fromInt(mode)));
        if (QFile(path).open(QIODevice::ReadOnly))
            QSKIP("this account reads any file (root): test_startup_unprivileged runs this without that power");
        QCOMPARE(rig.start(), StartupSequence::Outcome::Failed);
        // One line and one message, both naming the group; no station channel opened, no defaults taken.
        QCOMPARE(rig.journal.size(), 3);
        QCOMPARE(rig.journal.at(1), u"log:The configuration file %1 may not be read by this account: it is kept "
                                    "to the group qzoperators"_s.arg(path));
        QVERIFY2(rig.journal.at(2).startsWith(u"host:error "_s)
                     && rig.journal.at(2).contains(u"add this account to the group \"qzoperators\", then log out"_s),
                 qPrintable(rig.journal.at(2)));
        QCOMPARE(rig.record, ConfigRecord());
    }

    void stationZeroShownButNotWritten()
    {
        Rig rig;
        ConfigRecord r = ConfigRecord::defaults();
        r.active[0] = 0;
        r.active[2] = 1;
        r.ipAddress[0] = u"127.0.0.2"_s;
        const QByteArray before = rig.writeConfig(r);
        QVERIFY(!before.isEmpty());
        rig.start();
        QCOMPARE(rig.record.active[0], qint16(0)); // the call sockets were opened while it was inactive
        QVERIFY(QTest::qWaitFor(
            [&rig] {
                rig.scheduler.runAll();
                return rig.startup->isFinished();
            },
            5000));
        QCOMPARE(rig.record.active[0], qint16(1));
        QFile f(ConfigFile::configPath(rig.dir.path()));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"

// Start-up order against scripted fakes: engine, scheduler, shell, settings, host.

#include "ConfigFile.h"
#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "FakeChildProcessRunner.h"
#include "FakeScheduler.h"
#include "FakeSettingsStore.h"
#include "FakeSipEngine.h"
#include "RecordingLogger.h"
#include "ShellRunner.h"
#include "StartupSequence.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

using Settings = QMap<QString, QString>;
using CodecReply = std::function<QString(int index, int attempt)>;

class FakeHost : public StartupHost
{
public:
    explicit FakeHost(QStringList& journal)
        : m_journal(journal)
    {
    }
    void showOsVersionError() override { m_journal.append(u"host:osError"_s); }
    void showSplash() override { m_journal.append(u"host:splash"_s); }
    void showStartupError(const QString& text) override { m_journal.append(u"host:error "_s + text); }
    void openCallSockets() override { m_journal.append(u"host:callSockets"_s); }
    void createHttpClient() override { m_journal.append(u"host:http"_s); }
    void fetchFirstPicture(const QString& url, std::function<void()> done) override
    {
        m_journal.append(u"host:picture "_s + url);
        done();
    }
    void startSnapshotTimer() override { m_journal.append(u"host:timer1"_s); }
    void applyPlacement(const WindowPlacement& p) override
    {
        placement = p;
        m_journal.append(u"host:placement"_s);
    }
    void startupFinished() override { m_journal.append(u"host:finished"_s); }

    WindowPlacement placement;

private:
    QStringList& m_journal;
};

// One start-up with all its fakes; the program directory is a temporary one.
struct Rig
{
    QTemporaryDir dir;
    QStringList journal;
    ConfigRecord record;
    ConsoleState state;
    RecordingLogger log;
    FakeSipEngine engine;
    FakeChildProcessRunner processes;
    ShellRunner shell{log, processes};
    FakeSettingsStore settings;
    FakeScheduler scheduler;
    FakeHost host{journal};
    OsVersion os{10, 0};
    bool otherInstance = false;
    int scratchCalls = 0;
    std::unique_ptr<StartupSequence> startup;

    Rig()
    {
        log.journal = &journal;
        engine.journal = &journal;
        processes.journal = &journal;
    }

    StartupSequence::Outcome start()
    {
        StartupContext ctx{record,   state, log, engine, shell, settings, scheduler, dir.path(), os,
                           [this]() { return !otherInstance; }, [this]() { ++scratchCalls; }};
        startup = std::make_unique<StartupSequence>(std::move(ctx), host);
        return startup->start();
    }

    /// The whole start-up, every wait run.
    void run()
    {
        QCOMPARE(start(), StartupSequence::Outcome::Running);
        scheduler.runAll();
        QVERIFY(startup->isFinished());
    }

    QByteArray writeConfig(const ConfigRecord& r)
    {
        const QString path = ConfigFile::configPath(dir.path());
        QString error;
        QFile f(path);
        return ConfigFile::writeFile(path, r, &error) && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

ConfigRecord withServer(qint16 useSipServer, const QString& password)
{
    ConfigRecord r = ConfigRecord::defaults();
    r.serverAddress = u"127.0.0.1:5080 "_s;
    r.userId = u"100"_s;
    r.password = password;
    r.useSipServer = useSipServer;
    return r;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void checksBeforeTheSteps_data()
    {
        QTest::addColumn<OsVersion>("os"); // runs above 5, or 5 with a minor version of 1 or more
        QTest::addColumn<int>("why");      // 1: another instance runs; 2: shutdown has begun
        QTest::addColumn<StartupSequence::Outcome>("outcome");
        QTest::addColumn<QString>("journal"); // its first entry; none when empty
        using O = StartupSequence::Outcome;
        QTest::newRow("system 4.9") << OsVersion{4, 9} << 0 << O::RefusedSystem << u"host:osError"_s;
        QTest::newRow("system 5.0") << OsVersion{5, 0} << 0 << O::RefusedSystem << u"host:osError"_s;
        QTest::newRow("system 5.1") << OsVersion{5, 1} << 0 << O::Running << u"host:splash"_s;
        QTest::newRow("system 6.0") << OsVersion{6, 0} << 0 << O::Running << u"host:splash"_s;
        QTest::newRow("second instance, silently") << OsVersion{10, 0} << 1 << O::AlreadyRunning << QString();
        QTest::newRow("exiting, silently") << OsVersion{10, 0} << 2 << O::AlreadyRunning << QString();
    }

    void checksBeforeTheSteps()
    {
        QFETCH(OsVersion, os);
        QFETCH(int, why);
        QFETCH(StartupSequence::Outcome, outcome);
        QFETCH(QString, journal);
        Rig rig;
        rig.os = os;
        rig.otherInstance = why == 1;
        rig.state.exiting = why == 2 ? 1 : 0;
        QCOMPARE(rig.start(), outcome);
        QCOMPARE(rig.journal.value(0), journal);
        QCOMPARE(rig.scheduler.hasPending(), outcome == StartupSequence::Outcome::Running);
        if (outcome != StartupSequence::Outcome::Running)
            QVERIFY(rig.journal.size() <= 1);
    }

    void defaultsWithoutFileAndOrderOfSteps()
    {
        Rig rig;
        rig.run();
        const QStringList expected = {
            u"host:splash"_s,          u"host:callSockets"_s, u"host:http"_s,
            u"host:picture http://192.168.0.10:8081/snap.jpg"_s,
            u"log:init"_s,             u"engine:init"_s,
            u"engine:codec 0 0"_s,     u"log:0: codec0 (8000) disabled"_s,
            u"engine:codec 1 0"_s,     u"log:1: codec1 (8000) disabled"_s,
            u"engine:codec 2 0"_s,     u"log:2: codec2 (8000) disabled"_s,
            u"host:timer1"_s,          u"host:placement"_s,   u"host:finished"_s,
        };
        QCOMPARE(rig.journal, expected);
        QCOMPARE(rig.record, ConfigRecord::defaults());
        QCOMPARE(rig.state.zoomedStation, -1);
        QCOMPARE(rig.state.CallState, 0);
        QCOMPARE(rig.scratchCalls, 1);
        // The defaults are used, not written.
        QVERIFY(!QFile::exists(ConfigFile::configPath(rig.dir.path())));
    }

    void codecWait_data()
    {
        QTest::addColumn<CodecReply>("reply");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<int>("waits");      // of 3000 ms: after the engine start, then after each failed attempt
        QTest::addColumn<QString>("logged"); // the first codec line of the log

        QTest::newRow("disabled at the first attempt") << CodecReply() << 1 << 1 << u"0: codec0 (8000) disabled"_s;
        QTest::newRow("disabled at the fourth attempt") << CodecReply([](int index, int attempt) {
            return index == 0 && attempt < 4 ? u"Failed to connect"_s : u" %1: opus (48000) disabled"_s.arg(index);
        }) << 4 << 4 << u"0: opus (48000) disabled"_s;
        // Start-up goes on regardless after ten attempts and logs the last (empty) reply.
        QTest::newRow("never disabled") << CodecReply([](int index, int) {
            return index == 0 ? QString() : u" %1: x (8000) disabled"_s.arg(index);
        }) << 10 << 11 << QString();
    }

    void codecWait()
    {
        QFETCH(CodecReply, reply);
        QFETCH(int, attempts);
        QFETCH(int, waits);
        QFETCH(QString, logged);
        Rig rig;
        if (reply)
            rig.engine.codecReply = reply;
        rig.run();
        QCOMPARE(rig.startup->codecAttempts(), attempts);
        QCOMPARE(rig.engine.calls.count(u"codec 0 0"_s), attempts);
        // Then the two 100 ms pauses: nothing else.
        QCOMPARE(rig.scheduler.delays, QList<int>(waits, 3000) << 100 << 100);
        QCOMPARE(rig.journal.at(rig.journal.indexOf(u"engine:codec 1 0"_s) - 1), u"log:"_s + logged);
    }

    void logShowsStaleTailOfLongerReply()
    {
        // The reply buffer is reused: a shorter reply after a longer one leaves the
        // longer one's tail behind the NUL, and the log shows it.
        Rig rig;
        rig.engine.codecReply = [](int index, int) {
            return index == 1 ? u"1: x"_s : u"%1: opus (48000) disabled"_s.arg(index);
        };
        rig.run();
        QVERIFY2(rig.journal.contains(u"log:1: x us (48000) disabled"_s), qPrintable(rig.journal.join(u'|')));
    }

    void noRegistrationWithoutServerFlag()
    {
        Rig rig;
        rig.writeConfig(withServer(0, u"secret"_s));
        rig.run();
        QVERIFY(rig.processes.runs.isEmpty());
        QVERIFY2(!rig.log.entries.join(u'|').contains("--host"_L1), qPrintable(rig.log.entries.join(u'|')));
    }

    void registrationWithServerFlag()
    {
        Rig rig;
        rig.writeConfig(withServer(1, u"p a\"ss"_s));
        rig.processes.script = [](const FakeChildProcessRunner::Run&) {
            ChildRunResult result;
            result.started = true;
            result.output = "registered\n";
            return result;
        };
        rig.run();

        QCOMPARE(rig.processes.runs.size(), 1);
        const auto& run = rig.processes.runs.first();
        QCOMPARE(run.program, rig.dir.path() + u"/lp/linphonecsh"_s);
        // Fields as stored, each its own argument: nothing is trimmed or split.
        QCOMPARE(run.args, (QStringList{u"register"_s, u"--host"_s, u"127.0.0.1:5080 "_s, u"--username"_s, u"100"_s,
                                        u"--password"_s, u"p a\"ss"_s}));
        QVERIFY(run.wantStdOut);
        QVERIFY(!run.wantStdErr);

        // After the third codec reply: the masked argument text, then the output.
        const qsizetype third = rig.journal.indexOf(u"engine:codec 2 0"_s);
        QCOMPARE(rig.journal.mid(third + 2, 3),
                 (QStringList{u"log:--host 127.0.0.1:5080  --username 100 --password ******"_s,
                              u"run:"_s + run.program
                                  + u" register --host 127.0.0.1:5080  --username 100 --password p a\"ss"_s,
                              u"log:registered"_s}));
        QVERIFY2(!rig.log.entries.join(u'|').contains("p a\"ss"_L1), qPrintable(rig.log.entries.join(u'|')));
        QVERIFY(rig.journal.indexOf(u"host:timer1"_s) > third);
    }

    void placement_data()
    {
        QTest::addColumn<Settings>("stored");
        QTest::addColumn<QList<double>>("expected"); // state, left, top, width, height
        QTest::addColumn<bool>("applies");

        QTest::newRow("defaults") << Settings() << QList<double>{0, 0, 0, 5745, 5220} << true;
        QTest::newRow("stored, maximised") << Settings{{u"wstate"_s, u"2"_s}, {u"wleft"_s, u"1500"_s},
                                                       {u"wtop"_s, u"750"_s}, {u"wwidth"_s, u"9000"_s},
                                                       {u"wheight"_s, u"7000"_s}}
                                           << QList<double>{2, 1500, 750, 9000, 7000} << true;
        // Minimised when it closed: the design placement is kept.
        QTest::newRow("wstate 1") << Settings{{u"wstate"_s, u"1"_s}, {u"wleft"_s, u"1500"_s}}
                                  << QList<double>{1, 0, 0, 5745, 5220} << false;
        // Text that is not a number falls back to its default instead of ending the program.
        QTest::newRow("unusable text") << Settings{{u"wstate"_s, u"abc"_s}, {u"wleft"_s, u"12x"_s},
                                                   {u"wtop"_s, u"300"_s},   {u"wwidth"_s, QString()},
                                                   {u"wheight"_s, u"1e999"_s}}
                                       << QList<double>{0, 0, 300, 5745, 5220} << true;
    }

    void placement()
    {
        QFETCH(Settings, stored);
        QFETCH(QList<double>, expected);
        QFETCH(bool, applies);
        Rig rig;
        rig.settings.values = stored;
        rig.run();
        const WindowPlacement& p = rig.host.placement;
        QCOMPARE((QList<double>{double(p.state), p.leftTwips, p.topTwips, p.widthTwips, p.heightTwips}), expected);
        QCOMPARE(p.applies(), applies);
    }

    void stationZeroForcedActiveInMemoryOnly()
    {
        Rig rig;
        ConfigRecord r = ConfigRecord::defaults();
        r.active[0] = 0;
        r.active[2] = 1;
        r.ipAddress[0] = u"127.0.0.2"_s;
        const QByteArray before = rig.writeConfig(r);
        QVERIFY(!before.isEmpty());

        rig.start();
        // The call sockets were opened while station 0 was still inactive.
        QVERIFY(rig.journal.contains(u"host:callSockets"_s));
        QCOMPARE(rig.record.active[0], qint16(0));
        rig.scheduler.runAll();
        QCOMPARE(rig.record.active[0], qint16(1));
        QCOMPARE(rig.record.active[2], qint16(1));
        QFile f(ConfigFile::configPath(rig.dir.path()));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }

    void startTwiceRunsOnce()
    {
        Rig rig;
        rig.start();
        rig.startup->start();
        rig.scheduler.runAll();
        QCOMPARE(rig.engine.calls.count(u"init"_s), 1);
        QCOMPARE(rig.journal.count(u"host:splash"_s), 1);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"

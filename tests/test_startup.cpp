// Start-up order against scripted fakes: engine, scheduler, shell, settings, host.

#include "ConfigFile.h"
#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "FakeChildProcessRunner.h"
#include "FakeScheduler.h"
#include "FakeSettingsStore.h"
#include "FakeSipEngine.h"
#include "Logger.h"
#include "ShellRunner.h"
#include "StartupSequence.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

class JournalLogger : public Logger
{
public:
    explicit JournalLogger(QStringList& journal)
        : m_journal(journal)
    {
    }
    void WriteLog(const QString& text) override
    {
        // What the log file would show: NULs as blanks, blanks trimmed.
        QString shown = text;
        shown.replace(QChar(0), QLatin1Char(' '));
        entries.append(shown.trimmed());
        m_journal.append(QStringLiteral("log:") + entries.last());
    }
    QStringList entries;

private:
    QStringList& m_journal;
};

class FakeHost : public StartupHost
{
public:
    explicit FakeHost(QStringList& journal)
        : m_journal(journal)
    {
    }
    void showOsVersionError() override { m_journal.append(QStringLiteral("host:osError")); }
    void showSplash() override { m_journal.append(QStringLiteral("host:splash")); }
    void showStartupError(const QString& text) override { m_journal.append(QStringLiteral("host:error ") + text); }
    void openCallSockets() override { m_journal.append(QStringLiteral("host:callSockets")); }
    void createHttpClient() override { m_journal.append(QStringLiteral("host:http")); }
    void fetchFirstPicture(const QString& url, std::function<void()> done) override
    {
        m_journal.append(QStringLiteral("host:picture ") + url);
        done();
    }
    void startSnapshotTimer() override { m_journal.append(QStringLiteral("host:timer1")); }
    void applyPlacement(const WindowPlacement& p) override
    {
        placement = p;
        m_journal.append(QStringLiteral("host:placement"));
    }
    void startupFinished() override { m_journal.append(QStringLiteral("host:finished")); }

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
    JournalLogger log{journal};
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

    void writeConfig(const ConfigRecord& r)
    {
        QString error;
        QVERIFY2(ConfigFile::writeFile(ConfigFile::configPath(dir.path()), r, &error), qPrintable(error));
    }

    QStringList journalWith(const QString& prefix) const
    {
        QStringList out;
        for (const QString& e : journal)
            if (e.startsWith(prefix))
                out.append(e);
        return out;
    }
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void systemCheck_data();
    void systemCheck();
    void refusedSystemRunsNothing();
    void secondInstanceEndsSilently();
    void exitingFlagEndsSilently();
    void defaultsWithoutFileAndOrderOfSteps();
    void codecAnswersAtFirstAttempt();
    void codecNeverAnswers();
    void codecAnswersAtFourthAttempt();
    void logShowsStaleTailOfLongerReply();
    void noRegistrationWithoutServerFlag();
    void registrationWithServerFlag();
    void placementDefaults();
    void placementStored();
    void placementMinimisedKeepsDesign();
    void placementUnusableTextFallsBack();
    void stationZeroForcedActiveInMemoryOnly();
    void startTwiceRunsOnce();
};

void TestStartup::systemCheck_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<bool>("supported");
    QTest::newRow("4.9") << 4 << 9 << false;
    QTest::newRow("5.0") << 5 << 0 << false;
    QTest::newRow("5.1") << 5 << 1 << true;
    QTest::newRow("5.2") << 5 << 2 << true;
    QTest::newRow("6.0") << 6 << 0 << true;
    QTest::newRow("10.0") << 10 << 0 << true;
}

void TestStartup::systemCheck()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(bool, supported);
    QCOMPARE(StartupSequence::isSupportedSystem(OsVersion{major, minor}), supported);
}

void TestStartup::refusedSystemRunsNothing()
{
    Rig rig;
    rig.os = OsVersion{5, 0};
    QCOMPARE(rig.start(), StartupSequence::Outcome::RefusedSystem);
    QCOMPARE(rig.journal, QStringList{QStringLiteral("host:osError")});
    QVERIFY(rig.log.entries.isEmpty());
    QVERIFY(!rig.scheduler.hasPending());
}

void TestStartup::secondInstanceEndsSilently()
{
    Rig rig;
    rig.otherInstance = true;
    QCOMPARE(rig.start(), StartupSequence::Outcome::AlreadyRunning);
    QVERIFY(rig.journal.isEmpty());
}

void TestStartup::exitingFlagEndsSilently()
{
    Rig rig;
    rig.state.exiting = 1;
    QCOMPARE(rig.start(), StartupSequence::Outcome::AlreadyRunning);
    QVERIFY(rig.journal.isEmpty());
}

void TestStartup::defaultsWithoutFileAndOrderOfSteps()
{
    Rig rig;
    QCOMPARE(rig.start(), StartupSequence::Outcome::Running);
    rig.scheduler.runAll();
    QVERIFY(rig.startup->isFinished());

    const QStringList expected = {
        QStringLiteral("host:splash"),
        QStringLiteral("host:callSockets"),
        QStringLiteral("host:http"),
        QStringLiteral("host:picture http://192.168.0.10:8081/snap.jpg"),
        QStringLiteral("log:init"),
        QStringLiteral("engine:init"),
        QStringLiteral("engine:codec 0 0"),
        QStringLiteral("log:0: codec0 (8000) disabled"),
        QStringLiteral("engine:codec 1 0"),
        QStringLiteral("log:1: codec1 (8000) disabled"),
        QStringLiteral("engine:codec 2 0"),
        QStringLiteral("log:2: codec2 (8000) disabled"),
        QStringLiteral("host:timer1"),
        QStringLiteral("host:placement"),
        QStringLiteral("host:finished"),
    };
    QCOMPARE(rig.journal, expected);
    QCOMPARE(rig.record, ConfigRecord::defaults());
    QCOMPARE(rig.state.zoomedStation, -1);
    QCOMPARE(rig.state.CallState, 0);
    QCOMPARE(rig.scratchCalls, 1);
    // The defaults are used, not written.
    QVERIFY(!QFile::exists(ConfigFile::configPath(rig.dir.path())));
}

void TestStartup::codecAnswersAtFirstAttempt()
{
    Rig rig;
    rig.start();
    rig.scheduler.runAll();
    // 3000 ms after the engine start, then the two 100 ms pauses: nothing else.
    QCOMPARE(rig.scheduler.delays, (QList<int>{3000, 100, 100}));
    QCOMPARE(rig.startup->codecAttempts(), 1);
}

void TestStartup::codecNeverAnswers()
{
    Rig rig;
    rig.engine.codecReply = [](int index, int) {
        return index == 0 ? QStringLiteral("") : QStringLiteral(" %1: x (8000) disabled").arg(index);
    };
    rig.start();
    rig.scheduler.runAll();
    QCOMPARE(rig.startup->codecAttempts(), 10);
    QList<int> expected{3000};
    for (int i = 0; i < 10; ++i)
        expected.append(3000);
    expected << 100 << 100;
    QCOMPARE(rig.scheduler.delays, expected);
    QCOMPARE(rig.engine.calls.count(QStringLiteral("codec 0 0")), 10);
    // Start-up goes on regardless and logs the last (empty) reply.
    QVERIFY(rig.startup->isFinished());
    const int init = rig.log.entries.indexOf(QStringLiteral("init"));
    QCOMPARE(rig.log.entries.at(init + 1), QString());
}

void TestStartup::codecAnswersAtFourthAttempt()
{
    Rig rig;
    rig.engine.codecReply = [](int index, int attempt) {
        if (index == 0 && attempt < 4)
            return QStringLiteral("Failed to connect");
        return QStringLiteral(" %1: opus (48000) disabled").arg(index);
    };
    rig.start();
    rig.scheduler.runAll();
    QCOMPARE(rig.startup->codecAttempts(), 4);
    QCOMPARE(rig.scheduler.delays, (QList<int>{3000, 3000, 3000, 3000, 100, 100}));
    QVERIFY(rig.log.entries.contains(QStringLiteral("0: opus (48000) disabled")));
}

void TestStartup::logShowsStaleTailOfLongerReply()
{
    // The reply buffer is reused: a shorter reply after a longer one leaves the
    // longer one's tail behind the NUL, and the log shows it.
    Rig rig;
    rig.engine.codecReply = [](int index, int) {
        if (index == 0)
            return QStringLiteral("0: opus (48000) disabled");
        if (index == 1)
            return QStringLiteral("1: x");
        return QStringLiteral("2: speex (8000) disabled");
    };
    rig.start();
    rig.scheduler.runAll();
    QVERIFY2(rig.log.entries.contains(QStringLiteral("1: x us (48000) disabled")), qPrintable(rig.log.entries.join(u'|')));
}

void TestStartup::noRegistrationWithoutServerFlag()
{
    Rig rig;
    ConfigRecord r = ConfigRecord::defaults();
    r.serverAddress = QStringLiteral("127.0.0.1:5080");
    r.userId = QStringLiteral("100");
    r.password = QStringLiteral("secret");
    r.useSipServer = 0;
    rig.writeConfig(r);
    rig.start();
    rig.scheduler.runAll();
    QVERIFY(rig.processes.runs.isEmpty());
    for (const QString& e : rig.log.entries)
        QVERIFY2(!e.contains(QLatin1String("--host")), qPrintable(e));
}

void TestStartup::registrationWithServerFlag()
{
    Rig rig;
    ConfigRecord r = ConfigRecord::defaults();
    r.serverAddress = QStringLiteral("127.0.0.1:5080 ");
    r.userId = QStringLiteral("100");
    r.password = QStringLiteral("p a\"ss");
    r.useSipServer = 1;
    rig.writeConfig(r);
    rig.processes.script = [](const FakeChildProcessRunner::Run&) {
        ChildRunResult result;
        result.started = true;
        result.output = "registered\n";
        return result;
    };
    rig.start();
    rig.scheduler.runAll();

    QCOMPARE(rig.processes.runs.size(), 1);
    const auto& run = rig.processes.runs.first();
    QCOMPARE(run.program, rig.dir.path() + QStringLiteral("/lp/linphonecsh"));
    // Fields as stored, each its own argument: nothing is trimmed or split.
    QCOMPARE(run.args, (QStringList{QStringLiteral("register"), QStringLiteral("--host"), QStringLiteral("127.0.0.1:5080 "),
                                    QStringLiteral("--username"), QStringLiteral("100"), QStringLiteral("--password"),
                                    QStringLiteral("p a\"ss")}));
    QVERIFY(run.wantStdOut);
    QVERIFY(!run.wantStdErr);

    // After the third codec reply: the masked argument text, then the output.
    const int third = rig.journal.indexOf(QStringLiteral("engine:codec 2 0"));
    QCOMPARE(rig.journal.mid(third + 2, 3),
             (QStringList{QStringLiteral("log:--host 127.0.0.1:5080  --username 100 --password ******"),
                          QStringLiteral("run:") + run.program + QStringLiteral(" register --host 127.0.0.1:5080  --username 100 --password p a\"ss"),
                          QStringLiteral("log:registered")}));
    for (const QString& e : rig.log.entries)
        QVERIFY2(!e.contains(QLatin1String("p a\"ss")), qPrintable(e));
    QVERIFY(rig.journal.indexOf(QStringLiteral("host:timer1")) > third);
}

void TestStartup::placementDefaults()
{
    Rig rig;
    rig.start();
    rig.scheduler.runAll();
    QCOMPARE(rig.host.placement.state, 0);
    QCOMPARE(rig.host.placement.leftTwips, 0.0);
    QCOMPARE(rig.host.placement.topTwips, 0.0);
    QCOMPARE(rig.host.placement.widthTwips, 5745.0);
    QCOMPARE(rig.host.placement.heightTwips, 5220.0);
    QVERIFY(rig.host.placement.applies());
}

void TestStartup::placementStored()
{
    Rig rig;
    rig.settings.values = {{QStringLiteral("wstate"), QStringLiteral("2")},
                           {QStringLiteral("wleft"), QStringLiteral("1500")},
                           {QStringLiteral("wtop"), QStringLiteral("750")},
                           {QStringLiteral("wwidth"), QStringLiteral("9000")},
                           {QStringLiteral("wheight"), QStringLiteral("7000")}};
    rig.start();
    rig.scheduler.runAll();
    QCOMPARE(rig.host.placement.state, 2);
    QCOMPARE(rig.host.placement.leftTwips, 1500.0);
    QCOMPARE(rig.host.placement.topTwips, 750.0);
    QCOMPARE(rig.host.placement.widthTwips, 9000.0);
    QCOMPARE(rig.host.placement.heightTwips, 7000.0);
}

void TestStartup::placementMinimisedKeepsDesign()
{
    Rig rig;
    rig.settings.values = {{QStringLiteral("wstate"), QStringLiteral("1")},
                           {QStringLiteral("wleft"), QStringLiteral("1500")},
                           {QStringLiteral("wwidth"), QStringLiteral("9000")}};
    rig.start();
    rig.scheduler.runAll();
    QCOMPARE(rig.host.placement.state, 1);
    QVERIFY(!rig.host.placement.applies());
}

void TestStartup::placementUnusableTextFallsBack()
{
    FakeSettingsStore settings;
    settings.values = {{QStringLiteral("wstate"), QStringLiteral("abc")},
                       {QStringLiteral("wleft"), QStringLiteral("12x")},
                       {QStringLiteral("wtop"), QStringLiteral("300")},
                       {QStringLiteral("wwidth"), QStringLiteral("")},
                       {QStringLiteral("wheight"), QStringLiteral("1e999")}};
    const WindowPlacement p = WindowPlacement::load(settings);
    QCOMPARE(p.state, 0);
    QCOMPARE(p.leftTwips, 0.0);
    QCOMPARE(p.topTwips, 300.0);
    QCOMPARE(p.widthTwips, 5745.0);
    QCOMPARE(p.heightTwips, 5220.0);
}

void TestStartup::stationZeroForcedActiveInMemoryOnly()
{
    Rig rig;
    ConfigRecord r = ConfigRecord::defaults();
    r.active[0] = 0;
    r.active[2] = 1;
    r.ipAddress[0] = QStringLiteral("127.0.0.2");
    rig.writeConfig(r);
    const QByteArray before = [&] {
        QFile f(ConfigFile::configPath(rig.dir.path()));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    int activeAtSockets = -1;
    rig.start();
    // The call sockets were opened while station 0 was still inactive.
    activeAtSockets = rig.journal.indexOf(QStringLiteral("host:callSockets"));
    QVERIFY(activeAtSockets >= 0);
    QCOMPARE(rig.record.active[0], qint16(0));
    rig.scheduler.runAll();
    QCOMPARE(rig.record.active[0], qint16(1));
    QCOMPARE(rig.record.active[2], qint16(1));

    QFile f(ConfigFile::configPath(rig.dir.path()));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

void TestStartup::startTwiceRunsOnce()
{
    Rig rig;
    rig.start();
    rig.startup->start();
    rig.scheduler.runAll();
    QCOMPARE(rig.engine.calls.count(QStringLiteral("init")), 1);
    QCOMPARE(rig.journal.count(QStringLiteral("host:splash")), 1);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"

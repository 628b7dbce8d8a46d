// Shutdown order, log entries and saved placement, with a scripted engine and shell.

#include "ConsoleState.h"
#include "FakeChildProcessRunner.h"
#include "FakeSettingsStore.h"
#include "FakeSipEngine.h"
#include "Logger.h"
#include "ShellRunner.h"
#include "ShutdownSequence.h"

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
        entries.append(text);
        m_journal.append(QStringLiteral("log:") + text);
    }
    QStringList entries;

private:
    QStringList& m_journal;
};

class FakeHost : public ShutdownHost
{
public:
    explicit FakeHost(QStringList& journal)
        : m_journal(journal)
    {
    }
    void stopSnapshotTimer() override { m_journal.append(QStringLiteral("host:timer1 stop")); }
    void processPendingEvents() override { m_journal.append(QStringLiteral("host:events")); }
    int windowState() const override { return state; }
    void windowFrameTwips(double* l, double* t, double* w, double* h) const override
    {
        *l = frame[0];
        *t = frame[1];
        *w = frame[2];
        *h = frame[3];
    }
    void closeOtherWindows() override { m_journal.append(QStringLiteral("host:close others")); }

    int state = 0;
    double frame[4] = {1500, 750, 9000, 7000};

private:
    QStringList& m_journal;
};

struct Rig
{
    QStringList journal;
    ConsoleState state;
    JournalLogger log{journal};
    FakeSipEngine engine;
    FakeChildProcessRunner processes;
    ShellRunner shell{log, processes};
    FakeSettingsStore settings;
    FakeHost host{journal};
    int daemonStops = 0;
    ShutdownSequence shutdown{ShutdownContext{state, log, engine, shell, settings, QStringLiteral("/opt/qz"),
                                              [this]() {
                                                  ++daemonStops;
                                                  journal.append(QStringLiteral("daemon:stop"));
                                              }},
                              host};

    Rig()
    {
        engine.journal = &journal;
        processes.journal = &journal;
        processes.script = [](const FakeChildProcessRunner::Run&) {
            ChildRunResult r;
            r.started = true;
            r.output = "bye";
            return r;
        };
    }
};

} // namespace

class TestShutdown : public QObject
{
    Q_OBJECT
private slots:
    void orderOfSteps();
    void placementNormal();
    void placementMaximised();
    void nothingSavedWhenMinimised();
    void missingShellIsLoggedAndDaemonStillStopped();
    void runsOnce();
    void wholeTwipsHaveNoSeparator();
};

void TestShutdown::orderOfSteps()
{
    Rig rig;
    rig.shutdown.Form_Unload();
    QCOMPARE(rig.state.exiting, 1);
    const QStringList expected = {
        QStringLiteral("host:timer1 stop"),
        QStringLiteral("host:events"),
        QStringLiteral("log:close"),
        QStringLiteral("engine:close"),
        QStringLiteral("run:/opt/qz/lp/linphonecsh exit"),
        QStringLiteral("log:bye"),
        QStringLiteral("daemon:stop"),
        QStringLiteral("host:close others"),
    };
    QCOMPARE(rig.journal, expected);
    QCOMPARE(rig.processes.runs.size(), 1);
    QVERIFY(rig.processes.runs.first().wantStdOut);
    QVERIFY(rig.processes.runs.first().wantStdErr);
    // "close" and the exit output are the run's last two log entries.
    QCOMPARE(rig.log.entries.mid(rig.log.entries.size() - 2), (QStringList{QStringLiteral("close"), QStringLiteral("bye")}));
}

void TestShutdown::placementNormal()
{
    Rig rig;
    rig.shutdown.Form_Unload();
    QCOMPARE(rig.settings.values.value(QStringLiteral("wstate")), QStringLiteral("0"));
    QCOMPARE(rig.settings.values.value(QStringLiteral("wleft")), QStringLiteral("1500"));
    QCOMPARE(rig.settings.values.value(QStringLiteral("wtop")), QStringLiteral("750"));
    QCOMPARE(rig.settings.values.value(QStringLiteral("wwidth")), QStringLiteral("9000"));
    QCOMPARE(rig.settings.values.value(QStringLiteral("wheight")), QStringLiteral("7000"));
}

void TestShutdown::placementMaximised()
{
    Rig rig;
    rig.host.state = 2;
    rig.host.frame[0] = -120;
    rig.host.frame[1] = -120;
    rig.host.frame[2] = 19440;
    rig.host.frame[3] = 12240;
    rig.shutdown.Form_Unload();
    QCOMPARE(rig.settings.values.value(QStringLiteral("wstate")), QStringLiteral("2"));
    QCOMPARE(rig.settings.values.value(QStringLiteral("wleft")), QStringLiteral("-120"));
    QCOMPARE(rig.settings.values.value(QStringLiteral("wwidth")), QStringLiteral("19440"));
}

void TestShutdown::nothingSavedWhenMinimised()
{
    Rig rig;
    rig.host.state = 1;
    rig.settings.values.insert(QStringLiteral("wleft"), QStringLiteral("300"));
    rig.shutdown.Form_Unload();
    QCOMPARE(rig.settings.values.size(), 1);
    QCOMPARE(rig.settings.values.value(QStringLiteral("wleft")), QStringLiteral("300"));
    QVERIFY(rig.log.entries.contains(QStringLiteral("close")));
}

void TestShutdown::missingShellIsLoggedAndDaemonStillStopped()
{
    Rig rig;
    rig.processes.script = [](const FakeChildProcessRunner::Run&) {
        ChildRunResult r;
        r.started = false;
        return r;
    };
    rig.shutdown.Form_Unload();
    QCOMPARE(rig.log.entries.last(), QStringLiteral("Failed to create process, check the path of the command line."));
    QCOMPARE(rig.daemonStops, 1);
}

void TestShutdown::runsOnce()
{
    Rig rig;
    rig.shutdown.Form_Unload();
    rig.shutdown.Form_Unload();
    QCOMPARE(rig.log.entries.count(QStringLiteral("close")), 1);
    QCOMPARE(rig.processes.runs.size(), 1);
    QVERIFY(rig.shutdown.hasRun());
}

void TestShutdown::wholeTwipsHaveNoSeparator()
{
    // Start-up reads the text back as a number: no group separators.
    QCOMPARE(ShutdownSequence::placementText(12345), QStringLiteral("12345"));
    QCOMPARE(ShutdownSequence::placementText(-45), QStringLiteral("-45"));
}

QTEST_GUILESS_MAIN(TestShutdown)
#include "test_shutdown.moc"

// Shutdown order, log entries and saved placement, with a scripted engine and shell.

#include "ConsoleState.h"
#include "FakeChildProcessRunner.h"
#include "FakeSettingsStore.h"
#include "FakeSipEngine.h"
#include "RecordingLogger.h"
#include "ShellRunner.h"
#include "ShutdownSequence.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

using Settings = QMap<QString, QString>;

class FakeHost : public ShutdownHost
{
public:
    explicit FakeHost(QStringList& journal)
        : m_journal(journal)
    {
    }
    void stopSnapshotTimer() override { m_journal.append(u"host:timer1 stop"_s); }
    void processPendingEvents() override { m_journal.append(u"host:events"_s); }
    int windowState() const override { return state; }
    void windowFrameTwips(double* l, double* t, double* w, double* h) const override
    {
        *l = frame[0];
        *t = frame[1];
        *w = frame[2];
        *h = frame[3];
    }
    void closeOtherWindows() override { m_journal.append(u"host:close others"_s); }

    int state = 0;
    QList<double> frame{1500, 750, 9000, 7000};

private:
    QStringList& m_journal;
};

struct Rig
{
    QStringList journal;
    ConsoleState state;
    RecordingLogger log;
    FakeSipEngine engine;
    FakeChildProcessRunner processes;
    ShellRunner shell{log, processes};
    FakeSettingsStore settings;
    FakeHost host{journal};
    ShutdownSequence shutdown{ShutdownContext{state, log, engine, shell, settings, u"/opt/qz"_s,
                                              [this]() { journal.append(u"daemon:stop"_s); }},
                              host};

    Rig()
    {
        log.journal = &journal;
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
    void orderOfSteps()
    {
        Rig rig;
        rig.shutdown.Form_Unload();
        QCOMPARE(rig.state.exiting, 1);
        QCOMPARE(rig.journal, (QStringList{u"host:timer1 stop"_s, u"host:events"_s, u"log:close"_s, u"engine:close"_s,
                                           u"run:/opt/qz/lp/linphonecsh exit"_s, u"log:bye"_s, u"daemon:stop"_s,
                                           u"host:close others"_s}));
        QCOMPARE(rig.processes.runs.size(), 1);
        QVERIFY(rig.processes.runs.first().wantStdOut);
        QVERIFY(rig.processes.runs.first().wantStdErr);
        // "close" and the exit output are the run's last two log entries.
        QCOMPARE(rig.log.entries, (QStringList{u"close"_s, u"bye"_s}));
    }

    void placement_data()
    {
        QTest::addColumn<int>("windowState");
        QTest::addColumn<QList<double>>("frame");
        QTest::addColumn<Settings>("saved"); // on top of wleft 300 stored before

        QTest::newRow("normal") << 0 << QList<double>{1500, 750, 9000, 7000}
                                << Settings{{u"wstate"_s, u"0"_s}, {u"wleft"_s, u"1500"_s}, {u"wtop"_s, u"750"_s},
                                            {u"wwidth"_s, u"9000"_s}, {u"wheight"_s, u"7000"_s}};
        // Whole twips without group separators: start-up reads the text back as a number.
        QTest::newRow("maximised") << 2 << QList<double>{-120, -120, 19440, 12240}
                                   << Settings{{u"wstate"_s, u"2"_s}, {u"wleft"_s, u"-120"_s}, {u"wtop"_s, u"-120"_s},
                                               {u"wwidth"_s, u"19440"_s}, {u"wheight"_s, u"12240"_s}};
        QTest::newRow("minimised: nothing written")
            << 1 << QList<double>{0, 0, 0, 0} << Settings{{u"wleft"_s, u"300"_s}};
    }

    void placement()
    {
        QFETCH(int, windowState);
        QFETCH(QList<double>, frame);
        QFETCH(Settings, saved);
        Rig rig;
        rig.host.state = windowState;
        rig.host.frame = frame;
        rig.settings.values.insert(u"wleft"_s, u"300"_s);
        rig.shutdown.Form_Unload();
        QCOMPARE(rig.settings.values, saved);
        QVERIFY(rig.log.entries.contains(u"close"_s));
        QCOMPARE(ShutdownSequence::placementText(12345), u"12345"_s);
    }

    void missingShellIsLoggedAndDaemonStillStopped()
    {
        Rig rig;
        rig.processes.script = [](const FakeChildProcessRunner::Run&) { return ChildRunResult{}; };
        rig.shutdown.Form_Unload();
        QCOMPARE(rig.log.entries.last(), u"Failed to create process, check the path of the command line."_s);
        QCOMPARE(rig.journal.count(u"daemon:stop"_s), 1);
    }

    void runsOnce()
    {
        Rig rig;
        rig.shutdown.Form_Unload();
        rig.shutdown.Form_Unload();
        QCOMPARE(rig.log.entries.count(u"close"_s), 1);
        QCOMPARE(rig.processes.runs.size(), 1);
        QVERIFY(rig.shutdown.hasRun());
    }
};

QTEST_GUILESS_MAIN(TestShutdown)
#include "test_shutdown.moc"

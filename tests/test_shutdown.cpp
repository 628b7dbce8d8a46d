// Shutdown: the order of its steps, its log entries and the saved placement,
// with a scripted engine and shell.

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

struct Rig
{
    QStringList journal;
    ConsoleState state;
    RecordingLogger log;
    FakeSipEngine engine;
    FakeChildProcessRunner processes;
    ShellRunner shell{log, processes};
    FakeSettingsStore settings;
    WindowPlacement placement;
    ShutdownSequence shutdown{ShutdownContext{
        state, log, engine, shell, settings, u"/opt/qz"_s,
        [this]() { journal.append(u"stop polling"_s); },
        [this]() { journal.append(u"events"_s); },
        [this]() { journal.append(u"daemon:stop"_s); },
        [this]() { return placement; },
        [this]() { journal.append(u"close others"_s); },
    }};

    Rig()
    {
        log.journal = engine.journal = processes.journal = &journal;
        processes.script = [](const FakeChildProcessRunner::Run&) { return ChildRunResult{true, "bye", false}; };
        settings.values.insert(u"wleft"_s, u"300"_s);
    }
};

} // namespace

class TestShutdown : public QObject
{
    Q_OBJECT
private slots:
    void stepsAndPlacement_data()
    {
        QTest::addColumn<WindowPlacement>("placement");
        QTest::addColumn<Settings>("saved");
        QTest::newRow("normal") << WindowPlacement{0, 1500, 750, 9000, 7000}
                                << Settings{{u"wstate"_s, u"0"_s}, {u"wleft"_s, u"1500"_s}, {u"wtop"_s, u"750"_s},
                                            {u"wwidth"_s, u"9000"_s}, {u"wheight"_s, u"7000"_s}};
        QTest::newRow("maximised, off the screen's edge")
            << WindowPlacement{2, -120, -120, 19440.5, 12240}
            << Settings{{u"wstate"_s, u"2"_s}, {u"wleft"_s, u"-120"_s}, {u"wtop"_s, u"-120"_s},
                        {u"wwidth"_s, u"19440.5"_s}, {u"wheight"_s, u"12240"_s}};
        // Minimised or in the tray: the placement of an earlier run stays.
        QTest::newRow("minimised") << WindowPlacement{1, 0, 0, 0, 0} << Settings{{u"wleft"_s, u"300"_s}};
    }
    void stepsAndPlacement()
    {
        Rig rig;
        QFETCH(WindowPlacement, placement);
        rig.placement = placement;
        rig.shutdown.run();
        rig.shutdown.run(); // once only
        QCOMPARE(rig.state.exiting, 1);
        QCOMPARE(rig.journal, (QStringList{u"stop polling"_s, u"events"_s, u"log:close"_s, u"engine:close"_s,
                                           u"run:/opt/qz/lp/linphonecsh exit"_s, u"log:bye"_s, u"daemon:stop"_s,
                                           u"close others"_s}));
        QVERIFY(rig.processes.runs.first().wantStdOut && rig.processes.runs.first().wantStdErr);
        QTEST(rig.settings.values, "saved");
        if (placement.applies()) // start-up reads back what shutdown wrote
            QCOMPARE(WindowPlacement::load(rig.settings, WindowPlacement::kMainWindowPrefix), placement);
    }

    void missingShellIsLoggedAndTheDaemonStillStopped()
    {
        Rig rig;
        rig.processes.script = [](const FakeChildProcessRunner::Run&) { return ChildRunResult{}; };
        rig.shutdown.run();
        QCOMPARE(rig.log.entries.last(), u"Failed to create process, check the path of the command line."_s);
        QCOMPARE(rig.journal.count(u"daemon:stop"_s), 1);
    }
};

QTEST_GUILESS_MAIN(TestShutdown)
#include "test_shutdown.moc"

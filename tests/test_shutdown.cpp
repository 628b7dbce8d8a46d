// Shutdown: the order of its steps, its log entry and the saved placement, with a scripted engine; the event loop
// goes on while the engine quits, and the end comes only once it has.

#include "ConsoleState.h"
#include "FakeSettingsStore.h"
#include "FakeSipEngine.h"
#include "RecordingLogger.h"
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
    FakeSettingsStore settings;
    WindowPlacement placement;
    int finished = 0;
    ShutdownSequence shutdown{ShutdownContext{
        state,
        log,
        engine,
        settings,
        [this]() { journal.append(u"stop polling"_s); },
        [this]() {
            journal.append(u"placement"_s);
            return placement;
        },
        [this]() { journal.append(u"close windows"_s); },
        1500,
    }};

    Rig()
    {
        log.journal = engine.journal = &journal;
        settings.values.insert(u"wleft"_s, u"300"_s);
    }
    void run() { shutdown.run([this] { ++finished; }); }
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
        rig.engine.stopsAtOnce = false;
        rig.run();
        rig.run(); // once only
        QCOMPARE(rig.state.exiting, 1);
        QCOMPARE(rig.journal, (QStringList{u"stop polling"_s, u"log:close"_s, u"placement"_s, u"close windows"_s,
                                           u"engine:stop 1500"_s}));
        QTEST(rig.settings.values, "saved");
        if (placement.applies()) // start-up reads back what shutdown wrote
            QCOMPARE(WindowPlacement::load(rig.settings, WindowPlacement::kMainWindowPrefix), placement);
        // Not finished until the engine is gone.
        QVERIFY(!rig.shutdown.isFinished() && rig.finished == 0);
        rig.engine.pendingStop();
        QVERIFY(rig.shutdown.isFinished());
        QCOMPARE(rig.finished, 1);
    }
};

QTEST_GUILESS_MAIN(TestShutdown)
#include "test_shutdown.moc"

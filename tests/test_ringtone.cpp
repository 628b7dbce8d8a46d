// The ring loop with the player and the event-loop steps faked: start, the
// restart while the call rings, no restart otherwise, and one log entry when
// the ring cannot sound.

#include "FakeRingPlayer.h"
#include "FakeScheduler.h"
#include "RecordingLogger.h"
#include "RingTone.h"

#include <QtTest>

namespace {

const QString Path = QStringLiteral("/opt/qz/ring.wav");

struct Rig
{
    int CallState = 1;
    FakeRingPlayer player;
    FakeScheduler scheduler;
    RecordingLogger logger;
    RingTone ring{player, scheduler, logger, CallState, Path};
};

} // namespace

class TestRingTone : public QObject
{
    Q_OBJECT
private slots:
    void ringPath();
    void startOpensAndPlays();
    void restartsWhileRinging();
    void noRestartOtherwise_data();
    void noRestartOtherwise();
    void missingFileLogsOnce();
    void failedPlaybackLogsOnce();
    void newRingCancelsAnOldRestart();
    void reopenFailingDuringRestart();
};

void TestRingTone::ringPath()
{
    QCOMPARE(RingTone::ringPath(QStringLiteral("/opt/qz")), Path);
}

void TestRingTone::startOpensAndPlays()
{
    Rig rig;
    QSignalSpy played(&rig.ring, &RingTone::ringPlayed);
    rig.ring.startRing();
    QCOMPARE(rig.player.commands, (QStringList{QStringLiteral("close"), QStringLiteral("open ") + Path,
                                               QStringLiteral("play")}));
    QVERIFY(rig.player.playing);
    QCOMPARE(played.count(), 1);
    QVERIFY(rig.logger.entries.isEmpty());
    QVERIFY(!rig.scheduler.hasPending());
}

void TestRingTone::restartsWhileRinging()
{
    Rig rig;
    QSignalSpy played(&rig.ring, &RingTone::ringPlayed);
    rig.ring.startRing();
    for (int round = 0; round < 3; ++round) {
        rig.player.commands.clear();
        rig.player.finish();
        // Each command after the events pending before it.
        QCOMPARE(rig.player.commands, QStringList{QStringLiteral("stop")});
        QCOMPARE(rig.scheduler.runAll(1), 1);
        QCOMPARE(rig.player.commands, (QStringList{QStringLiteral("stop"), QStringLiteral("close")}));
        QCOMPARE(rig.scheduler.runAll(1), 1);
        QCOMPARE(rig.player.commands.last(), QStringLiteral("open ") + Path);
        QCOMPARE(rig.scheduler.runAll(1), 1);
        QCOMPARE(rig.player.commands, (QStringList{QStringLiteral("stop"), QStringLiteral("close"),
                                                   QStringLiteral("open ") + Path, QStringLiteral("play")}));
        QVERIFY(!rig.scheduler.hasPending());
    }
    QCOMPARE(played.count(), 4);
    QCOMPARE(rig.scheduler.delays, (QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

void TestRingTone::noRestartOtherwise_data()
{
    QTest::addColumn<int>("state");
    QTest::newRow("idle (caller gave up)") << 0;
    QTest::newRow("outgoing") << 2;
    QTest::newRow("in call (answered)") << 3;
}

void TestRingTone::noRestartOtherwise()
{
    QFETCH(int, state);
    Rig rig;
    rig.ring.startRing();
    // Answering or the end of the call does not stop the ring: the playback under way finishes.
    rig.CallState = state;
    QVERIFY(rig.player.playing);
    rig.player.commands.clear();
    rig.player.finish();
    rig.scheduler.runAll();
    QVERIFY(rig.player.commands.isEmpty());
}

void TestRingTone::missingFileLogsOnce()
{
    Rig rig;
    rig.player.openError = Path + QStringLiteral(" is missing");
    QSignalSpy played(&rig.ring, &RingTone::ringPlayed);
    rig.ring.startRing();
    const QString entry = QStringLiteral("Ring tone silent: ") + Path + QStringLiteral(" is missing");
    QCOMPARE(rig.logger.entries, QStringList{entry});
    QCOMPARE(played.count(), 0);
    QVERIFY(!rig.player.commands.contains(QStringLiteral("play")));
    // The next call's ring says it again, once.
    rig.ring.startRing();
    QCOMPARE(rig.logger.entries.size(), 2);
}

void TestRingTone::failedPlaybackLogsOnce()
{
    Rig rig;
    rig.ring.startRing();
    rig.player.fail(QStringLiteral("playback of ring.wav did not end (no working audio output)"));
    rig.player.fail(QStringLiteral("again"));
    rig.scheduler.runAll();
    const QString entry =
        QStringLiteral("Ring tone silent: playback of ring.wav did not end (no working audio output)");
    QCOMPARE(rig.logger.entries, QStringList{entry});
    // A failure is no end of playback: nothing restarts.
    QCOMPARE(rig.player.commands.count(QStringLiteral("play")), 1);
}

void TestRingTone::newRingCancelsAnOldRestart()
{
    Rig rig;
    rig.ring.startRing();
    rig.player.finish(); // restart under way...
    rig.player.commands.clear();
    rig.ring.startRing(); // ...when the next call's ring starts
    rig.scheduler.runAll();
    QCOMPARE(rig.player.commands, (QStringList{QStringLiteral("close"), QStringLiteral("open ") + Path,
                                               QStringLiteral("play")}));
}

void TestRingTone::reopenFailingDuringRestart()
{
    Rig rig;
    rig.ring.startRing();
    rig.player.openError = QStringLiteral("ring.wav: truncated");
    rig.player.finish();
    rig.scheduler.runAll();
    QCOMPARE(rig.logger.entries, QStringList{QStringLiteral("Ring tone silent: ring.wav: truncated")});
    QCOMPARE(rig.player.commands.count(QStringLiteral("play")), 1);
}

QTEST_GUILESS_MAIN(TestRingTone)
#include "test_ringtone.moc"

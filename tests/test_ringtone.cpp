// The ring loop with the player and the event-loop steps faked: the restart while the call rings and none
// otherwise, a new ring that cancels an old restart, and one log entry per ring that cannot sound.

#include "FakeRingPlayer.h"
#include "FakeScheduler.h"
#include "RecordingLogger.h"
#include "RingTone.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QStringList Start{u"close"_s, u"open /opt/qz/ring.wav"_s, u"play"_s};

struct Rig
{
    bool ringing = true;
    FakeRingPlayer player;
    FakeScheduler scheduler;
    RecordingLogger logger;
    RingTone ring{player, scheduler, logger, [this] { return ringing; }, RingTone::ringPath(u"/opt/qz"_s)};
};

} // namespace

class TestRingTone : public QObject
{
    Q_OBJECT
private slots:
    void restartsOnlyWhileRinging()
    {
        Rig rig;
        QSignalSpy played(&rig.ring, &RingTone::ringPlayed);
        rig.ring.startRing();
        QCOMPARE(rig.player.commands, Start);
        for (int round = 0; round < 3; ++round) {
            rig.player.commands.clear();
            rig.player.finish();
            for (int step = 1; step <= 3; ++step, rig.scheduler.runAll(1)) // one command per pass of the event loop
                QCOMPARE(rig.player.commands.size(), step);
            QCOMPARE(rig.player.commands, QStringList{u"stop"_s} + Start);
        }
        QVERIFY(!rig.scheduler.hasPending() && rig.logger.entries.isEmpty() && played.count() == 4);
        QCOMPARE(rig.scheduler.delays, QList<int>(9, 0));
        // The next call's ring cancels a restart under way.
        rig.player.commands.clear();
        rig.player.finish();
        rig.ring.startRing();
        rig.scheduler.runAll();
        QCOMPARE(rig.player.commands, QStringList{u"stop"_s} + Start);
        // Stopped (the engine was lost with the call): closed at once, and the restart under way goes no further.
        rig.player.commands.clear();
        rig.player.finish();
        rig.ring.stopRing();
        rig.scheduler.runAll();
        QCOMPARE(rig.player.commands, (QStringList{u"stop"_s, u"close"_s}));
        // The call no longer rings (answered, given up): the ring is left to end.
        rig.ring.startRing();
        rig.ringing = false;
        rig.player.commands.clear();
        rig.player.finish();
        rig.scheduler.runAll();
        QVERIFY(rig.player.commands.isEmpty());
    }

    void silentRingLogsOncePerRing()
    {
        for (int how : {0, 1, 2}) { // the file cannot be opened, the playback fails, a restart's reopen fails
            Rig rig;
            for (int ring = 1; ring <= 2; ++ring) {
                rig.player.openError = how == 0 ? u"why"_s : QString();
                rig.ring.startRing();
                if (how == 1) {
                    rig.player.fail(u"why"_s);
                    rig.player.fail(u"again"_s);
                } else if (how == 2) {
                    rig.player.openError = u"why"_s;
                    rig.player.finish();
                }
                rig.scheduler.runAll();
                QCOMPARE(rig.logger.entries, QStringList(ring, u"Ring tone silent: why"_s));
                QCOMPARE(rig.player.commands.count(u"play"_s), how ? ring : 0);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestRingTone)
#include "test_ringtone.moc"

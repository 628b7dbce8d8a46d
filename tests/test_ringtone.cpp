// The ring loop with the player and the event-loop steps faked: start, the
// restart while the call rings, no restart otherwise, and one log entry when
// the ring cannot sound.

#include "FakeRingPlayer.h"
#include "FakeScheduler.h"
#include "RecordingLogger.h"
#include "RingTone.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString Path = u"/opt/qz/ring.wav"_s;

struct Rig
{
    int CallState = 1;
    FakeRingPlayer player;
    FakeScheduler scheduler;
    RecordingLogger logger;
    RingTone ring{player, scheduler, logger, CallState, RingTone::ringPath(u"/opt/qz"_s)};
};

} // namespace

class TestRingTone : public QObject
{
    Q_OBJECT
private slots:
    void startOpensAndPlays()
    {
        Rig rig;
        QSignalSpy played(&rig.ring, &RingTone::ringPlayed);
        rig.ring.startRing();
        QCOMPARE(rig.player.commands, (QStringList{u"close"_s, u"open "_s + Path, u"play"_s}));
        QVERIFY(rig.player.playing);
        QCOMPARE(played.count(), 1);
        QVERIFY(rig.logger.entries.isEmpty());
        QVERIFY(!rig.scheduler.hasPending());
    }

    void restartsWhileRinging()
    {
        Rig rig;
        QSignalSpy played(&rig.ring, &RingTone::ringPlayed);
        rig.ring.startRing();
        for (int round = 0; round < 3; ++round) {
            rig.player.commands.clear();
            rig.player.finish();
            // Each command after the events pending before it.
            QCOMPARE(rig.player.commands, QStringList{u"stop"_s});
            QCOMPARE(rig.scheduler.runAll(1), 1);
            QCOMPARE(rig.player.commands, (QStringList{u"stop"_s, u"close"_s}));
            QCOMPARE(rig.scheduler.runAll(1), 1);
            QCOMPARE(rig.player.commands.last(), u"open "_s + Path);
            QCOMPARE(rig.scheduler.runAll(1), 1);
            QCOMPARE(rig.player.commands.last(), u"play"_s);
            QVERIFY(!rig.scheduler.hasPending());
        }
        QCOMPARE(played.count(), 4);
        QCOMPARE(rig.scheduler.delays, QList<int>(9, 0));
    }

    void noRestartOtherwise_data()
    {
        QTest::addColumn<int>("state");
        QTest::newRow("idle (caller gave up)") << 0;
        QTest::newRow("outgoing") << 2;
        QTest::newRow("in call (answered)") << 3;
    }

    void noRestartOtherwise()
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

    void silentRingLogsOnce_data()
    {
        // How the ring falls silent: 0 the file cannot be opened; 1 the playback fails; 2 a restart's reopen fails.
        QTest::addColumn<int>("how");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("plays");
        QTest::newRow("missing file") << 0 << u"Ring tone silent: /opt/qz/ring.wav is missing"_s << 0;
        QTest::newRow("failed playback, no restart")
            << 1 << u"Ring tone silent: playback of ring.wav did not end (no working audio output)"_s << 1;
        QTest::newRow("reopen failing during a restart") << 2 << u"Ring tone silent: ring.wav: truncated"_s << 1;
    }

    void silentRingLogsOnce()
    {
        QFETCH(int, how);
        QFETCH(QString, entry);
        QFETCH(int, plays);
        Rig rig;
        if (how == 0)
            rig.player.openError = Path + u" is missing"_s;
        rig.ring.startRing();
        if (how == 1) {
            rig.player.fail(u"playback of ring.wav did not end (no working audio output)"_s);
            rig.player.fail(u"again"_s);
        } else if (how == 2) {
            rig.player.openError = u"ring.wav: truncated"_s;
            rig.player.finish();
        }
        rig.scheduler.runAll();
        QCOMPARE(rig.logger.entries, QStringList{entry});
        QCOMPARE(rig.player.commands.count(u"play"_s), plays);
        if (how == 0) {
            // The next call's ring says it again, once.
            rig.ring.startRing();
            QCOMPARE(rig.logger.entries.size(), 2);
        }
    }

    void newRingCancelsAnOldRestart()
    {
        Rig rig;
        rig.ring.startRing();
        rig.player.finish(); // restart under way...
        rig.player.commands.clear();
        rig.ring.startRing(); // ...when the next call's ring starts
        rig.scheduler.runAll();
        QCOMPARE(rig.player.commands, (QStringList{u"close"_s, u"open "_s + Path, u"play"_s}));
    }
};

QTEST_GUILESS_MAIN(TestRingTone)
#include "test_ringtone.moc"

// The QSoundEffect ring player on a real audio path: a PulseAudio null sink this test starts, in a runtime
// folder of its own, stopped by PID when the test ends. With QZ_NO_SOUND_SERVER set (ctest's
// test_ringplayer_nodevice) no server is started and the machine has no audio output.

#include "RecordingLogger.h"
#include "RingTone.h"
#include "Scheduler.h"
#include "SoundEffectRingPlayer.h"
#include "support/FileBytes.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

namespace {

struct Ring
{
    explicit Ring(const QString& path) : ring(player, scheduler, logger, [this] { return ringing; }, path) {}
    bool ringing = true;
    SoundEffectRingPlayer player;
    QtScheduler scheduler;
    RecordingLogger logger;
    RingTone ring;
};

} // namespace

class TestRingPlayer : public QObject
{
    Q_OBJECT
public:
    ~TestRingPlayer() override { m_pulse.kill(); m_pulse.waitForFinished(3000); }

private slots:
    void initTestCase()
    {
        // All before anything talks to the sound server: its address leads into the runtime folder, and no client
        // may start a server of its own.
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(FileBytes::writeAll(m_dir.filePath(u"client.conf"_s), "autospawn = no\n"));
        QVERIFY(FileBytes::writeAll(m_ring, FileBytes::silenceWave(300)));
        qputenv("XDG_RUNTIME_DIR", m_dir.path().toLocal8Bit());
        qputenv("PULSE_CLIENTCONFIG", m_dir.filePath(u"client.conf"_s).toLocal8Bit());
        qputenv("PULSE_SERVER", "unix:" + m_socket.toLocal8Bit());
        if (qEnvironmentVariableIsSet("QZ_NO_SOUND_SERVER"))
            return;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, m_dir.path());
        env.remove(u"PULSE_SERVER"_s);
        m_pulse.setProcessEnvironment(env);
        m_pulse.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); }); // ends with a crashed test too
        m_pulse.setStandardOutputFile(QProcess::nullDevice());
        m_pulse.setStandardErrorFile(QProcess::nullDevice());
        m_pulse.start(u"pulseaudio"_s, {u"--daemonize=no"_s, u"--exit-idle-time=-1"_s, u"-n"_s, u"--use-pid-file=no"_s,
                                u"--load=module-native-protocol-unix auth-anonymous=1"_s,
                                u"--load=module-null-sink sink_name=nullsink"_s, u"--load=module-always-sink"_s});
        if (!m_pulse.waitForStarted(5000))
            QSKIP("pulseaudio is not installed");
        // The first look at the devices holds for the process's life: not before the server listens.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_socket), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!QMediaDevices::audioOutputs().isEmpty(), 10000);
    }

    void init()
    {
        const bool withoutOutput = qstrcmp(QTest::currentTestFunction(), "silentWithoutOutput") == 0;
        if (qEnvironmentVariableIsSet("QZ_NO_SOUND_SERVER") != withoutOutput)
            QSKIP("runs only with a sound server, or only without one (test_ringplayer_nodevice)");
    }

    void ringRestartsWhileTheCallRings()
    {
        Ring r(m_ring);
        QSignalSpy finished(&r.player, &RingPlayer::playbackFinished);
        QSignalSpy played(&r.ring, &RingTone::ringPlayed);
        QElapsedTimer clock;
        clock.start();
        r.ring.startRing();
        QTRY_VERIFY_WITH_TIMEOUT(played.count() >= 3, 10000); // started, then played again after each end
        // The sink is paced: two rings of 300 ms cannot have ended at once unless nothing played.
        QVERIFY2(clock.elapsed() >= 500, qPrintable(QString::number(clock.elapsed())));
        // The call is answered: the playback under way finishes and is not played again.
        r.ringing = false;
        const qsizetype playedBefore = played.count(), finishedBefore = finished.count();
        QTRY_VERIFY_WITH_TIMEOUT(finished.count() > finishedBefore, 5000);
        QTest::qWait(200);
        QVERIFY(played.count() == playedBefore && !r.player.isPlaying() && r.logger.entries.isEmpty());
    }

    void stopAndWatchdog()
    {
        // A margin that ends the watch before the file does stands in for an output that never finishes.
        SoundEffectRingPlayer player(SoundEffectRingPlayer::Options{3000, -150, {}});
        QSignalSpy finished(&player, &RingPlayer::playbackFinished);
        QSignalSpy failed(&player, &RingPlayer::playbackFailed);
        QVERIFY(player.open(m_ring, nullptr));
        player.play();
        QTest::qWait(50);
        player.stop(); // no signal follows, and the watch ends too
        QTest::qWait(500);
        QVERIFY(finished.isEmpty() && failed.isEmpty() && !player.isPlaying());
        player.play();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 3000);
        QVERIFY(failed.first().first().toString().contains("did not end"_L1));
        QTest::qWait(500);
        QVERIFY(finished.isEmpty() && failed.count() == 1); // the playback was stopped
    }

    void silentWithoutOutput()
    {
        QVERIFY(QMediaDevices::audioOutputs().isEmpty());
        Ring r(m_ring);
        r.ring.startRing();
        r.ring.startRing(); // the next call
        QTest::qWait(200);
        QCOMPARE(r.logger.entries, QStringList(2, u"Ring tone silent: no audio output device"_s));
    }

private:
    QProcess m_pulse;
    QTemporaryDir m_dir;
    const QString m_socket = m_dir.filePath(u"pulse/native"_s);
    const QString m_ring = m_dir.filePath(u"ring.wav"_s);
};

QTEST_MAIN(TestRingPlayer)
#include "test_ringplayer.moc"

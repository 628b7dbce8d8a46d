// The QSoundEffect ring player on a real audio path: a PulseAudio null sink
// started by this test (its own runtime folder and home, killed by PID when
// the test ends, also on failure). Skipped when pulseaudio is missing.
// Covers the end of playback, stop, the watchdog, files that cannot ring,
// the ring loop restarting while the call rings, and the call handling with
// the ring file missing.

#include "CallStatusMonitor.h"
#include "ConfigRecord.h"
#include "FakeCallView.h"
#include "FakeSipEngine.h"
#include "IncomingCallAlert.h"
#include "RecordingLogger.h"
#include "RingPopup.h"
#include "RingTone.h"
#include "Scheduler.h"
#include "SoundEffectRingPlayer.h"
#include "support/WaveBytes.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;
using WaveBytes::toneWave;

namespace {

const QString ShippedRing = QStringLiteral(QZ_PROGRAM_DIR "/ring.wav");

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

/// pulseaudio with a paced null sink, for this process only; killed by PID with the test.
struct PulseServer
{
    QTemporaryDir runtime;
    QTemporaryDir home;
    QProcess process;

    ~PulseServer()
    {
        process.kill();
        process.waitForFinished(3000);
    }

    /// Empty when it started, else why not.
    QString start()
    {
        const QString program = QStandardPaths::findExecutable(u"pulseaudio"_s);
        if (program.isEmpty())
            return u"pulseaudio is not installed"_s;
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // No client may start a server of its own behind the test's back; all of this before
        // anything in this process talks to the sound server.
        const QString clientConf = home.filePath(u"client.conf"_s);
        writeFile(clientConf, "autospawn = no\n");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        qputenv("PULSE_CLIENTCONFIG", clientConf.toLocal8Bit());
        qputenv("PULSE_SERVER", (u"unix:"_s + runtime.filePath(u"pulse/native"_s)).toLocal8Bit());

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, home.path());
        env.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
        env.remove(u"PULSE_SERVER"_s);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, {u"--daemonize=no"_s, u"--exit-idle-time=-1"_s, u"-n"_s, u"--use-pid-file=no"_s,
                                u"--load=module-native-protocol-unix auth-anonymous=1"_s,
                                u"--load=module-null-sink sink_name=nullsink"_s, u"--load=module-always-sink"_s});
        return process.waitForStarted(5000) ? QString() : u"pulseaudio did not start"_s;
    }
};

} // namespace

class TestRingPlayer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (const QString problem = m_pulse.start(); !problem.isEmpty())
            QSKIP(qPrintable(problem));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_pulse.runtime.filePath(u"pulse/native"_s)), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!QMediaDevices::audioOutputs().isEmpty(), 10000);
    }

    void shippedRingPlaysToItsEnd()
    {
        if (!QFile::exists(ShippedRing))
            QSKIP("ring.wav was not made (sox missing at build time)");
        SoundEffectRingPlayer player;
        QSignalSpy finished(&player, &RingPlayer::playbackFinished);
        QSignalSpy failed(&player, &RingPlayer::playbackFailed);
        QString error;
        QVERIFY2(player.open(ShippedRing, &error), qPrintable(error));
        QElapsedTimer clock;
        clock.start();
        player.play();
        QVERIFY(player.isPlaying());
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 8000);
        // The sink is paced: a 2 s ring cannot end at once unless nothing played.
        QVERIFY2(clock.elapsed() >= 1500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(failed.count(), 0);
        QVERIFY(!player.isPlaying());
    }

    void stopSendsNoFinish()
    {
        const QString path = m_files.filePath(u"short.wav"_s);
        QVERIFY(writeFile(path, toneWave(300)));
        SoundEffectRingPlayer player;
        QSignalSpy finished(&player, &RingPlayer::playbackFinished);
        QSignalSpy failed(&player, &RingPlayer::playbackFailed);
        QVERIFY(player.open(path, nullptr));
        player.play();
        QTest::qWait(50);
        player.stop();
        QVERIFY(!player.isPlaying());
        // Played again, the one end that comes is the second playback's.
        player.play();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 5000);
        QTest::qWait(400);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(failed.count(), 0);
    }

    void watchdogEndsAPlaybackThatDoesNotEnd()
    {
        // A margin that ends the watch before the file does stands in for an output that never finishes.
        if (!QFile::exists(ShippedRing))
            QSKIP("ring.wav was not made (sox missing at build time)");
        SoundEffectRingPlayer::Options options;
        options.endMarginMs = -1800;
        SoundEffectRingPlayer player(options);
        QSignalSpy finished(&player, &RingPlayer::playbackFinished);
        QSignalSpy failed(&player, &RingPlayer::playbackFailed);
        QVERIFY(player.open(ShippedRing, nullptr));
        player.play();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 3000);
        QVERIFY(failed.first().first().toString().contains(QLatin1String("did not end")));
        QTest::qWait(2500);
        QCOMPARE(finished.count(), 0); // the playback was stopped
        QCOMPARE(failed.count(), 1);
    }

    void filesThatCannotRing_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // empty: no file at all
        QTest::addColumn<QString>("reason");

        const QByteArray good = toneWave(500);
        QTest::newRow("missing") << QByteArray() << u"is missing"_s;
        QTest::newRow("truncated") << good.left(good.size() / 2) << u"truncated"_s;
        QTest::newRow("not a wave") << QByteArray("ID3\x03\0\0\0\0\0\0 mp3 data", 20) << u"not a RIFF/WAVE"_s;
        QByteArray adpcm = good;
        adpcm[20] = 2; // format tag
        QTest::newRow("ADPCM") << adpcm << u"unsupported sample format"_s;
    }

    void filesThatCannotRing()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        const QString path = m_files.filePath(u"bad-%1.wav"_s.arg(tag));
        if (!bytes.isEmpty())
            QVERIFY(writeFile(path, bytes));

        SoundEffectRingPlayer player;
        QSignalSpy finished(&player, &RingPlayer::playbackFinished);
        QSignalSpy failed(&player, &RingPlayer::playbackFailed);
        QString error;
        QVERIFY(!player.open(path, &error));
        QVERIFY2(error.contains(reason) && error.contains(path), qPrintable(error));
        QVERIFY(!player.isOpen());
        // A play regardless fails once, later, and nothing else happens.
        player.play();
        QCOMPARE(failed.count(), 0);
        QTRY_COMPARE(failed.count(), 1);
        QTest::qWait(100);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(finished.count(), 0);
    }

    void noAudioOutput()
    {
        const QString path = m_files.filePath(u"tone.wav"_s);
        QVERIFY(writeFile(path, toneWave(200)));
        SoundEffectRingPlayer::Options options;
        options.hasAudioOutput = [] { return false; };
        SoundEffectRingPlayer player(options);
        QString error;
        QVERIFY(!player.open(path, &error));
        QCOMPARE(error, u"no audio output device"_s);
    }

    void ringRestartsWhileTheCallRings()
    {
        const QString path = m_files.filePath(u"ring-short.wav"_s);
        QVERIFY(writeFile(path, toneWave(300)));
        int callState = 1;
        SoundEffectRingPlayer player;
        QtScheduler scheduler;
        RecordingLogger logger;
        RingTone ring(player, scheduler, logger, callState, path);
        QSignalSpy finished(&player, &RingPlayer::playbackFinished);
        QSignalSpy played(&ring, &RingTone::ringPlayed);

        ring.startRing();
        QTRY_VERIFY_WITH_TIMEOUT(played.count() >= 3, 10000); // started, then played again after each end
        QVERIFY(finished.count() >= 2);

        // The call is answered: the playback under way finishes and is not played again.
        callState = 3;
        const int playedBefore = int(played.count());
        const int finishedBefore = int(finished.count());
        QTRY_VERIFY_WITH_TIMEOUT(finished.count() > finishedBefore, 5000);
        QTest::qWait(200);
        QCOMPARE(played.count(), playedBefore);
        QVERIFY(!player.isPlaying());
        QVERIFY(logger.entries.isEmpty());
    }

    void missingRingLeavesTheCallHandlingWorking()
    {
        ConfigRecord record;
        record.active[3] = 1;
        record.extension[3] = u"101"_s;
        int callState = 0;
        int callStation = 0;
        FakeSipEngine engine;
        FakeCallView view;
        SoundEffectRingPlayer player;
        QtScheduler scheduler;
        RecordingLogger logger;
        const QString missing = m_files.filePath(u"no-such-ring.wav"_s);
        RingTone ring(player, scheduler, logger, callState, missing);
        IncomingCallAlert alert(engine, view, ring);
        CallStatusMonitor monitor(engine, record, callState, callStation, view, alert);

        engine.statusReply = u"Incoming call from <sip:101@127.0.0.3>"_s;
        monitor.Timer2Tick();
        QCOMPARE(callState, 1);
        QCOMPARE(callStation, 3);
        QVERIFY(alert.popup() && alert.popup()->isVisible());
        const QString entry = u"Ring tone silent: "_s + missing + u" is missing"_s;
        QCOMPARE(logger.entries, QStringList{entry});

        for (int i = 0; i < 3; ++i)
            monitor.Timer2Tick();
        QTest::qWait(100);
        QCOMPARE(logger.entries.size(), 1); // one line for the call, not one per tick

        engine.statusReply = u"hook=answered duration=1 <sip:101@127.0.0.3>"_s;
        monitor.Timer2Tick();
        QCOMPARE(callState, 3);
        QVERIFY(view.muteVisible);
        engine.statusReply = u"hook=offhook"_s;
        monitor.Timer2Tick();
        QCOMPARE(callState, 0);
        QVERIFY(!alert.popup());
        QCOMPARE(view.tel[3], u"tel_n"_s);
        QCOMPARE(logger.entries.size(), 1);
    }

private:
    PulseServer m_pulse;
    QTemporaryDir m_files;
};

QTEST_MAIN(TestRingPlayer)
#include "test_ringplayer.moc"

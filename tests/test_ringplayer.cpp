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

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

const QString ShippedRing = QStringLiteral(QZ_PROGRAM_DIR "/ring.wav");

/// 16-bit mono 44.1 kHz sine of durationMs.
QByteArray toneWave(int durationMs)
{
    const int frames = 44100 * durationMs / 1000;
    QByteArray data(frames * 2, '\0');
    for (int i = 0; i < frames; ++i)
        qToLittleEndian<qint16>(qint16(8000 * std::sin(2 * M_PI * 440 * i / 44100.0)), data.data() + 2 * i);
    auto le32 = [](quint32 v) {
        QByteArray b(4, '\0');
        qToLittleEndian(v, b.data());
        return b;
    };
    auto le16 = [](quint16 v) {
        QByteArray b(2, '\0');
        qToLittleEndian(v, b.data());
        return b;
    };
    QByteArray fmt = le16(1) + le16(1) + le32(44100) + le32(88200) + le16(2) + le16(16);
    QByteArray body = "WAVE" + QByteArray("fmt ") + le32(quint32(fmt.size())) + fmt + QByteArray("data")
                      + le32(quint32(data.size())) + data;
    return "RIFF" + le32(quint32(body.size())) + body;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

/// pulseaudio with a paced null sink, for this process only.
struct PulseServer
{
    QTemporaryDir runtime;
    QTemporaryDir home;
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    QString problem;

    ~PulseServer() { stop(); }

    bool start()
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (program.isEmpty()) {
            problem = QStringLiteral("pulseaudio is not installed");
            return false;
        }
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString clientConf = home.filePath(QStringLiteral("client.conf"));
        // No client may start a server of its own behind the test's back.
        writeFile(clientConf, "autospawn = no\n");
        // Before anything in this process talks to the sound server.
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        qputenv("PULSE_CLIENTCONFIG", clientConf.toLocal8Bit());
        const QString server = QStringLiteral("unix:") + runtime.filePath(QStringLiteral("pulse/native"));
        qputenv("PULSE_SERVER", server.toLocal8Bit());

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.remove(QStringLiteral("PULSE_SERVER"));
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(program, {QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                                 QStringLiteral("-n"), QStringLiteral("--use-pid-file=no"),
                                 QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1"),
                                 QStringLiteral("--load=module-null-sink sink_name=nullsink"),
                                 QStringLiteral("--load=module-always-sink")});
        if (!process->waitForStarted(5000)) {
            problem = QStringLiteral("pulseaudio did not start");
            return false;
        }
        return true;
    }

    bool socketReady() const { return QFile::exists(runtime.filePath(QStringLiteral("pulse/native"))); }

    void stop()
    {
        if (process->state() == QProcess::NotRunning)
            return;
        process->terminate();
        if (!process->waitForFinished(3000)) {
            process->kill();
            process->waitForFinished(3000);
        }
    }
};

} // namespace

class TestRingPlayer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void shippedRingPlaysToItsEnd();
    void stopSendsNoFinish();
    void watchdogEndsAPlaybackThatDoesNotEnd();
    void filesThatCannotRing_data();
    void filesThatCannotRing();
    void noAudioOutput();
    void ringRestartsWhileTheCallRings();
    void missingRingLeavesTheCallHandlingWorking();
    void cleanupTestCase();

private:
    PulseServer m_pulse;
    QTemporaryDir m_files;
};

void TestRingPlayer::initTestCase()
{
    if (!m_pulse.start())
        QSKIP(qPrintable(m_pulse.problem));
    QTRY_VERIFY_WITH_TIMEOUT(m_pulse.socketReady(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!QMediaDevices::audioOutputs().isEmpty(), 10000);
    QVERIFY(m_files.isValid());
}

void TestRingPlayer::cleanupTestCase()
{
    m_pulse.stop();
}

void TestRingPlayer::shippedRingPlaysToItsEnd()
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

void TestRingPlayer::stopSendsNoFinish()
{
    const QString path = m_files.filePath(QStringLiteral("short.wav"));
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

void TestRingPlayer::watchdogEndsAPlaybackThatDoesNotEnd()
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

void TestRingPlayer::filesThatCannotRing_data()
{
    QTest::addColumn<QByteArray>("bytes"); // empty: no file at all
    QTest::addColumn<QString>("reason");

    const QByteArray good = toneWave(500);
    QTest::newRow("missing") << QByteArray() << QStringLiteral("is missing");
    QTest::newRow("truncated") << good.left(good.size() / 2) << QStringLiteral("truncated");
    QTest::newRow("not a wave") << QByteArray("ID3\x03\0\0\0\0\0\0 mp3 data", 20) << QStringLiteral("not a RIFF/WAVE");
    QByteArray adpcm = good;
    adpcm[20] = 2; // format tag
    QTest::newRow("ADPCM") << adpcm << QStringLiteral("unsupported sample format");
}

void TestRingPlayer::filesThatCannotRing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    const QString path = m_files.filePath(QStringLiteral("bad-%1.wav").arg(tag));
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

void TestRingPlayer::noAudioOutput()
{
    const QString path = m_files.filePath(QStringLiteral("tone.wav"));
    QVERIFY(writeFile(path, toneWave(200)));
    SoundEffectRingPlayer::Options options;
    options.hasAudioOutput = [] { return false; };
    SoundEffectRingPlayer player(options);
    QString error;
    QVERIFY(!player.open(path, &error));
    QCOMPARE(error, QStringLiteral("no audio output device"));
}

void TestRingPlayer::ringRestartsWhileTheCallRings()
{
    const QString path = m_files.filePath(QStringLiteral("ring-short.wav"));
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

void TestRingPlayer::missingRingLeavesTheCallHandlingWorking()
{
    ConfigRecord record;
    record.active[3] = 1;
    record.extension[3] = QStringLiteral("101");
    int callState = 0;
    int callStation = 0;
    FakeSipEngine engine;
    FakeCallView view;
    SoundEffectRingPlayer player;
    QtScheduler scheduler;
    RecordingLogger logger;
    const QString missing = m_files.filePath(QStringLiteral("no-such-ring.wav"));
    RingTone ring(player, scheduler, logger, callState, missing);
    IncomingCallAlert alert(engine, view, ring);
    CallStatusMonitor monitor(engine, record, callState, callStation, view, alert);

    engine.statusReply = QStringLiteral("Incoming call from <sip:101@127.0.0.3>");
    monitor.Timer2Tick();
    QCOMPARE(callState, 1);
    QCOMPARE(callStation, 3);
    QVERIFY(alert.popup() && alert.popup()->isVisible());
    const QString entry = QStringLiteral("Ring tone silent: ") + missing + QStringLiteral(" is missing");
    QCOMPARE(logger.entries, QStringList{entry});

    for (int i = 0; i < 3; ++i)
        monitor.Timer2Tick();
    QTest::qWait(100);
    QCOMPARE(logger.entries.size(), 1); // one line for the call, not one per tick

    engine.statusReply = QStringLiteral("hook=answered duration=1 <sip:101@127.0.0.3>");
    monitor.Timer2Tick();
    QCOMPARE(callState, 3);
    QVERIFY(view.muteVisible);
    engine.statusReply = QStringLiteral("hook=offhook");
    monitor.Timer2Tick();
    QCOMPARE(callState, 0);
    QVERIFY(!alert.popup());
    QCOMPARE(view.tel[3], QStringLiteral("tel_n"));
    QCOMPARE(logger.entries.size(), 1);
}

QTEST_MAIN(TestRingPlayer)
#include "test_ringplayer.moc"

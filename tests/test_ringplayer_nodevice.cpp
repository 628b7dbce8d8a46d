// The ring player on a machine without any audio output: the sound server
// this process is pointed at does not exist (and may not be started for it),
// so the player refuses to open, the ring is silent with one log line, and
// nothing waits on a playback that would never end.

#include "RecordingLogger.h"
#include "RingTone.h"
#include "Scheduler.h"
#include "SoundEffectRingPlayer.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QTemporaryDir>
#include <QtTest>

class TestRingPlayerNoDevice : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!QMediaDevices::audioOutputs().isEmpty())
            QSKIP("this machine still lists an audio output");
        if (!QFile::exists(QStringLiteral(QZ_PROGRAM_DIR "/ring.wav")))
            QSKIP("ring.wav was not made (sox missing at build time)");
    }

    void openSaysWhyAndRingIsSilent()
    {
        SoundEffectRingPlayer player;
        QString error;
        QVERIFY(!player.open(QStringLiteral(QZ_PROGRAM_DIR "/ring.wav"), &error));
        QCOMPARE(error, QStringLiteral("no audio output device"));
        QVERIFY(!player.isOpen());

        int callState = 1;
        QtScheduler scheduler;
        RecordingLogger logger;
        RingTone ring(player, scheduler, logger, callState, QStringLiteral(QZ_PROGRAM_DIR "/ring.wav"));
        QSignalSpy played(&ring, &RingTone::ringPlayed);
        ring.startRing();
        QTest::qWait(200);
        QCOMPARE(logger.entries, QStringList{QStringLiteral("Ring tone silent: no audio output device")});
        QCOMPARE(played.count(), 0);
    }
};

int main(int argc, char** argv)
{
    // A private runtime folder and a server address where nothing listens, before Qt Multimedia starts.
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString clientConf = runtime.filePath(QStringLiteral("client.conf"));
    QFile conf(clientConf);
    if (conf.open(QIODevice::WriteOnly))
        conf.write("autospawn = no\n");
    conf.close();
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("PULSE_CLIENTCONFIG", clientConf.toLocal8Bit());
    qputenv("PULSE_SERVER", (QStringLiteral("unix:") + runtime.filePath(QStringLiteral("nothing-here"))).toLocal8Bit());
    QGuiApplication app(argc, argv);
    TestRingPlayerNoDevice test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_ringplayer_nodevice.moc"

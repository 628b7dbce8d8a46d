// The ring file check: wave images good and bad, every cut of a file, and the ring.wav the build makes.

#include "WaveFile.h"
#include "support/FileBytes.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using namespace FileBytes;

class TestWaveFile : public QObject
{
    Q_OBJECT
private slots:
    void inspect_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("result"); // the duration in ms, or part of the error text
        const QByteArray second = QByteArray(88200, '\1'); // 1 s of 16-bit mono at 44.1 kHz
        const QByteArray pcm = fmt(1, 1, 44100, 16);
        const auto wave = [&](int tag, int channels, int bits) {
            return riff(fmt(tag, channels, 44100, bits) + chunk("data", second));
        };
        QTest::newRow("16-bit mono") << wave(1, 1, 16) << u"1000"_s;
        QTest::newRow("float stereo") << wave(3, 2, 32) << u"250"_s;
        QTest::newRow("odd LIST chunk") << riff(pcm + chunk("LIST", "odd") + chunk("data", second)) << u"1000"_s;
        QTest::newRow("long fmt chunk") << riff(chunk("fmt ", pcm.mid(8) + "xx") + chunk("data", second)) << u"1000"_s;
        QTest::newRow("RIFX") << "RIFX" + wave(1, 1, 16).mid(4) << u"not a RIFF/WAVE"_s;
        QTest::newRow("data before fmt") << riff(chunk("data", second) + pcm) << u"before the format chunk"_s;
        QTest::newRow("empty data") << riff(pcm + chunk("data", {})) << u"no sound data"_s;
        QTest::newRow("ADPCM") << wave(2, 1, 4) << u"unsupported sample format"_s;
        QTest::newRow("12-bit PCM") << wave(1, 1, 12) << u"unsupported sample format"_s;
        QTest::newRow("no channels") << wave(1, 0, 16) << u"implausible format"_s;
        const QByteArray good = silenceWave(1);
        for (int length = 0; length < good.size(); ++length) // every cut of a file fails
            QTest::addRow("cut at %d", length) << good.left(length) << QString();
    }

    void inspect()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, result);
        WaveInfo info;
        QString error;
        const bool ok = WaveFile::inspect(bytes, &info, &error);
        QVERIFY2(ok ? QString::number(info.durationMs) == result : !error.isEmpty() && error.contains(result),
                 qPrintable(error));
    }

    void files()
    {
        QTemporaryDir dir;
        QString error;
        QVERIFY(!WaveFile::inspectFile(dir.filePath(u"ring.wav"_s), nullptr, &error));
        QCOMPARE(error, dir.filePath(u"ring.wav is missing"_s));
        // The ring the build makes (with sox): 2 s of 16-bit mono PCM at 44.1 kHz.
        if (!QFile::exists(QStringLiteral(QZ_PROGRAM_DIR "/ring.wav")))
            QSKIP("ring.wav was not made (sox missing at build time)");
        WaveInfo i;
        QVERIFY2(WaveFile::inspectFile(QStringLiteral(QZ_PROGRAM_DIR "/ring.wav"), &i, &error), qPrintable(error));
        QCOMPARE((QList<qint64>{i.formatTag, i.channels, i.sampleRate, i.bitsPerSample, i.durationMs}),
                 (QList<qint64>{1, 1, 44100, 16, 2000}));
    }
};

QTEST_APPLESS_MAIN(TestWaveFile)
#include "test_wavefile.moc"

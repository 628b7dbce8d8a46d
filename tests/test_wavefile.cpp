// The ring file check: byte vectors of good and bad wave files, and the
// ring.wav the build makes.

#include "WaveFile.h"
#include "support/WaveBytes.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using namespace WaveBytes;

class TestWaveFile : public QObject
{
    Q_OBJECT
private slots:
    void inspect_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("durationMs");
        QTest::addColumn<QString>("reason"); // part of the error text

        const QByteArray second16 = QByteArray(88200, '\x01'); // 1 s of 16-bit mono at 44.1 kHz
        QTest::newRow("16-bit mono 44.1 kHz, 1 s")
            << riff(fmt(1, 1, 44100, 16) + chunk("data", second16)) << true << qint64(1000) << QString();
        QTest::newRow("8-bit mono 8 kHz, 2 s") << riff(fmt(1, 1, 8000, 8) + chunk("data", QByteArray(16000, '\x80')))
                                               << true << qint64(2000) << QString();
        QTest::newRow("32-bit float") << riff(fmt(3, 1, 44100, 32) + chunk("data", QByteArray(176400, '\0'))) << true
                                      << qint64(1000) << QString();
        QTest::newRow("a LIST chunk of odd size before the data")
            << riff(fmt(1, 1, 44100, 16) + chunk("LIST", QByteArray(7, 'x')) + chunk("data", second16)) << true
            << qint64(1000) << QString();
        QTest::newRow("a longer fmt chunk (extra bytes)")
            << riff(chunk("fmt ", fmt(1, 1, 44100, 16).mid(8) + le16(0)) + chunk("data", second16)) << true
            << qint64(1000) << QString();

        QTest::newRow("data cut short (truncated file)")
            << riff(fmt(1, 1, 44100, 16) + chunk("data", second16.left(1000), 88200)) << false << qint64(0)
            << u"truncated"_s;
        QTest::newRow("no RIFF") << QByteArray("RIFX\x10\0\0\0WAVE", 12) + fmt(1, 1, 44100, 16) << false << qint64(0)
                                 << u"not a RIFF/WAVE"_s;
        QTest::newRow("empty") << QByteArray() << false << qint64(0) << u"not a RIFF/WAVE"_s;
        QTest::newRow("no fmt chunk") << riff(chunk("data", second16)) << false << qint64(0)
                                      << u"before the format chunk"_s;
        QTest::newRow("no fmt chunk at all") << riff(chunk("LIST", QByteArray(8, 'x'))) << false << qint64(0)
                                             << u"no format chunk"_s;
        QTest::newRow("no data chunk") << riff(fmt(1, 1, 44100, 16)) << false << qint64(0)
                                       << u"no data chunk"_s;
        QTest::newRow("empty data chunk") << riff(fmt(1, 1, 44100, 16) + chunk("data", {})) << false << qint64(0)
                                          << u"no sound data"_s;
        QTest::newRow("fmt chunk cut short") << riff(QByteArray("fmt ", 4) + le32(16) + le16(1)) << false << qint64(0)
                                             << u"format chunk is cut short"_s;
        QTest::newRow("ADPCM") << riff(fmt(2, 1, 44100, 4) + chunk("data", second16)) << false << qint64(0)
                               << u"unsupported sample format"_s;
        QTest::newRow("12-bit PCM") << riff(fmt(1, 1, 44100, 12) + chunk("data", second16)) << false << qint64(0)
                                    << u"unsupported sample format"_s;
        QTest::newRow("no channels") << riff(fmt(1, 0, 44100, 16) + chunk("data", second16)) << false << qint64(0)
                                     << u"implausible format"_s;
    }

    void inspect()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, ok);
        QFETCH(qint64, durationMs);
        QFETCH(QString, reason);
        WaveInfo info;
        QString error;
        QCOMPARE(WaveFile::inspect(bytes, &info, &error), ok);
        if (ok) {
            QVERIFY(error.isEmpty());
            QCOMPARE(info.durationMs, durationMs);
        } else {
            QVERIFY2(error.contains(reason), qPrintable(error));
        }
    }

    void missingFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"ring.wav"_s);
        QString error;
        QVERIFY(!WaveFile::inspectFile(path, nullptr, &error));
        QVERIFY2(error.contains(path) && error.contains(QLatin1String("missing")), qPrintable(error));

        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(riff(fmt(1, 1, 44100, 16))) > 0);
        f.close();
        QVERIFY(!WaveFile::inspectFile(path, nullptr, &error));
        QVERIFY2(error.startsWith(path) && error.contains(QLatin1String("no data chunk")), qPrintable(error));
    }

    void shippedRing()
    {
        const QString path = QStringLiteral(QZ_PROGRAM_DIR "/ring.wav");
        if (!QFile::exists(path))
            QSKIP("ring.wav was not made (sox missing at build time)");
        WaveInfo info;
        QString error;
        QVERIFY2(WaveFile::inspectFile(path, &info, &error), qPrintable(error));
        QCOMPARE(info.formatTag, 1);
        QCOMPARE(info.bitsPerSample, 16);
        QCOMPARE(info.channels, 1);
        QCOMPARE(info.sampleRate, 44100);
        QCOMPARE(info.durationMs, qint64(2000));
    }
};

QTEST_APPLESS_MAIN(TestWaveFile)
#include "test_wavefile.moc"

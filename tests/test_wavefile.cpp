// The ring file check: byte vectors of good and bad wave files, and the
// ring.wav the build makes.

#include "WaveFile.h"

#include <QtTest>

namespace {

QByteArray le16(int v)
{
    QByteArray b;
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
    return b;
}

QByteArray le32(qint64 v)
{
    return le16(int(v & 0xFFFF)) + le16(int((v >> 16) & 0xFFFF));
}

QByteArray chunk(const char* id, const QByteArray& body, qint64 declared = -1)
{
    QByteArray c = QByteArray(id, 4) + le32(declared < 0 ? body.size() : declared) + body;
    if (body.size() & 1)
        c.append('\0');
    return c;
}

QByteArray fmt(int tag, int channels, int rate, int bits)
{
    const int block = channels * bits / 8;
    return chunk("fmt ", le16(tag) + le16(channels) + le32(rate) + le32(qint64(rate) * block) + le16(block)
                             + le16(bits));
}

QByteArray riff(const QByteArray& chunks)
{
    return "RIFF" + le32(4 + chunks.size()) + "WAVE" + chunks;
}

} // namespace

class TestWaveFile : public QObject
{
    Q_OBJECT
private slots:
    void inspect_data();
    void inspect();
    void missingFile();
    void shippedRing();
};

void TestWaveFile::inspect_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint64>("durationMs");
    QTest::addColumn<QString>("reason"); // part of the error text

    const QByteArray second16 = QByteArray(88200, '\x01'); // 1 s of 16-bit mono at 44.1 kHz
    QTest::newRow("16-bit mono 44.1 kHz, 1 s")
        << riff(fmt(1, 1, 44100, 16) + chunk("data", second16)) << true << qint64(1000) << QString();
    QTest::newRow("16-bit stereo 48 kHz, 0.5 s")
        << riff(fmt(1, 2, 48000, 16) + chunk("data", QByteArray(96000, '\0'))) << true << qint64(500) << QString();
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
        << QStringLiteral("truncated");
    QTest::newRow("no RIFF") << QByteArray("RIFX\x10\0\0\0WAVE", 12) + fmt(1, 1, 44100, 16) << false << qint64(0)
                             << QStringLiteral("not a RIFF/WAVE");
    QTest::newRow("not WAVE") << ("RIFF" + le32(4) + "AVI ") << false << qint64(0)
                              << QStringLiteral("not a RIFF/WAVE");
    QTest::newRow("text file") << QByteArray("this is not a sound\n") << false << qint64(0)
                               << QStringLiteral("not a RIFF/WAVE");
    QTest::newRow("empty") << QByteArray() << false << qint64(0) << QStringLiteral("not a RIFF/WAVE");
    QTest::newRow("no fmt chunk") << riff(chunk("data", second16)) << false << qint64(0)
                                  << QStringLiteral("before the format chunk");
    QTest::newRow("no fmt chunk at all") << riff(chunk("LIST", QByteArray(8, 'x'))) << false << qint64(0)
                                         << QStringLiteral("no format chunk");
    QTest::newRow("no data chunk") << riff(fmt(1, 1, 44100, 16)) << false << qint64(0)
                                   << QStringLiteral("no data chunk");
    QTest::newRow("empty data chunk") << riff(fmt(1, 1, 44100, 16) + chunk("data", {})) << false << qint64(0)
                                      << QStringLiteral("no sound data");
    QTest::newRow("fmt chunk cut short") << riff(QByteArray("fmt ", 4) + le32(16) + le16(1)) << false << qint64(0)
                                         << QStringLiteral("format chunk is cut short");
    QTest::newRow("ADPCM") << riff(fmt(2, 1, 44100, 4) + chunk("data", second16)) << false << qint64(0)
                           << QStringLiteral("unsupported sample format");
    QTest::newRow("12-bit PCM") << riff(fmt(1, 1, 44100, 12) + chunk("data", second16)) << false << qint64(0)
                                << QStringLiteral("unsupported sample format");
    QTest::newRow("no channels") << riff(fmt(1, 0, 44100, 16) + chunk("data", second16)) << false << qint64(0)
                                 << QStringLiteral("implausible format");
}

void TestWaveFile::inspect()
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

void TestWaveFile::missingFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ring.wav"));
    QString error;
    QVERIFY(!WaveFile::inspectFile(path, nullptr, &error));
    QVERIFY2(error.contains(path) && error.contains(QLatin1String("missing")), qPrintable(error));

    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(riff(fmt(1, 1, 44100, 16)));
    f.close();
    QVERIFY(!WaveFile::inspectFile(path, nullptr, &error));
    QVERIFY2(error.startsWith(path) && error.contains(QLatin1String("no data chunk")), qPrintable(error));
}

void TestWaveFile::shippedRing()
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

QTEST_APPLESS_MAIN(TestWaveFile)
#include "test_wavefile.moc"

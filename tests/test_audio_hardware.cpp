#include "AudioHardware.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestAudioHardware : public QObject
{
    Q_OBJECT

private slots:
    void cardList_data();
    void cardList();
    void missingCardListMeansNoCard();
};

void TestAudioHardware::cardList_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("hasCard");

    QTest::newRow("no soundcards") << QByteArray("--- no soundcards ---\n") << false;
    QTest::newRow("no soundcards, indented") << QByteArray(" --- no soundcards ---\n") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("blank") << QByteArray("\n  \n") << false;
    QTest::newRow("one card") << QByteArray(" 0 [PCH            ]: HDA-Intel - HDA Intel PCH\n"
                                            "                      HDA Intel PCH at 0xf7f10000 irq 32\n")
                              << true;
    QTest::newRow("usb card") << QByteArray(" 1 [Device         ]: USB-Audio - USB Audio Device\n") << true;
}

void TestAudioHardware::cardList()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, hasCard);
    QCOMPARE(AudioHardware::cardsTextListsCard(text), hasCard);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.path() + QStringLiteral("/cards");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    QCOMPARE(AudioHardware::hasSoundCard(path), hasCard);
}

void TestAudioHardware::missingCardListMeansNoCard()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(!AudioHardware::hasSoundCard(dir.path() + QStringLiteral("/asound/cards")));
}

QTEST_GUILESS_MAIN(TestAudioHardware)
#include "test_audio_hardware.moc"

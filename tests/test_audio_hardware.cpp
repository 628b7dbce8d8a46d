#include "AudioHardware.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestAudioHardware : public QObject
{
    Q_OBJECT

private slots:
    void cardList_data()
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

    void cardList()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, hasCard);
        QCOMPARE(AudioHardware::cardsTextListsCard(text), hasCard);

        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/cards");
        QVERIFY(!AudioHardware::hasSoundCard(path)); // no card list: no card
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        QCOMPARE(AudioHardware::hasSoundCard(path), hasCard);
    }
};

QTEST_GUILESS_MAIN(TestAudioHardware)
#include "test_audio_hardware.moc"

// ALSA's card list, as the kernel writes it, read for whether the machine has a sound card.

#include "AudioHardware.h"
#include "support/FileBytes.h"

#include <QTemporaryDir>
#include <QTest>

class TestAudioHardware : public QObject
{
    Q_OBJECT
private slots:
    void cardList()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cards"));
        QVERIFY(!AudioHardware::hasSoundCard(path)); // no card list: no card
        const QList<std::pair<QByteArray, bool>> lists{
            {"--- no soundcards ---\n", false}, {" --- no soundcards ---\n", false}, {"\n  \n", false},
            {" 0 [PCH            ]: HDA-Intel - HDA Intel PCH\n                      HDA Intel PCH at 0xf7f1\n", true},
        };
        for (const auto& [text, hasCard] : lists) {
            QVERIFY(FileBytes::writeAll(path, text));
            QVERIFY2(AudioHardware::hasSoundCard(path) == hasCard, text.constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestAudioHardware)
#include "test_audio_hardware.moc"

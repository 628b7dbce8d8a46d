#include "AudioHardware.h"

#include <QFile>

bool AudioHardware::hasSoundCard(const QString& cardsPath)
{
    QFile file(cardsPath);
    // No ALSA at all (no /proc/asound) means no card either.
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return cardsTextListsCard(file.readAll());
}

bool AudioHardware::cardsTextListsCard(const QByteArray& text)
{
    const QByteArray trimmed = text.trimmed();
    return !trimmed.isEmpty() && !trimmed.contains("no soundcards");
}

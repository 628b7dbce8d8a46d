#pragma once

#include <QByteArray>
#include <QString>

/// What the machine offers for sound, as far as the SIP engine cares.
class AudioHardware
{
public:
    /// True when the kernel lists at least one sound card (ALSA's card list).
    static bool hasSoundCard(const QString& cardsPath = QStringLiteral("/proc/asound/cards"));

    /// Reads the text of ALSA's card list: true when it names a card.
    static bool cardsTextListsCard(const QByteArray& text);
};

#pragma once

#include "RingAlert.h"

#include <QStringList>

/// Popup and ring for tests: counts and journals ("alert:show", "alert:unload", "alert:ring").
class FakeRingAlert : public RingAlert
{
public:
    QStringList* journal = nullptr;
    bool popupLoaded = false;
    int popupsShown = 0;
    int unloads = 0;
    int rings = 0;

    /// The last popup's station and caller text.
    int popupStation = -2;
    QString popupPeer;

    void showPopup(int station, const QString& peer) override
    {
        popupStation = station;
        popupPeer = peer;
        if (!popupLoaded)
            ++popupsShown;
        popupLoaded = true;
        note(QStringLiteral("show"));
    }
    void unloadPopup() override
    {
        popupLoaded = false;
        ++unloads;
        note(QStringLiteral("unload"));
    }
    void startRing() override
    {
        ++rings;
        note(QStringLiteral("ring"));
    }
    void stopRing() override { note(QStringLiteral("ring stop")); }

private:
    void note(const QString& text)
    {
        if (journal)
            journal->append(QStringLiteral("alert:") + text);
    }
};

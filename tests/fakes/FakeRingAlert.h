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

    void showPopup() override
    {
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

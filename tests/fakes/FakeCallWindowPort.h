#pragma once

#include "CallWindowPort.h"

#include <QStringList>

#include <functional>

/// The main window as the call notifications see it, for tests: flags set by
/// the test, every call journalled. fadeBackToTray keeps its "after" for the
/// test to run (runFade), as the real fade ends later on the event loop.
class FakeCallWindowPort : public CallWindowPort
{
public:
    bool minimized = false;
    bool inTray = false;
    bool restoredForCall = false;
    bool topmost = false;
    QStringList journal;
    std::function<void()> pendingFadeEnd;

    bool isMinimized() const override { return minimized; }
    bool isInTray() const override { return inTray; }
    bool isRestoredForCall() const override { return restoredForCall; }
    void bringBackForCall() override
    {
        journal.append(QStringLiteral("bringBack"));
        if (!inTray)
            return;
        restoredForCall = true;
        inTray = false;
        minimized = false;
    }
    void setTopmost(bool onTop) override
    {
        topmost = onTop;
        journal.append(onTop ? QStringLiteral("topmost") : QStringLiteral("notopmost"));
    }
    void fadeBackToTray(std::function<void()> after) override
    {
        journal.append(QStringLiteral("fade"));
        restoredForCall = false;
        pendingFadeEnd = std::move(after);
    }

    /// Ends the fade as the tray controller does: minimised into the tray, then after.
    void runFade()
    {
        minimized = true;
        inTray = true;
        journal.append(QStringLiteral("inTray"));
        if (auto after = std::move(pendingFadeEnd)) {
            pendingFadeEnd = nullptr;
            after();
        }
    }

    /// The window hidden in the tray after the operator minimised it.
    void putInTray()
    {
        minimized = true;
        inTray = true;
    }
};

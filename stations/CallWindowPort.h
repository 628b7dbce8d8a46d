#pragma once

#include <functional>

/// What a door call on the notification sockets asks of the main window. The
/// application implements it over the main window, its shared flags and the
/// tray controller; tests fake it.
class CallWindowPort
{
public:
    virtual ~CallWindowPort() = default;

    /// The main window is minimised (also while it is hidden in the tray).
    virtual bool isMinimized() const = 0;
    /// The in-tray flag is non-zero.
    virtual bool isInTray() const = 0;
    /// RestoredForCall is non-zero.
    virtual bool isRestoredForCall() const = 0;
    /// Brings the window back from the tray and sets RestoredForCall to 1.
    virtual void bringBackForCall() = 0;
    /// Puts the main window into (true) or out of (false) the always-on-top band.
    virtual void setTopmost(bool onTop) = 0;
    /// Clears RestoredForCall, fades the window out, minimises it to the tray,
    /// makes it opaque again and then calls after (asynchronously; the event
    /// loop runs between the fade's steps).
    virtual void fadeBackToTray(std::function<void()> after) = 0;
};

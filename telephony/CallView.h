#pragma once

#include <QString>

#include <functional>

/// What the call handling asks of the console's windows: the main window, its
/// tray life and the zoom window. The application implements it over the
/// windows; tests fake it. GUI thread only. setTopmost, isRestoredForCall and
/// bringBackForCall mean what the station call port's methods of the same
/// names mean, so one implementation can serve both.
class CallView
{
public:
    virtual ~CallView() = default;

    /// Shows "tel_n", "tel_v", "tel_b" or "tel_r" on station's (0..15) telephone button.
    virtual void setTelImage(int station, const QString& key) = 0;
    /// Same on the zoom window's telephone button; called only while a station is zoomed.
    virtual void setZoomTelImage(const QString& key) = 0;
    /// Station shown in the zoom window, -1 when no zoom window is open.
    virtual int zoomedStation() const = 0;

    /// Main window into (true) or out of the always-on-top band.
    virtual void setTopmost(bool onTop) = 0;
    /// Zoom window into or out of the always-on-top band; called only while it is open.
    virtual void setZoomTopmost(bool onTop) = 0;

    /// Shows or hides the mute button iCmd(2).
    virtual void setMuteButtonVisible(bool visible) = 0;
    /// The mute button's border, the console's only mute state: true muted (border), false not.
    virtual void setMuteLook(bool muted) = 0;
    virtual bool muteLook() const = 0;

    /// RestoredForCall: the main window came out of the tray for a call.
    virtual bool isRestoredForCall() const = 0;
    /// Bring back for a call: when the window sits in the tray, sets
    /// RestoredForCall and restores it; otherwise nothing.
    virtual void bringBackForCall() = 0;
    /// Fade back to the tray: clears RestoredForCall, fades the main window
    /// out, sends it to the tray, makes it opaque again, then calls after
    /// (from the event loop; other handlers may run during the fade).
    /// Returns false, without calling after, when a fade is already running.
    virtual bool startFadeBackToTray(std::function<void()> after) = 0;
};

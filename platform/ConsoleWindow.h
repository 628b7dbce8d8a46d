#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

/// The main window as the console's subsystems see it: the station tiles, the
/// microphone button, the always-on-top band and the window's life in the tray
/// around a call. The zoom window follows the zoomed station's telephone image
/// through the same calls. One adapter implements it over the real windows;
/// tests fake it. Stations are 0..15. GUI thread only.
class ConsoleWindow
{
public:
    virtual ~ConsoleWindow() = default;

    /// Shows picture in the station's tile; a null image clears it. The tile
    /// keeps a shallow copy: the pixels are shared with the caller.
    virtual void setStationPicture(int station, const QImage& picture) = 0;
    /// Size in device pixels at which the tile draws its picture, so a snapshot
    /// can be decoded no larger than needed. Empty: unknown.
    virtual QSize stationPictureSize(int station) const = 0;
    /// The picture the station's tile shows now (null: none yet).
    virtual QImage stationPicture(int station) const = 0;
    /// Shows or hides the tile's "No image available".
    virtual void setNoImageShown(int station, bool shown) = 0;
    /// Shows "tel_n", "tel_v", "tel_b" or "tel_r" on the station's telephone
    /// button, and on the zoom window's when it shows that station.
    virtual void setTelephoneImage(int station, const QString& key) = 0;

    /// Marks the tile of the station a SIP call concerns (ringing, dialled, in a call); -1: no call.
    virtual void setCallMark(int station) = 0;

    /// Main window into (true) or out of the always-on-top band.
    virtual void setTopmost(bool onTop) = 0;
    /// The same for the zoom window; nothing when none is open.
    virtual void setZoomTopmost(bool onTop) = 0;

    /// Shows or hides the microphone button of the command column.
    virtual void setMuteButtonVisible(bool visible) = 0;
    /// The microphone button's look, the console's only mute state: true muted.
    virtual void setMuteLook(bool muted) = 0;
    virtual bool muteLook() const = 0;

    /// Minimised, also while hidden in the tray.
    virtual bool isMinimized() const = 0;
    virtual bool isInTray() const = 0;
    /// The window came out of the tray for a call and goes back when it ends.
    virtual bool isRestoredForCall() const = 0;
    /// When the window sits in the tray: marks it restored for a call and
    /// brings it back. Otherwise nothing.
    virtual void bringBackForCall() = 0;
    /// Clears the restored-for-call mark, fades the window out, sends it to the
    /// tray and makes it opaque again, then calls after. The fade runs from the
    /// event loop, so other handlers run meanwhile; asked for while a fade runs,
    /// it joins that fade and after runs at its end. after is always called.
    virtual void fadeBackToTray(std::function<void()> after) = 0;
};

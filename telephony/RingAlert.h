#pragma once

#include <QString>

/// The incoming-call popup and the ring tone, as the call handling
/// drives them. IncomingCallAlert is the real one; tests fake it.
class RingAlert
{
public:
    virtual ~RingAlert() = default;

    /// Loads and shows the popup (it rises from the bottom right of the screen)
    /// for the call of station (0..15), or of a caller that is no station
    /// (station -1, peer: the engine's text naming the caller); a popup already
    /// loaded stays as it is.
    virtual void showPopup(int station, const QString& peer) = 0;
    /// Unloads the popup at once, without sliding; nothing when none is loaded.
    virtual void unloadPopup() = 0;
    /// Starts the ring tone; it repeats while the call rings.
    virtual void startRing() = 0;
    /// Stops the ring at once.
    virtual void stopRing() = 0;
};

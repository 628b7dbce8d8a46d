#pragma once

#include <QString>

/// The SIP engine as the console drives it. Every call returns the engine's
/// reply text; a call that fails (engine not running, busy, timed out) returns
/// a text that contains none of the status words ("offhook", "Incoming call",
/// "ringing", "dialing", "Call out", "answered", "disabled").
/// All calls are made on the GUI thread and are bounded in time.
class SipEngine
{
public:
    virtual ~SipEngine() = default;

    /// Starts the engine (or attaches to one that already answers).
    virtual void linphoneInit() = 0;
    /// Codec request: index 0, 1 or 2; the engine's reply contains "disabled"
    /// once the codec was switched off, which tells the console it is up.
    virtual QString linphoneCodec(int index, int second) = 0;
    /// Current call status. The idle text contains "offhook".
    virtual QString linphoneStatusHook() = 0;
    virtual QString linphoneDial(const QString& address) = 0;
    virtual QString linphoneAnswer() = 0;
    virtual QString linphoneTerminate() = 0;
    virtual QString linphoneMute() = 0;
    virtual QString linphoneUnmute() = 0;
    /// Releases the console's link to the engine. The daemon itself is told to
    /// exit by the engine shell at shutdown.
    virtual void linphoneClose() = 0;
};

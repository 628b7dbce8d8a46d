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

    /// The engine's program, as the operator would look for it.
    virtual QString programName() const = 0;
    /// False when the engine's program is missing or cannot be run.
    virtual bool programAvailable() const = 0;
    /// Starts the engine (or attaches to one that already answers).
    virtual void start() = 0;
    /// Switches codec index off; the reply contains "disabled" once the engine
    /// is up, which is how the console knows it answers.
    virtual QString disableCodec(int index) = 0;
    /// Current call status. The idle text contains "offhook".
    virtual QString callStatus() = 0;
    virtual QString dial(const QString& address) = 0;
    virtual QString answer() = 0;
    virtual QString hangUp() = 0;
    virtual QString mute() = 0;
    virtual QString unmute() = 0;
    /// Releases the console's link to the engine; later calls fail at once.
    /// The daemon itself is told to exit by the engine shell at shutdown.
    virtual void release() = 0;
};

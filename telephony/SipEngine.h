#pragma once

#include <QString>

#include <functional>

/// What the engine answered to one request.
struct EngineReply
{
    /// False when the engine did not answer in time (not running, hung, busy) or the request was dropped.
    bool ok = false;
    /// The reply without its line end; empty on failure.
    QString text;

    friend bool operator==(const EngineReply&, const EngineReply&) = default;
};

/// Runs once with the reply, from the event loop (never from inside the call that asked).
using EngineReplyHandler = std::function<void(const EngineReply&)>;

/// The SIP engine as the console drives it. Nothing here waits: every request
/// is queued and sent in order, each bounded in time, and its reply comes back
/// to its handler. The engine's call events reach the call handling separately
/// (LinphoneEngine::callEvent). GUI thread only.
class SipEngine
{
public:
    virtual ~SipEngine() = default;

    /// The engine's program, as the operator would look for it.
    virtual QString programName() const = 0;
    /// False when the engine's program is missing or cannot be run.
    virtual bool programAvailable() const = 0;
    /// Starts the engine (or attaches to one that already answers); returns at once.
    virtual void start() = 0;
    /// Switches codec index off; the reply contains "disabled" once the engine
    /// is up, which is how the console knows it answers.
    virtual void disableCodec(int index, EngineReplyHandler done) = 0;
    /// Current call status; the idle text contains "offhook". The backstop of the call events.
    virtual void requestStatus(EngineReplyHandler done) = 0;
    virtual void dial(const QString& address, EngineReplyHandler done) = 0;
    /// Answers the ringing call (no call id: an id may be stale by the time the engine reads it).
    virtual void answer() = 0;
    /// Ends the current call or refuses the ringing one.
    virtual void hangUp() = 0;
    virtual void mute() = 0;
    virtual void unmute() = 0;
    /// Registers with a SIP server; the password never appears on a command line or in a log.
    virtual void registerAt(const QString& server, const QString& user, const QString& password,
                            EngineReplyHandler done) = 0;
    /// Stops the engine the console started: asks it to quit, then kills it after graceMs. done runs once it
    /// is gone (at once when none runs). An engine the console only attached to is told to quit and left.
    virtual void stop(int graceMs, std::function<void()> done) = 0;
};

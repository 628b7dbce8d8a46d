#pragma once

#include "WindowPlacement.h"

#include <QObject>
#include <QString>

#include <functional>

class EngineBringUp;
class Logger;
class SettingsStore;
class SipEngine;
struct ConfigRecord;
struct ConsoleState;

/// What start-up asks of the main window and its channels.
class StartupHost
{
public:
    virtual ~StartupHost() = default;

    /// Tells the operator that the SIP engine program is missing, without
    /// waiting for an answer: the console goes on without telephony.
    virtual void showEngineMissing(const QString& program) = 0;
    virtual void showSplash() = 0;
    /// Modal report of a failure that ends start-up.
    virtual void showStartupError(const QString& text) = 0;
    /// Connects the call-notification socket of every active station.
    virtual void openCallSockets() = 0;
    virtual void createHttpClient() = 0;
    /// Fetches url into station 0's picture, then calls done (also on failure).
    virtual void fetchFirstPicture(const QString& url, std::function<void()> done) = 0;
    virtual void startSnapshotTimer() = 0;
    virtual void applyPlacement(const WindowPlacement& placement) = 0;
    /// Start-up is over: show the main window and start watching the engine
    /// (engineUp: it answered while starting).
    virtual void startupFinished(bool engineUp) = 0;
};

/// Everything start-up uses, owned elsewhere.
struct StartupContext
{
    ConfigRecord& record;
    ConsoleState& state;
    Logger& log;
    SipEngine& engine;
    /// Starts the engine and waits for it (then registers with the SIP server).
    EngineBringUp& bringUp;
    const SettingsStore& settings;
    /// The executable's own directory: qzp.cfg lives there.
    QString programDir;
    /// False when another instance of the console already runs.
    std::function<bool()> acquireInstance;
    /// Creates the scratch directory; failures are ignored.
    std::function<void()> makeScratchDirectory;
};

/// The console's start-up, run as a sequence of steps on the GUI thread. The
/// waits for the engine are timers, not sleeps, so the splash stays painted
/// and the window system stays served. Without the engine program the console
/// starts without telephony; cameras and relays do not need it.
class StartupSequence : public QObject
{
    Q_OBJECT
public:
    enum class Outcome
    {
        Running,        ///< the steps go on; the host hears startupFinished()
        AlreadyRunning, ///< another instance runs, or shutdown has begun
        Failed,         ///< start-up could not go on; the report was shown
    };

    StartupSequence(StartupContext context, StartupHost& host, QObject* parent = nullptr);

    /// Runs the checks at once and schedules the rest. A second call does nothing.
    Outcome start();

    bool isFinished() const { return m_finished; }

private:
    void startEngine();
    void finish(bool engineUp);

    StartupContext m_ctx;
    StartupHost& m_host;
    bool m_started = false;
    bool m_finished = false;
};

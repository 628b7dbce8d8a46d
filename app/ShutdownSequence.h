#pragma once

#include "WindowPlacement.h"

#include <QString>

#include <functional>

class Logger;
class SettingsStore;
class ShellRunner;
class SipEngine;
struct ConsoleState;

/// Everything shutdown uses: services owned elsewhere and the steps it asks of
/// the windows and channels.
struct ShutdownContext
{
    ConsoleState& state;
    Logger& log;
    SipEngine& engine;
    ShellRunner& shell;
    SettingsStore& settings;
    QString programDir;
    /// Stops the snapshot timer and the pass under way.
    std::function<void()> stopPolling;
    /// One pass over the events already queued (a due status poll among them).
    std::function<void()> processPendingEvents;
    /// Stops the engine daemon the console started, if it still runs after
    /// the shell's exit command.
    std::function<void()> stopStartedDaemon;
    /// The main window's placement now.
    std::function<WindowPlacement()> windowPlacement;
    /// Closes the zoom window (saving its placement), the splash and the popup.
    std::function<void()> closeOtherWindows;
};

/// The console's shutdown: polling stopped, engine released and told to exit,
/// the main window's placement saved. Runs once; later calls do nothing.
class ShutdownSequence
{
public:
    explicit ShutdownSequence(ShutdownContext context);

    void run();
    bool hasRun() const { return m_ran; }

private:
    ShutdownContext m_ctx;
    bool m_ran = false;
};

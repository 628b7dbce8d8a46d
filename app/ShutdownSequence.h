#pragma once

#include "WindowPlacement.h"

#include <QString>

#include <functional>

class Logger;
class SettingsStore;
class SipEngine;
struct ConsoleState;

/// Everything shutdown uses: services owned elsewhere and the steps it asks of
/// the windows and channels.
struct ShutdownContext
{
    ConsoleState& state;
    Logger& log;
    SipEngine& engine;
    SettingsStore& settings;
    /// Stops the snapshot timer and the pass under way, the engine's status poll and its supervisor.
    std::function<void()> stopPolling;
    /// The main window's placement now.
    std::function<WindowPlacement()> windowPlacement;
    /// Closes the zoom window (saving its placement), the splash, the popup and the main window.
    std::function<void()> closeWindows;
    /// How long the engine may take to quit before it is killed.
    int engineGraceMs = 3000;
};

/// The console's shutdown: polling stopped, the main window's placement saved,
/// the windows closed, then the engine told to quit (and killed if it does
/// not within the grace period). Nothing waits: finished runs once the engine
/// is gone. Runs once; later calls do nothing.
class ShutdownSequence
{
public:
    explicit ShutdownSequence(ShutdownContext context);

    void run(std::function<void()> finished);
    bool hasRun() const { return m_ran; }
    /// True once the engine is gone and finished has run.
    bool isFinished() const { return m_finished; }

private:
    ShutdownContext m_ctx;
    bool m_ran = false;
    bool m_finished = false;
};

#pragma once

#include <QString>

#include <functional>

class Logger;
class SettingsStore;
class ShellRunner;
class SipEngine;
struct ConsoleState;

/// What shutdown asks of the windows.
class ShutdownHost
{
public:
    virtual ~ShutdownHost() = default;

    virtual void stopSnapshotTimer() = 0;
    /// One pass over the window events already queued (a due status poll among them).
    virtual void processPendingEvents() = 0;
    /// 0 normal, 1 minimised (also: hidden in the tray), 2 maximised.
    virtual int windowState() const = 0;
    /// The main window's outer frame in twips.
    virtual void windowFrameTwips(double* left, double* top, double* width, double* height) const = 0;
    /// Closes the zoom window (saving its placement) and the popup.
    virtual void closeOtherWindows() = 0;
};

/// Everything shutdown uses, owned elsewhere.
struct ShutdownContext
{
    ConsoleState& state;
    Logger& log;
    SipEngine& engine;
    ShellRunner& shell;
    SettingsStore& settings;
    QString programDir;
    /// Stops the engine daemon the console started, if it still runs after
    /// the shell's exit command.
    std::function<void()> stopStartedDaemon;
};

/// The console's shutdown (Form_Unload): polling stopped, engine closed and
/// told to exit, placement saved. Runs once; later calls do nothing.
class ShutdownSequence
{
public:
    ShutdownSequence(ShutdownContext context, ShutdownHost& host);

    void Form_Unload();
    bool hasRun() const { return m_ran; }

    /// Decimal text of a twip value as the settings store keeps it.
    static QString placementText(double twips);

private:
    ShutdownContext m_ctx;
    ShutdownHost& m_host;
    bool m_ran = false;
};

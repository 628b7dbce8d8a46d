#pragma once

/// State of the main window that several parts of the console share. Lives as
/// long as the main window; flags are tested as zero or non-zero.
struct ConsoleState
{
    /// Set when shutdown begins, never cleared.
    int exiting = 0;
    /// 1 while the main window is hidden with its tray icon shown.
    int inTray = 0;
    /// 1 when the window came out of the tray because of a call.
    int restoredForCall = 0;
    /// Station shown in the zoom window, -1 for none.
    int zoomedStation = -1;
};

#pragma once

#include <QList>
#include <QString>

class CallConsole;

/// The hang plan of qz-bench-calls: the console polls its cameras (simulated stations) and, once warmed up,
/// its engine's daemon is stopped with SIGSTOP, as a daemon that hangs, at a random point of the backstop
/// poll's cycle. Watched meanwhile: the gaps between
/// two pictures of each camera, the event loop's lateness, and when the console finds the engine hung and
/// has a new one up. The stopped daemon must end killed: the console kills it by its PID; should it still
/// exist at the end, the bench kills it and says so.
class HangBench
{
public:
    /// Camera figures of one window.
    struct Window
    {
        double seconds = 0;
        /// The longest gap between two consecutive frames of one station (SnapshotPoller::frameReceived), ms.
        double longestGapMs = 0;
        int longestGapStation = -1;
        qint64 frames = 0;
        /// A 10 ms timer's lateness over the window, ms.
        QList<double> latenessMs;
        /// When the largest lateness ended, seconds from the window's start.
        double worstLatenessAtS = 0;
    };

    struct Figures
    {
        int cameras = 0;
        /// Before the stop, a window of kBeforeMs; after the stop, the plan's seconds.
        Window before;
        Window stopped;
        /// SIGSTOP to EngineSupervisor::telephonyChanged(false) and to telephonyChanged(true), ms; -1: never.
        double hungFoundMs = -1;
        double replacedMs = -1;
        qint64 stoppedPid = 0;
        /// The stopped daemon was gone (killed by the console) at the window's end; else the bench killed it.
        bool killedByConsole = false;
    };

    static constexpr int kWarmUpMs = 3000;
    static constexpr int kBeforeMs = 5000;

    /// console must be started, its record listing cameras stations from 0 on, all served.
    HangBench(CallConsole& console, int cameras);

    bool run(int seconds, Figures* figures, QString* error);

private:
    CallConsole& m_console;
    int m_cameras;
};

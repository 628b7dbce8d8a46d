#pragma once

#include "BenchOptions.h"
#include "DjpegBench.h"

#include <QSize>
#include <QString>

#include <array>
#include <vector>

/// The figures of one station's tile in a run's counting window.
struct StationFigures
{
    QString address;
    /// The camera mode of a dead station; empty for a healthy one.
    QString deadMode;
    qint64 pictures = 0;
    qint64 failures = 0;
    /// Fetches the console made of this station from the first tick until every fetch had
    /// ended (stationPolled signals), and the requests the simulated camera received meanwhile
    /// (-1: its count could not be read).
    qint64 attempts = 0;
    qint64 requests = -1;
    /// Size of the picture the tile holds at the end (as decoded).
    QSize decodedSize;

    bool isDead() const { return !deadMode.isEmpty(); }
    /// requests / attempts; -1 when either is unknown or there was no attempt.
    double requestsPerAttempt() const;
};

/// Percentiles of a set of durations, microseconds (nearest rank).
struct Spread
{
    qint64 samples = 0;
    double p50Us = 0;
    double p99Us = 0;
    double maxUs = 0;

    /// From durations in nanoseconds (any order).
    static Spread of(std::vector<qint64> ns);
};

/// Timed calls during which the thread was switched out: because it waited
/// (a voluntary context switch) or was preempted (an involuntary one).
struct SwitchedCalls
{
    int waited = 0;
    int preempted = 0;
};

/// What recording the event history cost in a run with --history; the
/// recorder's calls are timed in the counting window only.
struct HistoryFigures
{
    bool on = false;
    /// Lock events given to the recorder; events and pictures the database held at the end.
    qint64 events = 0;
    qint64 storedEvents = 0;
    qint64 storedPictures = 0;
    /// GUI thread per event (relayCommandDone): wall time and the thread's CPU time.
    Spread eventWall;
    Spread eventCpu;
    SwitchedCalls switchedEvents;
    /// GUI thread per camera frame: finding its station and frameArrived, wall time.
    Spread frameWall;
    /// CPU time of the archive's worker thread from the window's start until the writes of
    /// its events ended; -1 when the thread was not found.
    qint64 workerCpuUs = -1;
    qint64 databaseBytes = 0;
    qint64 walBytes = 0;
    /// "up" or "down" with a history server (BenchOptions::historyServer), empty without.
    QString server;
    /// The run's events the server held at the end (up; -1: not asked).
    qint64 serverEvents = -1;
};

/// Everything one run measured.
struct RunResult
{
    RunPlan plan;
    bool ok = false;
    QString error;

    QSize frameSize;
    qint64 frameBytes = 0;
    DjpegFigures djpeg;

    QSize tileSize;
    /// Length of the counting window (polling time minus the warm-up), seconds.
    double windowS = 0;
    std::array<StationFigures, 16> stations;
    /// Pictures shown in all tiles during the window.
    qint64 pictures = 0;
    /// CPU time (user + system) of the whole process during the window.
    qint64 cpuUs = 0;
    /// CPU time of the shown, idle console (no polling), ms per second: without
    /// and with the 10 ms lateness probe running.
    double idleCpuMsPerS = 0;
    double idleProbeCpuMsPerS = 0;

    qint64 lateSamples = 0;
    double lateP50Ms = 0;
    double lateP99Ms = 0;
    double lateMaxMs = 0;

    qint64 rssStartKiB = 0;
    qint64 rssEarlyKiB = 0;
    qint64 rssEndKiB = 0;
    int rssEarlyAtS = 0;
    int rssEndAtS = 0;

    /// Ticks of the snapshot timer in the window (the poller's ticks()).
    qint64 passes = 0;
    qint64 skippedTicks = 0;
    qint64 logEntries = 0;
    /// Fetch errors logged ("GetPicFromHTTP ...") in the window.
    qint64 fetchErrorEntries = 0;
    /// Blackhole stations whose connect was seen still pending before polling, and after how long.
    QList<int> blackholeChecked;
    int blackholeCheckMs = 0;
    HistoryFigures history;

    /// The whole process's CPU time per picture shown, the probe's included.
    double grossCpuPerPictureMs() const;
    /// The same without the lateness probe's own cost: the console's.
    double cpuPerPictureMs() const;
    /// Lowest and median pictures per second of the healthy stations.
    double minRate() const;
    double medianRate() const;
};

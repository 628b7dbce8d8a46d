#pragma once

#include "BenchOptions.h"
#include "RunResult.h"

#include <QByteArray>
#include <QString>

#include <array>

class QNetworkAccessManager;
class StationSimulator;

/// Carries out one run: starts the simulator with the plan's dead cameras,
/// takes one of its pictures for djpeg, polls the stations for the run's
/// duration with the console's own snapshot path, reads the requests each
/// camera received, and stops the simulator again (also when a step fails).
class SnapshotBench
{
public:
    /// options must outlive this object.
    explicit SnapshotBench(const BenchOptions& options) : m_options(options) {}

    RunResult run(const RunPlan& plan);

private:
    QStringList simulatorArguments(const RunPlan& plan) const;
    QString stationAddress(int station) const;
    /// Frames per station the simulator renders once and repeats (0: every request).
    int simulatorCycle(const RunPlan& plan) const;
    bool prepareFrames(const RunPlan& plan, RunResult* result, QByteArray* frame);
    /// Checks that a connect to every blackhole station stays pending; false with the run's error if not.
    bool checkBlackholes(const RunPlan& plan, RunResult* result);
    void poll(const QString& logDir, StationSimulator& simulator, RunResult* result);

    static bool fetch(QNetworkAccessManager& http, const QString& url, QByteArray* body, QString* error);
    /// Every station's request count from the simulator's status command (-1 where none came).
    static bool readRequests(StationSimulator& simulator, std::array<qint64, 16>* requests);

    const BenchOptions& m_options;
};

#pragma once

#include "BenchOptions.h"
#include "RunResult.h"

#include <QByteArray>
#include <QString>

class HttpGetter;

/// Carries out one run: starts the simulator, takes one of its pictures for
/// djpeg, polls the stations for the run's duration with the console's own
/// snapshot path, and stops the simulator again (also when a step fails).
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
    void poll(const QString& logDir, RunResult* result);

    static bool fetch(HttpGetter& http, const QString& url, QByteArray* body, QString* error);

    const BenchOptions& m_options;
};

#pragma once

#include "HistoryBacklog.h"
#include "RunResult.h"

#include <QList>
#include <QString>

/// The benchmark's report as Markdown tables, for the terminal and for
/// docs/performance.md alike.
namespace ResultTable {

/// One run: a table per station, then the run's figures against their targets.
QString runReport(const RunResult& result);

/// One line per run with the figures that have targets.
QString summary(const QList<RunResult>& results);

/// One line per run with what recording the event history cost (runs with --history).
QString historySummary(const QList<RunResult>& results);
/// The delivery of a backlog to the history server (--history-server up).
QString backlogSummary(const BacklogFigures& backlog);

} // namespace ResultTable

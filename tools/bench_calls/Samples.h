#pragma once

#include <QList>

#include <vector>

/// Summaries of a benchmark's samples.
namespace Samples {

double median(QList<double> values);
/// The largest value; 0 without samples.
double worst(const QList<double>& values);
/// The p-th percentile (0..100), nearest rank; 0 without samples.
double percentile(QList<double> values, double p);
/// Microsecond samples (LatenessProbe's) as milliseconds.
QList<double> toMs(const std::vector<qint64>& microseconds);

} // namespace Samples

#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <vector>

/// How late the event loop serves a timer: a 10 ms single-shot timer is armed
/// again every time it fires, and each firing's delay beyond 10 ms is kept.
class LatenessProbe : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPeriodMs = 10;

    explicit LatenessProbe(QObject* parent = nullptr);

    void start();
    void stop();
    /// Forgets the samples so far (end of the warm-up).
    void clear() { m_lateUs.clear(); }

    /// Samples (microseconds late) since the last clear().
    const std::vector<qint64>& samples() const { return m_lateUs; }
    /// The p-th percentile (0..100) of the samples in ms, nearest rank; 0 without samples.
    double percentileMs(double p) const;

private:
    void fired();

    QTimer m_timer;
    QElapsedTimer m_armed;
    std::vector<qint64> m_lateUs;
};

#pragma once

#include <functional>

class QObject;

/// Runs a function once after a delay, on the GUI thread. Step sequences use it
/// instead of sleeping, so the event loop keeps running; tests replace it to
/// record the delays and run the steps at once.
class Scheduler
{
public:
    virtual ~Scheduler() = default;

    /// Calls fn after delayMs, unless context has been destroyed by then.
    virtual void singleShot(int delayMs, QObject* context, std::function<void()> fn) = 0;
};

/// The real scheduler: QTimer::singleShot.
class QtScheduler : public Scheduler
{
public:
    void singleShot(int delayMs, QObject* context, std::function<void()> fn) override;
};

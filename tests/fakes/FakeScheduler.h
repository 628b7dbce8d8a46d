#pragma once

#include "Scheduler.h"

#include <QList>
#include <QPointer>

#include <deque>
#include <functional>

/// Scheduler for tests: records each delay and runs the steps when told, so a
/// test sees the exact waits without waiting them.
class FakeScheduler : public Scheduler
{
public:
    void singleShot(int delayMs, QObject* context, std::function<void()> fn) override
    {
        delays.append(delayMs);
        m_pending.push_back({QPointer<QObject>(context), std::move(fn)});
    }

    /// Runs pending steps (and the steps they schedule) until none is left
    /// or maxSteps have run. Returns the number run.
    int runAll(int maxSteps = 1000)
    {
        int run = 0;
        while (!m_pending.empty() && run < maxSteps) {
            Pending next = std::move(m_pending.front());
            m_pending.pop_front();
            if (next.context)
                next.fn();
            ++run;
        }
        return run;
    }

    bool hasPending() const { return !m_pending.empty(); }

    QList<int> delays;

private:
    struct Pending
    {
        QPointer<QObject> context;
        std::function<void()> fn;
    };
    std::deque<Pending> m_pending;
};

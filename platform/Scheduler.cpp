#include "Scheduler.h"

#include <QTimer>

void QtScheduler::singleShot(int delayMs, QObject* context, std::function<void()> fn)
{
    QTimer::singleShot(delayMs, context, std::move(fn));
}

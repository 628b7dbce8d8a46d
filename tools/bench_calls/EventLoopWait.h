#pragma once

#include <functional>

/// Waits that run the event loop and never sleep beside it (QTest::qWait and qWaitFor sleep up to 10 ms
/// between their passes, which would show as lateness and delay the console's own events). GUI thread.
namespace EventLoopWait {

/// Runs the event loop until done() is true (checked every 5 ms) or timeoutMs has passed; returns done().
bool until(const std::function<bool()>& done, int timeoutMs);
/// Runs the event loop for ms.
void runFor(int ms);
/// CPU time the calling thread has used, ms (CLOCK_THREAD_CPUTIME_ID).
double threadCpuMs();

} // namespace EventLoopWait

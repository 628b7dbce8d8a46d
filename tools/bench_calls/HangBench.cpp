#include "HangBench.h"

#include "CallConsole.h"
#include "CallSession.h"
#include "ConsoleApplication.h"
#include "EngineSupervisor.h"
#include "EventLoopWait.h"
#include "FrameGaps.h"
#include "LatenessProbe.h"
#include "LinphoneEngine.h"
#include "ProcessProbe.h"
#include "Samples.h"
#include "SnapshotPoller.h"
#include "StationWiring.h"
#include "TelephonyWiring.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTextStream>

#include <csignal>

using EventLoopWait::runFor;
using EventLoopWait::until;

namespace {

/// Beyond the window: how long a late replacement is still waited for (its time is then still reported).
constexpr int kReplacementWaitMs = 30000;

} // namespace

HangBench::HangBench(CallConsole& console, int cameras)
    : m_console(console)
    , m_cameras(cameras)
{
}

bool HangBench::run(int seconds, Figures* figures, QString* error)
{
    figures->cameras = m_cameras;
    TelephonyWiring& telephony = m_console->telephony();
    FrameGaps gaps(m_cameras);
    QObject hooks;
    QObject::connect(&m_console->stations().poller(), &SnapshotPoller::frameReceived, &hooks,
                     [&gaps](int station) { gaps.frame(station); });
    QElapsedTimer sinceStop;
    qint64 hungAt = -1;
    qint64 upAt = -1;
    QObject::connect(&telephony.supervisor(), &EngineSupervisor::telephonyChanged, &hooks, [&](bool up) {
        if (!sinceStop.isValid())
            return;
        if (!up && hungAt < 0)
            hungAt = sinceStop.nsecsElapsed();
        else if (up && upAt < 0)
            upAt = sinceStop.nsecsElapsed();
    });
    LatenessProbe probe;
    probe.start();

    // Warm-up: every camera has delivered, the engine is up and idle.
    gaps.start();
    runFor(kWarmUpMs);
    gaps.finish();
    if (gaps.longestMs() >= kWarmUpMs) {
        *error = QStringLiteral("camera %1 sent no picture within the warm-up").arg(gaps.longestStation());
        return false;
    }
    if (!until([&telephony] { return telephony.supervisor().isTelephonyUp() && !telephony.session().isBusy(); },
               30000)) {
        *error = QStringLiteral("the engine is not up before the stop");
        return false;
    }

    const auto window = [&](Window* w, int ms) {
        probe.clear();
        gaps.start();
        QElapsedTimer clock;
        clock.start();
        runFor(ms);
        gaps.finish();
        w->seconds = double(clock.nsecsElapsed()) / 1e9;
        w->longestGapMs = gaps.longestMs();
        w->longestGapStation = gaps.longestStation();
        w->frames = gaps.frames();
        w->latenessMs = Samples::toMs(probe.samples());
        // The probe fires, is re-armed at once and fires again 10 ms plus its lateness later.
        double firedAtMs = 0;
        double worstMs = -1;
        for (const double lateMs : std::as_const(w->latenessMs)) {
            firedAtMs += LatenessProbe::kPeriodMs + lateMs;
            if (lateMs > worstMs) {
                worstMs = lateMs;
                w->worstLatenessAtS = firedAtMs / 1000.0;
            }
        }
    };
    window(&figures->before, kBeforeMs);
    // The stop falls at a random point of the backstop poll's cycle, on which finding the hang depends.
    runFor(int(QRandomGenerator::global()->bounded(CallSession::kBackstopIntervalMs)));

    const qint64 pid = telephony.engine().startedPid();
    if (pid <= 1) {
        *error = QStringLiteral("the console's engine has no PID of its own");
        return false;
    }
    figures->stoppedPid = pid;
    // Whatever happens from here on, the stopped daemon does not outlive the run.
    const auto killStopped = qScopeGuard([pid] {
        if (!ProcessProbe::gone(pid))
            ::kill(pid_t(pid), SIGKILL);
    });
    sinceStop.start();
    ::kill(pid_t(pid), SIGSTOP);
    window(&figures->stopped, seconds * 1000);
    probe.stop();

    figures->killedByConsole = ProcessProbe::gone(pid);
    if (!figures->killedByConsole) {
        ::kill(pid_t(pid), SIGKILL);
        QTextStream(stderr) << "hang: linphonec (pid " << pid << ") still there " << seconds
                            << " s after its stop: killed by the bench\n";
    }
    (void)until([&upAt] { return upAt >= 0; }, kReplacementWaitMs);
    figures->hungFoundMs = hungAt < 0 ? -1 : double(hungAt) / 1e6;
    figures->replacedMs = upAt < 0 ? -1 : double(upAt) / 1e6;
    if (!until([pid] { return ProcessProbe::gone(pid); }, 5000)) {
        *error = QStringLiteral("linphonec (pid %1) survives SIGKILL").arg(pid);
        return false;
    }
    return true;
}

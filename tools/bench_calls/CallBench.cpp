#include "CallBench.h"

#include "CallConsole.h"
#include "CallSession.h"
#include "ConsoleApplication.h"
#include "EngineRig.h"
#include "EngineSupervisor.h"
#include "EventLoopWait.h"
#include "ImageButton.h"
#include "IncomingCallAlert.h"
#include "LatenessProbe.h"
#include "LinphoneEngine.h"
#include "RingPopup.h"
#include "Samples.h"
#include "TelephonyWiring.h"

#include <QDateTime>
#include <QFile>
#include <QPointer>
#include <QRandomGenerator>
#include <QTest>
#include <QTextStream>

#include <csignal>
#include <ctime>

using EventLoopWait::runFor;
using EventLoopWait::threadCpuMs;
using EventLoopWait::until;

namespace {

/// The engine's event lines come within milliseconds; these bound a loaded machine.
constexpr int kStepTimeoutMs = 15000;
constexpr int kIdleMeasureMs = 2000;

int randomMs(int below)
{
    return int(QRandomGenerator::global()->bounded(below));
}

void progress(const QString& line)
{
    QTextStream err(stderr);
    err << line << "\n";
}

QString ms(double value)
{
    return QString::number(value, 'f', value < 10 ? 2 : 0);
}

qint64 wallClockUs()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

/// When sipp sent its first INVITE, wall clock in µs, from its message trace: each message follows a line
/// "----- 2026-12-07 03:06:30.118663" (local time) and "UDP message sent (N bytes):". -1 when not found.
qint64 inviteSentUs(const QString& traceFile)
{
    QFile file(traceFile);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 0; i + 3 < lines.size(); ++i) {
        if (!lines[i].startsWith("-----") || !lines[i + 1].startsWith("UDP message sent")
            || !lines[i + 3].startsWith("INVITE "))
            continue;
        QByteArray dashed = lines[i];
        while (dashed.startsWith('-'))
            dashed.remove(0, 1);
        const QString stamp = QString::fromLatin1(dashed.trimmed());
        const QDateTime seconds = QDateTime::fromString(stamp.section(QLatin1Char('.'), 0, 0),
                                                        QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!seconds.isValid())
            return -1;
        return seconds.toMSecsSinceEpoch() * 1000 + stamp.section(QLatin1Char('.'), 1, 1).toLongLong();
    }
    return -1;
}

} // namespace

CallBench::CallBench(CallConsole& console, Caller caller)
    : m_console(console)
    , m_caller(std::move(caller))
{
    m_clock.start();
    TelephonyWiring& telephony = m_console->telephony();
    QObject::connect(&telephony.alert(), &IncomingCallAlert::popupShown, &m_hooks, [this] {
        if (m_at.popup < 0)
            m_at.popup = now();
    });
    QObject::connect(&telephony.session(), &CallSession::callStateChanged, &m_hooks, [this](const CallTransition& t) {
        if (t.to == CallState::Incoming && m_at.incoming < 0) {
            m_at.incoming = now();
        } else if (t.to == CallState::InCall && m_at.inCall < 0) {
            m_at.inCall = now();
        } else if (t.to == CallState::Idle && m_at.idle < 0) {
            m_at.idle = now();
            m_at.idleCpuMs = threadCpuMs();
        }
    });
    QObject::connect(&telephony.supervisor(), &EngineSupervisor::telephonyChanged, &m_hooks, [this](bool up) {
        if (!up && m_at.down < 0)
            m_at.down = now();
        else if (up && m_at.up < 0)
            m_at.up = now();
    });
}

bool CallBench::idleAndUp() const
{
    const TelephonyWiring& telephony = m_console->telephony();
    return telephony.supervisor().isTelephonyUp() && telephony.session().state() == CallState::Idle;
}

bool CallBench::startCaller(SipPeer& caller, const QString& traceFile, QString* error)
{
    // As SipPeer::call, with sipp's message trace on.
    const auto [sipPort, mediaPort] = EngineRig::freeUdpPorts(QHostAddress(m_caller.ip));
    if (sipPort == 0) {
        *error = QStringLiteral("no free UDP port on %1").arg(m_caller.ip);
        return false;
    }
    QFile::remove(traceFile);
    return caller.start({QStringLiteral("127.0.0.1:%1").arg(m_caller.enginePort), QStringLiteral("-sf"),
                         m_caller.scenario, QStringLiteral("-s"), m_caller.extension, QStringLiteral("-i"),
                         m_caller.ip, QStringLiteral("-p"), QString::number(sipPort), QStringLiteral("-mi"),
                         m_caller.ip, QStringLiteral("-mp"), QString::number(mediaPort), QStringLiteral("-d"),
                         QStringLiteral("1000"), QStringLiteral("-trace_msg"), QStringLiteral("-message_file"),
                         traceFile},
                        60, error);
}

bool CallBench::answerUntilTheEnd(SipPeer& caller, const QString& name, qint64* clickedAt, QString* error)
{
    if (!clickAnswer(clickedAt, error) || !until([this] { return m_at.inCall >= 0; }, kStepTimeoutMs)) {
        *error = name + QStringLiteral(": not in the call after the answer ") + *error + QLatin1Char('\n')
                 + caller.output();
        return false;
    }
    if (!until([this] { return m_at.idle >= 0; }, kStepTimeoutMs) || !caller.finish(kStepTimeoutMs, error)) {
        *error = name + QStringLiteral(": the call did not end cleanly\n") + *error;
        return false;
    }
    return true;
}

bool CallBench::clickAnswer(qint64* clickedAt, QString* error)
{
    // The popup goes with the call should the caller give up meanwhile.
    const QPointer<RingPopup> popup = m_console->ringPopup();
    if (!popup || !until([popup] { return !popup || !popup->slideTimer()->isActive(); }, 5000) || !popup) {
        *error = QStringLiteral("the popup did not come to rest");
        return false;
    }
    *clickedAt = now();
    QTest::mouseClick(popup->answerButton(), Qt::LeftButton);
    return true;
}

bool CallBench::runCalls(int calls, CallFigures* figures, QString* error)
{
    if (calls <= 0)
        return true;
    LatenessProbe probe;
    probe.start();
    {
        const double cpu0 = threadCpuMs();
        runFor(kIdleMeasureMs);
        figures->idleGuiCpuMsPerS = (threadCpuMs() - cpu0) * 1000.0 / kIdleMeasureMs;
    }
    probe.clear();
    for (int call = 0; call < calls; ++call) {
        const QString name = QStringLiteral("call %1").arg(call + 1);
        if (!until([this] { return idleAndUp(); }, kStepTimeoutMs)) {
            *error = name + QStringLiteral(": the console is not idle with its engine up");
            return false;
        }
        // Calls start at random points of the backstop poll's cycle and the snapshot timer's.
        runFor(randomMs(2000));
        SipPeer caller(m_caller.logDir, QStringLiteral("caller"));
        const QString trace = m_caller.logDir + QStringLiteral("/caller_messages.log");
        m_at = Moments{};
        const double cpu0 = threadCpuMs();
        const qint64 startedAt = now();
        const qint64 startedAtWallUs = wallClockUs();
        if (!startCaller(caller, trace, error))
            return false;
        const double launchCpuMs = threadCpuMs() - cpu0;
        if (!until([this] { return m_at.popup >= 0; }, kStepTimeoutMs)) {
            *error = name + QStringLiteral(": no popup\n") + caller.output() + m_console.log();
            return false;
        }
        // The operator looks before clicking.
        runFor(randomMs(500));
        qint64 clickedAt = 0;
        if (!answerUntilTheEnd(caller, name, &clickedAt, error))
            return false;
        if (!m_console.watch().runaway().isEmpty()) {
            *error = m_console.watch().runaway();
            return false;
        }
        figures->popupMs.append(msBetween(startedAt, m_at.popup));
        figures->incomingToPopupMs.append(msBetween(m_at.incoming, m_at.popup));
        // A trace that cannot be read leaves the INVITE's moment out rather than counted as zero.
        if (const qint64 sentUs = inviteSentUs(trace); sentUs >= 0) {
            figures->inviteSentMs.append(double(sentUs - startedAtWallUs) / 1000.0);
            figures->inviteToIncomingMs.append(msBetween(startedAt, m_at.incoming) - figures->inviteSentMs.last());
        }
        figures->inCallMs.append(msBetween(clickedAt, m_at.inCall));
        figures->guiCpuMs.append(m_at.idleCpuMs - cpu0 - launchCpuMs);
        progress(name + QStringLiteral(": popup ") + ms(figures->popupMs.last()) + QStringLiteral(" ms, in call ")
                 + ms(figures->inCallMs.last()) + QStringLiteral(" ms after the click"));
    }
    probe.stop();
    figures->latenessMs = Samples::toMs(probe.samples());
    return true;
}

bool CallBench::runKills(int kills, KillFigures* figures, QString* error)
{
    LinphoneEngine& engine = m_console->telephony().engine();
    for (int kill = 0; kill < kills; ++kill) {
        const QString name = QStringLiteral("kill %1").arg(kill + 1);
        runFor(500 + randomMs(1000));
        if (!until([this] { return idleAndUp(); }, 30000)) {
            *error = name + QStringLiteral(": the engine is not up before the kill");
            return false;
        }
        const qint64 pid = engine.startedPid();
        if (pid <= 1) {
            *error = name + QStringLiteral(": the console's engine has no PID of its own");
            return false;
        }
        SipPeer caller(m_caller.logDir, QStringLiteral("kill%1").arg(kill + 1));
        m_at = Moments{};
        const qint64 killedAt = now();
        ::kill(pid_t(pid), SIGKILL);
        if (!caller.call(m_caller.scenario, m_caller.enginePort, m_caller.ip, m_caller.extension, 1000, error))
            return false;
        if (!until([this] { return m_at.up >= 0; }, 30000)) {
            *error = name + QStringLiteral(": no engine answered again\n") + m_console.log();
            return false;
        }
        // The operator answers as soon as the popup is there.
        if (!until([this] { return m_at.popup >= 0; }, 30000)) {
            *error = name + QStringLiteral(": the call did not ring\n") + caller.output();
            return false;
        }
        qint64 clickedAt = 0;
        if (!answerUntilTheEnd(caller, name, &clickedAt, error))
            return false;
        if (m_at.down >= 0)
            figures->lostMs.append(msBetween(killedAt, m_at.down));
        figures->upMs.append(msBetween(killedAt, m_at.up));
        figures->answeredMs.append(msBetween(killedAt, m_at.inCall));
        progress(name + QStringLiteral(": engine back ") + ms(figures->upMs.last()) + QStringLiteral(" ms, call in ")
                 + ms(figures->answeredMs.last()) + QStringLiteral(" ms"));
    }
    return true;
}

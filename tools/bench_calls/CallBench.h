#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

class CallConsole;
class SipPeer;

/// The call plans of qz-bench-calls against a console whose own engine is up: station calls answered in the
/// popup, and the engine's daemon killed while a station calls. The station is sipp. Every moment is taken
/// in the handler of the signal that marks it, on one clock; the waits in between run the event loop.
class CallBench
{
public:
    /// The calling station: sipp from ip as extension, playing scenario towards the engine's SIP port.
    struct Caller
    {
        QString ip;
        QString extension;
        quint16 enginePort = 0;
        QString scenario;
        /// Where sipp's output and error files go.
        QString logDir;
    };

    struct CallFigures
    {
        /// sipp's start to its INVITE sent, by the time stamp of sipp's message trace (wall clock, µs).
        QList<double> inviteSentMs;
        /// sipp's start (it sends its INVITE at once) to IncomingCallAlert::popupShown.
        QList<double> popupMs;
        /// The INVITE sent to CallSession::callStateChanged to CallState::Incoming: the engine's share (it
        /// takes the INVITE and prints its event line) and the console's reading of the line.
        QList<double> inviteToIncomingMs;
        /// The move to Incoming to the popup shown: the console's popup alone.
        QList<double> incomingToPopupMs;
        /// The answer click in the popup to CallSession::callStateChanged to CallState::InCall.
        QList<double> inCallMs;
        /// GUI-thread CPU from sipp's start to the call back at idle, less sipp's launch.
        QList<double> guiCpuMs;
        /// GUI-thread CPU per second before the calls, idle but for the lateness probe and the waits.
        double idleGuiCpuMsPerS = 0;
        /// A 10 ms timer's lateness from the first call's start to the last call's end, ms.
        QList<double> latenessMs;
    };

    struct KillFigures
    {
        /// SIGKILL to EngineSupervisor::telephonyChanged(false).
        QList<double> lostMs;
        /// SIGKILL to telephonyChanged(true): a new engine answered.
        QList<double> upMs;
        /// SIGKILL to the call the station started at that moment in InCall, answered in the popup at once.
        QList<double> answeredMs;
    };

    /// console must be started and outlive this object.
    CallBench(CallConsole& console, Caller caller);

    bool runCalls(int calls, CallFigures* figures, QString* error);
    bool runKills(int kills, KillFigures* figures, QString* error);

private:
    /// Moments on m_clock in ns, -1 until they come; reset before each step.
    struct Moments
    {
        qint64 incoming = -1;
        qint64 popup = -1;
        qint64 inCall = -1;
        qint64 idle = -1;
        double idleCpuMs = 0;
        qint64 down = -1;
        qint64 up = -1;
    };

    qint64 now() const { return m_clock.nsecsElapsed(); }
    static double msBetween(qint64 fromNs, qint64 toNs) { return double(toNs - fromNs) / 1e6; }
    /// Starts sipp as the station, tracing the messages it sends into traceFile.
    bool startCaller(SipPeer& caller, const QString& traceFile, QString* error);
    /// The popup at rest, then its answer button clicked; the click's moment.
    bool clickAnswer(qint64* clickedAt, QString* error);
    /// Answers in the popup (clickedAt: when), then waits for the call's end and the caller's.
    bool answerUntilTheEnd(SipPeer& caller, const QString& name, qint64* clickedAt, QString* error);
    bool idleAndUp() const;

    CallConsole& m_console;
    Caller m_caller;
    QElapsedTimer m_clock;
    Moments m_at;
    /// Receiver of the connections, so they end with this object.
    QObject m_hooks;
};

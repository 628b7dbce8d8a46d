#pragma once

#include "CallStateMachine.h"

#include <QObject>
#include <QString>

class ConsoleWindow;
class RingAlert;
class SipEngine;
struct ConfigRecord;

/// The call-status tick: polls the engine's call status and makes the console
/// follow it (callState, callStation, telephone images, popup and ring,
/// always-on-top, mute button, fade back to the tray). The single place
/// where callState moves. GUI thread only.
class CallStatusMonitor : public QObject
{
    Q_OBJECT
public:
    /// Every reference must outlive the monitor. callState and callStation are
    /// the main window's callState and callStation; stations is read at each
    /// tick, so a changed configuration takes effect at the next one.
    CallStatusMonitor(SipEngine& engine, const ConfigRecord& stations, int& callState, int& callStation,
                      ConsoleWindow& window, RingAlert& alert, QObject* parent = nullptr);

    /// One status tick: one callStatus and the steps it calls for, in
    /// order. A tick that falls due while an earlier one is still busy (its
    /// fade back to the tray runs) polls nothing and returns false.
    bool pollCallStatus();

    /// The engine is gone, and the call with it: the call handling goes back
    /// to idle at once, as when the call ends (the ring stops too).
    void engineLost();
    /// True from a tick's poll until its last step has run.
    bool isBusy() const { return m_busy; }

signals:
    /// callState moved (one signal per step that fired; station is callStation
    /// after it; status is the engine's text that moved it, empty when the
    /// engine was lost).
    void callStateChanged(int fromState, int toState, int station, const QString& status);
    /// A tick's steps have all run, fade included.
    void tickFinished();

private:
    /// Tests and runs the steps from kStepOrder[first] on; stops when a step
    /// has to wait for the fade, which resumes with the next step.
    void runSteps(const QString& status, int first);
    /// Runs a step that fired. False when the rest of the tick continues after the fade.
    bool apply(const CallTransition& t, const QString& status, int next);
    void finishTick();

    SipEngine& m_engine;
    const ConfigRecord& m_stations;
    int& m_callState;
    int& m_callStation;
    ConsoleWindow& m_window;
    RingAlert& m_alert;
    bool m_busy = false;
};

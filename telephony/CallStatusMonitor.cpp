#include "CallStatusMonitor.h"

#include "ConsoleWindow.h"
#include "RingAlert.h"
#include "SipEngine.h"

#include <QPointer>

CallStatusMonitor::CallStatusMonitor(SipEngine& engine, const ConfigRecord& stations, int& callState,
                                     int& callStation, ConsoleWindow& window, RingAlert& alert, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_stations(stations)
    , m_callState(callState)
    , m_callStation(callStation)
    , m_window(window)
    , m_alert(alert)
{
}

bool CallStatusMonitor::pollCallStatus()
{
    if (m_busy)
        return false;
    m_busy = true;
    const QString status = m_engine.callStatus();
    runSteps(status, 0);
    return true;
}

void CallStatusMonitor::engineLost()
{
    m_alert.stopRing();
    if (m_callState == CallStateMachine::kIdle)
        return;
    const bool wasBusy = m_busy;
    m_busy = true;
    // The end of a call as the engine would report it; a tick already held by a fade resumes on its own.
    const CallTransition end{CallStep::Ended, m_callState, CallStateMachine::kIdle, m_callStation};
    if (apply(end, QString(), int(CallStateMachine::kStepOrder.size())) && !wasBusy)
        finishTick();
}

void CallStatusMonitor::runSteps(const QString& status, int first)
{
    for (int i = first; i < int(CallStateMachine::kStepOrder.size()); ++i) {
        const auto t = CallStateMachine::tryStep(CallStateMachine::kStepOrder[std::size_t(i)], status, m_callState,
                                                 m_callStation, m_stations);
        if (t && !apply(*t, status, i + 1))
            return;
    }
    finishTick();
}

void CallStatusMonitor::finishTick()
{
    m_busy = false;
    emit tickFinished();
}

bool CallStatusMonitor::apply(const CallTransition& t, const QString& status, int next)
{
    const QString key = CallStateMachine::telImageKey(t.toState);
    switch (t.step) {
    case CallStep::Ended: {
        m_window.setTopmost(false);
        m_window.setZoomTopmost(false);
        m_window.setTelephoneImage(m_callStation, key);
        m_callState = t.toState;
        m_alert.unloadPopup();
        emit callStateChanged(t.fromState, t.toState, m_callStation, status);
        if (!m_window.isRestoredForCall()) {
            m_window.setMuteButtonVisible(false);
            return true;
        }
        // The rest of the tick waits for the fade; ticks due meanwhile are skipped (m_busy).
        QPointer<CallStatusMonitor> self(this);
        m_window.fadeBackToTray([self, status, next] {
            if (!self)
                return;
            self->m_window.setMuteButtonVisible(false);
            self->runSteps(status, next);
        });
        return false;
    }
    case CallStep::Incoming:
        m_callStation = t.station;
        m_window.setTelephoneImage(m_callStation, key);
        m_callState = t.toState;
        emit callStateChanged(t.fromState, t.toState, m_callStation, status);
        m_window.bringBackForCall();
        m_alert.showPopup();
        m_alert.startRing();
        return true;
    case CallStep::Connected:
        m_window.setTelephoneImage(m_callStation, key);
        m_callState = t.toState;
        m_window.setTopmost(true);
        m_window.setZoomTopmost(true);
        m_window.setMuteLook(false);
        m_window.setMuteButtonVisible(true);
        emit callStateChanged(t.fromState, t.toState, m_callStation, status);
        return true;
    case CallStep::Outgoing:
        m_window.setTelephoneImage(m_callStation, key);
        m_callState = t.toState;
        emit callStateChanged(t.fromState, t.toState, m_callStation, status);
        return true;
    }
    return true;
}

#include "CallStatusMonitor.h"

#include "CallView.h"
#include "RingAlert.h"
#include "SipEngine.h"

#include <QPointer>

CallStatusMonitor::CallStatusMonitor(SipEngine& engine, const ConfigRecord& stations, int& callState,
                                     int& callStation, CallView& view, RingAlert& alert, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_stations(stations)
    , m_callState(callState)
    , m_callStation(callStation)
    , m_view(view)
    , m_alert(alert)
{
}

bool CallStatusMonitor::Timer2Tick()
{
    if (m_busy)
        return false;
    m_busy = true;
    const QString status = m_engine.linphoneStatusHook();
    runSteps(status, 0);
    return true;
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

void CallStatusMonitor::setStationImage(int station, const QString& key)
{
    m_view.setTelImage(station, key);
    if (m_view.zoomedStation() == station)
        m_view.setZoomTelImage(key);
}

bool CallStatusMonitor::apply(const CallTransition& t, const QString& status, int next)
{
    const QString key = CallStateMachine::telImageKey(t.toState);
    switch (t.step) {
    case CallStep::Ended: {
        m_view.setTopmost(false);
        m_view.setTelImage(m_callStation, key);
        if (m_view.zoomedStation() != -1)
            m_view.setZoomTopmost(false);
        if (m_view.zoomedStation() == m_callStation)
            m_view.setZoomTelImage(key);
        m_callState = t.toState;
        m_alert.unloadPopup();
        emit callStateChanged(t.fromState, t.toState, m_callStation);
        if (m_view.isRestoredForCall()) {
            // The rest of the tick waits for the fade; ticks due meanwhile are skipped (m_busy).
            QPointer<CallStatusMonitor> self(this);
            auto resume = [self, status, next] {
                if (!self)
                    return;
                self->m_view.setMuteButtonVisible(false);
                self->runSteps(status, next);
            };
            if (m_view.startFadeBackToTray(resume))
                return false;
        }
        m_view.setMuteButtonVisible(false);
        return true;
    }
    case CallStep::Incoming:
        m_callStation = t.station;
        setStationImage(m_callStation, key);
        m_callState = t.toState;
        emit callStateChanged(t.fromState, t.toState, m_callStation);
        m_view.bringBackForCall();
        m_alert.showPopup();
        m_alert.startRing();
        return true;
    case CallStep::Connected:
        setStationImage(m_callStation, key);
        m_callState = t.toState;
        m_view.setTopmost(true);
        if (m_view.zoomedStation() != -1)
            m_view.setZoomTopmost(true);
        m_view.setMuteLook(false);
        m_view.setMuteButtonVisible(true);
        emit callStateChanged(t.fromState, t.toState, m_callStation);
        return true;
    case CallStep::Outgoing:
        setStationImage(m_callStation, key);
        m_callState = t.toState;
        emit callStateChanged(t.fromState, t.toState, m_callStation);
        return true;
    }
    return true;
}

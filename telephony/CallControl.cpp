#include "CallControl.h"

#include "CallStateMachine.h"
#include "ConfigRecord.h"
#include "ConsoleWindow.h"
#include "Logger.h"
#include "RingAlert.h"
#include "SipEngine.h"

CallControl::CallControl(SipEngine& engine, Logger& logger, const ConfigRecord& record, const int& callState,
                         int& callStation, ConsoleWindow& window, RingAlert& alert, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_logger(logger)
    , m_record(record)
    , m_callState(callState)
    , m_callStation(callStation)
    , m_window(window)
    , m_alert(alert)
{
}

QString CallControl::dialAddress(const ConfigRecord& record, int station)
{
    const auto s = std::size_t(station);
    if (record.useSipServer != 0)
        return record.extension[s];
    return QStringLiteral("sip:") + record.ipAddress[s];
}

QString CallControl::replyText(const QString& reply)
{
    QString text = reply;
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    // The engine ends its replies with a line end, which would split the log entry.
    return text.trimmed();
}

void CallControl::onTelephoneButton(int station)
{
    if (station < 0 || station >= CallStateMachine::kStations)
        return;
    // Read once, so exactly one branch runs even if an engine call ever lets a status tick move the state.
    const int state = m_callState;
    if (state == CallStateMachine::kIdle) {
        m_callStation = station;
        m_logger.write(replyText(m_engine.dial(dialAddress(m_record, station))));
    } else if (state == CallStateMachine::kIncoming) {
        m_engine.answer();
        m_logger.write(QStringLiteral("incoming"));
        m_alert.unloadPopup();
    } else if (state == CallStateMachine::kOutgoing || state == CallStateMachine::kInCall) {
        m_logger.write(QStringLiteral("hungup"));
        m_engine.hangUp();
    }
}

void CallControl::toggleMute()
{
    m_window.setTopmost(false);
    const bool muted = !m_window.muteLook();
    if (muted)
        m_engine.mute();
    else
        m_engine.unmute();
    m_window.setMuteLook(muted);
}

#include "CallControl.h"

#include "CallStateMachine.h"
#include "CallView.h"
#include "ConfigRecord.h"
#include "Logger.h"
#include "RingAlert.h"
#include "SipEngine.h"

CallControl::CallControl(SipEngine& engine, Logger& logger, const ConfigRecord& record, const int& callState,
                         int& callStation, CallView& view, RingAlert& alert, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_logger(logger)
    , m_record(record)
    , m_callState(callState)
    , m_callStation(callStation)
    , m_view(view)
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

QString CallControl::replyText(const QString& reply, int length)
{
    QString text = reply.left(qMax(length - 1, 0));
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    // The engine ends its replies with a line end, which would split the log entry.
    return text.trimmed();
}

void CallControl::cmdTel_MouseUp(int index)
{
    if (index < 0 || index >= CallStateMachine::kStations)
        return;
    // Read once, so exactly one branch runs even if an engine call ever lets a status tick move the state.
    const int state = m_callState;
    if (state == CallStateMachine::kIdle) {
        m_callStation = index;
        const QString reply = m_engine.linphoneDial(dialAddress(m_record, index));
        m_logger.WriteLog(replyText(reply, kReplyLength));
    } else if (state == CallStateMachine::kIncoming) {
        m_engine.linphoneAnswer();
        m_logger.WriteLog(QStringLiteral("incoming"));
        m_alert.unloadPopup();
    } else if (state == CallStateMachine::kOutgoing || state == CallStateMachine::kInCall) {
        m_logger.WriteLog(QStringLiteral("hungup"));
        m_engine.linphoneTerminate();
    }
}

void CallControl::iCmd_MouseUp(int index)
{
    m_view.setTopmost(false);
    switch (index) {
    case 0:
        emit aboutBoxRequested();
        break;
    case 1:
        emit configurationRequested();
        break;
    case 2:
        if (!m_view.muteLook()) {
            m_engine.linphoneMute();
            m_view.setMuteLook(true);
        } else {
            m_engine.linphoneUnmute();
            m_view.setMuteLook(false);
        }
        break;
    default:
        break;
    }
}

#include "CallControl.h"

#include "CallSession.h"
#include "ConfigRecord.h"
#include "ConsoleWindow.h"
#include "Logger.h"
#include "RingAlert.h"
#include "SipEngine.h"

#include <QPointer>

CallControl::CallControl(SipEngine& engine, Logger& logger, const ConfigRecord& record, CallSession& session,
                         ConsoleWindow& window, RingAlert& alert, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_logger(logger)
    , m_record(record)
    , m_session(session)
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
    switch (m_session.state()) {
    case CallState::Idle: {
        // A double click must not place two calls: the first is still on its way to the engine.
        if (m_dialOut)
            return;
        m_dialOut = true;
        m_session.noteDialled(station);
        QPointer<CallControl> self(this);
        m_engine.dial(dialAddress(m_record, station), [self](const EngineReply& reply) {
            if (!self)
                return;
            self->m_dialOut = false;
            self->m_logger.write(replyText(reply.text));
        });
        break;
    }
    case CallState::Incoming:
        answerRinging();
        break;
    case CallState::Outgoing:
    case CallState::InCall:
        hangUp();
        break;
    }
}

void CallControl::answerRinging()
{
    if (m_session.state() != CallState::Incoming)
        return;
    m_engine.answer();
    m_logger.write(QStringLiteral("incoming"));
    m_alert.unloadPopup();
}

void CallControl::rejectRinging()
{
    if (m_session.state() != CallState::Incoming)
        return;
    rejectFromPopup();
    m_alert.unloadPopup();
}

void CallControl::hangUp()
{
    if (m_session.state() != CallState::Outgoing && m_session.state() != CallState::InCall)
        return;
    m_logger.write(QStringLiteral("hungup"));
    m_session.noteHungUp();
    m_engine.hangUp();
}

void CallControl::answerFromPopup()
{
    m_engine.answer();
}

void CallControl::rejectFromPopup()
{
    m_session.noteRejected();
    m_engine.hangUp();
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

#pragma once

#include <QObject>
#include <QString>

class CallSession;
class ConsoleWindow;
class Logger;
class RingAlert;
class SipEngine;
struct ConfigRecord;

/// The operator's call buttons: a station's telephone button (tile or zoom
/// window) places, answers or ends a call; the microphone button mutes and
/// unmutes; the popup's buttons answer and refuse. They ask the engine and tell
/// the call session what the operator did; the call moves when the engine
/// reports it (CallSession).
class CallControl : public QObject
{
    Q_OBJECT
public:
    /// Every reference must outlive the object.
    CallControl(SipEngine& engine, Logger& logger, const ConfigRecord& record, CallSession& session,
                ConsoleWindow& window, RingAlert& alert, QObject* parent = nullptr);

    /// The telephone button of station (0..15). Idle: dials the station and
    /// logs the engine's reply (a second press while that dial is out does
    /// nothing); ringing: answers, logs "incoming" and unloads the popup;
    /// dialling or in a call: logs "hungup" and hangs up.
    void onTelephoneButton(int station);
    /// The popup's buttons: the engine answers or refuses the ringing call.
    void answerFromPopup();
    void rejectFromPopup();

    /// The call keys. A ringing call: answered as by its telephone button, or
    /// refused as by the popup; the popup goes. A call placed or answered: hung
    /// up as by its telephone button. In any other state they do nothing.
    void answerRinging();
    void rejectRinging();
    void hangUp();

    /// The microphone button: takes the main window out of the always-on-top
    /// band (as every command button does), then mutes or unmutes.
    void toggleMute();

    /// What the telephone button dials for station: with a SIP server the
    /// extension exactly as stored, otherwise "sip:" followed by the IP address.
    static QString dialAddress(const ConfigRecord& record, int station);

    /// A reply as the log shows it: up to its first NUL, without the line end.
    static QString replyText(const QString& reply);

private:
    SipEngine& m_engine;
    Logger& m_logger;
    const ConfigRecord& m_record;
    CallSession& m_session;
    ConsoleWindow& m_window;
    RingAlert& m_alert;
    bool m_dialOut = false;
};

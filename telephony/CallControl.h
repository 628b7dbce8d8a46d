#pragma once

#include <QObject>
#include <QString>

class ConsoleWindow;
class Logger;
class RingAlert;
class SipEngine;
struct ConfigRecord;

/// The operator's call buttons: a station's telephone button (tile or zoom
/// window) places, answers or ends a call; the microphone button mutes and
/// unmutes. They only ask the engine; the call state follows at the next
/// status tick (CallStatusMonitor).
class CallControl : public QObject
{
    Q_OBJECT
public:
    /// Every reference must outlive the object. callState is only read;
    /// callStation is set when the operator dials.
    CallControl(SipEngine& engine, Logger& logger, const ConfigRecord& record, const int& callState,
                int& callStation, ConsoleWindow& window, RingAlert& alert, QObject* parent = nullptr);

    /// The telephone button of station (0..15). Idle: dials the station and
    /// logs the engine's reply; ringing: answers, logs "incoming" and unloads
    /// the popup; dialling or in a call: logs "hungup" and hangs up.
    void onTelephoneButton(int station);

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
    const int& m_callState;
    int& m_callStation;
    ConsoleWindow& m_window;
    RingAlert& m_alert;
};

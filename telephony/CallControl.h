#pragma once

#include <QObject>
#include <QString>

class CallView;
class Logger;
class RingAlert;
class SipEngine;
struct ConfigRecord;

/// The operator's call buttons: a station's telephone button (tile or zoom
/// window) places, answers or ends a call; the command column's mute button
/// toggles the microphone. The handlers only ask the engine; the call state
/// follows at the next status tick (CallStatusMonitor). The 30-twip release
/// step is the buttons' own (ImageButton moves back before it emits released()).
class CallControl : public QObject
{
    Q_OBJECT
public:
    static constexpr int kReplyLength = 4096; ///< telephone button reply buffer, characters
    static constexpr int kMuteReplyLength = 100;

    /// Every reference must outlive the object. callState and callStation are
    /// the main window's CallState (only read) and CallStation (set on dial).
    CallControl(SipEngine& engine, Logger& logger, const ConfigRecord& record, const int& callState,
                int& callStation, CallView& view, RingAlert& alert, QObject* parent = nullptr);

    /// Release of station index's (0..15) telephone button. Idle: dials the
    /// station and logs the reply; incoming: answers, logs "incoming" and
    /// unloads the popup; outgoing or in call: logs "hungup" and hangs up.
    void cmdTel_MouseUp(int index);

    /// Release of command button index: 0 about box, 1 configuration dialog
    /// (both left to the application through the signals), 2 mute toggle.
    /// Every index first takes the main window out of always-on-top.
    void iCmd_MouseUp(int index);

    /// What cmdTel_MouseUp dials for station: with the use-SIP-server flag the
    /// extension exactly as stored, otherwise "sip:" followed by the IP address.
    static QString dialAddress(const ConfigRecord& record, int station);

    /// A reply as a fixed reply buffer of length characters holds it (up to
    /// the first NUL, at most length - 1 characters), trimmed for the log.
    static QString replyText(const QString& reply, int length);

signals:
    /// iCmd(0): the application shows the about box frmInfo, modally.
    void aboutBoxRequested();
    /// iCmd(1): the application shows the configuration dialog frmConf
    /// modally, then lays the tiles out again.
    void configurationRequested();

private:
    SipEngine& m_engine;
    Logger& m_logger;
    const ConfigRecord& m_record;
    const int& m_callState;
    int& m_callStation;
    CallView& m_view;
    RingAlert& m_alert;
};

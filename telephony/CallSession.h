#pragma once

#include "CallStateMachine.h"
#include "EngineOutputReader.h"

#include <QObject>
#include <QString>

#include <deque>

class ConsoleWindow;
class QTimer;
class RingAlert;
class SipEngine;
struct ConfigRecord;

/// Owns the console's call (CallStateMachine) and makes everything the
/// operator sees follow it: the telephone images, the popup and its ring, the
/// always-on-top band, the mute button and the fade back to the tray. The
/// engine's event lines move the call at once; a slow status poll is the
/// backstop that corrects a missed event (and, through the engine's request
/// bookkeeping, finds a hung engine). While a fade back to the tray runs, what
/// comes in waits and is applied after it, in order. GUI thread only.
class CallSession : public QObject
{
    Q_OBJECT
public:
    static constexpr int kBackstopIntervalMs = 2000;

    /// Every reference must outlive the session. stations is read at each
    /// move, so a changed configuration takes effect at the next call.
    CallSession(SipEngine& engine, const ConfigRecord& stations, ConsoleWindow& window, RingAlert& alert,
                QObject* parent = nullptr);

    CallState state() const { return m_call.state(); }
    /// The station of the current or last call.
    int station() const { return m_call.station(); }
    bool isRinging() const { return m_call.state() == CallState::Incoming; }

    /// Starts (or restarts at intervalMs) the backstop status poll; stopBackstop ends it (shutdown).
    void startBackstop(int intervalMs = kBackstopIntervalMs);
    void stopBackstop();
    int backstopIntervalMs() const;

    /// An event line of the engine's output.
    void handleEvent(const EngineEvent& event);
    /// One backstop poll (the timer's tick). Nothing when a poll is still out or a fade holds the moves.
    void pollStatus();
    /// The engine is gone, and the call with it: the ring stops at once and the call goes back to idle.
    void engineLost();

    /// The operator dialled station, ended the call, refused the ringing call: remembered for the move that follows.
    void noteDialled(int station);
    void noteHungUp();
    void noteRejected();

    /// True while a fade back to the tray holds the moves.
    bool isBusy() const { return m_fading; }

signals:
    /// The call moved (one signal per move, in order), with why.
    void callStateChanged(const CallTransition& transition);
    /// A backstop poll's reply (or failure) has been handled.
    void statusPolled(bool answered);

private:
    struct Input
    {
        enum class Kind
        {
            Event,
            Status,
            Lost,
        };
        Kind kind = Kind::Event;
        EngineEvent event;
        QString status;
        bool fresh = false;
    };

    void feed(Input input);
    /// Applies the pending moves, then the held inputs, until a fade holds them.
    void drain();
    /// Runs a move's effects. False when a fade was started: the rest waits for it.
    bool apply(const CallTransition& t);

    SipEngine& m_engine;
    const ConfigRecord& m_stations;
    ConsoleWindow& m_window;
    RingAlert& m_alert;
    CallStateMachine m_call;
    QTimer* m_backstop;
    std::deque<Input> m_held;
    std::deque<CallTransition> m_moves;
    /// Events seen so far: a poll whose reply comes after another event may tell of an older state.
    quint64 m_events = 0;
    bool m_pollOut = false;
    bool m_fading = false;
    bool m_draining = false;
};

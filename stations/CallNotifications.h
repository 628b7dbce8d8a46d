#pragma once

#include "ConfigRecord.h"
#include "FailureLogPolicy.h"

#include <QByteArray>
#include <QObject>

#include <array>
#include <functional>

class CallSockets;
class ConsoleWindow;
class Logger;
class Scheduler;

/// The stations' door-call announcements on their notification sockets
/// (onDataArrived, onSocketError) and the periodic reopen of those
/// sockets.
///
/// Each arrival is scanned on its own, case-sensitive: "CALL" anywhere marks
/// the station as calling and, with the option "PopUp on call" on and the
/// window minimised in the tray, brings the window back and on top; then "END"
/// anywhere clears the mark and, when no station calls any more and the window
/// came back for a call, fades it back to the tray (then not on top). Nothing
/// is kept between arrivals, so a word split across two arrivals counts for
/// nothing and a flooding station costs no more memory than one read.
///
/// A failed connection goes to the event log through a FailureLogPolicy:
/// "sock FAULT (STATION)" when the station's outage begins, then counts at most
/// once a minute, and "sock (STATION) works again after ..." once it connects.
class CallNotifications : public QObject
{
    Q_OBJECT
public:
    /// Pause between closing and reconnecting a station's socket at a reopen.
    static constexpr int kReopenWaitMs = 110;

    /// Every reference must outlive this object. Connects to sockets' arrivals and errors.
    CallNotifications(const ConfigRecord& record, CallSockets& sockets, ConsoleWindow& window, Logger& log,
                      Scheduler& scheduler, QObject* parent = nullptr);
    ~CallNotifications() override;

    /// One arrival of text on station's socket.
    void onDataArrived(int station, const QByteArray& data);
    /// A socket error (fault: the socket's description): the station's socket is closed until the next reopen.
    void onSocketError(int station, const QString& fault);
    /// station's socket connected.
    void onConnected(int station);

    /// The reopen of every 120th snapshot pass: writes "sock", then for each
    /// active station in index order closes its socket, waits kReopenWaitMs
    /// (the event loop runs meanwhile) and connects it again; then calls done.
    /// A station activated since start-up first gets its current address and
    /// the sockets' port. A reopen asked for while one runs calls done at once.
    void reopenSockets(std::function<void()> done);

    bool isReopening() const { return m_reopening; }
    /// The calling flag of station (1 between its "CALL" and its "END").
    int callingFlag(int station) const { return m_calling.at(station); }

signals:
    /// "CALL" arrived from station (also while it is already calling).
    void doorCallAnnounced(int station);
    /// "END" arrived from station.
    void doorCallEnded(int station);

private:
    void callStep(int station);
    void endStep(int station);
    void reopenNext();
    void reconnect(int station);

    const ConfigRecord& m_record;
    CallSockets& m_sockets;
    ConsoleWindow& m_window;
    Logger& m_log;
    Scheduler& m_scheduler;
    std::array<int, ConfigRecord::kStations> m_calling{};

    bool m_reopening = false;
    int m_reopenNext = 0;
    std::function<void()> m_reopenDone;
    FailureLogPolicy m_failureLog;
};

#pragma once

#include "FailureLogPolicy.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class Logger;
class Scheduler;
class TcpClientSocket;
struct ConfigRecord;

/// The lock and light relays of the stations (openDoor,
/// switchLight). A release sends a three-character command over a short
/// TCP connection to the station's relay port; the station switches the relay
/// for the given seconds and closes the connection.
///
/// One relay socket serves every station. Each command belongs to the
/// connection it was built for: it is sent only on that connection, so a
/// station never receives another station's command. A release while a
/// connection is still being set up closes that connection and drops both
/// commands (the operator presses again); a release while the previous
/// connection has sent its command and waits for the station to close it
/// closes that connection and goes ahead with its own command. A connection
/// not set up within kConnectTimeoutMs is given up and its command dropped.
///
/// A station whose connection fails goes to the event log through a
/// FailureLogPolicy: "relè RELAY FAULT (STATION)" when its outage begins, then
/// counts at most once a minute, and "relè (STATION) works again after ..."
/// at its next connection. A command dropped for another release is no fault
/// of the station and is not logged.
class RelayCommander : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 kPort = 6000;
    static constexpr int kConnectTimeoutMs = 3000;

    /// record, log and scheduler must outlive the commander. relayPort is the
    /// port of every station's relays (6000 for real stations).
    RelayCommander(const ConfigRecord& record, Logger& log, Scheduler& scheduler, quint16 relayPort = kPort,
                   QObject* parent = nullptr);
    ~RelayCommander() override;

    /// The command for relay (1 lock, 2 light) and an activation time in
    /// seconds: the relay number followed by the last two characters of "00"
    /// and the time in decimal. Lock 1 s gives "101", light 10 s "210", lock
    /// 123 s "123" (cut to "23"), lock -5 s "1-5", lock 0 s "100".
    static QString relayCommand(int relay, qint16 seconds);

    /// Release of station's lock button: logs "relè 1" and sends "1" + time
    /// (the station's lock relay time).
    void openDoor(int station);
    /// Release of station's light button: logs "relè 2" and sends "2" + time.
    void switchLight(int station);

    /// No relay connection is being set up or open.
    bool isIdle() const { return m_state == State::Idle; }

signals:
    /// command was handed to the connection to station.
    void commandSent(int station, const QString& command);
    /// command for station was not sent (socket busy, station unreachable, time-out).
    void commandDropped(int station, const QString& command);

private:
    enum class State
    {
        Idle,       ///< no connection
        Connecting, ///< a connection is being set up; its command waits
        Sent,       ///< the command went out; waiting for the station to close
    };

    void release(int station, int relay, int param, const QString& logText);
    void startConnection(int station, const QString& command);
    void onConnected();
    void onClosed();
    /// fault: why the connection failed, as the log names it ("Connection refused").
    void connectionFailed(const QString& fault);
    void closeConnection();
    QString stationName(int station) const;

    const ConfigRecord& m_record;
    Logger& m_log;
    Scheduler& m_scheduler;
    quint16 m_port;
    TcpClientSocket* m_socket;
    State m_state = State::Idle;
    int m_station = -1;
    QString m_command;
    quint64 m_connection = 0;
    FailureLogPolicy m_failureLog;
};

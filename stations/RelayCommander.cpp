#include "RelayCommander.h"

#include "ConfigRecord.h"
#include "Logger.h"
#include "Scheduler.h"
#include "TcpClientSocket.h"

RelayCommander::RelayCommander(const ConfigRecord& record, Logger& log, Scheduler& scheduler, quint16 relayPort,
                               QObject* parent)
    : QObject(parent)
    , m_record(record)
    , m_log(log)
    , m_scheduler(scheduler)
    , m_port(relayPort)
    , m_socket(new TcpClientSocket(this))
{
    connect(m_socket, &TcpClientSocket::connected, this, &RelayCommander::onConnected);
    connect(m_socket, &TcpClientSocket::disconnected, this, &RelayCommander::onClosed);
    connect(m_socket, &TcpClientSocket::errorOccurred, this, &RelayCommander::connectionFailed);
}

RelayCommander::~RelayCommander()
{
    m_state = State::Idle;
    m_socket->disconnect(this);
}

QString RelayCommander::relayCommand(int relay, qint16 seconds)
{
    return QString::number(relay) + (QStringLiteral("00") + QString::number(seconds)).right(2);
}

void RelayCommander::openDoor(int station)
{
    release(station, 1, ConfigRecord::kLockRelayParam, QStringLiteral("rel\u00E8 1"));
}

void RelayCommander::switchLight(int station)
{
    release(station, 2, ConfigRecord::kLightRelayParam, QStringLiteral("rel\u00E8 2"));
}

void RelayCommander::release(int station, int relay, int param, const QString& logText)
{
    // Logged on every release, also when the command is lost later.
    m_log.write(logText);
    if (station < 0 || station >= ConfigRecord::kStations)
        return;
    const QString command = relayCommand(relay, m_record.param(param, station));
    switch (m_state) {
    case State::Idle:
        startConnection(station, command);
        break;
    case State::Connecting: {
        // The earlier connection has not sent its command yet: cut it short and
        // drop both, so that neither command can reach the other station.
        const int earlierStation = m_station;
        const QString earlierCommand = m_command;
        closeConnection();
        emit commandDropped(earlierStation, earlierCommand);
        emit commandDropped(station, command);
        break;
    }
    case State::Sent:
        // The earlier command is out; only a station that keeps the connection
        // open is waited for, and it must not hold up the next command.
        closeConnection();
        startConnection(station, command);
        break;
    }
}

void RelayCommander::startConnection(int station, const QString& command)
{
    m_state = State::Connecting;
    m_station = station;
    m_command = command;
    const quint64 connection = ++m_connection;
    m_socket->setRemote(m_record.ipAddress[station], m_port);
    m_socket->connectToRemote();
    m_scheduler.singleShot(kConnectTimeoutMs, this, [this, connection]() {
        if (connection == m_connection && m_state == State::Connecting)
            connectionFailed(QStringLiteral("no connection within %1 s").arg(kConnectTimeoutMs / 1000));
    });
}

void RelayCommander::onConnected()
{
    if (m_state != State::Connecting)
        return;
    // The command built for this very connection, never a later release's.
    m_socket->send(m_command.toLatin1());
    m_state = State::Sent;
    const QString subject = QStringLiteral("rel\u00E8 (%1)").arg(stationName(m_station));
    if (const QString line = m_failureLog.succeeded(m_station, subject); !line.isEmpty())
        m_log.write(line);
    emit commandSent(m_station, m_command);
}

void RelayCommander::onClosed()
{
    if (m_state == State::Idle)
        return;
    connectionFailed(QStringLiteral("Connection closed"));
}

void RelayCommander::connectionFailed(const QString& fault)
{
    if (m_state == State::Idle)
        return;
    const bool wasConnecting = m_state == State::Connecting;
    const int station = m_station;
    const QString command = m_command;
    closeConnection();
    if (!wasConnecting)
        return;
    // The command starts with its relay's number.
    const QString line = m_failureLog.failed(
        station, QStringLiteral("rel\u00E8 %1 %2 (%3)").arg(command.left(1), fault, stationName(station)));
    if (!line.isEmpty())
        m_log.write(line);
    emit commandDropped(station, command);
}

QString RelayCommander::stationName(int station) const
{
    return FailureLogPolicy::stationName(m_record.description[station], station);
}

void RelayCommander::closeConnection()
{
    // Idle first: closing emits disconnected, which lands in onClosed.
    m_state = State::Idle;
    m_station = -1;
    m_command.clear();
    ++m_connection;
    m_socket->close();
}

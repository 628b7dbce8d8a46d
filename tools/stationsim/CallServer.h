#pragma once

#include "LogSink.h"
#include "StationMode.h"

#include <QHostAddress>
#include <QList>
#include <QObject>

class CallConnection;
class QTcpServer;

/// The call-notification port of one simulated station. Logs "callconn <index> open" and
/// "callconn <index> closed" for every connection and sends text to all open connections on request.
class CallServer : public QObject
{
    Q_OBJECT

public:
    /// mode is not owned and must outlive the server.
    CallServer(int stationIndex, const QHostAddress& address, quint16 port, const StationMode* mode, LogSink log,
               QObject* parent = nullptr);

    /// Starts listening unless the call mode is Refuse. False with error if the port cannot be bound.
    bool start(QString* error);

    /// Follows a change of the call mode: Refuse stops listening and closes every connection.
    bool applyMode(QString* error);

    /// Sends bytes to every open connection; returns how many connections they went to.
    int send(const QByteArray& bytes);

    /// Sends bytes of filler text to every open connection, in chunks; logs
    /// "flooddone <index> <sent bytes>" (or "floodcut ..." if the peer went away) per connection.
    int flood(qint64 bytes);

    /// Connections open now.
    int connectionCount() const { return static_cast<int>(m_connections.size()); }

private:
    void acceptConnections();

    int m_stationIndex;
    QHostAddress m_address;
    quint16 m_port;
    const StationMode* m_mode;
    LogSink m_log;
    QTcpServer* m_server;
    QList<CallConnection*> m_connections;
};

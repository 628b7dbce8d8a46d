#include "CallServer.h"

#include "CallConnection.h"

#include <QTcpServer>
#include <QTcpSocket>

CallServer::CallServer(int stationIndex, const QHostAddress& address, quint16 port, const StationMode* mode,
                       LogSink log, QObject* parent)
    : QObject(parent)
    , m_stationIndex(stationIndex)
    , m_address(address)
    , m_port(port)
    , m_mode(mode)
    , m_log(std::move(log))
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &CallServer::acceptConnections);
}

bool CallServer::start(QString* error)
{
    return applyMode(error);
}

bool CallServer::applyMode(QString* error)
{
    if (m_mode->call == CallMode::Refuse) {
        m_server->close();
        const QList<CallConnection*> open = m_connections;
        for (CallConnection* connection : open)
            connection->close();
        return true;
    }
    if (m_server->isListening() || m_server->listen(m_address, m_port))
        return true;
    *error = QStringLiteral("cannot listen on %1:%2 (call): %3")
                 .arg(m_address.toString())
                 .arg(m_port)
                 .arg(m_server->errorString());
    return false;
}

int CallServer::send(const QByteArray& bytes)
{
    for (CallConnection* connection : std::as_const(m_connections))
        connection->send(bytes);
    return static_cast<int>(m_connections.size());
}

int CallServer::flood(qint64 bytes)
{
    // Copied: a connection that fails while being fed leaves the list.
    const QList<CallConnection*> open = m_connections;
    for (CallConnection* connection : open)
        connection->flood(bytes);
    return static_cast<int>(open.size());
}

void CallServer::acceptConnections()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        auto* connection = new CallConnection(socket, this);
        m_connections.append(connection);
        m_log(QStringLiteral("callconn %1 open").arg(m_stationIndex));
        connect(connection, &CallConnection::floodEnded, this, [this](qint64 sent, bool complete) {
            m_log(QStringLiteral("%1 %2 %3")
                      .arg(complete ? QStringLiteral("flooddone") : QStringLiteral("floodcut"))
                      .arg(m_stationIndex)
                      .arg(sent));
        });
        connect(connection, &CallConnection::closed, this, [this, connection] {
            m_connections.removeOne(connection);
            connection->deleteLater();
            m_log(QStringLiteral("callconn %1 closed").arg(m_stationIndex));
        });
    }
}

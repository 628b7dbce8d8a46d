#include "CameraServer.h"

#include "HttpConnection.h"

#include <QTcpSocket>

CameraServer::CameraServer(const QHostAddress& address, quint16 port, const StationMode* mode, FrameSource* frames,
                           QObject* parent)
    : QObject(parent)
    , m_address(address)
    , m_port(port)
    , m_mode(mode)
    , m_frames(frames)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &CameraServer::acceptConnections);
}

bool CameraServer::start(QString* error)
{
    return applyMode(error);
}

bool CameraServer::applyMode(QString* error)
{
    if (m_mode->camera != CameraMode::Blackhole)
        m_blackhole.close();
    if (m_mode->camera != CameraMode::Refuse && m_mode->camera != CameraMode::Blackhole)
        return m_server->isListening() || listen(error);

    m_server->close();
    if (m_mode->camera == CameraMode::Blackhole)
        return m_blackhole.open(m_address, m_port, error); // open connections hang (HttpConnection)
    // A station that stops serving drops its open connections too.
    const QList<HttpConnection*> open = m_connections;
    for (HttpConnection* connection : open)
        connection->abort();
    return true;
}

bool CameraServer::listen(QString* error)
{
    if (m_server->listen(m_address, m_port))
        return true;
    *error = QStringLiteral("cannot listen on %1:%2 (camera): %3")
                 .arg(m_address.toString())
                 .arg(m_port)
                 .arg(m_server->errorString());
    return false;
}

void CameraServer::acceptConnections()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        auto* connection = new HttpConnection(socket, this);
        m_connections.append(connection);
        connect(connection, &HttpConnection::closed, this, [this, connection] {
            m_connections.removeOne(connection);
            connection->deleteLater();
        });
    }
}

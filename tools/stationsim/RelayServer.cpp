#include "RelayServer.h"

#include "TextEscape.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace
{

constexpr qsizetype kCommandBytes = 3;

} // namespace

RelayServer::RelayServer(int stationIndex, const QHostAddress& address, quint16 port, const StationMode* mode,
                         LogSink log, QObject* parent)
    : QObject(parent)
    , m_stationIndex(stationIndex)
    , m_address(address)
    , m_port(port)
    , m_mode(mode)
    , m_log(std::move(log))
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &RelayServer::acceptConnections);
}

bool RelayServer::start(QString* error)
{
    return applyMode(error);
}

bool RelayServer::applyMode(QString* error)
{
    const QList<QTcpSocket*> open = m_received.keys();
    if (m_mode->relay == RelayMode::Refuse) {
        m_server->close();
        for (QTcpSocket* socket : open)
            socket->disconnectFromHost();
        return true;
    }
    if (m_mode->relay == RelayMode::Close) {
        for (QTcpSocket* socket : open) {
            if (m_received.value(socket).size() >= kCommandBytes)
                socket->disconnectFromHost();
        }
    }
    if (m_server->isListening() || m_server->listen(m_address, m_port))
        return true;
    *error = QStringLiteral("cannot listen on %1:%2 (relay): %3")
                 .arg(m_address.toString())
                 .arg(m_port)
                 .arg(m_server->errorString());
    return false;
}

void RelayServer::acceptConnections()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_received.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readSocket(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { finish(socket); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::RemoteHostClosedError)
                finish(socket);
        });
        if (socket->bytesAvailable() > 0)
            readSocket(socket);
        if (socket->state() != QAbstractSocket::ConnectedState)
            finish(socket);
    }
}

void RelayServer::readSocket(QTcpSocket* socket)
{
    auto it = m_received.find(socket);
    if (it == m_received.end())
        return;
    it.value() += socket->readAll();
    if (m_mode->relay != RelayMode::Hold && it.value().size() >= kCommandBytes &&
        socket->state() == QAbstractSocket::ConnectedState) {
        socket->disconnectFromHost();
    }
}

void RelayServer::finish(QTcpSocket* socket)
{
    auto it = m_received.find(socket);
    if (it == m_received.end())
        return;
    // Bytes that came with the peer's FIN have not been read yet.
    it.value() += socket->readAll();
    const QByteArray bytes = it.value();
    m_received.erase(it);
    ++m_finished;
    const QString text = TextEscape::escape(bytes);
    m_log(QStringLiteral("relay %1 %2").arg(m_stationIndex).arg(m_address.toString()) +
          (text.isEmpty() ? QString() : QLatin1Char(' ') + text));
    socket->abort();
    socket->deleteLater();
}

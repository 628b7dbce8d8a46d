#include "TcpClientSocket.h"

#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>

TcpClientSocket::TcpClientSocket(QObject* parent)
    : QObject(parent)
    , m_socket(new QTcpSocket(this))
{
    m_socket->setProxy(QNetworkProxy::NoProxy);
    connect(m_socket, &QTcpSocket::connected, this, &TcpClientSocket::connected);
    connect(m_socket, &QTcpSocket::disconnected, this, &TcpClientSocket::disconnected);
    connect(m_socket, &QTcpSocket::readyRead, this, [this]() { emit dataArrived(m_socket->readAll()); });
    connect(m_socket, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError) { emit errorOccurred(m_socket->errorString()); });
}

void TcpClientSocket::setRemote(const QString& host, quint16 port)
{
    m_host = host;
    m_port = port;
}

void TcpClientSocket::connectToRemote()
{
    if (m_host.isEmpty()) {
        // Reported asynchronously, like any other failed connect.
        QTimer::singleShot(0, this, [this]() { emit errorOccurred(QStringLiteral("No remote host")); });
        return;
    }
    m_socket->abort();
    m_socket->connectToHost(m_host, m_port);
}

void TcpClientSocket::close()
{
    m_socket->abort();
}

bool TcpClientSocket::isIdle() const
{
    return m_socket->state() == QAbstractSocket::UnconnectedState;
}

void TcpClientSocket::send(const QByteArray& data)
{
    m_socket->write(data);
    // Into the kernel now: a close() that follows soon must not discard it.
    m_socket->flush();
}

void TcpClientSocket::setReadBufferSize(qint64 bytes)
{
    m_socket->setReadBufferSize(bytes);
}

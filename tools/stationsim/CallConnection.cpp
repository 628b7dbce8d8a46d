#include "CallConnection.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace
{

constexpr qint64 kHighWater = 256 * 1024;

QByteArray fillerChunk()
{
    QByteArray line(63, '.');
    line += '\n';
    return line.repeated(1024); // 64 KiB
}

} // namespace

CallConnection::CallConnection(QTcpSocket* socket, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
{
    m_socket->setParent(this);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // What the console sends here is of no interest; drain it so its buffers never fill.
    connect(m_socket, &QTcpSocket::readyRead, this, [this] { m_socket->readAll(); });
    connect(m_socket, &QTcpSocket::bytesWritten, this, &CallConnection::feed);
    connect(m_socket, &QTcpSocket::disconnected, this, &CallConnection::markClosed);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            m_socket->abort();
        markClosed();
    });
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        QTimer::singleShot(0, this, &CallConnection::markClosed);
}

void CallConnection::send(const QByteArray& bytes)
{
    if (m_closed)
        return;
    if (m_floodRemaining > 0)
        m_afterFlood += bytes;
    else
        m_socket->write(bytes);
}

void CallConnection::flood(qint64 bytes)
{
    if (m_closed || bytes <= 0)
        return;
    m_floodRemaining += bytes;
    feed();
}

void CallConnection::close()
{
    if (!m_closed)
        m_socket->disconnectFromHost();
}

void CallConnection::feed()
{
    if (m_closed || m_floodRemaining <= 0)
        return;
    static const QByteArray chunk = fillerChunk();
    while (m_floodRemaining > 0 && m_socket->bytesToWrite() < kHighWater) {
        const qint64 size = std::min<qint64>(m_floodRemaining, chunk.size());
        m_socket->write(chunk.constData(), size);
        m_floodRemaining -= size;
        m_floodSent += size;
    }
    if (m_floodRemaining > 0)
        return;
    const qint64 sent = m_floodSent;
    m_floodSent = 0;
    m_socket->write(m_afterFlood);
    m_afterFlood.clear();
    emit floodEnded(sent, true);
}

void CallConnection::markClosed()
{
    if (m_closed)
        return;
    m_closed = true;
    if (m_floodRemaining > 0) {
        m_floodRemaining = 0;
        emit floodEnded(m_floodSent, false);
    }
    emit closed();
}

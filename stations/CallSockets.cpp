#include "CallSockets.h"

#include "ConfigRecord.h"
#include "TcpClientSocket.h"

CallSockets::CallSockets(QObject* parent)
    : CallSockets(kPort, parent)
{
}

CallSockets::CallSockets(quint16 port, QObject* parent)
    : QObject(parent)
    , m_port(port)
{
    for (int i = 0; i < int(m_sockets.size()); ++i) {
        auto* socket = new TcpClientSocket(this);
        socket->setReadBufferSize(kMaxReadBytes);
        m_sockets[i] = socket;
        connect(socket, &TcpClientSocket::dataArrived, this,
                [this, i](const QByteArray& data) { emit dataArrived(i, data); });
        // onSocketError: a failed connection stays closed until the next reopen.
        connect(socket, &TcpClientSocket::errorOccurred, this, [this, socket, i](const QString& description) {
            socket->close();
            emit errorOccurred(i, description);
        });
        connect(socket, &TcpClientSocket::connected, this, [this, i]() { emit connected(i); });
    }
}

void CallSockets::startupOpen(const ConfigRecord& record)
{
    for (int i = 0; i < int(m_sockets.size()); ++i) {
        if (record.active[i] == 0)
            continue;
        m_sockets[i]->setRemote(record.ipAddress[i], m_port);
        m_sockets[i]->connectToRemote();
    }
}

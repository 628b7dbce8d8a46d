#include "CallSockets.h"

#include "ConfigRecord.h"
#include "TcpClientSocket.h"

CallSockets::CallSockets(QObject* parent)
    : QObject(parent)
{
    for (int i = 0; i < int(m_sockets.size()); ++i) {
        auto* socket = new TcpClientSocket(this);
        m_sockets[i] = socket;
        connect(socket, &TcpClientSocket::dataArrived, this, [this, i](const QByteArray& data) { emit dataArrived(i, data); });
        // A failed connection stays closed until the next reopen.
        connect(socket, &TcpClientSocket::errorOccurred, socket, &TcpClientSocket::close);
    }
}

void CallSockets::startupOpen(const ConfigRecord& record)
{
    for (int i = 0; i < int(m_sockets.size()); ++i) {
        if (record.active[i] == 0)
            continue;
        m_sockets[i]->setRemote(record.ipAddress[i], kPort);
        m_sockets[i]->connectToRemote();
    }
}

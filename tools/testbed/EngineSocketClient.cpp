#include "EngineSocketClient.h"

#include "EngineSocket.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLocalSocket>


namespace
{
int remainingMs(const QDeadlineTimer& deadline)
{
    return int(qMax<qint64>(0, deadline.remainingTime()));
}

QString timeoutText(const char* stage, int timeoutMs)
{
    return QStringLiteral("engine socket: no %1 within %2 ms").arg(QLatin1String(stage)).arg(timeoutMs);
}

QString connectErrorText(const QLocalSocket& socket, const QString& socketPath, int timeoutMs)
{
    // Qt's own texts ("Invalid name" for a missing socket) mislead in the event log.
    switch (socket.error()) {
    case QLocalSocket::ServerNotFoundError:
        return QStringLiteral("engine socket: no daemon socket at %1").arg(socketPath);
    case QLocalSocket::ConnectionRefusedError:
        return QStringLiteral("engine socket: %1 refuses connections (daemon not running)").arg(socketPath);
    case QLocalSocket::SocketTimeoutError:
        return timeoutText("connection", timeoutMs);
    default:
        return QStringLiteral("engine socket: %1: %2").arg(socketPath, socket.errorString());
    }
}
} // namespace

EngineSocketClient::Reply EngineSocketClient::request(const QString& socketPath, const QByteArray& command,
                                                      int timeoutMs)
{
    Reply reply;
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;

    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(remainingMs(deadline))) {
        reply.error = connectErrorText(socket, socketPath, timeoutMs);
        return reply;
    }

    socket.write(command);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remainingMs(deadline))) {
            reply.error = deadline.hasExpired() ? timeoutText("write", timeoutMs) : socket.errorString();
            socket.abort();
            return reply;
        }
    }

    // The daemon marks the end of its reply by closing the connection.
    for (;;) {
        reply.text += socket.readAll();
        if (socket.state() == QLocalSocket::UnconnectedState)
            break;
        if (deadline.hasExpired() || !socket.waitForReadyRead(remainingMs(deadline))) {
            reply.text += socket.readAll();
            if (socket.state() == QLocalSocket::UnconnectedState
                || socket.error() == QLocalSocket::PeerClosedError)
                break;
            reply.error = deadline.hasExpired() || socket.error() == QLocalSocket::SocketTimeoutError
                              ? timeoutText("complete reply", timeoutMs)
                              : socket.errorString();
            socket.abort();
            return reply;
        }
    }
    reply.ok = true;
    return reply;
}

bool EngineSocketClient::connectAndClose(const QString& socketPath, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.abort();
    return true;
}

bool EngineSocketClient::createLink(const QString& socketPath, const QString& linkPath, QString* error)
{
    return EngineSocket::createLink(socketPath, linkPath, error);
}

QString EngineSocketClient::defaultSocketPath()
{
    return EngineSocket::defaultPath();
}

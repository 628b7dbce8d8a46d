#pragma once

#include <QByteArray>
#include <QObject>

class QTcpSocket;

/// One open call-notification connection. Text sent while a flood is being fed waits behind the flood,
/// so the peer receives everything in the order it was asked for.
class CallConnection : public QObject
{
    Q_OBJECT

public:
    /// Takes ownership of socket.
    explicit CallConnection(QTcpSocket* socket, QObject* parent = nullptr);

    void send(const QByteArray& bytes);

    /// Queues bytes of filler text (lines of dots, never "CALL" or "END"), fed in chunks as the peer reads.
    void flood(qint64 bytes);

    /// Closes the connection, after what is already written.
    void close();

signals:
    /// A flood has been handed to the network completely (sent) or cut short by the peer.
    void floodEnded(qint64 sentBytes, bool complete);
    /// The connection has ended; emitted once.
    void closed();

private:
    void feed();
    void markClosed();

    QTcpSocket* m_socket;
    qint64 m_floodRemaining = 0;
    qint64 m_floodSent = 0;
    QByteArray m_afterFlood;
    bool m_closed = false;
};

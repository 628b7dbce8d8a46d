#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;

/// An outgoing TCP connection with the operations the station channels use:
/// asynchronous connect, send, read of everything received, close.
class TcpClientSocket : public QObject
{
    Q_OBJECT
public:
    explicit TcpClientSocket(QObject* parent = nullptr);

    void setRemote(const QString& host, quint16 port);
    QString remoteHost() const { return m_host; }
    quint16 remotePort() const { return m_port; }

    /// Starts connecting; completion or failure arrive as signals. A socket
    /// without a host fails through errorOccurred, never by throwing.
    void connectToRemote();
    void close();
    bool isIdle() const;
    /// Hands data to the connection at once (as far as the kernel takes it),
    /// so a close() soon after does not drop it.
    void send(const QByteArray& data);
    /// Holds at most bytes of received data at a time (0: no limit); a peer
    /// that sends faster is slowed down by TCP instead of filling memory.
    void setReadBufferSize(qint64 bytes);

signals:
    void connected();
    /// Everything received since the last arrival.
    void dataArrived(const QByteArray& data);
    void errorOccurred(const QString& description);
    void disconnected();

private:
    QTcpSocket* m_socket;
    QString m_host;
    quint16 m_port = 0;
};

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
    bool isConnected() const;
    bool isIdle() const;
    void send(const QByteArray& data);

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

#pragma once

#include <QByteArray>
#include <QObject>

class CameraServer;
class QTcpSocket;

/// One accepted HTTP connection of a simulated camera. Requests are answered one at a time, in order;
/// the answer follows the station's camera mode at the moment the request is read.
class HttpConnection : public QObject
{
    Q_OBJECT

public:
    /// Takes ownership of socket; server must outlive the connection.
    HttpConnection(QTcpSocket* socket, CameraServer* server);

    /// Drops the connection at once; closed() follows.
    void abort();

signals:
    /// The connection has ended; emitted once.
    void closed();

private:
    void readSocket();
    void processBuffered();
    void handle(const QByteArray& method, const QByteArray& target);
    void reply(int status, const QByteArray& contentType, const QByteArray& body);
    void writeHeader(int status, const QByteArray& contentType, qint64 contentLength);
    void finishResponse();
    void feedHugeBody();
    void markClosed();

    QTcpSocket* m_socket;
    CameraServer* m_server;
    QByteArray m_buffer;
    bool m_busy = false; // a response is in progress, later requests wait
    bool m_hung = false; // hang mode: read and forget everything
    bool m_keepAlive = true;
    bool m_streaming = false; // a huge body is being fed
    bool m_closed = false;
    qint64 m_bodyRemaining = 0;
};

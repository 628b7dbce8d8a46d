#pragma once

#include "BlackholeListener.h"
#include "StationMode.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>

class FrameSource;
class HttpConnection;

/// The HTTP camera of one simulated station: GET "/snap.jpg" answers as the station's camera mode says,
/// every other path gets 404. Connections are kept alive as HTTP/1.1 asks.
class CameraServer : public QObject
{
    Q_OBJECT

public:
    /// mode and frames are not owned and must outlive the server.
    CameraServer(const QHostAddress& address, quint16 port, const StationMode* mode, FrameSource* frames,
                 QObject* parent = nullptr);

    /// Starts listening unless the camera mode is Refuse (Blackhole: a port that never completes a
    /// connect). False with error if the port cannot be bound.
    bool start(QString* error);

    /// Follows a change of the camera mode: Refuse stops listening and closes every connection,
    /// Blackhole swaps the listener for a BlackholeListener and leaves open connections unanswered,
    /// any other mode listens again if needed.
    bool applyMode(QString* error);

    const StationMode& mode() const { return *m_mode; }
    FrameSource& frames() { return *m_frames; }

    /// Requests received since start, on every path.
    qint64 requestCount() const { return m_requests; }
    /// Connections open now.
    int connectionCount() const { return static_cast<int>(m_connections.size()); }

    /// Called by a connection for every complete request it reads.
    void countRequest() { ++m_requests; }

private:
    void acceptConnections();
    bool listen(QString* error);

    QHostAddress m_address;
    quint16 m_port;
    const StationMode* m_mode;
    FrameSource* m_frames;
    QTcpServer* m_server;
    BlackholeListener m_blackhole;
    QList<HttpConnection*> m_connections;
    qint64 m_requests = 0;
};

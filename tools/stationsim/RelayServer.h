#pragma once

#include "LogSink.h"
#include "StationMode.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>

class QTcpServer;
class QTcpSocket;

/// The relay port of one simulated station. Records every byte of each connection and, unless told to
/// hold, closes the connection itself once three bytes have arrived, as a real station does after switching
/// its relay. When a connection ends it logs "relay <index> <address> <bytes>", the bytes escaped.
class RelayServer : public QObject
{
    Q_OBJECT

public:
    /// mode is not owned and must outlive the server.
    RelayServer(int stationIndex, const QHostAddress& address, quint16 port, const StationMode* mode, LogSink log,
                QObject* parent = nullptr);

    /// Starts listening unless the relay mode is Refuse. False with error if the port cannot be bound.
    bool start(QString* error);

    /// Follows a change of the relay mode: Refuse stops listening and closes every connection, Close closes
    /// held connections that already carry a command, and listening resumes when needed.
    bool applyMode(QString* error);

    /// Connections open now.
    int connectionCount() const { return static_cast<int>(m_received.size()); }
    /// Connections that have ended since start.
    qint64 finishedCount() const { return m_finished; }

private:
    void acceptConnections();
    void readSocket(QTcpSocket* socket);
    void finish(QTcpSocket* socket);

    int m_stationIndex;
    QHostAddress m_address;
    quint16 m_port;
    const StationMode* m_mode;
    LogSink m_log;
    QTcpServer* m_server;
    QHash<QTcpSocket*, QByteArray> m_received;
    qint64 m_finished = 0;
};

#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>

class TcpClientSocket;
struct ConfigRecord;

/// The sixteen call-notification connections, one per station, to port 6001.
class CallSockets : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 kPort = 6001;
    /// Received text held per socket at a time: a station that floods its
    /// port is read, scanned and dropped in pieces of at most this size.
    static constexpr qint64 kMaxReadBytes = 64 * 1024;

    explicit CallSockets(QObject* parent = nullptr);
    /// Sockets to another port than 6001 (simulated stations in tests).
    CallSockets(quint16 port, QObject* parent);

    TcpClientSocket* socket(int station) const { return m_sockets.at(station); }

    /// The port every station's socket connects to.
    quint16 port() const { return m_port; }

    /// Gives every active station's socket its address and port 6001 and starts
    /// connecting it; inactive stations get nothing.
    void startupOpen(const ConfigRecord& record);

signals:
    /// Text received on a station's connection, one arrival at a time.
    void dataArrived(int station, const QByteArray& data);
    /// A station's connection failed (description: the socket's, "Connection refused"); the socket has been
    /// closed already.
    void errorOccurred(int station, const QString& description);
    /// A station's connection is set up.
    void connected(int station);

private:
    std::array<TcpClientSocket*, 16> m_sockets{};
    quint16 m_port = kPort;
};

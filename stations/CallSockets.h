#pragma once

#include <QByteArray>
#include <QObject>

#include <array>

class TcpClientSocket;
struct ConfigRecord;

/// The sixteen call-notification connections, one per station, to port 6001.
class CallSockets : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 kPort = 6001;

    explicit CallSockets(QObject* parent = nullptr);

    TcpClientSocket* wsockCall(int station) const { return m_sockets.at(station); }

    /// Gives every active station's socket its address and port 6001 and starts
    /// connecting it; inactive stations get nothing.
    void startupOpen(const ConfigRecord& record);

signals:
    /// Text received on a station's connection, one arrival at a time.
    void dataArrived(int station, const QByteArray& data);

private:
    std::array<TcpClientSocket*, 16> m_sockets{};
};

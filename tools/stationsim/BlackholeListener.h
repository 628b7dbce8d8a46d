#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

/// A camera port that takes no connection, like a host that is unplugged: a client's SYN gets no
/// answer, so its connect hangs until its own time-out (no refusal, no reset). The port listens with
/// a backlog of 0 that is never accepted from, and the simulator fills that queue with connections of
/// its own; Linux then drops every further SYN. Loopback addresses only.
class BlackholeListener
{
public:
    BlackholeListener() = default;
    ~BlackholeListener() { close(); }

    BlackholeListener(const BlackholeListener&) = delete;
    BlackholeListener& operator=(const BlackholeListener&) = delete;

    /// Listens on address:port and fills the queue until a connect of its own goes unanswered.
    /// Blocks for about kProbeMs. False with error if the port cannot be bound or the queue will not fill.
    bool open(const QHostAddress& address, quint16 port, QString* error);

    /// Closes the port and the filler connections (the queued ones get a reset).
    void close();

    bool isOpen() const { return m_listener >= 0; }

    /// How long a connect of its own may stay unanswered before the queue counts as full.
    static constexpr int kProbeMs = 200;

private:
    int m_listener = -1;
    QList<int> m_fillers;
};

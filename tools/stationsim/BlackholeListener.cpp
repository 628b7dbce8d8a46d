#include "BlackholeListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

/// More than the kernel ever queues for a backlog of 0 (one connection, or none without SYN cookies).
constexpr int kMaxFillers = 8;

enum class Connect
{
    Done,
    Unanswered,
    Failed,
};

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1StringView(what), QString::fromLocal8Bit(std::strerror(errno)));
}

/// A non-blocking connect to target, waited for up to timeoutMs; *fd is the socket (closed on Failed).
Connect connectOnce(const sockaddr_in& target, int timeoutMs, int* fd, QString* error)
{
    *fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (*fd < 0) {
        *error = systemError("socket");
        return Connect::Failed;
    }
    if (::connect(*fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0)
        return Connect::Done;
    if (errno != EINPROGRESS) {
        *error = systemError("connect");
        ::close(*fd);
        return Connect::Failed;
    }
    pollfd waiting{*fd, POLLOUT, 0};
    int ready = 0;
    do
        ready = ::poll(&waiting, 1, timeoutMs);
    while (ready < 0 && errno == EINTR);
    if (ready == 0)
        return Connect::Unanswered;
    int soError = 0;
    socklen_t length = sizeof soError;
    if (ready < 0 || ::getsockopt(*fd, SOL_SOCKET, SO_ERROR, &soError, &length) != 0 || soError != 0) {
        if (soError != 0)
            errno = soError;
        *error = systemError("connect");
        ::close(*fd);
        return Connect::Failed;
    }
    return Connect::Done;
}

} // namespace

bool BlackholeListener::open(const QHostAddress& address, quint16 port, QString* error)
{
    if (isOpen())
        return true;
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (!isIpv4 || !address.isLoopback()) {
        *error = QStringLiteral("blackhole needs a 127.x.x.x address, not %1").arg(address.toString());
        return false;
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = htonl(ipv4);

    const QString where = QStringLiteral("%1:%2 (camera, blackhole)").arg(address.toString()).arg(port);
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (m_listener < 0 || ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || ::bind(m_listener, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0
        || ::listen(m_listener, 0) != 0) {
        *error = QStringLiteral("cannot listen on %1: %2").arg(where, systemError("listen"));
        close();
        return false;
    }
    // Connects of its own until one goes unanswered: from then on the queue is full and the kernel
    // drops every SYN that reaches the port.
    for (int i = 0; i <= kMaxFillers; ++i) {
        int fd = -1;
        QString connectError;
        switch (connectOnce(target, kProbeMs, &fd, &connectError)) {
        case Connect::Done:
            m_fillers.append(fd);
            continue;
        case Connect::Unanswered:
            ::close(fd);
            return true;
        case Connect::Failed:
            *error = QStringLiteral("cannot fill the queue of %1: %2").arg(where, connectError);
            close();
            return false;
        }
    }
    *error = QStringLiteral("the queue of %1 took %2 connections and would not fill").arg(where).arg(kMaxFillers);
    close();
    return false;
}

void BlackholeListener::close()
{
    for (const int fd : std::as_const(m_fillers))
        ::close(fd);
    m_fillers.clear();
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
}

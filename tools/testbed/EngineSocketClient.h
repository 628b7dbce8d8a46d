#pragma once

#include <QByteArray>
#include <QString>

/// A blocking client for the SIP engine daemon's unix socket (linphonec --pipe),
/// for tests and benchmarks that ask the engine beside the console. One
/// request is one connection: connect, write the command, read the reply until
/// the daemon closes the connection.
class EngineSocketClient
{
public:
    /// The daemon answers in about 20 ms; this bounds a hung or busy one.
    static constexpr int DefaultTimeoutMs = 2000;

    struct Reply
    {
        /// True when the daemon took the command and closed the connection in time.
        bool ok = false;
        /// Everything the daemon wrote; on failure what arrived before it.
        QByteArray text;
        /// Why the request failed; empty when ok.
        QString error;
    };

    /// Sends one command (no line end needed) and waits for the whole reply.
    /// Blocks the calling thread for at most timeoutMs milliseconds in all,
    /// connection included; needs no event loop.
    static Reply request(const QString& socketPath, const QByteArray& command, int timeoutMs = DefaultTimeoutMs);

    /// Connects and closes at once, sending nothing. Wakes a daemon thread that
    /// waits in accept(). True when the connection was made.
    static bool connectAndClose(const QString& socketPath, int timeoutMs);

    /// Makes linkPath a second name (hard link) of the socket at socketPath,
    /// replacing an old linkPath. The daemon can still be reached through it
    /// after it has removed its own name. Both must be on one file system.
    static bool createLink(const QString& socketPath, const QString& linkPath, QString* error = nullptr);

    /// The daemon's socket for the current user: "/tmp/linphonec-" + uid.
    static QString defaultSocketPath();
};

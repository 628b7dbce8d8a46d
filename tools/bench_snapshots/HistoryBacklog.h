#pragma once

#include <QString>

class PostgresServer;

/// The history server for the benchmark: a PostgreSQL server of its own with a desk role and an empty
/// database that the first desk fills with the tables, the password in a password file of its own
/// (PGPASSFILE is set to it for this process).
class BenchHistoryServer
{
public:
    BenchHistoryServer();
    ~BenchHistoryServer();

    /// "up": starts the server; "down": a connection to a closed port on 127.0.0.1.
    bool start(const QString& mode, const QString& scratchDir, QString* error);
    /// libpq keywords for a desk.
    QString connection() const { return m_connection; }

private:
    PostgresServer* m_server = nullptr;
    QString m_connection;
};

/// Delivering a backlog: events recorded while the server was away, then handed to the server at once.
struct BacklogFigures
{
    bool ok = false;
    QString error;
    int events = 0;
    qint64 pictureBytes = 0;
    /// From setServer() until the last batch was committed, and until the archive said it had caught up.
    double seconds = 0;
    double caughtUpSeconds = 0;
    /// The events the server held at the end.
    qint64 onServer = -1;
};

/// Records events, each with a 640 x 480 camera-like JPEG, into a new archive in dir without a server,
/// then opens it again with the server at connection and times the delivery.
BacklogFigures measureBacklog(const QString& dir, const QString& connection, int events);

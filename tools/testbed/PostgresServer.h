#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

/// A PostgreSQL server of a test's or a benchmark's own: a new cluster in a
/// temporary directory, made and run as the "postgres" account (runuser: the
/// server refuses root), serving 127.0.0.1 only on a free port, passwords
/// (SCRAM) required over TCP. The superuser's statements go through psql on the
/// cluster's own socket. Stopped when this object goes away. Needs root.
class PostgresServer
{
public:
    PostgresServer();
    /// Stops the server (fast shutdown, bounded wait).
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    /// Whether this machine can run one; *why when not.
    static bool available(QString* why);

    /// Makes the cluster (the first time) and starts the server.
    bool start(QString* error);
    bool stop(QString* error = nullptr);
    bool isRunning() const { return m_running; }
    quint16 port() const { return m_port; }

    /// Runs sql (statements, or a whole file's text) as the superuser in database.
    bool run(const QString& sql, const QString& database = QStringLiteral("postgres"), QString* error = nullptr);
    /// The rows of a query as psql prints them unaligned ("a|b"), one per line; empty on failure.
    QStringList rows(const QString& sql, const QString& database = QStringLiteral("postgres"));
    /// libpq keywords for a desk's connection: this server, database and user; no password.
    QString connection(const QString& database, const QString& user) const;

private:
    /// psql to database on the cluster's own socket, stopping at the first error.
    QStringList psqlArguments(const QString& database) const;
    bool runAsPostgres(const QString& program, const QStringList& arguments, const QByteArray& input, QString* output,
                       int timeoutMs);

    std::unique_ptr<QTemporaryDir> m_dir;
    quint16 m_port = 0;
    bool m_made = false;
    bool m_running = false;
};

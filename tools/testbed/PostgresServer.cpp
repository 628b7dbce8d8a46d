#include "PostgresServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>

#include <pwd.h>
#include <unistd.h>

namespace {

const QString kBin = QStringLiteral("/usr/lib/postgresql/15/bin/");
const QString kSuperPassword = QStringLiteral("superuser-of-a-test");
constexpr int kCommandMs = 60000;

/// A port nothing listens on now, on 127.0.0.1.
quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0) ? probe.serverPort() : 0;
}

bool giveToPostgres(const QString& path)
{
    const passwd* account = ::getpwnam("postgres");
    return account && ::chown(QFile::encodeName(path).constData(), account->pw_uid, account->pw_gid) == 0;
}

bool writeOwnedByPostgres(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return giveToPostgres(path);
}

} // namespace

PostgresServer::PostgresServer() = default;

PostgresServer::~PostgresServer()
{
    stop();
}

bool PostgresServer::available(QString* why)
{
    if (::geteuid() != 0)
        *why = QStringLiteral("not root: the server runs as the postgres account, through runuser");
    else if (!::getpwnam("postgres"))
        *why = QStringLiteral("no postgres account (Debian postgresql-15 makes it)");
    else if (!QFileInfo(kBin + QStringLiteral("initdb")).isExecutable())
        *why = kBin + QStringLiteral("initdb is missing (Debian postgresql-15)");
    else
        return true;
    return false;
}

bool PostgresServer::runAsPostgres(const QString& program, const QStringList& arguments, const QByteArray& input,
                                   QString* output, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                                         QStringLiteral("--"), program} + arguments);
    if (process.waitForStarted(timeoutMs)) {
        process.write(input);
        process.closeWriteChannel();
    }
    const bool finished = process.waitForFinished(timeoutMs);
    *output = QString::fromLocal8Bit(process.readAll());
    if (!finished) {
        process.kill();
        process.waitForFinished(5000);
        *output += QStringLiteral(" (no end within %1 ms)").arg(timeoutMs);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool PostgresServer::start(QString* error)
{
    QString output;
    if (!m_made) {
        m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/qz-postgres-XXXXXX"));
        const QString password = m_dir->filePath(QStringLiteral("superuser-password"));
        if (!m_dir->isValid() || !writeOwnedByPostgres(password, kSuperPassword.toUtf8())
            || !giveToPostgres(m_dir->path())) {
            *error = QStringLiteral("cannot prepare a directory for the postgres account");
            return false;
        }
        // Local (socket) connections are the superuser's, trusted; TCP ones need a password.
        if (!runAsPostgres(kBin + QStringLiteral("initdb"),
                           {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-U"),
                            QStringLiteral("postgres"), QStringLiteral("--pwfile=") + password,
                            QStringLiteral("--auth-local=trust"), QStringLiteral("--auth-host=scram-sha-256"),
                            QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--no-sync"),
                            QStringLiteral("--no-instructions")},
                           {}, &output, kCommandMs)) {
            *error = QStringLiteral("initdb: ") + output;
            return false;
        }
        m_made = true;
        m_port = freePort();
    }
    if (!runAsPostgres(kBin + QStringLiteral("pg_ctl"),
                       {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-l"),
                        m_dir->filePath(QStringLiteral("server.log")), QStringLiteral("-o"),
                        QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1").arg(m_port).arg(m_dir->path()),
                        QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("30"), QStringLiteral("start")},
                       {}, &output, kCommandMs)) {
        *error = QStringLiteral("pg_ctl start: ") + output;
        return false;
    }
    m_running = true;
    return true;
}

bool PostgresServer::stop(QString* error)
{
    if (!m_running)
        return true;
    QString output;
    if (!runAsPostgres(kBin + QStringLiteral("pg_ctl"),
                       {QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-m"),
                        QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("30"),
                        QStringLiteral("stop")},
                       {}, &output, kCommandMs)) {
        if (error)
            *error = QStringLiteral("pg_ctl stop: ") + output;
        return false;
    }
    m_running = false;
    return true;
}

bool PostgresServer::run(const QString& sql, const QString& database, QString* error)
{
    QString output;
    const bool ok = runAsPostgres(QStringLiteral("/usr/bin/psql"),
                                  psqlArguments(database) + QStringList{QStringLiteral("-q"), QStringLiteral("-f"),
                                                                        QStringLiteral("-")},
                                  sql.toUtf8(), &output, kCommandMs);
    if (!ok && error)
        *error = output;
    return ok;
}

QStringList PostgresServer::rows(const QString& sql, const QString& database)
{
    QString output;
    if (!runAsPostgres(QStringLiteral("/usr/bin/psql"),
                       psqlArguments(database) + QStringList{QStringLiteral("-A"), QStringLiteral("-t"),
                                                             QStringLiteral("-c"), sql},
                       {}, &output, kCommandMs))
        return {};
    return output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList PostgresServer::psqlArguments(const QString& database) const
{
    return {QStringLiteral("-h"), m_dir->path(), QStringLiteral("-p"), QString::number(m_port), QStringLiteral("-d"),
            database, QStringLiteral("-X"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1")};
}

QString PostgresServer::connection(const QString& database, const QString& user) const
{
    return QStringLiteral("host=127.0.0.1 port=%1 dbname=%2 user=%3").arg(m_port).arg(database, user);
}

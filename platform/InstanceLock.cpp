#include "InstanceLock.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace {

const QByteArray kActivate = QByteArrayLiteral("activate\n");

QString serverPath(const QString& lockPath)
{
    return lockPath + QStringLiteral(".sock");
}

} // namespace

InstanceLock::InstanceLock(const QString& lockPath, QObject* parent)
    : QObject(parent)
    , m_lockPath(lockPath.isEmpty() ? defaultPath() : lockPath)
    , m_lock(std::make_unique<QLockFile>(m_lockPath))
{
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::tryAcquire()
{
    if (m_lock->isLocked())
        return true;
    if (!m_lock->tryLock(0))
        return false;
    listen();
    return true;
}

void InstanceLock::listen()
{
    // Whoever holds the lock owns the socket name: one left by a killed console is stale.
    QLocalServer::removeServer(serverPath(m_lockPath));
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(serverPath(m_lockPath)))
        return; // the console still runs; only a second start's click goes unanswered
    connect(m_server, &QLocalServer::newConnection, this, [this]() {
        while (QLocalSocket* client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client]() {
                if (client->readAll().startsWith(kActivate.trimmed()))
                    emit activationRequested();
                client->disconnectFromServer();
            });
        }
    });
}

bool InstanceLock::activateRunningInstance(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverPath(m_lockPath));
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kActivate);
    const bool written = socket.waitForBytesWritten(timeoutMs);
    // The console closes the connection once it has read the request.
    socket.waitForDisconnected(timeoutMs);
    return written;
}

QString InstanceLock::defaultPath()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/qzconsole.lock");
}

#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

/// One console per user. The lock lives in the user's runtime directory; a
/// lock left by a killed console is recovered. The console holding it listens
/// beside it, so a second start can ask it to come to the front instead of
/// the operator's click being lost.
class InstanceLock : public QObject
{
    Q_OBJECT
public:
    /// lockPath empty: the default path in the user's runtime directory.
    explicit InstanceLock(const QString& lockPath = {}, QObject* parent = nullptr);
    ~InstanceLock() override;

    /// True when this process now holds the lock (no other instance runs);
    /// it then answers later starts' requests.
    bool tryAcquire();
    /// From a start that did not get the lock: asks the running console to
    /// come to the front. False when it could not be reached.
    bool activateRunningInstance(int timeoutMs = 1000);

    static QString defaultPath();

signals:
    /// A later start asked this console to come to the front.
    void activationRequested();

private:
    void listen();

    QString m_lockPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

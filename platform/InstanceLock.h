#pragma once

#include <QString>

#include <memory>

class QLockFile;

/// Refuses a second running console for the same user. The lock lives in the
/// user's runtime directory; a lock left by a killed console is recovered.
class InstanceLock
{
public:
    /// lockPath empty: the default path in the user's runtime directory.
    explicit InstanceLock(const QString& lockPath = {});
    ~InstanceLock();

    /// True when this process now holds the lock (no other instance runs).
    bool tryAcquire();

    static QString defaultPath();

private:
    std::unique_ptr<QLockFile> m_lock;
};

#include "EngineSocket.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace EngineSocket {

QString defaultPath()
{
    return QStringLiteral("/tmp/linphonec-%1").arg(::getuid());
}

bool createLink(const QString& socketPath, const QString& linkPath, QString* error)
{
    const QByteArray target = QFile::encodeName(socketPath);
    const QByteArray link = QFile::encodeName(linkPath);
    ::unlink(link.constData());
    if (::link(target.constData(), link.constData()) == 0)
        return true;
    const int linkErrno = errno;
    if (error) {
        *error = QStringLiteral("cannot link %1 to %2: %3")
                     .arg(linkPath, socketPath, QString::fromLocal8Bit(std::strerror(linkErrno)));
    }
    return false;
}

} // namespace EngineSocket

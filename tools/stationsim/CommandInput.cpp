#include "CommandInput.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <memory>
#include <unistd.h>

namespace
{

constexpr qsizetype kMaxLineBytes = 64 * 1024;

} // namespace

CommandInput::CommandInput(QObject* parent)
    : QObject(parent)
{
}

void CommandInput::readStdin()
{
    if (m_stdinNotifier)
        return;
    m_stdinNotifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_stdinNotifier, &QSocketNotifier::activated, this, &CommandInput::readStdinChunk);
}

void CommandInput::readStdinChunk()
{
    char chunk[4096];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        m_stdinNotifier->setEnabled(false);
        // A last line without its line end still counts.
        if (!m_stdinBuffer.isEmpty()) {
            m_stdinBuffer += '\n';
            takeLines(&m_stdinBuffer);
        }
        emit stdinClosed();
        return;
    }
    m_stdinBuffer.append(chunk, n);
    takeLines(&m_stdinBuffer);
}

bool CommandInput::listen(quint16 port, QString* error)
{
    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::newConnection, this, &CommandInput::acceptClients);
    if (m_server->listen(QHostAddress::LocalHost, port))
        return true;
    *error = QStringLiteral("cannot listen on 127.0.0.1:%1 (control): %2").arg(port).arg(m_server->errorString());
    return false;
}

void CommandInput::acceptClients()
{
    while (QTcpSocket* client = m_server->nextPendingConnection()) {
        client->setParent(this);
        client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_clients.append(client);
        auto buffer = std::make_shared<QByteArray>();
        connect(client, &QTcpSocket::readyRead, this, [this, client, buffer] {
            *buffer += client->readAll();
            if (buffer->size() > kMaxLineBytes && !buffer->contains('\n')) {
                client->abort();
                return;
            }
            takeLines(buffer.get());
        });
        connect(client, &QTcpSocket::disconnected, this, [this, client] {
            m_clients.removeOne(client);
            client->deleteLater();
        });
    }
}

void CommandInput::takeLines(QByteArray* buffer)
{
    qsizetype end = 0;
    while ((end = buffer->indexOf('\n')) >= 0) {
        QByteArray line = buffer->left(end);
        buffer->remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        emit commandReceived(QString::fromUtf8(line));
    }
}

void CommandInput::broadcast(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    for (QTcpSocket* client : std::as_const(m_clients))
        client->write(bytes);
}

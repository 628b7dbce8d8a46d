#include "EngineChannel.h"

#include <QLocalSocket>
#include <QPointer>

#include <utility>

namespace {

QString connectErrorText(const QLocalSocket& socket, const QString& socketPath)
{
    // Qt's own texts ("Invalid name" for a missing socket) mislead in the event log.
    switch (socket.error()) {
    case QLocalSocket::ServerNotFoundError:
        return QStringLiteral("engine socket: no daemon socket at %1").arg(socketPath);
    case QLocalSocket::ConnectionRefusedError:
        return QStringLiteral("engine socket: %1 refuses connections (daemon not running)").arg(socketPath);
    default:
        return QStringLiteral("engine socket: %1: %2").arg(socketPath, socket.errorString());
    }
}

} // namespace

EngineChannel::EngineChannel(QString socketPath, QObject* parent)
    : QObject(parent)
    , m_socketPath(std::move(socketPath))
{
    m_deadline.setSingleShot(true);
    // A coarse timer may fire 5 % late: 100 ms on the default bound, long enough to look like a hang.
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, &EngineChannel::onDeadline);
}

EngineChannel::~EngineChannel()
{
    m_queue.clear();
    m_outbox.clear();
    m_current.reset();
    if (m_socket) {
        // Closing the socket emits signals of its own; none may reach a half-destroyed channel.
        m_socket->disconnect(this);
        delete m_socket;
    }
}

quint64 EngineChannel::request(const QByteArray& command, Handler handler, const QString& logText, int timeoutMs)
{
    Request request;
    request.id = ++m_lastId;
    request.command = command;
    request.handler = std::move(handler);
    request.logText = logText.isEmpty() ? QString::fromUtf8(command) : logText;
    request.timeoutMs = timeoutMs;
    m_queue.push_back(std::move(request));
    // Even a missing socket fails inside connectToServer(), synchronously: sending from here would run the
    // handler before request() returns.
    schedulePump();
    return m_lastId;
}

void EngineChannel::cancelAll(const QString& why)
{
    const QString error = QStringLiteral("cancelled: ") + why;
    if (m_current)
        finishCurrent(false, error, true);
    while (!m_queue.empty()) {
        Request& request = m_queue.front();
        Outcome outcome{std::move(request.handler), request.logText, {}, true};
        outcome.reply.error = error;
        m_outbox.push_back(std::move(outcome));
        m_queue.pop_front();
    }
    schedulePump();
}

void EngineChannel::setDefaultTimeoutMs(int timeoutMs)
{
    m_defaultTimeoutMs = timeoutMs;
}

int EngineChannel::pending() const
{
    return int(m_queue.size()) + (m_current ? 1 : 0);
}

bool EngineChannel::isBusy() const
{
    return m_current.has_value();
}

void EngineChannel::schedulePump()
{
    if (m_pumpPosted)
        return;
    m_pumpPosted = true;
    // A posted call dies with the channel, so a destroyed channel is never pumped.
    QMetaObject::invokeMethod(this, &EngineChannel::pump, Qt::QueuedConnection);
}

void EngineChannel::pump()
{
    m_pumpPosted = false;
    const QPointer<EngineChannel> alive(this);
    // Outcomes first, so that a handler's cancelAll() or request() acts before anything else goes out.
    while (!m_outbox.empty()) {
        Outcome outcome = std::move(m_outbox.front());
        m_outbox.pop_front();
        if (outcome.reply.ok)
            emit requestAnswered(outcome.reply.elapsedMs);
        else if (!outcome.cancelled)
            emit requestFailed(outcome.logText, outcome.reply.error);
        if (!alive)
            return;
        // The handler is a local copy: it may destroy the channel while it runs.
        if (outcome.handler)
            outcome.handler(outcome.reply);
        if (!alive)
            return;
    }
    if (!m_current && !m_queue.empty())
        sendNext();
}

void EngineChannel::sendNext()
{
    m_current = std::move(m_queue.front());
    m_queue.pop_front();
    m_currentText.clear();
    m_currentConnected = false;
    m_currentPath = m_socketPath;
    m_currentTimeoutMs = m_current->timeoutMs < 0 ? m_defaultTimeoutMs : m_current->timeoutMs;

    auto* socket = new QLocalSocket(this);
    m_socket = socket;
    // connected() may come from inside connectToServer(); the command has to be written from there too.
    connect(socket, &QLocalSocket::connected, this, [this] {
        m_currentConnected = true;
        m_socket->write(m_current->command);
    });
    connect(socket, &QLocalSocket::readyRead, this, [this] { m_currentText += m_socket->readAll(); });
    // The daemon ends its reply by closing the connection.
    connect(socket, &QLocalSocket::disconnected, this, [this] { finishCurrent(true, {}); });
    connect(socket, &QLocalSocket::errorOccurred, this, &EngineChannel::onSocketError);

    m_sentClock.start();
    m_deadline.start(qMax(0, m_currentTimeoutMs));
    socket->connectToServer(m_currentPath);
}

void EngineChannel::onSocketError()
{
    // The daemon's close reaches us as PeerClosedError first; disconnected() follows and ends the request.
    if (m_socket->error() == QLocalSocket::PeerClosedError)
        return;
    finishCurrent(false, m_currentConnected
                             ? QStringLiteral("engine socket: %1: %2").arg(m_currentPath, m_socket->errorString())
                             : connectErrorText(*m_socket, m_currentPath));
}

void EngineChannel::onDeadline()
{
    // A full listen backlog keeps connectToServer() retrying; that is a hang too, but a different one.
    finishCurrent(false, QStringLiteral("engine socket: no %1 within %2 ms")
                             .arg(m_currentConnected ? QStringLiteral("complete reply") : QStringLiteral("connection"))
                             .arg(m_currentTimeoutMs));
}

void EngineChannel::finishCurrent(bool ok, const QString& error, bool cancelled)
{
    m_deadline.stop();
    // After a failed write (the daemon closed before reading) the socket still says it is open but its inner
    // socket is closed, and reading it only warns "device not open".
    if (m_socket && m_socket->bytesAvailable() > 0)
        m_currentText += m_socket->readAll();
    releaseSocket();

    Outcome outcome{std::move(m_current->handler), m_current->logText, {}, cancelled};
    outcome.reply.ok = ok;
    outcome.reply.text = std::exchange(m_currentText, {});
    outcome.reply.error = error;
    outcome.reply.elapsedMs = m_sentClock.elapsed();
    m_current.reset();
    m_outbox.push_back(std::move(outcome));
    schedulePump();
}

void EngineChannel::releaseSocket()
{
    if (!m_socket)
        return;
    QLocalSocket* socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    // We may be inside one of its signals: abort now (so the daemon and the next request see it gone at once),
    // delete later.
    socket->abort();
    socket->deleteLater();
}

#include "HistoryCourier.h"

#include <QDateTime>

#include <algorithm>

namespace {

/// The server's retention runs after the desk has caught up, at most this often.
constexpr qint64 kTrimPeriodMs = 3600 * 1000;

} // namespace

HistoryCourier::HistoryCourier(const QString& connection, const QString& desk, const HistoryLimits& limits,
                               Hooks hooks)
    : m_connection(connection)
    , m_desk(desk)
    , m_limits(limits)
    , m_hooks(std::move(hooks))
    , m_retry(new QTimer(this))
    , m_pause(new QTimer(this))
{
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &HistoryCourier::pump);
    m_pause->setSingleShot(true);
    m_pause->setInterval(kPauseMs);
    connect(m_pause, &QTimer::timeout, this, &HistoryCourier::pump);
    m_server.setChangedHandler([this] { m_hooks.serverChanged(); });
}

void HistoryCourier::wake()
{
    // One pending call however many writes: the batch takes them all.
    if (m_wakePending.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_wakePending = false;
            pump();
        },
        Qt::QueuedConnection);
}

void HistoryCourier::pump()
{
    if (m_stopped || m_batchAsked || m_pause->isActive() || !server())
        return;
    m_batchAsked = true;
    m_hooks.askBatch();
}

void HistoryCourier::deliver(const HistoryBatch& batch)
{
    m_batchAsked = false;
    if (m_stopped)
        return;
    if (batch.isEmpty()) {
        if (m_owing && m_server.isOpen()) {
            m_owing = false;
            trimIfDue();
            m_hooks.caughtUp();
        }
        return;
    }
    HistoryServer* server = this->server();
    if (!server)
        return;
    QString error;
    if (!server->deliver(batch, m_desk, &error)) {
        failed(error);
        return;
    }
    m_owing = true;
    m_hooks.delivered(batch);
    m_hooks.serverChanged();
    qint64 bytes = 0;
    for (const HistoryBatch::Picture& p : batch.pictures)
        bytes += p.picture.jpeg.size();
    // A backlog goes on at once; the next batch is asked after the mark, which the local database takes first.
    if (batch.events.size() < kBatchEvents && bytes < kBatchBytes)
        m_pause->start();
    else
        pump();
}

HistoryServer* HistoryCourier::server()
{
    if (m_server.isOpen())
        return &m_server;
    if (m_stopped || m_retry->isActive())
        return nullptr;
    QString error;
    if (!m_server.open(m_connection, &error)) {
        failed(error);
        return nullptr;
    }
    m_retryMs = 0;
    m_owing = true;
    setState(HistoryServerState::Reachable, {});
    return &m_server;
}

void HistoryCourier::failed(const QString& reason)
{
    m_server.close();
    m_retryMs = std::clamp(m_retryMs * 2, kFirstRetryMs, kLastRetryMs);
    m_retry->start(m_retryMs);
    setState(HistoryServerState::OutOfReach, reason);
}

void HistoryCourier::setState(HistoryServerState state, const QString& reason)
{
    if (state == m_state)
        return;
    m_state = state;
    m_hooks.stateChanged(state, reason);
}

void HistoryCourier::trimIfDue()
{
    if (m_sinceTrim.isValid() && m_sinceTrim.elapsed() < kTrimPeriodMs)
        return;
    m_sinceTrim.start();
    int removed = 0;
    QString error;
    if (!m_server.applyLimits(m_limits, QDateTime::currentMSecsSinceEpoch(), &removed, &error))
        failed(error);
    else if (removed > 0)
        m_hooks.serverChanged();
}

void HistoryCourier::stop()
{
    m_stopped = true;
    m_retry->stop();
    m_pause->stop();
    m_server.close();
}

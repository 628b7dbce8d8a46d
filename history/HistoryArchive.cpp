#include "HistoryArchive.h"

#include "HistoryDatabase.h"
#include "PictureDecoder.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QImageReader>
#include <QStandardPaths>
#include <QThread>

namespace {

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

/// Decoded at (about) its final size: libjpeg scales while it decodes.
QImage decodeThumbnail(const QByteArray& jpeg, const QSize& size)
{
    QBuffer buffer;
    buffer.setData(jpeg);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize full = reader.size();
    if (!full.isValid() || qint64(full.width()) * full.height() > PictureDecoder::kMaxPixels)
        return {};
    if (!size.isEmpty()) {
        const QSize fit = full.scaled(size, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        if (fit.width() < full.width())
            reader.setScaledSize(fit);
    }
    QImage image;
    if (!reader.read(&image))
        return {};
    return image;
}

} // namespace

HistoryArchive::HistoryArchive(QObject* parent)
    : QObject(parent)
    , m_thread(new QThread)
    , m_worker(new QObject)
    , m_database(std::make_unique<HistoryDatabase>())
{
    m_thread->setObjectName(QStringLiteral("history"));
    m_worker->moveToThread(m_thread);
    m_thread->start();
}

HistoryArchive::~HistoryArchive()
{
    if (m_courier) {
        // The worker stops waking the courier, then the courier ends its connection on its thread
        // (within the connection's time-outs should a statement be under way).
        QMetaObject::invokeMethod(m_worker, [this] { m_workerCourier = nullptr; }, Qt::BlockingQueuedConnection);
        QMetaObject::invokeMethod(m_courier, [this] { m_courier->stop(); }, Qt::BlockingQueuedConnection);
        m_serverThread->quit();
        m_serverThread->wait();
        delete m_courier;
        delete m_serverThread;
    }
    // After the jobs already queued; the SQL connection ends on the thread that made it.
    QMetaObject::invokeMethod(m_worker, [this] { m_database.reset(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_worker;
    delete m_thread;
    // Answers still queued for this archive go with it (QObject drops its posted events).
}

QString HistoryArchive::defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/history");
}

template <typename Job>
void HistoryArchive::post(Job job)
{
    QMetaObject::invokeMethod(m_worker, std::move(job), Qt::QueuedConnection);
}

template <typename Answer>
void HistoryArchive::answer(Answer done)
{
    // Posted to the archive itself: a deleted archive takes the answer along.
    QMetaObject::invokeMethod(this, std::move(done), Qt::QueuedConnection);
}

void HistoryArchive::noteChanged()
{
    if (m_changePending.exchange(true))
        return;
    answer([this] {
        m_changePending = false;
        emit changed();
    });
}

void HistoryArchive::trimIfDue()
{
    const qint64 now = nowMs();
    if (m_database->isOpen() && m_database->limitsPassed(now) && m_database->applyLimits(now) > 0)
        noteChanged();
}

void HistoryArchive::open(const QString& dir, const HistoryLimits& limits)
{
    m_limits = limits;
    post([this, dir, limits] {
        m_database->setLimits(limits);
        QString note;
        const bool ok = m_database->open(dir, &note);
        if (!ok)
            qWarning("history: %s", qUtf8Printable(note));
        if (ok && m_database->applyLimits(nowMs()) > 0)
            noteChanged();
        answer([this, ok, note] { emit opened(ok, note); });
    });
}

void HistoryArchive::setLimits(const HistoryLimits& limits)
{
    m_limits = limits;
    if (m_courier)
        postServer([this, limits] { m_courier->setLimits(limits); });
    post([this, limits] {
        m_database->setLimits(limits);
        if (m_database->isOpen() && m_database->applyLimits(nowMs()) > 0)
            noteChanged();
    });
}

namespace {

void warnFailed(const HistoryDatabase& database)
{
    // Closed, it said so once in opened(); every lost event would only repeat that.
    if (database.isOpen())
        qWarning("history: %s", qUtf8Printable(database.lastError()));
}

} // namespace

template <typename Job>
void HistoryArchive::postServer(Job job)
{
    QMetaObject::invokeMethod(m_courier, std::move(job), Qt::QueuedConnection);
}

HistoryCourier::Hooks HistoryArchive::courierHooks()
{
    HistoryCourier::Hooks hooks;
    hooks.askBatch = [this] {
        post([this] {
            if (!m_workerCourier)
                return;
            HistoryCourier* courier = m_workerCourier;
            QMetaObject::invokeMethod(
                courier,
                [courier, batch = m_database->undelivered(HistoryCourier::kBatchEvents, HistoryCourier::kBatchBytes)] {
                    courier->deliver(batch);
                },
                Qt::QueuedConnection);
        });
    };
    hooks.delivered = [this](const HistoryBatch& batch) {
        post([this, batch] {
            // Not marked, it is delivered again later; the server keeps it once.
            if (!m_database->markDelivered(batch))
                warnFailed(*m_database);
        });
    };
    hooks.stateChanged = [this](HistoryServerState state, const QString& reason) {
        answer([this, state, reason] {
            m_serverState = state;
            emit serverStateChanged(state, reason);
        });
    };
    hooks.serverChanged = [this] { noteChanged(); };
    hooks.caughtUp = [this] { answer([this] { emit serverCaughtUp(); }); };
    return hooks;
}

void HistoryArchive::setServer(const QString& connection, const QString& desk)
{
    if (m_courier || connection.trimmed().isEmpty())
        return;
    m_serverThread = new QThread;
    m_serverThread->setObjectName(QStringLiteral("history-server"));
    m_courier = new HistoryCourier(connection.trimmed(), desk, m_limits, courierHooks());
    m_courier->moveToThread(m_serverThread);
    m_serverState = HistoryServerState::Connecting;
    m_serverThread->start();
    // Through the worker: the first batch is asked after open() has run.
    post([this, courier = m_courier] {
        m_workerCourier = courier;
        courier->wake();
    });
}

bool HistoryArchive::readsServer() const
{
    return m_courier && m_serverState != HistoryServerState::OutOfReach;
}

void HistoryArchive::wakeCourier()
{
    if (m_workerCourier)
        m_workerCourier->wake();
}

void HistoryArchive::add(const HistoryEvent& event)
{
    post([this, event] {
        if (m_database->add(event))
            noteChanged();
        else
            warnFailed(*m_database);
        trimIfDue();
        wakeCourier();
    });
}

void HistoryArchive::update(const HistoryEvent& event)
{
    post([this, event] {
        if (m_database->update(event))
            noteChanged();
        else
            warnFailed(*m_database);
        wakeCourier();
    });
}

void HistoryArchive::addPicture(const HistoryPicture& picture)
{
    post([this, picture] {
        if (m_database->addPicture(picture))
            noteChanged();
        else
            warnFailed(*m_database);
        trimIfDue();
        wakeCourier();
    });
}

void HistoryArchive::queryEvents(const HistoryFilter& filter, std::function<void(const QList<HistoryEvent>&)> done)
{
    if (readsServer()) {
        postServer([this, filter, done = std::move(done)]() mutable {
            QList<HistoryEvent> events;
            QString error;
            HistoryServer* server = m_courier->server();
            if (server && server->events(filter, &events, &error)) {
                answer([done, events] {
                    if (done)
                        done(events);
                });
                return;
            }
            if (server)
                m_courier->failed(error);
            // Out of reach now: answered from here, after the new state.
            post([this, filter, done = std::move(done)] {
                answer([done, events = m_database->events(filter)] {
                    if (done)
                        done(events);
                });
            });
        });
        return;
    }
    post([this, filter, done = std::move(done)] {
        answer([done, events = m_database->events(filter)] {
            if (done)
                done(events);
        });
    });
}

void HistoryArchive::queryPicture(qint64 eventId, int slot, std::function<void(const QByteArray&)> done)
{
    post([this, eventId, slot, done = std::move(done)] {
        answer([done, jpeg = m_database->picture(eventId, slot)] {
            if (done)
                done(jpeg);
        });
    });
}

void HistoryArchive::queryThumbnails(const QList<qint64>& eventIds, const QSize& size,
                                     std::function<void(qint64 eventId, const QImage& thumbnail)> each)
{
    post([this, eventIds, size, each = std::move(each)] {
        // One answer per picture: the window fills in while the rest decode.
        for (const qint64 id : eventIds) {
            const QImage thumbnail = decodeThumbnail(m_database->picture(id, 0), size);
            if (thumbnail.isNull())
                continue;
            answer([each, id, thumbnail] {
                if (each)
                    each(id, thumbnail);
            });
        }
    });
}

void HistoryArchive::queryPicture(const HistoryEvent& event, int slot, std::function<void(const QByteArray&)> done)
{
    // This desk's own from here; another desk's (or one retention took here) from the server.
    const bool server = readsServer();
    post([this, uuid = event.uuid, slot, server, done = std::move(done)]() mutable {
        QByteArray jpeg = m_database->picture(uuid, slot);
        if (!jpeg.isEmpty() || !server) {
            answer([done, jpeg] {
                if (done)
                    done(jpeg);
            });
            return;
        }
        postServer([this, uuid, slot, done = std::move(done)] {
            QByteArray jpeg;
            QString error;
            HistoryServer* server = m_courier->server();
            if (server && !server->picture(uuid, slot, &jpeg, &error))
                m_courier->failed(error);
            answer([done, jpeg] {
                if (done)
                    done(jpeg);
            });
        });
    });
}

void HistoryArchive::queryThumbnails(const QList<HistoryEvent>& events, const QSize& size,
                                     std::function<void(qint64 eventId, const QImage& thumbnail)> each)
{
    const bool server = readsServer();
    post([this, events, size, server, each = std::move(each)]() mutable {
        QList<HistoryEvent> elsewhere;
        for (const HistoryEvent& e : events) {
            if (!e.hasPicture[0])
                continue;
            const QImage thumbnail = decodeThumbnail(m_database->picture(e.uuid, 0), size);
            if (thumbnail.isNull()) {
                elsewhere.append(e);
                continue;
            }
            answer([each, id = e.id, thumbnail] {
                if (each)
                    each(id, thumbnail);
            });
        }
        if (!server || elsewhere.isEmpty())
            return;
        postServer([this, elsewhere, size, each = std::move(each)] {
            for (const HistoryEvent& e : elsewhere) {
                QByteArray jpeg;
                QString error;
                HistoryServer* server = m_courier->server();
                if (!server)
                    return;
                if (!server->picture(e.uuid, 0, &jpeg, &error)) {
                    m_courier->failed(error);
                    return;
                }
                const QImage thumbnail = decodeThumbnail(jpeg, size);
                if (thumbnail.isNull())
                    continue;
                answer([each, id = e.id, thumbnail] {
                    if (each)
                        each(id, thumbnail);
                });
            }
        });
    });
}

void HistoryArchive::queryDesks(std::function<void(const QStringList&)> done)
{
    if (!readsServer()) {
        answer([done = std::move(done)] {
            if (done)
                done({});
        });
        return;
    }
    postServer([this, done = std::move(done)] {
        QStringList desks;
        QString error;
        HistoryServer* server = m_courier->server();
        if (server && !server->desks(&desks, &error))
            m_courier->failed(error);
        answer([done, desks] {
            if (done)
                done(desks);
        });
    });
}

void HistoryArchive::countMissedSince(qint64 sinceMs, std::function<void(int)> done)
{
    post([this, sinceMs, done = std::move(done)] {
        answer([done, count = m_database->missedSince(sinceMs)] {
            if (done)
                done(count);
        });
    });
}

void HistoryArchive::flush()
{
    QMetaObject::invokeMethod(m_worker, [] {}, Qt::BlockingQueuedConnection);
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

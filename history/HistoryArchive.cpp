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

void HistoryArchive::add(const HistoryEvent& event)
{
    post([this, event] {
        if (m_database->add(event))
            noteChanged();
        else
            warnFailed(*m_database);
        trimIfDue();
    });
}

void HistoryArchive::update(const HistoryEvent& event)
{
    post([this, event] {
        if (m_database->update(event))
            noteChanged();
        else
            warnFailed(*m_database);
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
    });
}

void HistoryArchive::queryEvents(const HistoryFilter& filter, std::function<void(const QList<HistoryEvent>&)> done)
{
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

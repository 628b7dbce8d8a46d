#include "HistoryBacklog.h"

#include "HistoryArchive.h"
#include "PostgresServer.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTimer>

namespace {

constexpr int kDeliveryTimeoutMs = 300000;
const QString kPassword = QStringLiteral("bench-desk-password");

/// A frame much like a camera's: a scene with edges and sensor noise, about 50 KB as JPEG.
QByteArray cameraLikeJpeg(int n)
{
    QImage image(640, 480, QImage::Format_RGB32);
    image.fill(QColor(90, 110, 130));
    QPainter painter(&image);
    for (int i = 0; i < 24; ++i)
        painter.fillRect((i * 53 + n * 7) % 600, (i * 37) % 440, 40 + i * 3, 30 + i * 2,
                         QColor::fromHsv((i * 29 + n) % 360, 120, 200));
    painter.end();
    QRandomGenerator random(quint32(n + 1));
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int noise = random.bounded(24) - 12;
            line[x] = qRgb(qBound(0, qRed(line[x]) + noise, 255), qBound(0, qGreen(line[x]) + noise, 255),
                           qBound(0, qBlue(line[x]) + noise, 255));
        }
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 75);
    return jpeg;
}

} // namespace

BenchHistoryServer::BenchHistoryServer() = default;

BenchHistoryServer::~BenchHistoryServer()
{
    delete m_server;
}

bool BenchHistoryServer::start(const QString& mode, const QString& scratchDir, QString* error)
{
    if (mode == QStringLiteral("down")) {
        QTcpServer probe;
        probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        m_connection = QStringLiteral("host=127.0.0.1 port=%1 dbname=qzbench user=bench").arg(probe.serverPort());
        return true;
    }
    if (!PostgresServer::available(error))
        return false;
    m_server = new PostgresServer;
    if (!m_server->start(error)
        || !m_server->run(QStringLiteral("CREATE ROLE bench LOGIN PASSWORD '%1'; CREATE DATABASE qzbench OWNER bench;")
                              .arg(kPassword),
                          QStringLiteral("postgres"), error))
        return false;
    const QString passwords = QDir(scratchDir).filePath(QStringLiteral("pgpass"));
    QFile file(passwords);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(QStringLiteral("127.0.0.1:%1:*:bench:%2\n").arg(m_server->port()).arg(kPassword).toUtf8()) < 0
        || !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner)) {
        *error = QStringLiteral("cannot write %1").arg(passwords);
        return false;
    }
    qputenv("PGPASSFILE", QFile::encodeName(passwords));
    m_connection = m_server->connection(QStringLiteral("qzbench"), QStringLiteral("bench"));
    return true;
}

BacklogFigures measureBacklog(const QString& dir, const QString& connection, int events)
{
    BacklogFigures f;
    f.events = events;
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - qint64(events) * 1000;
    {
        HistoryArchive archive;
        archive.open(dir, HistoryLimits());
        for (int i = 0; i < events; ++i) {
            HistoryEvent e;
            e.timeMs = start + i * 1000;
            e.id = e.timeMs * 1000;
            e.station = i % 16;
            e.kind = HistoryKind::DoorCall;
            e.outcome = HistoryOutcome::Ended;
            const QByteArray jpeg = cameraLikeJpeg(i % 32);
            f.pictureBytes += jpeg.size();
            archive.add(e);
            archive.addPicture({e.id, 0, jpeg, e.timeMs});
        }
    } // waits for the writes

    HistoryArchive archive;
    archive.open(dir, HistoryLimits());
    archive.flush();
    QEventLoop loop;
    QObject::connect(&archive, &HistoryArchive::serverCaughtUp, &loop, &QEventLoop::quit);
    QTimer::singleShot(kDeliveryTimeoutMs, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    // The last batch's commit: caught up comes after the courier's pause, once it has asked again.
    qint64 lastDeliveryNs = 0;
    QObject::connect(&archive, &HistoryArchive::changed, &loop, [&] { lastDeliveryNs = timer.nsecsElapsed(); });
    timer.start();
    archive.setServer(connection, QStringLiteral("bench backlog"));
    loop.exec();
    f.caughtUpSeconds = double(timer.nsecsElapsed()) / 1e9;
    f.seconds = double(lastDeliveryNs) / 1e9;

    HistoryFilter all;
    all.desk = QStringLiteral("bench backlog");
    all.limit = 0;
    QEventLoop answer;
    archive.queryEvents(all, [&](const QList<HistoryEvent>& stored) {
        if (archive.serverState() == HistoryServerState::Reachable)
            f.onServer = stored.size();
        answer.quit();
    });
    QTimer::singleShot(kDeliveryTimeoutMs, &answer, &QEventLoop::quit);
    answer.exec();
    f.ok = f.onServer == events;
    if (!f.ok)
        f.error = QStringLiteral("%1 of %2 events on the server after %3 s").arg(f.onServer).arg(events).arg(f.seconds);
    return f;
}

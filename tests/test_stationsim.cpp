// The door-station simulator: every channel once, every camera failure mode, its commands and its life cycle.

#include "support/StationSimulator.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Ports and addresses of this test only, so it never meets a demo or another test.
constexpr quint16 kHttpPort = 18081;
constexpr quint16 kRelayPort = 16000;
constexpr quint16 kCallPort = 16001;
constexpr int kFirst = 40;         // the shared simulator: 127.0.0.40 ...
constexpr int kSnapshotFirst = 60; // a simulator of its own, for a clean request count
constexpr int kLifeFirst = 70;     // start and stop

// Stations of the shared simulator, one per behaviour.
enum Station : int
{
    Plain, Html, NotFound, Garbage, Truncated, Bomb, Refuse, Hang, Close, Huge, Slow, Calls,
    StationCount
};

QStringList portArgs(int first, int count)
{
    return {u"--first"_s,      QString::number(first),     u"--count"_s,     QString::number(count),
            u"--http-port"_s,  QString::number(kHttpPort), u"--relay-port"_s, QString::number(kRelayPort),
            u"--call-port"_s,  QString::number(kCallPort)};
}

QString address(int index)
{
    return StationSimulator::address(kFirst, index);
}

QString snapshotUrl(const QString& host, const QString& path = u"/snap.jpg"_s)
{
    return u"http://%1:%2%3"_s.arg(host).arg(kHttpPort).arg(path);
}

struct HttpResult
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray contentType;
    qint64 contentLength = -1;
    QByteArray body;
};

HttpResult get(QNetworkAccessManager* manager, const QString& url, int transferTimeoutMs = 0)
{
    QNetworkRequest request{QUrl(url)};
    if (transferTimeoutMs > 0)
        request.setTransferTimeout(transferTimeoutMs);
    std::unique_ptr<QNetworkReply> reply(manager->get(request));
    if (!QTest::qWaitFor([&] { return reply->isFinished(); }, 60000))
        reply->abort();
    const QByteArray length = reply->rawHeader("Content-Length");
    return {reply->error(), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
            reply->rawHeader("Content-Type"), length.isEmpty() ? -1 : length.toLongLong(),
            reply->isOpen() ? reply->readAll() : QByteArray()};
}

QSize jpegHeaderSize(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer, "jpeg").size();
}

/// A camera mode and what a snapshot request gets from it.
struct CameraCase
{
    int station = 0;
    int timeoutMs = 0; ///< the request's transfer time-out; 0: none
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray contentType{};
    QSize jpegHeader{}; ///< of a body that must not decode; invalid: no picture at all
};

QRegularExpression exactLine(const QString& line)
{
    return QRegularExpression(u'^' + QRegularExpression::escape(line) + u'$');
}

} // namespace
Q_DECLARE_METATYPE(CameraCase)

class TestStationSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStringList args = portArgs(kFirst, StationCount);
        const std::pair<int, const char*> modes[] = {
            {Html, "html"},     {NotFound, "notfound"}, {Garbage, "garbage"}, {Truncated, "truncated"},
            {Bomb, "bomb"},     {Refuse, "refuse"},     {Hang, "hang"},       {Close, "close"},
            {Huge, "huge"},     {Slow, "slow:1000"},
        };
        for (const auto& [index, mode] : modes)
            args << u"--mode"_s << u"%1=%2"_s.arg(index).arg(QLatin1String(mode));
        m_sim = std::make_unique<StationSimulator>(args);
        QVERIFY2(m_sim->isReady(), qPrintable(m_sim->errorString()));
    }

    void snapshotsChangeOnEveryRequest()
    {
        StationSimulator sim(portArgs(kSnapshotFirst, 1) << u"--size"_s << u"400x300"_s);
        QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
        QSet<QByteArray> frames;
        for (int i = 0; i < 5; ++i) {
            const HttpResult result = get(&m_network, snapshotUrl(StationSimulator::address(kSnapshotFirst, 0)));
            QVERIFY(result.error == QNetworkReply::NoError && result.status == 200);
            QCOMPARE(result.contentType, "image/jpeg"_ba);
            QCOMPARE(result.contentLength, result.body.size());
            const QImage image = QImage::fromData(result.body, "JPEG");
            QCOMPARE(image.size(), QSize(400, 300));
            QVERIFY2(QColor(image.pixel(2, 2)).hsvSaturation() > 60, "the background is coloured");
            frames.insert(result.body);
        }
        QCOMPARE(frames.size(), 5); // every frame differs
        // Keep-alive: every request went over the one connection the client keeps open.
        const QString status = sim.status(0);
        QVERIFY2(status.contains(u" requests=5 httpconns=1 "_s), qPrintable(status));
    }

    void cameraFailureModes_data()
    {
        using E = QNetworkReply::NetworkError;
        QTest::addColumn<CameraCase>("c");
        QTest::newRow("html") << CameraCase{Html, 0, E::NoError, 200, "text/html"_ba};
        QTest::newRow("notfound") << CameraCase{NotFound, 0, E::ContentNotFoundError, 404, "text/html"_ba};
        QTest::newRow("garbage") << CameraCase{Garbage, 0, E::NoError, 200, "image/jpeg"_ba};
        // Half a real frame: header intact, no end-of-image marker.
        QTest::newRow("truncated") << CameraCase{Truncated, 0, E::NoError, 200, "image/jpeg"_ba, QSize(640, 480)};
        QTest::newRow("bomb") << CameraCase{Bomb, 0, E::NoError, 200, "image/jpeg"_ba, QSize(60000, 60000)};
        QTest::newRow("refuse") << CameraCase{Refuse, 0, E::ConnectionRefusedError};
        QTest::newRow("hang") << CameraCase{Hang, 500, E::OperationCanceledError};
        QTest::newRow("close") << CameraCase{Close, 0, E::RemoteHostClosedError};
        QTest::newRow("slow, given up") << CameraCase{Slow, 200, E::OperationCanceledError};
    }

    void cameraFailureModes()
    {
        QFETCH(CameraCase, c);
        const HttpResult result = get(&m_network, snapshotUrl(address(c.station)), c.timeoutMs);
        QCOMPARE(result.error, c.error);
        QCOMPARE(result.status, c.status);
        QCOMPARE(result.contentType, c.contentType);
        QCOMPARE(result.contentLength, c.status == 0 ? -1 : result.body.size());
        if (c.status == 0)
            QVERIFY(result.body.isEmpty());
        if (!c.jpegHeader.isValid()) {
            QVERIFY(QImage::fromData(result.body).isNull());
        } else if (c.station == Bomb) {
            QVERIFY2(result.body.size() < 64 * 1024, "the bomb itself is small");
        } else {
            const qsizetype whole = get(&m_network, snapshotUrl(address(Plain))).body.size();
            QVERIFY2(result.body.size() > whole / 4 && result.body.size() < whole * 3 / 4, "half a frame");
            QVERIFY2(!result.body.endsWith("\xff\xd9"), "no end-of-image marker");
        }
        if (c.jpegHeader.isValid())
            QCOMPARE(jpegHeaderSize(result.body), c.jpegHeader);
        if (c.station == Hang) {
            // The request did arrive: the station accepted and read it.
            const QString line = m_sim->status(Hang);
            QVERIFY2(line.contains(u" requests=1 "_s), qPrintable(line));
        }
    }

    void slowAndHugeCameras()
    {
        // The slow camera answers in the end; the huge body is streamed in full, a real frame first.
        const HttpResult late = get(&m_network, snapshotUrl(address(Slow)));
        QCOMPARE(late.error, QNetworkReply::NoError);
        QCOMPARE(QImage::fromData(late.body, "JPEG").size(), QSize(640, 480));
        const HttpResult huge = get(&m_network, snapshotUrl(address(Huge)));
        QCOMPARE(huge.error, QNetworkReply::NoError);
        QCOMPARE(huge.contentLength, 50LL * 1024 * 1024);
        QCOMPARE(huge.body.size(), huge.contentLength);
        QVERIFY(huge.body.startsWith("\xff\xd8"));
    }

    void relayCommandIsRecordedAndClosedByStation()
    {
        // At a station whose camera refuses: the channels are independent.
        const int from = m_sim->lineCount();
        QTcpSocket socket;
        socket.connectToHost(address(Refuse), kRelayPort);
        QVERIFY(socket.waitForConnected(3000));
        socket.write("101");
        // The test never closes: only the station can end the connection.
        QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 5000);
        QVERIFY(m_sim->waitForLine(exactLine(u"relay %1 %2 101"_s.arg(Refuse).arg(address(Refuse))), 5000, from));
    }

    void callNotificationsReachConnectedClient()
    {
        int from = m_sim->lineCount();
        QTcpSocket socket;
        QByteArray received;
        connect(&socket, &QTcpSocket::readyRead, this, [&] { received += socket.readAll(); });
        socket.connectToHost(address(Calls), kCallPort);
        QVERIFY(socket.waitForConnected(3000));
        QVERIFY(m_sim->waitForLine(exactLine(u"callconn %1 open"_s.arg(Calls)), 5000, from));
        for (const auto& [command, expected] : {std::pair{u"call %1"_s, "CALL"_ba},
                                                std::pair{u"send %1 CA\\r\\nLL\\x21"_s, "CA\r\nLL!"_ba}}) {
            received.clear();
            from = m_sim->lineCount();
            m_sim->send(command.arg(Calls));
            QVERIFY(m_sim->waitForLine(exactLine(u"sent %1 1"_s.arg(Calls)), 5000, from));
            QTRY_COMPARE(received, expected);
        }
        socket.disconnectFromHost();
        QVERIFY(m_sim->waitForLine(exactLine(u"callconn %1 closed"_s.arg(Calls)), 5000, from));
    }

    void stopsCleanly_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("quit command") << 0;
        QTest::newRow("end of stdin") << 1;
        QTest::newRow("stop() without stdin: SIGTERM") << 3;
    }

    void stopsCleanly()
    {
        QFETCH(int, how);
        QStringList args = portArgs(kLifeFirst, 1);
        if (how == 3)
            args << u"--no-stdin"_s;
        StationSimulator sim(args);
        QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
        if (how == 0)
            sim.send(u"quit"_s);
        else if (how == 1)
            sim.closeInput();
        else
            sim.stop(500); // the quit line goes unread, so SIGTERM ends it
        QVERIFY(sim.waitForExit(5000));
        QCOMPARE(sim.exitCode(), 0);
        // The ports are free again.
        QTcpSocket socket;
        socket.connectToHost(StationSimulator::address(kLifeFirst, 0), kRelayPort);
        QVERIFY(!socket.waitForConnected(2000));
    }

private:
    std::unique_ptr<StationSimulator> m_sim;
    QNetworkAccessManager m_network;
};

QTEST_MAIN(TestStationSim)
#include "test_stationsim.moc"

// The door-station simulator: every channel once, every camera failure mode, its commands and its life cycle.

#include "support/StationSimulator.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace
{

// Ports and addresses of this test only, so it never meets a demo or another test.
constexpr quint16 kHttpPort = 18081;
constexpr quint16 kRelayPort = 16000;
constexpr quint16 kCallPort = 16001;
constexpr int kFirst = 40;         // the shared simulator: 127.0.0.40 ...
constexpr int kSnapshotFirst = 60; // one simulator per picture size
constexpr int kLifeFirst = 70;     // start and stop
constexpr int kBindFirst = 75;     // listeners that cannot be bound

// Stations of the shared simulator, one per behaviour.
enum Station : int
{
    Plain = 0,
    Relay = 1,
    RelayHold = 2,
    Html = 3,
    NotFound = 4,
    Garbage = 5,
    Truncated = 6,
    Bomb = 7,
    Refuse = 8,
    Hang = 9,
    Close = 10,
    Huge = 11,
    Switching = 12,
    Slow = 13,
    Calls = 14,
    Flood = 15,
    StationCount = 16
};

QStringList portArgs(int first, int count)
{
    QStringList args;
    args << QStringLiteral("--first") << QString::number(first);
    args << QStringLiteral("--count") << QString::number(count);
    args << QStringLiteral("--http-port") << QString::number(kHttpPort);
    args << QStringLiteral("--relay-port") << QString::number(kRelayPort);
    args << QStringLiteral("--call-port") << QString::number(kCallPort);
    return args;
}

QString address(int index)
{
    return StationSimulator::address(kFirst, index);
}

QString snapshotUrl(const QString& host, const QString& path = QStringLiteral("/snap.jpg"))
{
    return QStringLiteral("http://%1:%2%3").arg(host).arg(kHttpPort).arg(path);
}

struct HttpResult
{
    bool finished = false;
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
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    HttpResult result;
    result.finished = reply->isFinished();
    if (!result.finished)
        reply->abort();
    result.error = reply->error();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.contentType = reply->rawHeader("Content-Type");
    const QByteArray length = reply->rawHeader("Content-Length");
    result.contentLength = length.isEmpty() ? -1 : length.toLongLong();
    if (reply->isOpen())
        result.body = reply->readAll();
    return result;
}

QSize jpegHeaderSize(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    return reader.size();
}

bool decodesAsAnyImage(const QByteArray& bytes)
{
    return !QImage::fromData(bytes).isNull();
}

QRegularExpression exactLine(const QString& line)
{
    return QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(line) + QLatin1Char('$'));
}

} // namespace

class TestStationSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void snapshotsChangeOnEveryRequest_data();
    void snapshotsChangeOnEveryRequest();
    void otherPathsAreNotFound_data();
    void otherPathsAreNotFound();

    void relayCommandIsRecordedAndClosedByStation_data();
    void relayCommandIsRecordedAndClosedByStation();
    void heldRelayConnectionStaysOpen();

    void callNotificationsReachConnectedClient_data();
    void callNotificationsReachConnectedClient();
    void floodArrivesInFullBeforeLaterText();

    void errorRepliesCarryNoPicture_data();
    void errorRepliesCarryNoPicture();
    void truncatedReplyIsFirstHalfOfAFrame();
    void bombClaimsGiantSize();
    void refusedCameraLeavesOtherChannelsUp();
    void hangingCameraNeverAnswers();
    void closingCameraDropsTheConnection();
    void slowCameraAnswersLate();
    void hugeBodyIsStreamedInFull();
    void modesSwitchAtRunTime();

    void controlPortTakesCommandsOnLocalhostOnly();
    void stopsCleanly_data();
    void stopsCleanly();
    void reportsListenerThatCannotBeBound_data();
    void reportsListenerThatCannotBeBound();
    void rejectsBadArguments_data();
    void rejectsBadArguments();

private:
    std::unique_ptr<StationSimulator> m_sim;
    QNetworkAccessManager m_network;
};

void TestStationSim::initTestCase()
{
    QStringList args = portArgs(kFirst, StationCount);
    const std::pair<int, const char*> modes[] = {
        {RelayHold, "relayhold"}, {Html, "html"}, {NotFound, "notfound"}, {Garbage, "garbage"},
        {Truncated, "truncated"}, {Bomb, "bomb"}, {Refuse, "refuse"},     {Hang, "hang"},
        {Close, "close"},         {Huge, "huge"}, {Slow, "slow:1000"},
    };
    for (const auto& [index, mode] : modes)
        args << QStringLiteral("--mode") << QStringLiteral("%1=%2").arg(index).arg(QLatin1String(mode));
    m_sim = std::make_unique<StationSimulator>(args);
    QVERIFY2(m_sim->isReady(), qPrintable(m_sim->errorString()));
}

void TestStationSim::cleanupTestCase()
{
    m_sim.reset();
}

void TestStationSim::snapshotsChangeOnEveryRequest_data()
{
    QTest::addColumn<QStringList>("extraArgs");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("cycle"); // 0: every frame rendered afresh
    QTest::addColumn<int>("first"); // a simulator of its own per row, for a clean request count

    QTest::newRow("400x300 rendered per request") << QStringList{QStringLiteral("--size"), QStringLiteral("400x300")}
                                                  << QSize(400, 300) << 5 << 0 << kSnapshotFirst;
    QTest::newRow("1920x1080 pre-rendered cycle of 16")
        << QStringList{QStringLiteral("--size"), QStringLiteral("1920x1080")} << QSize(1920, 1080) << 17 << 16
        << kSnapshotFirst + 1;
    QTest::newRow("320x240 cycle of 3") << QStringList{QStringLiteral("--size"), QStringLiteral("320x240"),
                                                       QStringLiteral("--cycle"), QStringLiteral("3")}
                                        << QSize(320, 240) << 4 << 3 << kSnapshotFirst + 2;
}

void TestStationSim::snapshotsChangeOnEveryRequest()
{
    QFETCH(QStringList, extraArgs);
    QFETCH(QSize, size);
    QFETCH(int, requests);
    QFETCH(int, cycle);
    QFETCH(int, first);

    StationSimulator sim(portArgs(first, 1) + extraArgs);
    QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
    const QString host = StationSimulator::address(first, 0);

    QList<QByteArray> frames;
    for (int i = 0; i < requests; ++i) {
        const HttpResult result = get(&m_network, snapshotUrl(host));
        QVERIFY(result.finished);
        QCOMPARE(result.error, QNetworkReply::NoError);
        QCOMPARE(result.status, 200);
        QCOMPARE(result.contentType, QByteArray("image/jpeg"));
        QCOMPARE(result.contentLength, result.body.size());
        const QImage image = QImage::fromData(result.body, "JPEG");
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), size);
        QVERIFY2(QColor(image.pixel(2, 2)).hsvSaturation() > 60, "the background is coloured");
        frames.append(result.body);
    }
    for (int i = 1; i < frames.size(); ++i)
        QVERIFY2(frames.at(i) != frames.at(i - 1), qPrintable(QStringLiteral("frame %1 repeats").arg(i)));
    if (cycle > 0) {
        for (int i = 1; i < cycle; ++i)
            QVERIFY(frames.at(i) != frames.at(0));
        QCOMPARE(frames.at(cycle), frames.at(0));
    } else {
        QCOMPARE(QSet<QByteArray>(frames.cbegin(), frames.cend()).size(), frames.size());
    }

    // Keep-alive: every request went over the one connection the client keeps open.
    const QString status = sim.status(0);
    QVERIFY2(status.contains(QStringLiteral(" requests=%1 httpconns=1 ").arg(requests)), qPrintable(status));
}

void TestStationSim::otherPathsAreNotFound_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");

    QTest::newRow("root") << QStringLiteral("/") << 404;
    QTest::newRow("other extension") << QStringLiteral("/snap.jpeg") << 404;
    QTest::newRow("upper case") << QStringLiteral("/SNAP.JPG") << 404;
    QTest::newRow("below the picture") << QStringLiteral("/snap.jpg/more") << 404;
    QTest::newRow("page") << QStringLiteral("/index.html") << 404;
    QTest::newRow("query ignored") << QStringLiteral("/snap.jpg?t=17") << 200;
}

void TestStationSim::otherPathsAreNotFound()
{
    QFETCH(QString, path);
    QFETCH(int, status);

    const HttpResult result = get(&m_network, snapshotUrl(address(Plain), path));
    QVERIFY(result.finished);
    QCOMPARE(result.status, status);
    QCOMPARE(decodesAsAnyImage(result.body), status == 200);
}

void TestStationSim::relayCommandIsRecordedAndClosedByStation_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("logged");

    QTest::newRow("lock 1 s") << QByteArray("101") << QStringLiteral("101");
    QTest::newRow("light 10 s") << QByteArray("210") << QStringLiteral("210");
    QTest::newRow("light 99 s") << QByteArray("299") << QStringLiteral("299");
    QTest::newRow("bytes escaped") << QByteArray("\x01\n\xff", 3) << QStringLiteral("\\x01\\n\\xff");
}

void TestStationSim::relayCommandIsRecordedAndClosedByStation()
{
    QFETCH(QByteArray, command);
    QFETCH(QString, logged);

    const int from = m_sim->lineCount();
    QTcpSocket socket;
    socket.connectToHost(address(Relay), kRelayPort);
    QVERIFY(socket.waitForConnected(3000));
    socket.write(command);
    // The test never closes: only the station can end the connection.
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 5000);
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("relay %1 %2 %3").arg(Relay).arg(address(Relay), logged)), 5000,
                               from));
}

void TestStationSim::heldRelayConnectionStaysOpen()
{
    const int from = m_sim->lineCount();
    QTcpSocket socket;
    socket.connectToHost(address(RelayHold), kRelayPort);
    QVERIFY(socket.waitForConnected(3000));
    socket.write("105");
    QVERIFY(socket.waitForBytesWritten(1000));
    QTest::qWait(300); // long enough for a closing station to have closed
    QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
    QVERIFY(m_sim->status(RelayHold).contains(QStringLiteral(" relayconns=1 ")));

    socket.disconnectFromHost();
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("relay %1 %2 105").arg(RelayHold).arg(address(RelayHold))),
                               5000, from));
}

void TestStationSim::callNotificationsReachConnectedClient_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("call") << QStringLiteral("call %1").arg(Calls) << QByteArray("CALL");
    QTest::newRow("end") << QStringLiteral("end %1").arg(Calls) << QByteArray("END");
    QTest::newRow("raw text") << QStringLiteral("send %1 hello  door").arg(Calls) << QByteArray("hello  door");
    QTest::newRow("escapes") << QStringLiteral("send %1 CA\\r\\nLL\\x21").arg(Calls) << QByteArray("CA\r\nLL!");
    QTest::newRow("all stations") << QStringLiteral("call all") << QByteArray("CALL");
}

void TestStationSim::callNotificationsReachConnectedClient()
{
    QFETCH(QString, command);
    QFETCH(QByteArray, expected);

    int from = m_sim->lineCount();
    QTcpSocket socket;
    QByteArray received;
    connect(&socket, &QTcpSocket::readyRead, this, [&] { received += socket.readAll(); });
    socket.connectToHost(address(Calls), kCallPort);
    QVERIFY(socket.waitForConnected(3000));
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("callconn %1 open").arg(Calls)), 5000, from));

    from = m_sim->lineCount();
    m_sim->send(command);
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("sent %1 1").arg(Calls)), 5000, from));
    QTRY_COMPARE(received, expected);

    from = m_sim->lineCount();
    socket.disconnectFromHost();
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("callconn %1 closed").arg(Calls)), 5000, from));
}

void TestStationSim::floodArrivesInFullBeforeLaterText()
{
    constexpr qint64 kFloodBytes = 2 * 1024 * 1024;
    int from = m_sim->lineCount();
    QTcpSocket socket;
    qint64 total = 0;
    bool onlyFiller = true;
    QByteArray tail;
    connect(&socket, &QTcpSocket::readyRead, this, [&] {
        const QByteArray chunk = socket.readAll();
        for (qsizetype i = 0; i < chunk.size() && total + i < kFloodBytes; ++i)
            onlyFiller = onlyFiller && (chunk.at(i) == '.' || chunk.at(i) == '\n');
        if (total + chunk.size() > kFloodBytes)
            tail += chunk.mid(qMax<qint64>(0, kFloodBytes - total));
        total += chunk.size();
    });
    socket.connectToHost(address(Flood), kCallPort);
    QVERIFY(socket.waitForConnected(3000));
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("callconn %1 open").arg(Flood)), 5000, from));

    from = m_sim->lineCount();
    m_sim->send(QStringLiteral("flood %1 2").arg(Flood));
    m_sim->send(QStringLiteral("call %1").arg(Flood));
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("flooddone %1 %2").arg(Flood).arg(kFloodBytes)), 10000, from));
    QTRY_COMPARE_WITH_TIMEOUT(total, kFloodBytes + 4, 10000);
    QVERIFY2(onlyFiller, "the flood holds neither CALL nor END");
    QCOMPARE(tail, QByteArray("CALL"));
}

void TestStationSim::errorRepliesCarryNoPicture_data()
{
    QTest::addColumn<int>("station");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");

    QTest::newRow("html") << int(Html) << 200 << QByteArray("text/html");
    QTest::newRow("notfound") << int(NotFound) << 404 << QByteArray("text/html");
    QTest::newRow("garbage") << int(Garbage) << 200 << QByteArray("image/jpeg");
}

void TestStationSim::errorRepliesCarryNoPicture()
{
    QFETCH(int, station);
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);

    const HttpResult result = get(&m_network, snapshotUrl(address(station)));
    QVERIFY(result.finished);
    QCOMPARE(result.status, status);
    QCOMPARE(result.contentType, contentType);
    QVERIFY(!result.body.isEmpty());
    QCOMPARE(result.contentLength, result.body.size());
    QVERIFY(!decodesAsAnyImage(result.body));
}

void TestStationSim::truncatedReplyIsFirstHalfOfAFrame()
{
    const HttpResult whole = get(&m_network, snapshotUrl(address(Plain)));
    QCOMPARE(whole.status, 200);
    QVERIFY(whole.body.endsWith("\xff\xd9"));

    const HttpResult result = get(&m_network, snapshotUrl(address(Truncated)));
    QVERIFY(result.finished);
    QCOMPARE(result.error, QNetworkReply::NoError);
    QCOMPARE(result.status, 200);
    QCOMPARE(result.contentType, QByteArray("image/jpeg"));
    QCOMPARE(result.contentLength, result.body.size());
    QVERIFY(result.body.startsWith("\xff\xd8"));
    QVERIFY2(!result.body.endsWith("\xff\xd9"), "no end-of-image marker");
    QVERIFY2(result.body.size() > whole.body.size() / 4 && result.body.size() < whole.body.size() * 3 / 4,
             qPrintable(QStringLiteral("%1 of a %2-byte frame").arg(result.body.size()).arg(whole.body.size())));
    QCOMPARE(jpegHeaderSize(result.body), QSize(640, 480)); // the header is intact
}

void TestStationSim::bombClaimsGiantSize()
{
    const HttpResult result = get(&m_network, snapshotUrl(address(Bomb)));
    QVERIFY(result.finished);
    QCOMPARE(result.status, 200);
    QCOMPARE(result.contentType, QByteArray("image/jpeg"));
    QVERIFY2(result.body.size() < 64 * 1024, "the bomb itself is small");
    QCOMPARE(jpegHeaderSize(result.body), QSize(60000, 60000));
}

void TestStationSim::refusedCameraLeavesOtherChannelsUp()
{
    const HttpResult result = get(&m_network, snapshotUrl(address(Refuse)));
    QVERIFY(result.finished);
    QCOMPARE(result.error, QNetworkReply::ConnectionRefusedError);

    const int from = m_sim->lineCount();
    QTcpSocket relay;
    relay.connectToHost(address(Refuse), kRelayPort);
    QVERIFY(relay.waitForConnected(3000));
    relay.write("101");
    QVERIFY(
        m_sim->waitForLine(exactLine(QStringLiteral("relay %1 %2 101").arg(Refuse).arg(address(Refuse))), 5000, from));
}

void TestStationSim::hangingCameraNeverAnswers()
{
    const HttpResult result = get(&m_network, snapshotUrl(address(Hang)), 500);
    QVERIFY(result.finished);
    QCOMPARE(result.error, QNetworkReply::OperationCanceledError); // the transfer time-out, not an answer
    QVERIFY(result.body.isEmpty());
    // The request did arrive: the station accepted and read it.
    const QString status = m_sim->status(Hang);
    QVERIFY2(status.contains(QStringLiteral(" requests=1 ")), qPrintable(status));
}

void TestStationSim::closingCameraDropsTheConnection()
{
    const HttpResult result = get(&m_network, snapshotUrl(address(Close)));
    QVERIFY(result.finished);
    QCOMPARE(result.error, QNetworkReply::RemoteHostClosedError);
    QCOMPARE(result.status, 0);
    QVERIFY(result.body.isEmpty());
}

void TestStationSim::slowCameraAnswersLate()
{
    const HttpResult early = get(&m_network, snapshotUrl(address(Slow)), 200);
    QCOMPARE(early.error, QNetworkReply::OperationCanceledError);

    const HttpResult late = get(&m_network, snapshotUrl(address(Slow)));
    QVERIFY(late.finished);
    QCOMPARE(late.error, QNetworkReply::NoError);
    QCOMPARE(late.status, 200);
    QCOMPARE(QImage::fromData(late.body, "JPEG").size(), QSize(640, 480));
}

void TestStationSim::hugeBodyIsStreamedInFull()
{
    constexpr qint64 kHugeBytes = 50LL * 1024 * 1024;
    std::unique_ptr<QNetworkReply> reply(m_network.get(QNetworkRequest(QUrl(snapshotUrl(address(Huge))))));
    reply->setReadBufferSize(256 * 1024);
    qint64 total = 0;
    QByteArray head;
    connect(reply.get(), &QNetworkReply::readyRead, this, [&] {
        const QByteArray chunk = reply->readAll();
        if (head.size() < 4)
            head += chunk.left(4 - head.size());
        total += chunk.size();
    });
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 60000);
    total += reply->readAll().size();
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    QCOMPARE(reply->rawHeader("Content-Length").toLongLong(), kHugeBytes);
    QCOMPARE(total, kHugeBytes);
    QVERIFY(head.startsWith("\xff\xd8")); // a real frame comes first
}

void TestStationSim::modesSwitchAtRunTime()
{
    const QString url = snapshotUrl(address(Switching));
    QCOMPARE(get(&m_network, url).status, 200);

    struct Step
    {
        const char* mode;
        const char* modeLine; // what the simulator answers
        QNetworkReply::NetworkError error;
        int status;
    };
    const Step steps[] = {
        {"notfound", "notfound relayclose callaccept", QNetworkReply::ContentNotFoundError, 404},
        {"refuse", "refuse relayclose callaccept", QNetworkReply::ConnectionRefusedError, 0},
        {"relayhold", "refuse relayhold callaccept", QNetworkReply::ConnectionRefusedError, 0},
        {"ok", "ok relayclose callaccept", QNetworkReply::NoError, 200},
    };
    for (const Step& step : steps) {
        const int from = m_sim->lineCount();
        m_sim->send(QStringLiteral("mode %1 %2").arg(Switching).arg(QLatin1String(step.mode)));
        QVERIFY(m_sim->waitForLine(
            exactLine(QStringLiteral("mode %1 %2").arg(Switching).arg(QLatin1String(step.modeLine))), 5000, from));
        const HttpResult result = get(&m_network, url);
        QVERIFY(result.finished);
        QCOMPARE(result.error, step.error);
        QCOMPARE(result.status, step.status);
    }

    const int errorsBefore = static_cast<int>(m_sim->errorLines().size());
    m_sim->send(QStringLiteral("mode %1 sideways").arg(Switching));
    QTRY_VERIFY(m_sim->errorLines().size() > errorsBefore);
    QVERIFY(m_sim->errorLines().last().contains(QStringLiteral("unknown mode")));
    QVERIFY(m_sim->status(Switching).contains(QStringLiteral(" camera=ok ")));
}

void TestStationSim::controlPortTakesCommandsOnLocalhostOnly()
{
    constexpr quint16 kControlPort = 17070;
    StationSimulator sim(portArgs(kLifeFirst, 2) << QStringLiteral("--control-port") << QString::number(kControlPort)
                                                 << QStringLiteral("--no-stdin"));
    QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));

    QTcpSocket stranger;
    stranger.connectToHost(StationSimulator::address(kLifeFirst, 0), kControlPort);
    QVERIFY(!stranger.waitForConnected(2000));

    QTcpSocket control;
    QByteArray received;
    connect(&control, &QTcpSocket::readyRead, this, [&] { received += control.readAll(); });
    control.connectToHost(QStringLiteral("127.0.0.1"), kControlPort);
    QVERIFY(control.waitForConnected(3000));
    control.write("status\r\n");
    QTRY_VERIFY(received.contains("status end\n"));
    QVERIFY(received.contains(
        QStringLiteral("status 1 %1 camera=ok ").arg(StationSimulator::address(kLifeFirst, 1)).toUtf8()));
    QVERIFY(sim.waitForLine(exactLine(QStringLiteral("status end")), 1000));

    control.write("quit\n");
    QVERIFY(sim.waitForExit(5000));
    QCOMPARE(sim.exitCode(), 0);
}

void TestStationSim::stopsCleanly_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("quit command") << 0;
    QTest::newRow("end of stdin") << 1;
    QTest::newRow("SIGTERM") << 2;
    QTest::newRow("stop() without stdin") << 3;
}

void TestStationSim::stopsCleanly()
{
    QFETCH(int, how);
    QStringList args = portArgs(kLifeFirst + 2, 1);
    if (how == 3)
        args << QStringLiteral("--no-stdin");
    StationSimulator sim(args);
    QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
    if (how == 0)
        sim.send(QStringLiteral("quit"));
    else if (how == 1)
        sim.closeInput();
    else if (how == 2)
        sim.terminate();
    else
        sim.stop(500); // the quit line goes unread, so SIGTERM ends it
    QVERIFY(sim.waitForExit(5000));
    QCOMPARE(sim.exitCode(), 0);

    // The ports are free again.
    QTcpSocket socket;
    socket.connectToHost(StationSimulator::address(kLifeFirst + 2, 0), kRelayPort);
    QVERIFY(!socket.waitForConnected(2000));
}

void TestStationSim::reportsListenerThatCannotBeBound_data()
{
    QTest::addColumn<quint16>("port");
    QTest::addColumn<QString>("channel");
    QTest::newRow("camera") << kHttpPort << QStringLiteral("camera");
    QTest::newRow("relay") << kRelayPort << QStringLiteral("relay");
    QTest::newRow("call") << kCallPort << QStringLiteral("call");
}

void TestStationSim::reportsListenerThatCannotBeBound()
{
    QFETCH(quint16, port);
    QFETCH(QString, channel);
    const QString host = StationSimulator::address(kBindFirst, 1);
    QTcpServer squatter;
    QVERIFY2(squatter.listen(QHostAddress(host), port), qPrintable(squatter.errorString()));

    StationSimulator sim(portArgs(kBindFirst, 2), 5000);
    QVERIFY(!sim.isReady());
    QVERIFY(sim.waitForExit(5000));
    QCOMPARE(sim.exitCode(), 2);
    const QString errors = sim.errorLines().join(QLatin1Char('\n'));
    QVERIFY2(errors.contains(QStringLiteral("cannot listen on %1:%2 (%3)").arg(host).arg(port).arg(channel)),
             qPrintable(errors));
    QVERIFY(!sim.lines().contains(QStringLiteral("ready")));
}

void TestStationSim::rejectsBadArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no stations") << QStringList{QStringLiteral("--count"), QStringLiteral("0")};
    QTest::newRow("past .254") << QStringList{QStringLiteral("--first"), QStringLiteral("250"),
                                              QStringLiteral("--count"), QStringLiteral("10")};
    QTest::newRow("tiny size") << QStringList{QStringLiteral("--size"), QStringLiteral("10x10")};
    QTest::newRow("size without x") << QStringList{QStringLiteral("--size"), QStringLiteral("640")};
    QTest::newRow("mode of a missing station") << QStringList{QStringLiteral("--mode"), QStringLiteral("3=ok")};
    QTest::newRow("unknown mode") << QStringList{QStringLiteral("--mode"), QStringLiteral("0=sideways")};
    QTest::newRow("mode without index") << QStringList{QStringLiteral("--mode"), QStringLiteral("hang")};
    QTest::newRow("port out of range") << QStringList{QStringLiteral("--http-port"), QStringLiteral("70000")};
    QTest::newRow("quality 0") << QStringList{QStringLiteral("--quality"), QStringLiteral("0")};
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--colour"), QStringLiteral("red")};
    QTest::newRow("stray argument") << QStringList{QStringLiteral("stray")};
}

void TestStationSim::rejectsBadArguments()
{
    QFETCH(QStringList, args);
    // Never reaches its listeners, but keeps to this test's addresses all the same.
    StationSimulator sim(portArgs(kBindFirst + 5, 3) + args, 5000);
    QVERIFY(!sim.isReady());
    QVERIFY(sim.waitForExit(5000));
    QCOMPARE(sim.exitCode(), 1);
    QVERIFY(!sim.errorLines().isEmpty());
}

QTEST_MAIN(TestStationSim)
#include "test_stationsim.moc"

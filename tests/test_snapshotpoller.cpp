// The snapshot pass against simulated stations: pictures to tiles and zoom, the failure rule, every camera
// failure mode, one fetch at a time, skipped ticks, stop, and the socket reopen of every 120th pass.

#include "CallNotifications.h"
#include "CallSockets.h"
#include "ConfigRecord.h"
#include "FakeCallWindowPort.h"
#include "FakeSettingsStore.h"
#include "FakeTileView.h"
#include "RecordingLogger.h"
#include "Scheduler.h"
#include "SnapshotClient.h"
#include "SnapshotPoller.h"
#include "TcpClientSocket.h"
#include "ZoomController.h"
#include "ZoomWindow.h"
#include "support/StationSimulator.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <stdexcept>

namespace {

constexpr int kFirst = 170; // 127.0.0.170 ... 127.0.0.185
constexpr int kCount = 16;
constexpr quint16 kHttpPort = 18181;
constexpr quint16 kRelayPort = 16100;
constexpr quint16 kCallPort = 16101;

QString address(int station)
{
    return StationSimulator::address(kFirst, station);
}

QRegularExpression exactLine(const QString& line)
{
    return QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(line) + QLatin1Char('$'));
}

int requestsOf(StationSimulator& sim, int station)
{
    const QString status = sim.status(station);
    const QRegularExpression pattern(QStringLiteral(" requests=(\\d+) "));
    const QRegularExpressionMatch match = pattern.match(status);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

class TestSnapshotPoller : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void healthyStationReachesTileAndZoom();
    void decodedOnceAtTheLargerSize();
    void fourthFailureShowsNoImage();
    void failureModesCountAsFailures_data();
    void failureModesCountAsFailures();
    void emptyAddressFailsLikeUnreachable();
    void oneFetchAtATimeAndSkippedTicks();
    void recordIsReadAtEveryPass();
    void zoomRetargetAndClose();
    void stopEndsThePass();
    void errorsAreContained();
    void every120thPassReopensActiveSockets();

private:
    bool runPass(SnapshotPoller& poller, int timeoutMs = 10000);
    void setMode(int station, const QString& mode);

    std::unique_ptr<StationSimulator> m_sim;
    ConfigRecord m_record;
    RecordingLogger m_log;
    QtScheduler m_scheduler;
    FakeTileView m_tiles;
    std::unique_ptr<SnapshotClient> m_client;
};

void TestSnapshotPoller::initTestCase()
{
    const QStringList args{
        QStringLiteral("--first"),      QString::number(kFirst),
        QStringLiteral("--count"),      QString::number(kCount),
        QStringLiteral("--http-port"),  QString::number(kHttpPort),
        QStringLiteral("--relay-port"), QString::number(kRelayPort),
        QStringLiteral("--call-port"),  QString::number(kCallPort),
        QStringLiteral("--size"),       QStringLiteral("640x480"),
    };
    m_sim = std::make_unique<StationSimulator>(args);
    QVERIFY2(m_sim->isReady(), qPrintable(m_sim->errorString()));
}

void TestSnapshotPoller::cleanupTestCase()
{
    m_sim.reset();
}

void TestSnapshotPoller::init()
{
    m_record = ConfigRecord();
    for (int i = 0; i < kCount; ++i)
        m_record.ipAddress[i] = address(i);
    m_log.entries.clear();
    m_tiles = FakeTileView();
    for (int i = 0; i < kCount; ++i)
        m_tiles.sizes[i] = QSize(160, 120);
    m_client = std::make_unique<SnapshotClient>(m_log);
    m_client->createHttpClient();
}

void TestSnapshotPoller::cleanup()
{
    m_client.reset();
    m_sim->send(QStringLiteral("mode all ok"));
}

bool TestSnapshotPoller::runPass(SnapshotPoller& poller, int timeoutMs)
{
    QSignalSpy finished(&poller, &SnapshotPoller::passFinished);
    poller.Timer1Tick();
    if (!poller.isPassRunning())
        return false;
    return finished.wait(timeoutMs) || finished.count() > 0;
}

void TestSnapshotPoller::setMode(int station, const QString& mode)
{
    const int from = m_sim->lineCount();
    m_sim->send(QStringLiteral("mode %1 %2").arg(station).arg(mode));
    QVERIFY(m_sim->waitForLine(QRegularExpression(QStringLiteral("^mode %1 ").arg(station)), 5000, from));
}

void TestSnapshotPoller::healthyStationReachesTileAndZoom()
{
    m_record.active[0] = 1;
    FakeSettingsStore settings;
    int zoomed = -1;
    ZoomController zoom(m_record, m_tiles, settings, zoomed);
    SnapshotPoller poller(m_record, *m_client, m_tiles, m_scheduler, m_log, kHttpPort);
    poller.setZoomFeed(&zoom);
    zoom.open(0);
    QSignalSpy polled(&poller, &SnapshotPoller::stationPolled);

    QVERIFY(runPass(poller));
    QCOMPARE(polled.count(), 1);
    QCOMPARE(polled.at(0).at(0).toInt(), 0);
    QVERIFY(polled.at(0).at(1).toBool());
    const QImage first = m_tiles.pictures[0];
    QVERIFY(!first.isNull());
    QVERIFY(!m_tiles.noImage[0]);
    QCOMPARE(poller.failureCount(0), 0);
    // The very image the tile shows: decoded once, shared.
    QCOMPARE(zoom.window()->picture().cacheKey(), first.cacheKey());

    QVERIFY(runPass(poller));
    QVERIFY(m_tiles.pictures[0].cacheKey() != first.cacheKey());
    QVERIFY(m_tiles.pictures[0] != first); // a new frame
    QCOMPARE(zoom.window()->picture().cacheKey(), m_tiles.pictures[0].cacheKey());
    QCOMPARE(m_tiles.pictureCalls, (QList<int>{0, 0}));
    QVERIFY(m_log.entries.isEmpty());
    QCOMPARE(poller.passesCompleted(), 2);
    QCOMPARE(poller.tickCounter(), 2);
}

void TestSnapshotPoller::decodedOnceAtTheLargerSize()
{
    m_record.active[0] = 1;
    m_record.active[1] = 1;
    FakeSettingsStore settings;
    int zoomed = -1;
    ZoomController zoom(m_record, m_tiles, settings, zoomed);
    SnapshotPoller poller(m_record, *m_client, m_tiles, m_scheduler, m_log, kHttpPort);
    poller.setZoomFeed(&zoom);
    zoom.open(1);
    QVERIFY(QTest::qWaitForWindowExposed(zoom.window()));
    const QSize zoomSize = zoom.zoomPictureSize();
    QVERIFY(zoomSize.width() > 160 && zoomSize.width() < 640);

    QVERIFY(runPass(poller));
    // Station 0 is shown only in its 160 x 120 tile: a 640 x 480 camera decodes at a quarter.
    QCOMPARE(m_tiles.pictures[0].size(), QSize(160, 120));
    // Station 1 is zoomed: decoded for the larger zoom picture, never below it, and not at full size.
    const QSize size1 = m_tiles.pictures[1].size();
    QVERIFY2(size1.width() >= zoomSize.width() && size1.height() >= zoomSize.height(),
             qPrintable(QStringLiteral("%1x%2").arg(size1.width()).arg(size1.height())));
    QVERIFY(size1.width() < 640);
    QCOMPARE(zoom.window()->picture().cacheKey(), m_tiles.pictures[1].cacheKey());
}

void TestSnapshotPoller::fourthFailureShowsNoImage()
{
    m_record.active[0] = 1;
    FakeSettingsStore settings;
    int zoomed = -1;
    ZoomController zoom(m_record, m_tiles, settings, zoomed);
    SnapshotPoller poller(m_record, *m_client, m_tiles, m_scheduler, m_log, kHttpPort);
    poller.setZoomFeed(&zoom);
    zoom.open(0);

    QVERIFY(runPass(poller));
    const QImage good = m_tiles.pictures[0];
    QVERIFY(!good.isNull());

    setMode(0, QStringLiteral("refuse"));
    for (int failure = 1; failure <= 3; ++failure) {
        QVERIFY(runPass(poller));
        QCOMPARE(poller.failureCount(0), failure);
        QCOMPARE(m_tiles.pictures[0].cacheKey(), good.cacheKey()); // the last good picture stays
        QVERIFY(!m_tiles.noImage[0]);
    }
    QVERIFY(runPass(poller));
    QCOMPARE(poller.failureCount(0), 4);
    QVERIFY(m_tiles.pictures[0].isNull());
    QVERIFY(m_tiles.noImage[0]);
    // The zoom window never loses its picture to a failure.
    QCOMPARE(zoom.window()->picture().cacheKey(), good.cacheKey());
    QCOMPARE(m_log.entries.size(), 4);
    for (const QString& entry : m_log.entries)
        QVERIFY2(entry.startsWith(QStringLiteral("GetPicFromHTTP ")), qPrintable(entry));

    QVERIFY(runPass(poller));
    QCOMPARE(poller.failureCount(0), 5);

    setMode(0, QStringLiteral("ok"));
    QVERIFY(runPass(poller));
    QCOMPARE(poller.failureCount(0), 0);
    QVERIFY(!m_tiles.pictures[0].isNull());
    QVERIFY(!m_tiles.noImage[0]);
    QCOMPARE(zoom.window()->picture().cacheKey(), m_tiles.pictures[0].cacheKey());
}

void TestSnapshotPoller::failureModesCountAsFailures_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("logged"); // transport errors are logged, bad bodies are not

    QTest::newRow("refused") << QStringLiteral("refuse") << true;
    QTest::newRow("never answers") << QStringLiteral("hang") << true;
    QTest::newRow("closes without answer") << QStringLiteral("close") << true;
    QTest::newRow("html page") << QStringLiteral("html") << false;
    QTest::newRow("404") << QStringLiteral("notfound") << false;
    QTest::newRow("garbage") << QStringLiteral("garbage") << false;
    QTest::newRow("truncated jpeg") << QStringLiteral("truncated") << false;
    QTest::newRow("50 MB body") << QStringLiteral("huge") << false;
    QTest::newRow("60000 x 60000 header") << QStringLiteral("bomb") << false;
}

void TestSnapshotPoller::failureModesCountAsFailures()
{
    QFETCH(QString, mode);
    QFETCH(bool, logged);

    m_record.active[0] = 1;
    m_record.active[1] = 1;
    setMode(0, mode);
    SnapshotPoller poller(m_record, *m_client, m_tiles, m_scheduler, m_log, kHttpPort);
    QSignalSpy polled(&poller, &SnapshotPoller::stationPolled);

    for (int pass = 1; pass <= 2; ++pass) {
        QVERIFY(runPass(poller, 15000));
        QCOMPARE(poller.failureCount(0), pass);
        QVERIFY(m_tiles.pictures[0].isNull());
        QVERIFY(!m_tiles.noImage[0]);
        // The failing station does not hold up the next one.
        QCOMPARE(poller.failureCount(1), 0);
        QVERIFY(!m_tiles.pictures[1].isNull());
    }
    QCOMPARE(polled.count(), 4);
    QVERIFY(!polled.at(0).at(1).toBool());
    QVERIFY(polled.at(1).at(1).toBool());
    if (logged) {
        QCOMPARE(m_log.entries.size(), 2);
        const QRegularExpression line(QStringLiteral("^GetPicFromHTTP \\d+ \\S.*$"));
        QVERIFY2(line.match(m_log.entries.first()).hasMatch(), qPrintable(m_log.entries.first()));
    } else {
        QVERIFY2(m_log.entries.isEmpty(), qPrintable(m_log.entries.join(QLatin1Char('|'))));
    }
}

void TestSnapshotPoller::emptyAddressFailsLikeUnreachable()
{
    m_record.active[3] = 1;
    m_record.ipAddress[3].clear();
    SnapshotPoller poller(m_record, *m_client, m_tiles, m_scheduler, m_log, kHttpPort);
    for (int pass = 1; pass <= 4; ++pass)
        QVERIFY(runPass(poller));
    QCOMPARE(poller.failureCount(3), 4);
    QVERIFY(m_tiles.noImage[3]);
    QCOMPARE(m_log.entries.size(), 4);
    QVERIFY2(m_log.entries.first().startsWith(QStringLiteral("GetPicFromHTTP ")), qPrintable(m_log.entries.first()));
}

void TestSnapshotPoller::oneFetchAtATimeAndSkippedTicks()
{
    m_record.active[4] = 1;
    m_record.active[5] = 1;
    setMode(4, QStringLiteral("slow:600"));
    const int requestsBefore = requestsOf(*m_sim, 5);
    SnapshotPoller poller(m_record, *m_client, m_tiles, m_scheduler, m_log, kHttpPort);
    QSignalSpy polled(&poller, &SnapshotPoller::stationPolled);
    QSignalSpy finished(&poller, &SnapshotPoller::passFinished);

    poller.Timer1Tick();
    QVERIFY(poller.isPassRunning()); // the tick returns at once; the pass goes on on the event loop
    QTRY_COMPARE(requestsOf(*m_sim, 4) > 0, true);
    poller.Timer1Tick(); // falls due while station 4 is still answering
    poller.Timer1Tick();
    QCOMPARE(poller.skippedTicks(), 2);
    // Station 5 waits for station 4's fetch to end.
    QCOMPARE(requestsOf(*m_sim, 5), requestsBefore);
    QCOMPARE(polled.count(), 0);

    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.count(), 1); // the skipped ticks started nothing
    QCOMPARE(polled.count(), 2);
    QCOMPARE(polled.at(0).at(0).toInt(), 4);
    QCOMPARE(polled.at(1).at(0).toInt(), 5);
    QCOMPARE(requestsOf(*m_sim, 5), requestsBefore + 1);
    QVERIFY(!poller.isPassRunning());
    QCOMPARE(poller.passesCompleted(), 1);
}

void TestSnapshotPoller::recordIsReadAtEveryPass()
{
    SnapshotPoller poller(m_record, *m_client, m_tiles, m_scheduler, m_log, kHttpPort);
    QSignalSpy polled(&poller, &SnapshotPoller::stationPolled);
    QVERIFY(runPass(poller)); // nothing active: a pass with no fetch
    QCOMPARE(polled.count(), 0);

    m_record.active[6] = 1;
    const int requests7 = requestsOf(*m_sim, 7);
    QVERIFY(runPass(poller));
    QCOMPARE(polled.count(), 1);
    QVERIFY(!m_tiles.pictures[6].isNull());

    // The dialog changed station 6's address to station 7's camera.
    m_record.ipAddress[6] = address(7);
    QVERIFY(runPass(poller));
    QCOMPARE(requestsOf(*m_sim, 7), requests7 + 1);

    m_record.active[6] = 0;
    QVERIFY(runPass(poller));
    QCOMPARE(polled.count(), 2);
}

void TestSnapshotPoller::zoomRetargetAndClose()
{
    m_record.active[0] = 1;
    m_record.active[1] = 1;
    FakeSettingsStore settings;
    int zoomed = -1;
    ZoomController zoom(m_record, m_tiles, settings, zoomed);
    SnapshotPoller poller(m_record, *m_client, m_tiles, m_scheduler, m_log, kHttpPort);
    poller.setZoomFeed(&zoom);

    zoom.open(0);
    QVERIFY(runPass(poller));
    QCOMPARE(zoom.window()->picture().cacheKey(), m_tiles.pictures[0].cacheKey());

    zoom.open(1);
    QCOMPARE(zoom.window()->picture().cacheKey(), m_tiles.pictures[1].cacheKey());
    QVERIFY(runPass(poller));
    QCOMPARE(zoom.window()->picture().cacheKey(), m_tiles.pictures[1].cacheKey());
    QVERIFY(zoom.window()->picture().cacheKey() != m_tiles.pictures[0].cacheKey());

    QPointer<ZoomWindow> window = zoom.window();
    window->close();
    QCOMPARE(zoomed, -1);
    QVERIFY(runPass(poller));
    QVERIFY(window.isNull()); // gone: no snapshot can reach it
    QVERIFY(zoom.window() == nullptr);
    QCOMPARE(zoomed, -1);
    QVERIFY(!m_tiles.pictures[1].isNull());
}

void TestSnapshotPoller::stopEndsThePass()
{
    m_record.active[8] = 1;
    m_record.active[9] = 1;
    setMode(8, QStringLiteral("slow:400"));
    const int requests9 = requestsOf(*m_sim, 9);
    SnapshotPoller poller(m_record, *m_client, m_tiles, m_scheduler, m_log, kHttpPort);
    QSignalSpy finished(&poller, &SnapshotPoller::passFinished);
    poller.Timer1Tick();
    QTRY_COMPARE(requestsOf(*m_sim, 8) > 0, true);
    poller.stop();
    QVERIFY(finished.wait(5000));
    QVERIFY(!poller.isPassRunning());
    QVERIFY(m_tiles.pictureCalls.isEmpty()); // the tiles are not touched after stop
    QCOMPARE(requestsOf(*m_sim, 9), requests9);

    poller.Timer1Tick();
    QVERIFY(!poller.isPassRunning());
    QVERIFY(!finished.wait(300));
    QCOMPARE(poller.passesCompleted(), 0);
}

void TestSnapshotPoller::errorsAreContained()
{
    m_record.active[10] = 1;
    SnapshotPoller poller(m_record, *m_client, m_tiles, m_scheduler, m_log, kHttpPort);
    int throws = 1;
    m_tiles.beforeSetPicture = [&throws](int) {
        if (throws-- > 0)
            throw std::runtime_error("picture assignment failed");
    };
    QVERIFY(runPass(poller));
    QVERIFY(!poller.isPassRunning());
    QCOMPARE(m_log.entries.size(), 1);
    QVERIFY2(m_log.entries.first().contains(QStringLiteral("picture assignment failed")),
             qPrintable(m_log.entries.first()));

    // The next tick runs a normal pass.
    QVERIFY(runPass(poller));
    QVERIFY(!m_tiles.pictures[10].isNull());
}

void TestSnapshotPoller::every120thPassReopensActiveSockets()
{
    m_record.active[11] = 1;
    m_record.active[13] = 1;
    FakeCallWindowPort window;
    CallSockets sockets(kCallPort, nullptr);
    CallNotifications calls(m_record, sockets, window, m_log, m_scheduler);
    int from = m_sim->lineCount();
    sockets.startupOpen(m_record);
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("callconn 11 open")), 5000, from));
    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("callconn 13 open")), 5000, from));

    SnapshotPoller poller(m_record, *m_client, m_tiles, m_scheduler, m_log, kHttpPort);
    poller.setSocketReopen([&calls](std::function<void()> done) { calls.reopenSockets(std::move(done)); });
    QSignalSpy reopened(&calls, &CallNotifications::reopenFinished);

    // Passes back to back, each started by the end of the one before.
    int passes = 0;
    bool reopeningAtEnd = true;
    connect(&poller, &SnapshotPoller::passFinished, this, [&]() {
        ++passes;
        if (passes == 120)
            reopeningAtEnd = calls.isReopening();
        if (passes < 119)
            QTimer::singleShot(0, &poller, [&poller]() { poller.Timer1Tick(); });
    });
    from = m_sim->lineCount();
    poller.Timer1Tick();
    QTRY_COMPARE_WITH_TIMEOUT(passes, 119, 60000);
    QVERIFY(!m_log.entries.contains(QStringLiteral("sock")));
    QCOMPARE(poller.tickCounter(), 119);
    QVERIFY(!calls.isReopening());
    poller.Timer1Tick();
    QTRY_VERIFY(calls.isReopening() || passes == 120);
    poller.Timer1Tick(); // due while the pass waits for the reopen: starts nothing
    QTRY_COMPARE_WITH_TIMEOUT(passes, 120, 10000);
    QCOMPARE(poller.skippedTicks(), 1);

    QCOMPARE(m_log.entries.count(QStringLiteral("sock")), 1);
    QCOMPARE(reopened.count(), 1);
    QVERIFY(!reopeningAtEnd); // the pass ended after the reopen
    QCOMPARE(poller.tickCounter(), 0);
    QCOMPARE(poller.passesCompleted(), 120);

    QVERIFY(m_sim->waitForLine(exactLine(QStringLiteral("callconn 13 open")), 5000, from));
    QStringList events;
    for (const QString& line : m_sim->lines().mid(from)) {
        if (line.startsWith(QStringLiteral("callconn ")))
            events.append(line.mid(9));
    }
    QCOMPARE(events, (QStringList{QStringLiteral("11 closed"), QStringLiteral("11 open"), QStringLiteral("13 closed"),
                                  QStringLiteral("13 open")}));
    QTRY_VERIFY(sockets.wsockCall(11)->isConnected() && sockets.wsockCall(13)->isConnected());
    for (int i = 0; i < kCount; ++i) {
        if (i != 11 && i != 13)
            QVERIFY(sockets.wsockCall(i)->remoteHost().isEmpty());
    }
}

QTEST_MAIN(TestSnapshotPoller)
#include "test_snapshotpoller.moc"

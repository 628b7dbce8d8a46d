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

using namespace Qt::StringLiterals;

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
    return QRegularExpression(u'^' + QRegularExpression::escape(line) + u'$');
}

int requestsOf(StationSimulator& sim, int station)
{
    const QRegularExpressionMatch match = QRegularExpression(u" requests=(\\d+) "_s).match(sim.status(station));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

class TestSnapshotPoller : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QStringList args{u"--first"_s,     QString::number(kFirst),    u"--count"_s,      QString::number(kCount),
                               u"--http-port"_s, QString::number(kHttpPort), u"--relay-port"_s, u"16100"_s,
                               u"--call-port"_s, QString::number(kCallPort), u"--size"_s,       u"640x480"_s};
        m_sim = std::make_unique<StationSimulator>(args);
        QVERIFY2(m_sim->isReady(), qPrintable(m_sim->errorString()));
    }

    void init()
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
        m_zoomed = -1;
        m_zoom = std::make_unique<ZoomController>(m_record, m_tiles, m_settings, m_zoomed);
    }

    void cleanup()
    {
        m_zoom.reset();
        m_client.reset();
        m_sim->send(u"mode all ok"_s);
    }

    void healthyStationReachesTileAndZoom()
    {
        m_record.active[0] = 1;
        auto poller = makePoller(true);
        m_zoom->open(0);
        QSignalSpy polled(poller.get(), &SnapshotPoller::stationPolled);
        QVERIFY(runPass(*poller));
        QCOMPARE(polled.count(), 1);
        QCOMPARE(polled.at(0), (QList<QVariant>{0, true}));
        const QImage first = m_tiles.pictures[0];
        QVERIFY(!first.isNull());
        QVERIFY(!m_tiles.noImage[0]);
        // The very image the tile shows: decoded once, shared.
        QCOMPARE(m_zoom->window()->picture().cacheKey(), first.cacheKey());

        QVERIFY(runPass(*poller));
        QVERIFY(m_tiles.pictures[0] != first); // a new frame
        QCOMPARE(m_zoom->window()->picture().cacheKey(), m_tiles.pictures[0].cacheKey());
        QCOMPARE(m_tiles.pictureCalls, (QList<int>{0, 0}));
        QVERIFY(m_log.entries.isEmpty());
        QCOMPARE(poller->passesCompleted(), 2);
        QCOMPARE(poller->tickCounter(), 2);

        // Retargeted, the window gets the other station's pictures; closed, none.
        m_record.active[1] = 1;
        m_zoom->open(1);
        QVERIFY(QTest::qWaitForWindowExposed(m_zoom->window()));
        const QSize zoomSize = m_zoom->zoomPictureSize();
        QVERIFY(zoomSize.width() > 160 && zoomSize.width() < 640);
        QVERIFY(runPass(*poller));
        QCOMPARE(m_zoom->window()->picture().cacheKey(), m_tiles.pictures[1].cacheKey());
        // Decoded once each: station 0 only for its 160 x 120 tile (a quarter of the camera's 640 x 480),
        // station 1 for the larger zoom picture, never below it, and not at full size.
        QCOMPARE(m_tiles.pictures[0].size(), QSize(160, 120));
        const QSize size1 = m_tiles.pictures[1].size();
        QVERIFY2(size1.width() >= zoomSize.width() && size1.height() >= zoomSize.height() && size1.width() < 640,
                 qPrintable(u"%1x%2"_s.arg(size1.width()).arg(size1.height())));
        QPointer<ZoomWindow> window = m_zoom->window();
        window->close();
        QVERIFY(runPass(*poller));
        QVERIFY(window.isNull());
        QVERIFY(!m_tiles.pictures[1].isNull());
    }

    void fourthFailureShowsNoImage()
    {
        m_record.active[0] = 1;
        auto poller = makePoller(true);
        m_zoom->open(0);
        QVERIFY(runPass(*poller));
        const QImage good = m_tiles.pictures[0];
        QVERIFY(!good.isNull());

        setMode(0, u"refuse"_s);
        for (int failure = 1; failure <= 3; ++failure) {
            QVERIFY(runPass(*poller));
            QCOMPARE(poller->failureCount(0), failure);
            QCOMPARE(m_tiles.pictures[0].cacheKey(), good.cacheKey()); // the last good picture stays
            QVERIFY(!m_tiles.noImage[0]);
        }
        QVERIFY(runPass(*poller));
        QCOMPARE(poller->failureCount(0), 4);
        QVERIFY(m_tiles.pictures[0].isNull());
        QVERIFY(m_tiles.noImage[0]);
        // The zoom window never loses its picture to a failure.
        QCOMPARE(m_zoom->window()->picture().cacheKey(), good.cacheKey());
        QCOMPARE(m_log.entries.size(), 4);
        for (const QString& entry : m_log.entries)
            QVERIFY2(entry.startsWith(u"GetPicFromHTTP "_s), qPrintable(entry));
        QVERIFY(runPass(*poller));
        QCOMPARE(poller->failureCount(0), 5);

        setMode(0, u"ok"_s);
        QVERIFY(runPass(*poller));
        QCOMPARE(poller->failureCount(0), 0);
        QVERIFY(!m_tiles.pictures[0].isNull());
        QVERIFY(!m_tiles.noImage[0]);
        QCOMPARE(m_zoom->window()->picture().cacheKey(), m_tiles.pictures[0].cacheKey());
    }

    void failureModesCountAsFailures_data()
    {
        QTest::addColumn<QString>("mode"); // empty: a station without an address
        QTest::addColumn<bool>("logged");  // transport errors are logged, bad bodies are not
        QTest::newRow("refused") << u"refuse"_s << true;
        QTest::newRow("never answers") << u"hang"_s << true;
        QTest::newRow("closes without answer") << u"close"_s << true;
        QTest::newRow("empty IP address") << QString() << true;
        QTest::newRow("html page") << u"html"_s << false;
        QTest::newRow("404") << u"notfound"_s << false;
        QTest::newRow("garbage") << u"garbage"_s << false;
        QTest::newRow("truncated jpeg") << u"truncated"_s << false;
        QTest::newRow("50 MB body") << u"huge"_s << false;
        QTest::newRow("60000 x 60000 header") << u"bomb"_s << false;
    }

    void failureModesCountAsFailures()
    {
        QFETCH(QString, mode);
        QFETCH(bool, logged);
        m_record.active[0] = 1;
        m_record.active[1] = 1;
        if (mode.isEmpty())
            m_record.ipAddress[0].clear();
        else
            setMode(0, mode);
        auto poller = makePoller();
        QSignalSpy polled(poller.get(), &SnapshotPoller::stationPolled);

        for (int pass = 1; pass <= 2; ++pass) {
            QVERIFY(runPass(*poller, 15000));
            QCOMPARE(poller->failureCount(0), pass);
            QVERIFY(m_tiles.pictures[0].isNull());
            QVERIFY(!m_tiles.noImage[0]);
            // The failing station does not hold up the next one.
            QCOMPARE(poller->failureCount(1), 0);
            QVERIFY(!m_tiles.pictures[1].isNull());
        }
        QCOMPARE(polled.count(), 4);
        QCOMPARE(polled.at(0), (QList<QVariant>{0, false}));
        QCOMPARE(polled.at(1), (QList<QVariant>{1, true}));
        if (logged) {
            QCOMPARE(m_log.entries.size(), 2);
            const QRegularExpression line(u"^GetPicFromHTTP \\d+ \\S.*$"_s);
            QVERIFY2(line.match(m_log.entries.first()).hasMatch(), qPrintable(m_log.entries.first()));
        } else {
            QVERIFY2(m_log.entries.isEmpty(), qPrintable(m_log.entries.join(u'|')));
        }
    }

    void oneFetchAtATimeAndSkippedTicks()
    {
        m_record.active[4] = 1;
        m_record.active[5] = 1;
        setMode(4, u"slow:600"_s);
        const int requestsBefore = requestsOf(*m_sim, 5);
        auto poller = makePoller();
        QSignalSpy polled(poller.get(), &SnapshotPoller::stationPolled);
        QSignalSpy finished(poller.get(), &SnapshotPoller::passFinished);

        poller->Timer1Tick();
        QVERIFY(poller->isPassRunning()); // the tick returns at once; the pass goes on on the event loop
        QTRY_VERIFY(requestsOf(*m_sim, 4) > 0);
        poller->Timer1Tick(); // falls due while station 4 is still answering
        poller->Timer1Tick();
        QCOMPARE(poller->skippedTicks(), 2);
        // Station 5 waits for station 4's fetch to end.
        QCOMPARE(requestsOf(*m_sim, 5), requestsBefore);
        QCOMPARE(polled.count(), 0);

        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.count(), 1); // the skipped ticks started nothing
        QCOMPARE(polled.count(), 2);
        QCOMPARE(polled.at(0).at(0).toInt(), 4);
        QCOMPARE(polled.at(1).at(0).toInt(), 5);
        QCOMPARE(requestsOf(*m_sim, 5), requestsBefore + 1);
        QCOMPARE(poller->passesCompleted(), 1);
    }

    void recordIsReadAtEveryPass()
    {
        auto poller = makePoller();
        QSignalSpy polled(poller.get(), &SnapshotPoller::stationPolled);
        QVERIFY(runPass(*poller)); // nothing active: a pass with no fetch
        QCOMPARE(polled.count(), 0);

        m_record.active[6] = 1;
        const int requests7 = requestsOf(*m_sim, 7);
        QVERIFY(runPass(*poller));
        QCOMPARE(polled.count(), 1);
        QVERIFY(!m_tiles.pictures[6].isNull());
        // The dialog changed station 6's address to station 7's camera.
        m_record.ipAddress[6] = address(7);
        QVERIFY(runPass(*poller));
        QCOMPARE(requestsOf(*m_sim, 7), requests7 + 1);
        m_record.active[6] = 0;
        QVERIFY(runPass(*poller));
        QCOMPARE(polled.count(), 2);
    }

    void stopEndsThePass()
    {
        m_record.active[8] = 1;
        m_record.active[9] = 1;
        setMode(8, u"slow:400"_s);
        const int requests9 = requestsOf(*m_sim, 9);
        auto poller = makePoller();
        QSignalSpy finished(poller.get(), &SnapshotPoller::passFinished);
        poller->Timer1Tick();
        QTRY_VERIFY(requestsOf(*m_sim, 8) > 0);
        poller->stop();
        QVERIFY(finished.wait(5000));
        QVERIFY(!poller->isPassRunning());
        QVERIFY(m_tiles.pictureCalls.isEmpty()); // the tiles are not touched after stop
        QCOMPARE(requestsOf(*m_sim, 9), requests9);

        poller->Timer1Tick();
        QVERIFY(!poller->isPassRunning());
        QVERIFY(!finished.wait(300));
        QCOMPARE(poller->passesCompleted(), 0);
    }

    void errorsAreContained()
    {
        m_record.active[10] = 1;
        auto poller = makePoller();
        int throws = 1;
        m_tiles.beforeSetPicture = [&throws](int) {
            if (throws-- > 0)
                throw std::runtime_error("picture assignment failed");
        };
        QVERIFY(runPass(*poller));
        QVERIFY(!poller->isPassRunning());
        QCOMPARE(m_log.entries.size(), 1);
        QVERIFY2(m_log.entries.first().contains(u"picture assignment failed"_s), qPrintable(m_log.entries.first()));
        // The next tick runs a normal pass.
        QVERIFY(runPass(*poller));
        QVERIFY(!m_tiles.pictures[10].isNull());
    }

    void every120thPassReopensActiveSockets()
    {
        m_record.active[11] = 1;
        m_record.active[13] = 1;
        FakeCallWindowPort window;
        CallSockets sockets(kCallPort, nullptr);
        CallNotifications calls(m_record, sockets, window, m_log, m_scheduler);
        int from = m_sim->lineCount();
        sockets.startupOpen(m_record);
        QVERIFY(m_sim->waitForLine(exactLine(u"callconn 11 open"_s), 5000, from));
        QVERIFY(m_sim->waitForLine(exactLine(u"callconn 13 open"_s), 5000, from));

        auto poller = makePoller();
        poller->setSocketReopen([&calls](std::function<void()> done) { calls.reopenSockets(std::move(done)); });
        QSignalSpy reopened(&calls, &CallNotifications::reopenFinished);

        // Passes back to back, each started by the end of the one before.
        int passes = 0;
        bool reopeningAtEnd = true;
        connect(poller.get(), &SnapshotPoller::passFinished, this, [&]() {
            ++passes;
            if (passes == 120)
                reopeningAtEnd = calls.isReopening();
            if (passes < 119)
                QTimer::singleShot(0, poller.get(), [&poller]() { poller->Timer1Tick(); });
        });
        from = m_sim->lineCount();
        poller->Timer1Tick();
        QTRY_COMPARE_WITH_TIMEOUT(passes, 119, 60000);
        QVERIFY(!m_log.entries.contains(u"sock"_s));
        QCOMPARE(poller->tickCounter(), 119);
        poller->Timer1Tick();
        QTRY_VERIFY(calls.isReopening() || passes == 120);
        poller->Timer1Tick(); // due while the pass waits for the reopen: starts nothing
        QTRY_COMPARE_WITH_TIMEOUT(passes, 120, 10000);
        QCOMPARE(poller->skippedTicks(), 1);

        QCOMPARE(m_log.entries.count(u"sock"_s), 1);
        QCOMPARE(reopened.count(), 1);
        QVERIFY(!reopeningAtEnd); // the pass ended after the reopen
        QCOMPARE(poller->tickCounter(), 0);

        QVERIFY(m_sim->waitForLine(exactLine(u"callconn 13 open"_s), 5000, from));
        QStringList events;
        for (const QString& line : m_sim->lines().mid(from)) {
            if (line.startsWith(u"callconn "_s))
                events.append(line.mid(9));
        }
        QCOMPARE(events, (QStringList{u"11 closed"_s, u"11 open"_s, u"13 closed"_s, u"13 open"_s}));
        QTRY_VERIFY(sockets.wsockCall(11)->isConnected() && sockets.wsockCall(13)->isConnected());
        for (int i = 0; i < kCount; ++i) {
            if (i != 11 && i != 13)
                QVERIFY(sockets.wsockCall(i)->remoteHost().isEmpty());
        }
    }

private:
    bool runPass(SnapshotPoller& poller, int timeoutMs = 10000);
    void setMode(int station, const QString& mode);
    /// A poller over the fixture's record, tiles and log; feeding the zoom controller when asked.
    std::unique_ptr<SnapshotPoller> makePoller(bool withZoom = false);

    std::unique_ptr<StationSimulator> m_sim;
    ConfigRecord m_record;
    RecordingLogger m_log;
    QtScheduler m_scheduler;
    FakeTileView m_tiles;
    std::unique_ptr<SnapshotClient> m_client;
    FakeSettingsStore m_settings;
    int m_zoomed = -1;
    std::unique_ptr<ZoomController> m_zoom;
};

std::unique_ptr<SnapshotPoller> TestSnapshotPoller::makePoller(bool withZoom)
{
    auto poller = std::make_unique<SnapshotPoller>(m_record, *m_client, m_tiles, m_scheduler, m_log, kHttpPort);
    if (withZoom)
        poller->setZoomFeed(m_zoom.get());
    return poller;
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
    m_sim->send(u"mode %1 %2"_s.arg(station).arg(mode));
    QVERIFY(m_sim->waitForLine(QRegularExpression(u"^mode %1 "_s.arg(station)), 5000, from));
}

QTEST_MAIN(TestSnapshotPoller)
#include "test_snapshotpoller.moc"

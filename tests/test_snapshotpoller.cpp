// Snapshot polling against simulated stations: pictures to tiles and zoom, each camera frame named by its
// station, the failure rule for every kind
// of dead camera while the healthy ones go on, one fetch per station at a time, the fetch deadline, stop,
// and the reopen of every 120th tick.

#include "ConfigRecord.h"
#include "FakeConsoleWindow.h"
#include "FakeSettingsStore.h"
#include "PictureDecoder.h"
#include "RecordingLogger.h"
#include "Scheduler.h"
#include "SnapshotClient.h"
#include "SnapshotPoller.h"
#include "StationSimulator.h"
#include "ZoomController.h"
#include "ZoomWindow.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFirst = 170; // stations 127.0.0.170 ... 127.0.0.177
constexpr int kCount = 8;
constexpr quint16 kHttpPort = 18181;

QString address(int station) { return StationSimulator::address(kFirst, station); }

} // namespace

class TestSnapshotPoller : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_sim = std::make_unique<StationSimulator>(QStringList{
            u"--first"_s, QString::number(kFirst), u"--count"_s, QString::number(kCount), u"--http-port"_s,
            QString::number(kHttpPort), u"--relay-port"_s, u"16100"_s, u"--call-port"_s, u"16101"_s});
        QVERIFY2(m_sim->isReady(), qPrintable(m_sim->errorString()));
    }

    void init()
    {
        m_record = ConfigRecord();
        for (int i = 0; i < kCount; ++i)
            m_record.ipAddress[i] = address(i);
        m_log.entries.clear();
        m_tiles = FakeConsoleWindow();
        m_tiles.pictureSizes.fill(QSize(160, 120));
        m_zoom = std::make_unique<ZoomController>(m_record, m_settings, m_zoomed);
        m_poller = std::make_unique<SnapshotPoller>(m_record, m_client, m_tiles, m_scheduler, m_log, kHttpPort);
        m_poller->addPictureFeed(m_zoom.get());
    }

    void cleanup()
    {
        m_poller.reset();
        m_zoom.reset();
        setMode(-1, u"ok"_s);
    }

    void picturesReachTileAndZoom()
    {
        m_record.active[0] = m_record.active[1] = 1;
        m_zoom->open(0, QImage(), u"tel_n"_s);
        QVERIFY(runPass());
        const QImage first = m_tiles.pictures[0];
        QVERIFY(!first.isNull() && !m_tiles.noImage[0] && m_log.entries.isEmpty());
        QCOMPARE(m_zoom->window()->picture().cacheKey(), first.cacheKey()); // decoded once, shared
        // Retargeted: station 1 is decoded for the larger zoom picture (not below it, not at the camera's
        // 640 x 480), station 0 only for its tile.
        m_zoom->open(1, m_tiles.pictures[1], u"tel_n"_s);
        QVERIFY(QTest::qWaitForWindowExposed(m_zoom->window()));
        QVERIFY(runPass());
        QCOMPARE(m_zoom->window()->picture().cacheKey(), m_tiles.pictures[1].cacheKey());
        QCOMPARE(m_tiles.pictures[0].size(), QSize(160, 120));
        const QSize zoom = m_zoom->shownPictureSize(), size1 = m_tiles.pictures[1].size();
        QVERIFY(size1.width() >= zoom.width() && size1.height() >= zoom.height() && size1.width() < 640);
        // The record is read at every pass (addresses: the failure rows "no address"): the dialog closed
        // the zoom window and deactivated station 0.
        m_zoom->close();
        m_record.active[0] = 0;
        QVERIFY(runPass());
        QCOMPARE(m_tiles.pictureCalls.count(0), 2);
        QCOMPARE(m_tiles.pictureCalls.count(1), 3);
    }

    void framesNameTheirStation_data()
    {
        QTest::addColumn<QString>("firstMode"); // station 0's camera: the order of the answers must not matter
        QTest::newRow("as asked") << u"ok"_s;
        QTest::newRow("first answers last") << u"slow:300"_s;
    }

    void framesNameTheirStation()
    {
        QFETCH(QString, firstMode);
        m_record.active[0] = m_record.active[1] = 1;
        setMode(0, firstMode);
        QSignalSpy frames(m_poller.get(), &SnapshotPoller::frameReceived);
        QVERIFY(runPass());
        // The simulator draws its station into the frame: each one, decoded as for the tile it names, must give
        // that tile's very pixels.
        QCOMPARE(frames.size(), 2);
        QSet<int> named;
        for (const QList<QVariant>& frame : std::as_const(frames)) {
            const int station = frame.at(0).toInt();
            named.insert(station);
            QCOMPARE(PictureDecoder::decode(frame.at(1).toByteArray(), m_tiles.pictureSizes[station]),
                     m_tiles.pictures[station]);
        }
        QCOMPARE(named, (QSet<int>{0, 1}));
    }

    void failureModesCountAsFailures_data()
    {
        QTest::addColumn<QString>("mode");   // empty: a station without an address
        QTest::addColumn<QString>("logged"); // the fault, as the outage's one line names it
        QTest::addColumn<int>("requests");   // reaching the camera per attempt: one, never a retry
        // Transport failures: refused, never answers, answers after the HTTP time-out, closes without an
        // answer, no address. Answers that are no picture: an HTML page, 404, random bytes, half a JPEG,
        // 50 MB, a header claiming 60000 x 60000 pixels.
        const QString notFound = u"203 Error transferring http://%1:%2/snap.jpg - server replied: Not Found"_s;
        const QString jpeg = u"JPEG picture cannot be decoded (image/jpeg, %1 bytes)"_s;
        const QString timeOut = u"5 Operation canceled"_s;
        const std::tuple<const char*, QString, int> rows[] = {
            {"refuse", u"1 Connection refused"_s, 0}, {"hang", timeOut, 1}, {"slow:1500", timeOut, 1},
            {"close", u"2 Connection closed"_s, 1}, {"", u"3 Host  not found"_s, 0}, {"truncated", jpeg, 1},
            {"html", u"not a JPEG picture (text/html, 121 bytes)"_s, 1}, // the simulator's page
            {"notfound", notFound.arg(address(0)).arg(kHttpPort), 1}, {"huge", u"299 Response body too large"_s, 1},
            {"garbage", u"not a JPEG picture (image/jpeg, 16384 bytes)"_s, 1}, {"bomb", jpeg, 1}};
        for (const auto& [mode, logged, requests] : rows)
            QTest::newRow(*mode ? mode : "no address") << QString::fromLatin1(mode) << logged << requests;
    }

    void failureModesCountAsFailures()
    {
        QFETCH(QString, mode);
        QFETCH(QString, logged);
        QFETCH(int, requests);
        m_record.active[0] = m_record.active[1] = 1;
        m_zoom->open(0, QImage(), u"tel_n"_s);
        QVERIFY(runPass());
        const QImage good = m_tiles.pictures[0];
        mode.isEmpty() ? m_record.ipAddress[0].clear() : setMode(0, mode);
        const int requestsBefore = requestsOf(0);
        // The last picture stays through three failures, the fourth shows "No image available". The healthy
        // station's picture does not wait for the failing one's answer.
        for (int failure = 1; failure <= 4; ++failure) {
            const qsizetype healthy = m_tiles.pictureCalls.count(1);
            m_poller->tick();
            QTRY_COMPARE(m_tiles.pictureCalls.count(1), healthy + 1);
            if (mode == u"hang" || mode.startsWith(u"slow"))
                QCOMPARE(m_poller->failureCount(0), failure - 1); // still waiting for the dead camera
            QVERIFY(waitIdle(15000));
            QCOMPARE(m_poller->failureCount(0), failure);
            QCOMPARE(m_tiles.pictures[0].cacheKey(), failure < 4 ? good.cacheKey() : QImage().cacheKey());
            QCOMPARE(m_tiles.noImage[0], failure == 4);
        }
        QCOMPARE(requestsOf(0) - requestsBefore, 4 * requests);
        QCOMPARE(m_tiles.pictureCalls.count(0), 2); // the good picture, then the clearing
        QCOMPARE(m_zoom->window()->picture().cacheKey(), good.cacheKey()); // the zoom window keeps it
        // One line for the outage, the fault as it happened (a JPEG's size varies); one when it works again.
        if (logged.contains(u"%1"_s))
            logged = logged.arg(m_log.entries.value(0).section(u", "_s, 1).section(u' ', 0, 0));
        QCOMPARE(m_log.entries, QStringList{u"GetPicFromHTTP %1 (Station 1)"_s.arg(logged)});
        m_record.ipAddress[0] = address(0);
        setMode(0, u"ok"_s);
        QVERIFY(runPass());
        QVERIFY(m_poller->failureCount(0) == 0 && !m_tiles.pictures[0].isNull() && !m_tiles.noImage[0]);
        QCOMPARE(m_log.entries.size(), 2);
        QVERIFY(m_log.entries[1].startsWith(u"GetPicFromHTTP (Station 1) works again after "_s));
    }

    void onePerStationAndSkippedTicks_data()
    {
        QTest::addColumn<bool>("stop"); // stopped (for shutdown) while station 2 still answers
        QTest::newRow("to its end") << false;
        QTest::newRow("stopped") << true;
    }

    void onePerStationAndSkippedTicks()
    {
        QFETCH(bool, stop);
        m_record.active[2] = m_record.active[3] = 1;
        setMode(2, u"slow:600"_s);
        const int requests2 = requestsOf(2), requests3 = requestsOf(3);
        m_poller->tick();
        QVERIFY(m_poller->isFetching()); // the tick returns at once; the fetches go on on the event loop
        QTRY_COMPARE(m_tiles.pictureCalls, QList<int>{3}); // station 3 does not wait for station 2
        m_poller->tick(); // due while station 2 still answers: a second fetch for 3 only
        QCOMPARE(m_poller->skippedFetches(), 1);
        if (stop)
            m_poller->stop();
        QVERIFY(waitIdle(5000));
        QCOMPARE(requestsOf(2), requests2 + 1);
        QCOMPARE(requestsOf(3), requests3 + 2);
        QCOMPARE(m_tiles.pictureCalls, (stop ? QList<int>{3} : QList<int>{3, 3, 2})); // no tile touched after stop
        m_poller->tick();
        QCOMPARE(m_poller->isFetching(), !stop);
    }

    void fetchDeadlineEndsATricklingCamera()
    {
        // A camera that sends a byte now and then (the whole answer would take 30 s): the HTTP time-out bounds
        // the whole request, ahead of the pass's own deadline, and its connection is dropped.
        QTcpServer camera;
        QVERIFY(camera.listen(QHostAddress(address(kCount)), kHttpPort));
        QPointer<QTcpSocket> connection;
        QTimer trickle;
        connect(&camera, &QTcpServer::newConnection, this, [&] {
            connection = camera.nextPendingConnection();
            connection->write("HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: 100\r\n\r\n");
            trickle.start(300);
        });
        connect(&trickle, &QTimer::timeout, this, [&] {
            if (connection && connection->state() == QAbstractSocket::ConnectedState)
                connection->write("x");
        });
        m_record.ipAddress[0] = address(kCount);
        m_record.active[0] = m_record.active[1] = 1;
        QVERIFY(runPass(15000));
        QCOMPARE(m_poller->failureCount(0), 1);
        QCOMPARE(m_log.entries, QStringList{u"GetPicFromHTTP 5 Operation canceled (Station 1)"_s});
        QCOMPARE(m_tiles.pictureCalls, QList<int>{1});
        QTRY_VERIFY(!connection || connection->state() != QAbstractSocket::ConnectedState);
    }

    void errorsEndThePassOnly()
    {
        m_record.active[5] = 1;
        m_tiles.beforeSetPicture = [throws = 1](int) mutable {
            if (throws-- > 0)
                throw std::runtime_error("picture assignment failed");
        };
        QVERIFY(runPass());
        QCOMPARE(m_log.entries, QStringList{u"Timer1 picture assignment failed"_s});
        QVERIFY(runPass()); // the next tick runs a normal pass
        QVERIFY(!m_tiles.pictures[5].isNull());
    }

    void every120thTickReopensSockets()
    {
        int reopens = 0;
        std::function<void()> reopenDone;
        m_poller->setSocketReopen([&](std::function<void()> done) {
            ++reopens;
            reopenDone = std::move(done);
        });
        m_record.active[0] = 1;
        for (int tick = 1; tick < 2 * SnapshotPoller::kPassesPerReopen; ++tick) {
            QVERIFY(runPass());
            QCOMPARE(reopens, tick < SnapshotPoller::kPassesPerReopen ? 0 : 1);
        }
        // The polling goes on beside the reopen; one still under way is not started again.
        QCOMPARE(m_tiles.pictureCalls.size(), 2 * SnapshotPoller::kPassesPerReopen - 1);
        QVERIFY(runPass());
        QCOMPARE(reopens, 1);
        reopenDone();
        for (int tick = 0; tick < SnapshotPoller::kPassesPerReopen; ++tick)
            QVERIFY(runPass());
        QCOMPARE(reopens, 2);
    }

private:
    /// One tick, and every fetch it started to its end.
    bool runPass(int timeoutMs = 10000)
    {
        m_poller->tick();
        return waitIdle(timeoutMs);
    }
    bool waitIdle(int timeoutMs)
    {
        return QTest::qWaitFor([this] { return !m_poller->isFetching(); }, timeoutMs);
    }
    /// Switches station's camera (every station's for -1) and waits until the simulator has done so.
    void setMode(int station, const QString& mode)
    {
        const int from = m_sim->lineCount();
        m_sim->send(u"mode %1 %2"_s.arg(station < 0 ? u"all"_s : QString::number(station), mode));
        const int last = station < 0 ? kCount - 1 : station;
        QVERIFY(m_sim->waitForLine(QRegularExpression(u"^mode %1 "_s.arg(last)), 5000, from));
    }
    int requestsOf(int station)
    {
        const auto match = QRegularExpression(u" requests=(\\d+) "_s).match(m_sim->status(station));
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }

    std::unique_ptr<StationSimulator> m_sim;
    ConfigRecord m_record;
    RecordingLogger m_log;
    QtScheduler m_scheduler;
    FakeConsoleWindow m_tiles;
    SnapshotClient m_client;
    FakeSettingsStore m_settings;
    int m_zoomed = -1;
    std::unique_ptr<ZoomController> m_zoom;
    std::unique_ptr<SnapshotPoller> m_poller;
};

QTEST_MAIN(TestSnapshotPoller)
#include "test_snapshotpoller.moc"

// The snapshot pass against simulated stations: pictures to tiles and zoom, the failure rule, the
// camera failure modes, one fetch at a time, the fetch deadline, stop, and the reopen of every 120th pass.

#include "ConfigRecord.h"
#include "FakeConsoleWindow.h"
#include "FakeSettingsStore.h"
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
        m_poller->setZoomFeed(m_zoom.get());
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
        const QSize zoom = m_zoom->zoomPictureSize(), size1 = m_tiles.pictures[1].size();
        QVERIFY(size1.width() >= zoom.width() && size1.height() >= zoom.height() && size1.width() < 640);
        // The record is read at every pass (addresses: the failure rows "no address"): the dialog closed
        // the zoom window and deactivated station 0.
        m_zoom->close();
        m_record.active[0] = 0;
        QVERIFY(runPass());
        QCOMPARE(m_tiles.pictureCalls, (QList<int>{0, 1, 0, 1, 1}));
    }

    void failureModesCountAsFailures_data()
    {
        QTest::addColumn<QString>("mode"); // empty: a station without an address
        QTest::addColumn<bool>("logged");  // transport errors are logged, bad bodies are not
        // Transport failures: refused, never answers, answers after the HTTP time-out, closes without an
        // answer, no address. Bodies that are no picture: an HTML page, 404, random bytes, half a JPEG,
        // 50 MB, a header claiming 60000 x 60000 pixels.
        const std::pair<const char*, bool> rows[] = {
            {"refuse", true}, {"hang", true},      {"slow:1500", true}, {"close", true},     {"", true},
            {"html", false},  {"notfound", false}, {"garbage", false},  {"truncated", false}, {"huge", false},
            {"bomb", false}};
        for (const auto& [mode, logged] : rows)
            QTest::newRow(*mode ? mode : "no address") << QString::fromLatin1(mode) << logged;
    }

    void failureModesCountAsFailures()
    {
        QFETCH(QString, mode);
        QFETCH(bool, logged);
        m_record.active[0] = m_record.active[1] = 1;
        m_zoom->open(0, QImage(), u"tel_n"_s);
        QVERIFY(runPass());
        const QImage good = m_tiles.pictures[0];
        mode.isEmpty() ? m_record.ipAddress[0].clear() : setMode(0, mode);
        // The last picture stays through three failures, the fourth shows "No image available". A failing
        // station holds up no other, nor does its late answer reach one.
        for (int failure = 1; failure <= 4; ++failure) {
            QVERIFY(runPass(15000));
            QCOMPARE(m_poller->failureCount(0), failure);
            QCOMPARE(m_tiles.pictures[0].cacheKey(), failure < 4 ? good.cacheKey() : QImage().cacheKey());
            QCOMPARE(m_tiles.noImage[0], failure == 4);
        }
        QCOMPARE(m_tiles.pictureCalls, (QList<int>{0, 1, 1, 1, 1, 0, 1}));
        QCOMPARE(m_zoom->window()->picture().cacheKey(), good.cacheKey()); // the zoom window keeps it
        QCOMPARE(m_log.entries.filter(QRegularExpression(u"^GetPicFromHTTP \\d+ \\S"_s)).size(), logged ? 4 : 0);
        QCOMPARE(m_log.entries.size(), logged ? 4 : 0);
        m_record.ipAddress[0] = address(0);
        setMode(0, u"ok"_s);
        QVERIFY(runPass());
        QVERIFY(m_poller->failureCount(0) == 0 && !m_tiles.pictures[0].isNull() && !m_tiles.noImage[0]);
    }

    void oneFetchAtATimeAndSkippedTicks_data()
    {
        QTest::addColumn<bool>("stop"); // stopped (for shutdown) during the first fetch
        QTest::newRow("to its end") << false;
        QTest::newRow("stopped") << true;
    }

    void oneFetchAtATimeAndSkippedTicks()
    {
        QFETCH(bool, stop);
        m_record.active[2] = m_record.active[3] = 1;
        setMode(2, u"slow:600"_s);
        const int requests2 = requestsOf(2), requests3 = requestsOf(3);
        QSignalSpy finished(m_poller.get(), &SnapshotPoller::passFinished);
        m_poller->startPass();
        QVERIFY(m_poller->isPassRunning()); // the tick returns at once; the pass goes on on the event loop
        QTRY_VERIFY(requestsOf(2) > requests2);
        m_poller->startPass(); // due while station 2 still answers: starts nothing
        m_poller->startPass();
        QCOMPARE(m_poller->skippedTicks(), 2);
        QCOMPARE(requestsOf(3), requests3); // station 3 waits for station 2's fetch to end
        if (stop)
            m_poller->stop();
        QVERIFY(finished.wait(5000));
        QVERIFY(!m_poller->isPassRunning()); // the skipped ticks started nothing
        QCOMPARE(requestsOf(3), requests3 + (stop ? 0 : 1));
        QCOMPARE(m_tiles.pictureCalls, (stop ? QList<int>{} : QList<int>{2, 3})); // no tile touched after stop
        m_poller->startPass();
        QCOMPARE(m_poller->isPassRunning(), !stop);
    }

    void fetchDeadlineEndsATricklingCamera()
    {
        // A camera that sends a byte now and then never trips the HTTP time-out: the pass's own deadline gives
        // up on it (the whole answer would take 30 s) and drops its connection.
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
        QVERIFY(m_poller->failureCount(0) == 1 && m_log.entries.isEmpty()); // the HTTP time-out would log
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

    void every120thPassReopensSockets()
    {
        std::function<void()> reopenDone;
        m_poller->setSocketReopen([&](std::function<void()> done) { reopenDone = std::move(done); });
        QSignalSpy finished(m_poller.get(), &SnapshotPoller::passFinished);
        for (int pass = 1; pass < SnapshotPoller::kPassesPerReopen; ++pass)
            QVERIFY(runPass() && !reopenDone);
        m_poller->startPass();
        QTRY_VERIFY(reopenDone);
        m_poller->startPass(); // the pass lasts until the sockets are open again: this tick starts nothing
        QCOMPARE(m_poller->skippedTicks(), 1);
        QCOMPARE(finished.count(), 119);
        reopenDone();
        QCOMPARE(finished.count(), 120);
        QCOMPARE(m_poller->tickCounter(), 0);
    }

private:
    bool runPass(int timeoutMs = 10000)
    {
        QSignalSpy finished(m_poller.get(), &SnapshotPoller::passFinished);
        m_poller->startPass();
        return m_poller->isPassRunning() && (finished.wait(timeoutMs) || !finished.isEmpty());
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
    SnapshotClient m_client{m_log};
    FakeSettingsStore m_settings;
    int m_zoomed = -1;
    std::unique_ptr<ZoomController> m_zoom;
    std::unique_ptr<SnapshotPoller> m_poller;
};

QTEST_MAIN(TestSnapshotPoller)
#include "test_snapshotpoller.moc"

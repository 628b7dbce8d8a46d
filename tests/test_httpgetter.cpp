// HttpGetter against a simulated camera: what each failure kind reports, exactly one request per get()
// (also on a kept-alive connection), and a healthy camera answered while the failing one is still pending.

#include "HttpGetter.h"
#include "StationSimulator.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

constexpr int kFirst = 190; // 127.0.0.190 failing, .191 healthy
constexpr quint16 kPort = 18281;
constexpr int kTimeoutMs = 500;
constexpr qint64 kCap = 1024 * 1024;

static QString url(int i) { return u"http://%1:%2/snap.jpg"_s.arg(StationSimulator::address(kFirst, i)).arg(kPort); }

class TestHttpGetter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_sim = std::make_unique<StationSimulator>(
            u"--first %1 --count 2 --http-port %2 --relay-port 16200 --call-port 16201"_s.arg(kFirst).arg(kPort).split(
                u' '));
        QVERIFY2(m_sim->isReady(), qPrintable(m_sim->errorString()));
    }

    void cleanup() { setMode(u"ok"_s); }

    void failureKinds_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("status"); // 0: no HTTP response, a transport error
        QTest::addColumn<int>("error");  // QNetworkReply::NetworkError, as the event log has always shown it
        QTest::addColumn<int>("requests");
        QTest::newRow("refused") << u"refuse"_s << 0 << 1 << 0;
        QTest::newRow("never answers") << u"hang"_s << 0 << 5 << 1;
        QTest::newRow("answers after the time-out") << u"slow:1500"_s << 0 << 5 << 1;
        QTest::newRow("connect never completes") << u"blackhole"_s << 0 << 5 << 0;
        QTest::newRow("closes without answer") << u"close"_s << 0 << 2 << 1;
        QTest::newRow("garbage, a whole 200") << u"garbage"_s << 200 << 0 << 1;
        QTest::newRow("html, a whole 200") << u"html"_s << 200 << 0 << 1;
        QTest::newRow("truncated picture, a whole 200") << u"truncated"_s << 200 << 0 << 1;
        QTest::newRow("not found") << u"notfound"_s << 404 << 203 << 1;
        QTest::newRow("body over the cap") << u"huge"_s << 200 << 299 << 1;
    }

    void failureKinds()
    {
        QFETCH(QString, mode);
        HttpGetter http;
        bool warm = false; // leaves a kept-alive connection, where a client may send a request again
        http.get(url(0), kTimeoutMs, kCap, [&](const HttpResult& r) { warm = r.ok; });
        QTRY_VERIFY(warm);
        setMode(mode);
        if (mode == u"blackhole"_s) // reset() closes the kept connection: a new connect finds no listener answering
            http.reset();
        const int before = requests();

        QList<int> order; // 0 the failing camera, 1 a healthy one asked after it
        HttpResult results[2];
        for (int i : {0, 1})
            http.get(url(i), kTimeoutMs, kCap, [&, i](const HttpResult& r) {
                results[i] = r;
                order << i;
            });
        http.reset(); // as after another station's failure: requests in flight go on and report
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 2, 5000);
        const HttpResult& failing = results[0];
        QVERIFY(results[1].ok && results[1].body.startsWith("\xFF\xD8"));
        QFETCH(int, status);
        QFETCH(int, error);
        if (error == 5) // the healthy one is not held up by the one that runs into its time-out
            QCOMPARE(order.first(), 1);
        QCOMPARE(failing.httpStatus, status);
        QCOMPARE(failing.transportError, status == 0);
        QCOMPARE(failing.ok, error == 0);
        QCOMPARE(failing.errorNumber, error);
        QCOMPARE(failing.body.isEmpty(), !failing.ok);
        QTEST(requests() - before, "requests");
    }

    void answerWithoutStatusLine()
    {
        // Bytes that are no HTTP answer at all: named as such, not as an unknown protocol.
        QTcpServer camera;
        QVERIFY(camera.listen(QHostAddress::LocalHost));
        connect(&camera, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* c = camera.nextPendingConnection();
            connect(c, &QTcpSocket::readyRead, c, [c] { c->write(QByteArray(5000, '\xA5')); });
        });
        HttpGetter http;
        std::optional<HttpResult> result;
        http.get(u"http://127.0.0.1:%1/snap.jpg"_s.arg(camera.serverPort()), kTimeoutMs, kCap,
                 [&](const HttpResult& r) { result = r; });
        QTRY_VERIFY(result);
        QVERIFY(result->transportError);
        QCOMPARE(result->errorNumber, 399);
        QCOMPARE(result->errorText, u"not an HTTP answer (no status line)"_s);
    }

private:
    void setMode(const QString& mode)
    {
        const int from = m_sim->lineCount();
        m_sim->send(u"mode 0 "_s + mode);
        QVERIFY(m_sim->waitForLine(QRegularExpression(u"^mode 0 "_s), 5000, from));
    }

    /// Requests the failing station has counted.
    int requests() { return QRegularExpression(u"requests=(\\d+)"_s).match(m_sim->status(0)).captured(1).toInt(); }

    std::unique_ptr<StationSimulator> m_sim;
};

QTEST_GUILESS_MAIN(TestHttpGetter)
#include "test_httpgetter.moc"

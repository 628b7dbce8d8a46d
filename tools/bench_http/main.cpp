// qz-bench-http: CPU per camera GET, QNetworkAccessManager against platform/HttpGetter; see --help.

#include "ConfigRecord.h"
#include "HttpGetter.h"
#include "QtGetter.h"
#include "StationSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRegularExpression>
#include <QTimer>

#include <QHash>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <sys/resource.h>

namespace {

const char* const kDescription = R"(Measures the CPU time one camera GET costs the client, for these clients in turn:
  qt        QNetworkAccessManager as platform/HttpGetter used it before libcurl
  qt-lean   the same without cookies, cache and HTTP/2 negotiation
  curl      platform/HttpGetter (libcurl's multi interface on the Qt event loop), one for all stations
  curl-each one platform/HttpGetter per station, as SnapshotClient keeps them
against qz-stationsim (16 stations on 127.0.0.(FIRST).., kept-alive connections, TCP_NODELAY).
Loads: "1" one request in flight to station 0; "16" one in flight to each of the 16 stations.
Per client and load: CPU of the calling (GUI) thread and of the whole process per request, the
median of the rounds (clients alternate within a round), wall time per request, and the
requests the stations counted per get(). --failures instead prints, per camera failure mode, the
result each client reports and the requests the station saw, on a fresh and on a kept-alive
connection.)";

constexpr int kStations = ConfigRecord::kStations;
constexpr int kTimeoutMs = 1000;
constexpr qint64 kMaxBodyBytes = 8LL * 1024 * 1024;

void print(const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

double threadCpuUs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

double processCpuUs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e6 + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

class Client
{
public:
    virtual ~Client() = default;
    virtual void get(const QString& url, HttpGetter::Callback done) = 0;
};

class QtClient : public Client
{
public:
    explicit QtClient(bool lean)
        : m_getter(lean)
    {
    }
    void get(const QString& url, HttpGetter::Callback done) override
    {
        m_getter.get(url, kTimeoutMs, kMaxBodyBytes, std::move(done));
    }

private:
    QtGetter m_getter;
};

class CurlClient : public Client
{
public:
    explicit CurlClient(bool perStation)
        : m_perStation(perStation)
    {
    }
    void get(const QString& url, HttpGetter::Callback done) override
    {
        HttpGetter*& getter = m_getters[m_perStation ? url : QString()];
        if (!getter)
            getter = new HttpGetter(&m_owner);
        getter->get(url, kTimeoutMs, kMaxBodyBytes, std::move(done));
    }

private:
    bool m_perStation;
    QObject m_owner;
    QHash<QString, HttpGetter*> m_getters;
};

const QStringList kAllClients{QStringLiteral("qt"), QStringLiteral("qt-lean"), QStringLiteral("curl"),
                              QStringLiteral("curl-each")};
QStringList kClients = kAllClients;

std::unique_ptr<Client> makeClient(const QString& name)
{
    if (name.startsWith(QLatin1String("curl")))
        return std::make_unique<CurlClient>(name == QLatin1String("curl-each"));
    return std::make_unique<QtClient>(name == QLatin1String("qt-lean"));
}

struct Options
{
    int requests = 2000;
    int rounds = 5;
    int first = 40;
    quint16 port = 8081;
    QString size = QStringLiteral("640x480");
    bool failures = false;
};

class Bench
{
public:
    Bench(const Options& options, StationSimulator& sim)
        : m_options(options)
        , m_sim(sim)
    {
    }

    QString url(int station) const
    {
        return QStringLiteral("http://%1:%2/snap.jpg")
            .arg(StationSimulator::address(m_options.first, station))
            .arg(m_options.port);
    }

    /// Requests every station counted so far.
    qint64 requestsAtStations()
    {
        const int from = m_sim.lineCount();
        m_sim.send(QStringLiteral("status"));
        m_sim.waitForLine(QRegularExpression(QStringLiteral("^status end$")), 5000, from);
        static const QRegularExpression count(QStringLiteral("^status \\d+ .* requests=(\\d+)"));
        qint64 sum = 0;
        const QStringList lines = m_sim.lines();
        for (qsizetype i = from; i < lines.size(); ++i) {
            const QRegularExpressionMatch m = count.match(lines.at(i));
            if (m.hasMatch())
                sum += m.captured(1).toLongLong();
        }
        return sum;
    }

    void setMode(const QString& mode)
    {
        const int from = m_sim.lineCount();
        m_sim.send(QStringLiteral("mode 0 ") + mode);
        m_sim.waitForLine(QRegularExpression(QStringLiteral("^mode 0 ")), 5000, from);
    }

    struct Cost
    {
        double guiUs = 0;
        double processUs = 0;
        double wallUs = 0;
        double requestsPerGet = 0;
        int failures = 0;
    };

    /// requests GETs, one in flight to each of the first `stations` stations.
    Cost run(Client& client, int stations, int requests)
    {
        const qint64 before = requestsAtStations();
        int started = 0;
        int finished = 0;
        Cost cost;
        QEventLoop loop;
        std::function<void(int)> next = [&](int station) {
            if (started == requests)
                return;
            ++started;
            client.get(url(station), [&, station](const HttpResult& result) {
                if (!result.ok)
                    ++cost.failures;
                if (++finished == requests)
                    loop.quit();
                else
                    next(station);
            });
        };
        const double gui0 = threadCpuUs();
        const double process0 = processCpuUs();
        QElapsedTimer wall;
        wall.start();
        for (int station = 0; station < stations; ++station)
            next(station);
        loop.exec();
        cost.guiUs = (threadCpuUs() - gui0) / requests;
        cost.processUs = (processCpuUs() - process0) / requests;
        cost.wallUs = double(wall.nsecsElapsed()) / 1e3 / requests;
        cost.requestsPerGet = double(requestsAtStations() - before) / requests;
        return cost;
    }

    void costs()
    {
        // Warm up: the simulator renders its frames, each client opens its connections.
        for (const QString& name : kClients)
            run(*makeClient(name), kStations, kStations * 20);
        print(QStringLiteral("%1 requests per client and load, %2 rounds, %3 frames\n\n")
                  .arg(m_options.requests)
                  .arg(m_options.rounds)
                  .arg(m_options.size));
        print(QStringLiteral(
            "| Client | In flight | GUI thread CPU per GET | Process CPU per GET | Wall per GET | Requests per GET |\n"
            "|---|---:|---:|---:|---:|---:|\n"));
        for (int stations : {1, kStations}) {
            std::vector<std::vector<Cost>> rounds(kClients.size());
            for (int round = 0; round < m_options.rounds; ++round)
                for (qsizetype c = 0; c < kClients.size(); ++c) {
                    std::unique_ptr<Client> client = makeClient(kClients.at(c));
                    run(*client, stations, stations * 4); // connections open before the clock starts
                    rounds[c].push_back(run(*client, stations, m_options.requests));
                }
            for (qsizetype c = 0; c < kClients.size(); ++c) {
                auto median = [&](double Cost::*field) {
                    std::vector<double> v;
                    for (const Cost& cost : rounds[c])
                        v.push_back(cost.*field);
                    std::sort(v.begin(), v.end());
                    return v[v.size() / 2];
                };
                int failures = 0;
                for (const Cost& cost : rounds[c])
                    failures += cost.failures;
                print(QStringLiteral("| %1 | %2 | %3 ms | %4 ms | %5 ms | %6 |%7\n")
                          .arg(kClients.at(c))
                          .arg(stations)
                          .arg(median(&Cost::guiUs) / 1000, 0, 'f', 3)
                          .arg(median(&Cost::processUs) / 1000, 0, 'f', 3)
                          .arg(median(&Cost::wallUs) / 1000, 0, 'f', 3)
                          .arg(median(&Cost::requestsPerGet), 0, 'f', 2)
                          .arg(failures ? QStringLiteral(" %1 failed").arg(failures) : QString()));
            }
        }
    }

    /// One GET of station 0 in mode; kept: over a connection an answered GET left open.
    QString failure(const QString& clientName, const QString& mode, bool kept)
    {
        std::unique_ptr<Client> client = makeClient(clientName);
        setMode(QStringLiteral("ok"));
        if (kept)
            run(*client, 1, 1);
        setMode(mode);
        const qint64 before = requestsAtStations();
        HttpResult result;
        bool done = false;
        QElapsedTimer elapsed;
        elapsed.start();
        QEventLoop loop;
        client->get(url(0), [&](const HttpResult& r) {
            result = r;
            done = true;
            loop.quit();
        });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        const qint64 ms = elapsed.elapsed();
        QTimer::singleShot(300, &loop, &QEventLoop::quit); // a retry would come now
        loop.exec();
        return QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 %8 | %9 | %10 | %11 ms |\n")
            .arg(mode, kept ? QStringLiteral("kept") : QStringLiteral("fresh"), clientName)
            .arg(done ? (result.ok ? QStringLiteral("ok") : QStringLiteral("failed")) : QStringLiteral("no answer"))
            .arg(result.transportError ? QStringLiteral("yes") : QStringLiteral("no"))
            .arg(result.httpStatus)
            .arg(result.errorNumber)
            .arg(result.errorText)
            .arg(result.body.size())
            .arg(requestsAtStations() - before)
            .arg(ms);
    }

    void failures()
    {
        print(QStringLiteral(
            "| Camera | Connection | Client | Result | Transport | Status | Error | Body bytes | Requests "
            "| Time |\n|---|---|---|---|---|---:|---|---:|---:|---:|\n"));
        const QStringList modes{QStringLiteral("refuse"),   QStringLiteral("hang"),      QStringLiteral("slow:1500"),
                                QStringLiteral("close"),    QStringLiteral("garbage"),   QStringLiteral("html"),
                                QStringLiteral("notfound"), QStringLiteral("truncated"), QStringLiteral("huge"),
                                QStringLiteral("bomb"),     QStringLiteral("blackhole")};
        for (const QString& mode : modes)
            for (bool kept : {false, true})
                for (const QString& name : kClients)
                    print(failure(name, mode, kept));
        setMode(QStringLiteral("ok"));
    }

private:
    const Options& m_options;
    StationSimulator& m_sim;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qz-bench-http"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.addHelpOption();
    const QCommandLineOption requests(QStringLiteral("requests"),
                                      QStringLiteral("GETs per client, load and round (default 2000)."),
                                      QStringLiteral("N"));
    const QCommandLineOption rounds(QStringLiteral("rounds"), QStringLiteral("Rounds (default 5)."),
                                    QStringLiteral("N"));
    const QCommandLineOption first(QStringLiteral("first"),
                                   QStringLiteral("Last address octet of station 0 (default 40)."),
                                   QStringLiteral("FIRST"));
    const QCommandLineOption port(QStringLiteral("http-port"), QStringLiteral("Camera port (default 8081)."),
                                  QStringLiteral("PORT"));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("Picture size (default 640x480)."),
                                  QStringLiteral("WxH"));
    const QCommandLineOption failures(QStringLiteral("failures"),
                                      QStringLiteral("Print what each client reports per camera failure mode."));
    const QCommandLineOption clients(QStringLiteral("clients"),
                                     QStringLiteral("Clients to measure (default qt,qt-lean,curl,curl-each)."),
                                     QStringLiteral("LIST"));
    parser.addOptions({requests, rounds, first, port, size, failures, clients});
    parser.process(app);

    Options options;
    options.requests
        = std::max(16, parser.value(requests).toInt() > 0 ? parser.value(requests).toInt() : options.requests);
    options.rounds = std::max(1, parser.value(rounds).toInt() > 0 ? parser.value(rounds).toInt() : options.rounds);
    if (parser.isSet(first))
        options.first = std::clamp(parser.value(first).toInt(), 1, 254 - kStations);
    if (parser.isSet(port))
        options.port = quint16(parser.value(port).toUInt());
    if (parser.isSet(size))
        options.size = parser.value(size);
    options.failures = parser.isSet(failures);
    if (parser.isSet(clients))
        kClients = parser.value(clients).split(QLatin1Char(','));
    for (const QString& name : std::as_const(kClients))
        if (!kAllClients.contains(name)) {
            std::fprintf(stderr, "qz-bench-http: no client %s (%s)\n", qPrintable(name),
                         qPrintable(kAllClients.join(QLatin1Char(','))));
            return 2;
        }

    StationSimulator sim({QStringLiteral("--count"), QString::number(kStations), QStringLiteral("--first"),
                          QString::number(options.first), QStringLiteral("--http-port"), QString::number(options.port),
                          QStringLiteral("--relay-port"), QString::number(options.port + 1),
                          QStringLiteral("--call-port"), QString::number(options.port + 2), QStringLiteral("--size"),
                          options.size, QStringLiteral("--cycle"), QStringLiteral("16")});
    if (!sim.isReady()) {
        std::fprintf(stderr, "qz-bench-http: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    Bench bench(options, sim);
    if (options.failures)
        bench.failures();
    else
        bench.costs();
    return 0;
}

#include "BenchOptions.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>

namespace {

const char* const kDescription = R"(Measures the console's snapshot path (main window, SnapshotClient, SnapshotPoller on its
500 ms snapshot timer, call sockets) in this process against qz-stationsim run as a child process with
16 stations on 127.0.0.(FIRST)..(FIRST+15).

Plans (--plans, comma-separated):
  a            16 stations serving 640 x 480 JPEGs
  b            16 stations serving 1920 x 1080 JPEGs (the simulator pre-renders a cycle)
  KIND1        as a, with station 0's camera dead in the simulator's mode KIND
  KIND4        as a, with stations 0, 5, 10 and 15 dead in mode KIND
               KIND: refuse, hang (accepts, never answers), blackhole (connect never completes),
               slow (answers after 3 s), garbage, html, notfound (404)
  mixed4       as a, station 0 hang, 5 blackhole, 10 garbage, 15 slow (3 s)
Groups: quick (the default: a, every KIND4, mixed4; about 4 minutes at the default duration),
dead1 (every KIND1), dead4 (every KIND4), all (a, b, dead1, dead4, mixed4). "c" is hang1; "abc" still
names a, b and c.

Per run: pictures per second of each healthy tile (min, median), for each dead station the
requests its camera received (the simulator's count) per attempt the console made (the poller's
stationPolled signals, from the first tick until every fetch has ended), the console's CPU time per
displayed picture beside djpeg's full-size decode of the same JPEG, the lateness of a 10 ms timer
(99th percentile), resident memory early and late, skipped ticks. Before polling, a blackhole
station is checked to leave a connect pending. Needs djpeg (libjpeg-turbo-progs).

With --history the console's event history records beside it (a HistoryArchive on a database in a
temporary directory, default limits, and a HistoryRecorder given every camera frame) under a load far
above real use: a lock event every 100 ms, cycling through the healthy stations, each with the
station's latest frame as its picture. Added per run: events and pictures stored, the GUI thread's
wall and CPU time per recorder call, the archive worker's CPU time, the database's size.
With --history-server up the archive also delivers to a PostgreSQL server the benchmark starts (as the
postgres account: needs root and postgresql-15), and after the runs 1,000 events with 640 x 480 pictures
recorded without a server are delivered as a backlog, timed; with --history-server down its server
refuses every connection (a closed port on 127.0.0.1). Implies --history.
The summary at the end is a markdown table as in docs/performance.md.)";

struct DeadKind
{
    const char* name;
    const char* mode;
    const char* what;
};

constexpr DeadKind kDeadKinds[] = {
    {"refuse", "refuse", "refused"},
    {"hang", "hang", "never answering"},
    {"blackhole", "blackhole", "connect hanging"},
    {"slow", "slow:3000", "answering after 3 s"},
    {"garbage", "garbage", "answering garbage"},
    {"html", "html", "answering HTML"},
    {"notfound", "notfound", "answering 404"},
};

constexpr int kFourDead[] = {0, 5, 10, 15};

RunPlan healthyPlan(const QString& name, const QString& title, QSize size)
{
    return {name, title, size, {}};
}

RunPlan deadPlan(const DeadKind& kind, int deadCount)
{
    RunPlan plan{QStringLiteral("%1%2").arg(QLatin1StringView(kind.name)).arg(deadCount), QString(),
                 QSize(640, 480), {}};
    QStringList stations;
    for (int i = 0; i < deadCount; ++i) {
        plan.dead.append({kFourDead[i], QString::fromLatin1(kind.mode)});
        stations << QString::number(kFourDead[i]);
    }
    plan.title = QStringLiteral("640 x 480, %1 of 16 %2 (%3 %4)")
                     .arg(deadCount)
                     .arg(QLatin1StringView(kind.what),
                          deadCount == 1 ? QStringLiteral("station") : QStringLiteral("stations"),
                          stations.join(QStringLiteral(", ")));
    return plan;
}

QStringList planNames(const QList<RunPlan>& plans)
{
    QStringList names;
    for (const RunPlan& plan : plans)
        names << plan.name;
    return names;
}

bool parseInt(const QCommandLineParser& parser, const QCommandLineOption& option, int min, int max, int* value,
              QString* error)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const int parsed = parser.value(option).toInt(&ok);
    if (!ok || parsed < min || parsed > max) {
        *error = QStringLiteral("--%1 needs a number from %2 to %3").arg(option.names().constFirst()).arg(min).arg(max);
        return false;
    }
    *value = parsed;
    return true;
}

bool parsePort(const QCommandLineParser& parser, const QCommandLineOption& option, quint16* port, QString* error)
{
    int value = *port;
    if (!parseInt(parser, option, 1, 65535, &value, error))
        return false;
    *port = static_cast<quint16>(value);
    return true;
}

} // namespace

QString RunPlan::deadMode(int station) const
{
    for (const DeadStation& d : dead) {
        if (d.station == station)
            return d.mode;
    }
    return QString();
}

QList<RunPlan> BenchOptions::allPlans()
{
    QList<RunPlan> plans{
        healthyPlan(QStringLiteral("a"), QStringLiteral("16 stations, 640 x 480"), QSize(640, 480)),
        healthyPlan(QStringLiteral("b"), QStringLiteral("16 stations, 1920 x 1080"), QSize(1920, 1080)),
    };
    for (const int deadCount : {1, 4}) {
        for (const DeadKind& kind : kDeadKinds)
            plans.append(deadPlan(kind, deadCount));
    }
    RunPlan mixed{QStringLiteral("mixed4"),
                  QStringLiteral("640 x 480, 4 of 16 dead (0 never answering, 5 connect hanging, 10 garbage, 15 "
                                 "after 3 s)"),
                  QSize(640, 480),
                  {{0, QStringLiteral("hang")},
                   {5, QStringLiteral("blackhole")},
                   {10, QStringLiteral("garbage")},
                   {15, QStringLiteral("slow:3000")}}};
    plans.append(mixed);
    return plans;
}

bool BenchOptions::selectPlans(const QString& list, QList<RunPlan>* plans, QString* error)
{
    const QList<RunPlan> all = allPlans();
    const QStringList known = planNames(all);
    QStringList wanted;
    for (const QString& raw : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString word = raw.trimmed().toLower();
        if (known.contains(word)) {
            wanted << word;
        } else if (word == QStringLiteral("c")) {
            wanted << QStringLiteral("hang1");
        } else if (word == QStringLiteral("all")) {
            wanted << known;
        } else if (word == QStringLiteral("dead1") || word == QStringLiteral("dead4")) {
            for (const DeadKind& kind : kDeadKinds)
                wanted << QLatin1StringView(kind.name) + word.right(1);
        } else if (word == QStringLiteral("quick")) {
            wanted << QStringLiteral("a") << QStringLiteral("mixed4");
            for (const DeadKind& kind : kDeadKinds)
                wanted << QLatin1StringView(kind.name) + QLatin1Char('4');
        } else if (word.contains(QRegularExpression(QStringLiteral("^[abc]+$")))) {
            for (const QChar letter : word)
                wanted << (letter == QLatin1Char('c') ? QStringLiteral("hang1") : QString(letter));
        } else {
            *error = QStringLiteral("unknown plan \"%1\"; plans: %2, groups: quick, dead1, dead4, all")
                         .arg(word, known.join(QStringLiteral(", ")));
            return false;
        }
    }
    plans->clear();
    for (const RunPlan& plan : all) {
        if (wanted.contains(plan.name))
            plans->append(plan);
    }
    if (plans->isEmpty()) {
        *error = QStringLiteral("--plans names no plan");
        return false;
    }
    return true;
}

int BenchOptions::rssEarlyAtS() const
{
    return rssEarlyS >= 0 ? std::min(rssEarlyS, durationS) : std::clamp(durationS / 3, 1, 10);
}

bool BenchOptions::parse(const QStringList& arguments, BenchOptions* options, QString* error, bool* helpShown)
{
    *helpShown = false;
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption duration(QStringLiteral("duration"),
                                      QStringLiteral("Seconds of polling per run (default 15)."), QStringLiteral("S"));
    const QCommandLineOption warmup(QStringLiteral("warmup"),
                                    QStringLiteral("Seconds before the counting starts (default 1)."),
                                    QStringLiteral("S"));
    const QCommandLineOption rssEarly(QStringLiteral("rss-early"),
                                      QStringLiteral("Second of the first resident-memory figure (default: a third of the "
                                                     "duration, at most 10)."),
                                      QStringLiteral("S"));
    const QCommandLineOption runs(QStringList{QStringLiteral("plans"), QStringLiteral("runs")},
                                  QStringLiteral("Plans and groups to run, comma-separated (default quick; see above)."),
                                  QStringLiteral("LIST"));
    const QCommandLineOption iterations(QStringLiteral("djpeg-iterations"),
                                        QStringLiteral("djpeg runs per figure (default 200)."), QStringLiteral("N"));
    const QCommandLineOption first(QStringLiteral("first"),
                                   QStringLiteral("Last address octet of station 0 (default 2)."),
                                   QStringLiteral("FIRST"));
    const QCommandLineOption httpPort(QStringLiteral("http-port"), QStringLiteral("Camera port (default 8081)."),
                                      QStringLiteral("PORT"));
    const QCommandLineOption relayPort(QStringLiteral("relay-port"), QStringLiteral("Relay port (default 6000)."),
                                       QStringLiteral("PORT"));
    const QCommandLineOption callPort(QStringLiteral("call-port"),
                                      QStringLiteral("Call-notification port (default 6001)."), QStringLiteral("PORT"));
    const QCommandLineOption cycle(QStringLiteral("cycle"),
                                   QStringLiteral("Simulator frames per cycle (default: the simulator's)."),
                                   QStringLiteral("N"));
    const QCommandLineOption window(QStringLiteral("window"),
                                    QStringLiteral("Main window size in pixels (default 1280x800)."),
                                    QStringLiteral("WxH"));
    const QCommandLineOption history(QStringLiteral("history"),
                                     QStringLiteral("Record the event history under a lock event every 100 ms."));
    const QCommandLineOption historyServer(QStringLiteral("history-server"),
                                           QStringLiteral("With a history server: up or down (see above)."),
                                           QStringLiteral("MODE"));
    parser.addOptions({help, duration, warmup, rssEarly, runs, iterations, first, httpPort, relayPort, callPort, cycle,
                       window, history, historyServer});
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        *helpShown = true;
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().constFirst());
        return false;
    }

    BenchOptions result;
    if (!parseInt(parser, duration, 2, 3600, &result.durationS, error)
        || !parseInt(parser, warmup, 0, 60, &result.warmupS, error)
        || !parseInt(parser, rssEarly, 1, 3600, &result.rssEarlyS, error)
        || !parseInt(parser, iterations, 1, 100000, &result.djpegIterations, error)
        || !parseInt(parser, first, 1, 254 - 15, &result.firstOctet, error)
        || !parseInt(parser, cycle, 0, 1000, &result.cycle, error) || !parsePort(parser, httpPort, &result.httpPort, error)
        || !parsePort(parser, relayPort, &result.relayPort, error)
        || !parsePort(parser, callPort, &result.callPort, error))
        return false;
    if (result.warmupS >= result.durationS) {
        *error = QStringLiteral("--warmup must be shorter than --duration");
        return false;
    }
    if (parser.isSet(window)) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("^(\\d{3,4})x(\\d{3,4})$")).match(parser.value(window));
        if (!m.hasMatch()) {
            *error = QStringLiteral("--window needs WxH, for instance 1280x800");
            return false;
        }
        result.windowSize = QSize(m.captured(1).toInt(), m.captured(2).toInt());
    }
    result.history = parser.isSet(history) || parser.isSet(historyServer);
    result.historyServer = parser.value(historyServer);
    if (parser.isSet(historyServer) && result.historyServer != QStringLiteral("up")
        && result.historyServer != QStringLiteral("down")) {
        *error = QStringLiteral("--history-server needs up or down");
        return false;
    }
    if (!selectPlans(parser.isSet(runs) ? parser.value(runs) : QStringLiteral("quick"), &result.runs, error))
        return false;
    *options = result;
    return true;
}

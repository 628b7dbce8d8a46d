#include "BenchOptions.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <cstdio>

namespace {

const char* const kDescription = R"(Measures the console's snapshot path (main window, SnapshotClient, SnapshotPoller on its
500 ms snapshot timer, call sockets) in this process against qz-stationsim run as a child process with
16 stations on 127.0.0.(FIRST)..(FIRST+15). Runs:
  a  16 stations serving 640 x 480 JPEGs
  b  16 stations serving 1920 x 1080 JPEGs (the simulator pre-renders a cycle)
  c  like a, with station 0 in mode hang (accepts, never answers)
Per run: pictures per second reached by each tile, the console's CPU time per displayed picture
beside djpeg's full-size decode of the same JPEG, the lateness of a 10 ms timer (99th percentile),
resident memory, skipped ticks. Needs djpeg (libjpeg-turbo-progs).)";

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

QList<RunPlan> BenchOptions::standardRuns()
{
    return {
        {QStringLiteral("a"), QStringLiteral("16 stations, 640 x 480"), QSize(640, 480), -1},
        {QStringLiteral("b"), QStringLiteral("16 stations, 1920 x 1080"), QSize(1920, 1080), -1},
        {QStringLiteral("c"), QStringLiteral("16 stations, 640 x 480, station 0 never answers"), QSize(640, 480), 0},
    };
}

bool BenchOptions::parse(const QStringList& arguments, BenchOptions* options, QString* error, bool* helpShown)
{
    *helpShown = false;
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption duration(QStringLiteral("duration"),
                                      QStringLiteral("Seconds of polling per run (default 60)."), QStringLiteral("S"));
    const QCommandLineOption warmup(QStringLiteral("warmup"),
                                    QStringLiteral("Seconds before the counting starts (default 1)."),
                                    QStringLiteral("S"));
    const QCommandLineOption rssEarly(QStringLiteral("rss-early"),
                                      QStringLiteral("Second of the first resident-memory figure (default 10)."),
                                      QStringLiteral("S"));
    const QCommandLineOption runs(QStringLiteral("runs"), QStringLiteral("Runs to do, any of a, b, c (default abc)."),
                                  QStringLiteral("LETTERS"));
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
    parser.addOptions(
        {help, duration, warmup, rssEarly, runs, iterations, first, httpPort, relayPort, callPort, cycle, window});
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
    const QString letters = parser.isSet(runs) ? parser.value(runs) : QStringLiteral("abc");
    for (const RunPlan& plan : standardRuns()) {
        if (letters.contains(plan.label))
            result.runs.append(plan);
    }
    if (result.runs.isEmpty() || letters.contains(QRegularExpression(QStringLiteral("[^abc]")))) {
        *error = QStringLiteral("--runs takes letters among a, b, c");
        return false;
    }
    *options = result;
    return true;
}

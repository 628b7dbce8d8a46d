#include "SimulatorOptions.h"

#include "StationMode.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <cstdio>

namespace
{

const char* const kDescription = R"(Simulates door stations on loopback addresses for the console's tests and demos.
Station k (0-based) listens on 127.0.0.(FIRST+k) with:
  camera   HTTP GET /snap.jpg on --http-port: a JPEG that changes on every request (station
           index, address and frame counter on a background colour of its own), keep-alive;
           other paths get 404
  relays   TCP --relay-port: records the bytes of each connection and closes it once 3 bytes
           have arrived; prints "relay <k> <address> <bytes>" when the connection ends
           (bytes escaped: \\, \n, \r, \t, \xHH)
  calls    TCP --call-port: prints "callconn <k> open" / "callconn <k> closed"; sends text
           on command
Pictures above 800x600 pixels are rendered once per frame of a cycle (16 frames per station,
rendered lazily on first use) and then repeated, so JPEG encoding does not limit a
benchmark of many stations; --cycle sets the cycle length (0: render every request).

Commands, one per line, on stdin and on the control port (127.0.0.1 only); N is a station
index or "all":
  call N          send "CALL" to every open call connection of station N
  end N           send "END"
  send N TEXT     send TEXT (escapes \n \r \t \\ \xHH); prints "sent <k> <connections>"
                  (also after call and end)
  flood N MB      send MB mebibytes (may be fractional) of filler text, in chunks;
                  prints "flooddone <k> <bytes>" per connection ("floodcut" if cut short)
  mode N MODE     switch station N to MODE; prints "mode <k> <camera> <relay> <call>"
  status          prints "status <k> <address> camera=.. requests=.. httpconns=.. relay=..
                  relayconns=.. relaydone=.. call=.. callconns=.." per station, then
                  "status end"
  help            this text
  quit            stop
Control-port clients also receive every output line.

Output: "ready" once every listener is up; event lines on stdout, flushed at once; errors on
stderr (a listener that cannot be bound at start: exit code 2). The simulator stops on quit,
SIGTERM, SIGINT, or end of stdin (unless --no-stdin). Started in the background, give it
--no-stdin and stop it with SIGTERM or the control port's quit.
)";

bool parsePort(const QString& text, quint16* port)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value == 0 || value > 65535)
        return false;
    *port = static_cast<quint16>(value);
    return true;
}

} // namespace

int SimulatorOptions::effectiveCycle() const
{
    if (cycle >= 0)
        return cycle;
    return qint64(size.width()) * size.height() > 800 * 600 ? 16 : 0;
}

QString SimulatorOptions::stationAddress(int index) const
{
    return QStringLiteral("127.0.0.%1").arg(firstOctet + index);
}

bool SimulatorOptions::parse(const QStringList& arguments, SimulatorOptions* options, QString* error, bool* helpShown)
{
    *helpShown = false;
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription) + QLatin1Char('\n') + modeWordsHelp());
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help."));
    parser.addOption(helpOption);
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("Number of stations (default 3)."),
                                   QStringLiteral("N"));
    const QCommandLineOption first(QStringList{QStringLiteral("first")},
                                   QStringLiteral("Last address octet of station 0 (default 2): station k is "
                                                  "127.0.0.(FIRST+k)."),
                                   QStringLiteral("FIRST"));
    const QCommandLineOption httpPort(QStringLiteral("http-port"), QStringLiteral("Camera port (default 8081)."),
                                      QStringLiteral("PORT"));
    const QCommandLineOption relayPort(QStringLiteral("relay-port"), QStringLiteral("Relay port (default 6000)."),
                                       QStringLiteral("PORT"));
    const QCommandLineOption callPort(QStringLiteral("call-port"),
                                      QStringLiteral("Call-notification port (default 6001)."), QStringLiteral("PORT"));
    const QCommandLineOption controlPort(QStringLiteral("control-port"),
                                         QStringLiteral("Also read commands from TCP PORT on 127.0.0.1."),
                                         QStringLiteral("PORT"));
    const QCommandLineOption size(QStringLiteral("size"), QStringLiteral("Picture size (default 640x480)."),
                                  QStringLiteral("WxH"));
    const QCommandLineOption quality(QStringLiteral("quality"), QStringLiteral("JPEG quality 1-100 (default 80)."),
                                     QStringLiteral("Q"));
    const QCommandLineOption cycle(QStringLiteral("cycle"),
                                   QStringLiteral("Pre-rendered frames per station, 0 renders every request "
                                                  "(default: 16 above 800x600, else 0)."),
                                   QStringLiteral("N"));
    const QCommandLineOption mode(QStringLiteral("mode"),
                                  QStringLiteral("Start station INDEX (or \"all\") in MODE; repeatable, applied "
                                                 "in order."),
                                  QStringLiteral("INDEX=MODE"));
    const QCommandLineOption noStdin(QStringLiteral("no-stdin"),
                                     QStringLiteral("Do not read commands from stdin (nor stop at its end)."));
    parser.addOptions({count, first, httpPort, relayPort, callPort, controlPort, size, quality, cycle, mode, noStdin});

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(helpOption)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
        *helpShown = true;
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return false;
    }

    SimulatorOptions result;
    bool ok = true;
    if (parser.isSet(count)) {
        result.count = parser.value(count).toInt(&ok);
        if (!ok || result.count < 1) {
            *error = QStringLiteral("--count needs a number of at least 1");
            return false;
        }
    }
    if (parser.isSet(first)) {
        result.firstOctet = parser.value(first).toInt(&ok);
        if (!ok || result.firstOctet < 1) {
            *error = QStringLiteral("--first needs a number from 1 to 254");
            return false;
        }
    }
    if (result.firstOctet + result.count - 1 > 254) {
        *error = QStringLiteral("stations would go past 127.0.0.254 (--first %1, --count %2)")
                     .arg(result.firstOctet)
                     .arg(result.count);
        return false;
    }
    const std::pair<const QCommandLineOption*, quint16*> ports[] = {
        {&httpPort, &result.httpPort},
        {&relayPort, &result.relayPort},
        {&callPort, &result.callPort},
        {&controlPort, &result.controlPort},
    };
    for (const auto& [option, target] : ports) {
        if (parser.isSet(*option) && !parsePort(parser.value(*option), target)) {
            *error = QStringLiteral("--%1 needs a port from 1 to 65535").arg(option->names().first());
            return false;
        }
    }
    if (parser.isSet(size)) {
        static const QRegularExpression sizePattern(QStringLiteral("^(\\d{1,5})[xX](\\d{1,5})$"));
        const QRegularExpressionMatch match = sizePattern.match(parser.value(size));
        const int w = match.hasMatch() ? match.captured(1).toInt() : 0;
        const int h = match.hasMatch() ? match.captured(2).toInt() : 0;
        if (w < 16 || h < 16 || w > 8192 || h > 8192) {
            *error = QStringLiteral("--size needs WxH, each from 16 to 8192");
            return false;
        }
        result.size = QSize(w, h);
    }
    if (parser.isSet(quality)) {
        result.quality = parser.value(quality).toInt(&ok);
        if (!ok || result.quality < 1 || result.quality > 100) {
            *error = QStringLiteral("--quality needs a number from 1 to 100");
            return false;
        }
    }
    if (parser.isSet(cycle)) {
        result.cycle = parser.value(cycle).toInt(&ok);
        if (!ok || result.cycle < 0 || result.cycle > 1000) {
            *error = QStringLiteral("--cycle needs a number from 0 to 1000");
            return false;
        }
    }
    for (const QString& value : parser.values(mode)) {
        const qsizetype equals = value.indexOf(QLatin1Char('='));
        const QString indexText = equals < 0 ? QString() : value.left(equals).trimmed();
        int index = -1;
        if (indexText != QStringLiteral("all")) {
            index = indexText.toInt(&ok);
            if (!ok || index < 0 || index >= result.count) {
                *error = QStringLiteral("--mode \"%1\": INDEX must be a station index (0 to %2) or \"all\"")
                             .arg(value)
                             .arg(result.count - 1);
                return false;
            }
        }
        StationMode probe;
        if (!applyModeWord(value.mid(equals + 1), &probe, error)) {
            *error = QStringLiteral("--mode \"%1\": %2").arg(value, *error);
            return false;
        }
        result.modes.append({index, value.mid(equals + 1).trimmed()});
    }
    result.readStdin = !parser.isSet(noStdin);
    *options = result;
    return true;
}

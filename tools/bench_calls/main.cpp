// qz-bench-calls: how fast the console follows real SIP calls, how it comes back when its engine dies, and
// what a hung engine costs the cameras. The console runs in this process with its real engine (linphonec);
// sipp plays door station 101 at 127.0.0.3 and calls it; with --hang, qz-stationsim serves 16 cameras at
// 127.0.0.2..17. Loopback only. Not a test: it prints tables; see --help.

#include "CallBench.h"
#include "CallConsole.h"
#include "ConfigRecord.h"
#include "EngineRig.h"
#include "HangBench.h"
#include "Samples.h"
#include "StationSimulator.h"

#include <QApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QTextStream>
#include <QThread>

#include <memory>

using namespace EngineRig;

namespace {

QTextStream out(stdout);
QTextStream err(stderr);

constexpr int kCameras = ConfigRecord::kStations;
constexpr int kFirstCameraOctet = 2;
/// A simulator that cannot bind its addresses (another user's on 127.0.0.x) is tried again this long.
constexpr int kSimulatorWaitMs = 10 * 60 * 1000;
constexpr int kEngineLockWaitMs = 30 * 60 * 1000;

const char* const kUsage =
    "usage: qz-bench-calls [--calls N] [--kills N] [--hang SECONDS]   (defaults 20, 0, 0)\n"
    "Runs the console in this process with its real engine (linphonec) and times it against real peers on\n"
    "loopback; prints tables (markdown). Takes the engine lock (waits while another engine user holds it).\n"
    "\n"
    "  --calls N   sipp (station 101 at 127.0.0.3) calls the console N times; each call is answered with the\n"
    "              popup's answer button and ended by the station after 1 s. Median and worst of: sipp's start\n"
    "              (it sends its INVITE at once) to the popup shown (IncomingCallAlert::popupShown), split\n"
    "              into sipp's start to its INVITE sent (sipp's message trace), the INVITE sent to\n"
    "              CallState::Incoming, Incoming to the popup shown; the answer click to CallState::InCall\n"
    "              (both states by CallSession::callStateChanged); the GUI thread's CPU per call.\n"
    "              Event-loop lateness over the calls (a 10 ms timer's delay): p99 and max.\n"
    "  --kills N   N times, while idle: SIGKILL to the engine's daemon and, at that moment, a call from the\n"
    "              station. Median and worst from the kill to the supervisor's telephonyChanged(false), to\n"
    "              telephonyChanged(true) (a new engine answered) and to that call in InCall, answered in the\n"
    "              popup as soon as it shows.\n"
    "  --hang S    (0: off) qz-stationsim serves 16 cameras at 127.0.0.2..17, all in the console's record\n"
    "              (127.0.0.3 is also the SIP station), for the whole run. After a 3 s warm-up and a 5 s\n"
    "              window for comparison, at a random point of the 2 s backstop poll's cycle, SIGSTOP to the\n"
    "              engine's daemon; then S seconds watched: the longest gap between two pictures of one\n"
    "              camera (consecutive SnapshotPoller::frameReceived of a station, any station), event-loop\n"
    "              lateness p99 and max, the SIGSTOP to telephonyChanged(false) (found hung) and to\n"
    "              telephonyChanged(true) (a new engine answered). The stopped daemon must end killed by the\n"
    "              console; if not, the bench kills it and says so. Give S well above 4 s (20 for the figures\n"
    "              in docs/performance.md): finding the hang takes up to 4 s.\n";

int fail(const QString& why)
{
    err << "qz-bench-calls: " << why << "\n";
    err.flush();
    return 1;
}

QString ms(double value)
{
    return QString::number(value, 'f', value < 10 ? 2 : 0) + QStringLiteral(" ms");
}

QString seconds(double valueMs)
{
    return valueMs < 0 ? QStringLiteral("never") : QString::number(valueMs / 1000.0, 'f', 2) + QStringLiteral(" s");
}

QString cpuModel()
{
    for (const QString& line : readText(QStringLiteral("/proc/cpuinfo")).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("model name")))
            return line.section(QLatin1Char(':'), 1).trimmed();
    }
    return QStringLiteral("unknown");
}

QString loadAverage()
{
    return readText(QStringLiteral("/proc/loadavg")).section(QLatin1Char(' '), 0, 2);
}

bool readCount(int argc, char* argv[], int* i, int* value)
{
    if (*i + 1 >= argc)
        return false;
    bool ok = false;
    *value = QByteArray(argv[++*i]).toInt(&ok);
    return ok && *value >= 0;
}

/// The console's stations: the SIP station as station 3 at 127.0.0.3 (101); with cameras, 16 stations at
/// 127.0.0.2..17, of which the one at 127.0.0.3 (station 1) is the SIP station.
ConfigRecord stationRecord(bool cameras)
{
    ConfigRecord record;
    if (!cameras) {
        record.active[3] = 1;
        record.ipAddress[3] = QStringLiteral("127.0.0.3");
        record.extension[3] = QStringLiteral("101");
        record.description[3] = QStringLiteral("Varco 4");
        return record;
    }
    for (int i = 0; i < kCameras; ++i) {
        const auto s = std::size_t(i);
        record.active[s] = 1;
        record.ipAddress[s] = StationSimulator::address(kFirstCameraOctet, i);
        record.description[s] = QStringLiteral("Station %1").arg(i + 1);
        if (record.ipAddress[s] == QLatin1String("127.0.0.3"))
            record.extension[s] = QStringLiteral("101");
    }
    return record;
}

/// The cameras' simulator; tried again while another user's simulator holds the addresses.
std::unique_ptr<StationSimulator> startCameras(QString* error)
{
    const QDeadlineTimer deadline(kSimulatorWaitMs);
    bool said = false;
    for (;;) {
        auto simulator = std::make_unique<StationSimulator>(
            QStringList{QStringLiteral("--count"), QString::number(kCameras), QStringLiteral("--first"),
                        QString::number(kFirstCameraOctet)},
            15000);
        if (simulator->isReady())
            return simulator;
        *error = simulator->errorString();
        if (!error->contains(QLatin1String("exit code 2")) || deadline.hasExpired())
            return nullptr;
        if (!said) {
            err << "qz-bench-calls: 127.0.0.2..17 are taken (" << *error << "); trying again\n";
            err.flush();
            said = true;
        }
        simulator.reset();
        QThread::sleep(5);
    }
}

void row(const QString& what, const QList<double>& values, const QString& unit)
{
    if (values.isEmpty()) {
        out << "| " << what << " | - | - | 0 " << unit << " |\n";
        return;
    }
    out << "| " << what << " | " << ms(Samples::median(values)) << " | " << ms(Samples::worst(values)) << " | "
        << values.size() << " " << unit << " |\n";
}

void printCalls(const CallBench::CallFigures& calls, const CallBench::KillFigures& kills)
{
    out << "| Measure | Median | Worst | Samples |\n";
    out << "|---|---:|---:|---:|\n";
    if (!calls.popupMs.isEmpty()) {
        row(QStringLiteral("Caller's start (sipp starts, sends its INVITE) to the popup shown"), calls.popupMs,
            QStringLiteral("calls"));
        row(QStringLiteral("- of which sipp's start to its INVITE sent (sipp's message trace)"), calls.inviteSentMs,
            QStringLiteral("calls"));
        row(QStringLiteral("- of which the INVITE sent to CallState::Incoming (engine, its event line read)"),
            calls.inviteToIncomingMs, QStringLiteral("calls"));
        row(QStringLiteral("- of which CallState::Incoming to the popup shown"), calls.incomingToPopupMs,
            QStringLiteral("calls"));
        row(QStringLiteral("Answer click in the popup to CallState::InCall"), calls.inCallMs, QStringLiteral("calls"));
        row(QStringLiteral("GUI-thread CPU per call (sipp's start to idle again, its launch left out)"),
            calls.guiCpuMs, QStringLiteral("calls"));
    }
    if (!kills.upMs.isEmpty()) {
        row(QStringLiteral("Engine killed to the console knowing (telephonyChanged(false))"), kills.lostMs,
            QStringLiteral("kills"));
        row(QStringLiteral("Engine killed to a new engine answering (telephonyChanged(true))"), kills.upMs,
            QStringLiteral("kills"));
        row(QStringLiteral("Engine killed (a station calls then) to that call in InCall"), kills.answeredMs,
            QStringLiteral("kills"));
    }
    if (!calls.popupMs.isEmpty()) {
        out << "\n| Event-loop lateness during the calls (10 ms timer) | p99 | Max | Samples |\n";
        out << "|---|---:|---:|---:|\n";
        out << "| " << calls.popupMs.size() << " calls, first start to last end | "
            << ms(Samples::percentile(calls.latenessMs, 99)) << " | " << ms(Samples::worst(calls.latenessMs))
            << " | " << calls.latenessMs.size() << " |\n";
        out << "\nGUI thread idle before the calls (lateness probe and the bench's waits only): "
            << ms(calls.idleGuiCpuMsPerS) << " CPU per second.\n";
    }
}

void printHang(const HangBench::Figures& hang)
{
    const auto gap = [](const HangBench::Window& w) {
        return QString::number(w.longestGapMs / 1000.0, 'f', 2) + QStringLiteral(" s (station %1)")
            .arg(w.longestGapStation);
    };
    out << "\n| " << hang.cameras << " cameras, engine SIGSTOPped | Before the stop ("
        << QString::number(hang.before.seconds, 'f', 1) << " s) | After the stop (" << QString::number(hang.stopped.seconds, 'f', 1) << " s) |\n";
    out << "|---|---:|---:|\n";
    out << "| Longest gap between two pictures of one camera (consecutive frameReceived of a station, in-process; any"
           " station) | "
        << gap(hang.before) << " | " << gap(hang.stopped) << " |\n";
    out << "| Pictures received, all cameras | " << hang.before.frames << " | " << hang.stopped.frames << " |\n";
    out << "| Event-loop lateness p99 (10 ms timer) | " << ms(Samples::percentile(hang.before.latenessMs, 99)) << " | "
        << ms(Samples::percentile(hang.stopped.latenessMs, 99)) << " |\n";
    const auto worstLateness = [](const HangBench::Window& w) {
        return ms(Samples::worst(w.latenessMs))
               + QStringLiteral(" (at %1 s)").arg(QString::number(w.worstLatenessAtS, 'f', 2));
    };
    out << "| Event-loop lateness max (when it ended, from the window's start) | " << worstLateness(hang.before)
        << " | " << worstLateness(hang.stopped) << " |\n";
    out << "| SIGSTOP to the engine found hung (telephonyChanged(false)) | | " << seconds(hang.hungFoundMs) << " |\n";
    out << "| SIGSTOP to a new engine answering (telephonyChanged(true)) | | " << seconds(hang.replacedMs) << " |\n";
    out << "| The stopped daemon (pid " << hang.stoppedPid << ") at the end | | "
        << (hang.killedByConsole ? "killed by the console" : "still there: killed by the bench") << " |\n";
}

} // namespace

int main(int argc, char* argv[])
{
    int calls = 20;
    int kills = 0;
    int hangS = 0;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        bool ok = false;
        if (arg == "--calls")
            ok = readCount(argc, argv, &i, &calls);
        else if (arg == "--kills")
            ok = readCount(argc, argv, &i, &kills);
        else if (arg == "--hang")
            ok = readCount(argc, argv, &i, &hangS);
        if (!ok) {
            (arg == "--help" ? out : err) << kUsage;
            return arg == "--help" ? 0 : 2;
        }
    }
    // Before QApplication: its own home, and no display needed.
    Home home;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("linphonec")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("sipp")).isEmpty())
        return fail(QStringLiteral("needs linphonec (linphone-cli) and sipp (sip-tester)"));

    QString error;
    QLockFile lock(lockPath());
    err << "qz-bench-calls: taking the engine lock " << lock.fileName() << " (waits while another user holds it)\n";
    err.flush();
    if (!home.isValid() || !lockEngine(lock, kEngineLockWaitMs, &error))
        return fail(error);
    const quint16 sipPort = freeSipPort();
    if (sipPort == 0 || !writeEngineConfig(sipPort))
        return fail(QStringLiteral("cannot prepare the engine's configuration"));

    std::unique_ptr<StationSimulator> cameras;
    if (hangS > 0 && !(cameras = startCameras(&error)))
        return fail(QStringLiteral("station simulator: ") + error);
    const ConfigRecord record = stationRecord(hangS > 0);
    CallConsole console(home.root());
    if (!console.start(home.makeDir(QStringLiteral("prog")), record, &error))
        return fail(error);

    CallBench::Caller caller;
    caller.ip = QStringLiteral("127.0.0.3");
    caller.extension = QStringLiteral("101");
    caller.enginePort = sipPort;
    caller.scenario = QStringLiteral(QZ_SOURCE_DIR "/tests/data/e2e_station_calls.xml");
    caller.logDir = home.makeDir(QStringLiteral("peers"));
    CallBench::CallFigures callFigures;
    CallBench::KillFigures killFigures;
    HangBench::Figures hangFigures;
    {
        CallBench bench(console, caller);
        if (!bench.runCalls(calls, &callFigures, &error) || !bench.runKills(kills, &killFigures, &error))
            return fail(error);
    }
    if (hangS > 0 && !HangBench(console, kCameras).run(hangS, &hangFigures, &error))
        return fail(error);

    const qint64 peakKb = console.watch().peakKb();
    if (!console.stop(&error))
        return fail(error);
    const QString simulatorErrors = cameras ? cameras->stop() : QString();
    if (!simulatorErrors.isEmpty())
        return fail(QStringLiteral("station simulator: ") + simulatorErrors);

    out << "Machine: " << QThread::idealThreadCount() << " CPUs (nproc), " << cpuModel() << "; "
        << QDateTime::currentDateTime().toString(Qt::ISODate) << "; load average at the end " << loadAverage()
        << "\n";
    out << "Engine: linphonec with its file sound card where there is no sound card; peak resident memory "
        << peakKb / 1024 << " MB\n";
    if (hangS > 0)
        out << "Cameras: " << kCameras << " simulated stations (qz-stationsim) at 127.0.0.2..17, in the record "
            << "through the whole run\n";
    out << "\n";
    if (calls > 0 || kills > 0)
        printCalls(callFigures, killFigures);
    if (hangS > 0)
        printHang(hangFigures);
    out.flush();
    return 0;
}

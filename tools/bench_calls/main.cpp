// qz-bench-calls: how fast the console follows real SIP calls. The console runs
// in this process with its real engine (linphonec); sipp plays door station 101
// at 127.0.0.3 and calls it. Loopback only. Not a test: it prints a table.
//
//   qz-bench-calls [--calls N] [--kills N]   (defaults 20, 0)
//
// Measured per call: from the caller's start (sipp starts and sends its
// INVITE) to the popup shown, and from the operator's answer click in the
// popup to callState 3. Per status poll (status timer tick): the wall time in
// CallStatusMonitor::pollCallStatus, the GUI thread's CPU time in it, and the
// engine's round trip for the same request measured beside it while idle.
// Per kill (SIGKILL of the engine's daemon, a station calling at that moment):
// from the kill to the new engine answering its socket, and to that call
// answered in the popup (callState 3).

#include "CallConsole.h"
#include "CallStatusMonitor.h"
#include "ConfigRecord.h"
#include "ConsoleApplication.h"
#include "EngineSocketClient.h"
#include "EngineSupervisor.h"
#include "ImageButton.h"
#include "IncomingCallAlert.h"
#include "LinphoneEngine.h"
#include "MainWindow.h"
#include "RingPopup.h"

#include <QApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMap>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <functional>

using namespace EngineRig;

namespace
{
QTextStream out(stdout);
QTextStream err(stderr);

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double worst(const QList<double>& values)
{
    return values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end());
}

bool waitFor(const std::function<bool()>& predicate, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!predicate()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(1);
    }
    return true;
}

QString cpuModel()
{
    for (const QString& line : readText(QStringLiteral("/proc/cpuinfo")).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("model name")))
            return line.section(QLatin1Char(':'), 1).trimmed();
    }
    return QStringLiteral("unknown");
}

int fail(const QString& why)
{
    err << "qz-bench-calls: " << why << "\n";
    err.flush();
    return 1;
}

QString ms(double value)
{
    return QString::number(value, 'f', value < 10 ? 2 : 0);
}
} // namespace

int main(int argc, char* argv[])
{
    int calls = 20;
    int kills = 0;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--calls" && i + 1 < argc) {
            calls = qMax(0, QByteArray(argv[++i]).toInt());
        } else if (arg == "--kills" && i + 1 < argc) {
            kills = qMax(0, QByteArray(argv[++i]).toInt());
        } else {
            (arg == "--help" ? out : err) << "usage: qz-bench-calls [--calls N] [--kills N]   (defaults 20, 0)\n"
                                             "Times real SIP calls from sipp (station 101 at 127.0.0.3) to the "
                                             "console and its engine, and the way back after the engine is "
                                             "killed; prints a table.\n";
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
    if (!home.isValid() || !lockEngine(lock, 300000, &error))
        return fail(error);
    const quint16 sipPort = freeSipPort();
    if (sipPort == 0 || !writeEngineConfig(sipPort))
        return fail(QStringLiteral("cannot prepare the engine's configuration"));

    ConfigRecord record;
    const auto s = std::size_t(3);
    record.active[s] = 1;
    record.ipAddress[s] = QStringLiteral("127.0.0.3");
    record.extension[s] = QStringLiteral("101");
    record.description[s] = QStringLiteral("Varco 4");
    const QString peerDir = home.makeDir(QStringLiteral("peers"));
    CallConsole console(home.root());
    if (!console.start(home.makeDir(QStringLiteral("prog")), record, &error))
        return fail(error);
    auto* monitor = console->findChild<CallStatusMonitor*>();
    auto* alert = console->findChild<IncomingCallAlert*>();
    if (!monitor || !alert)
        return fail(QStringLiteral("the console has no call status monitor or alert"));
    EngineMemoryWatch& watch = console.watch();

    // Each status timer tick runs inside a stopwatch: the same slot, timed. A poll is
    // filed by the transitions it made (none for most).
    QTimer* statusTimer = console->mainWindow()->statusTimer();
    QObject::disconnect(statusTimer, &QTimer::timeout, monitor, &CallStatusMonitor::pollCallStatus);
    QMap<QString, QList<double>> tickWallMs;
    QList<double> quietTickCpuMs;
    QList<double> allTickWallMs;
    QString tickTransitions;
    bool measureRoundTrip = false;
    QList<double> roundTripMs;
    QObject::connect(monitor, &CallStatusMonitor::callStateChanged, monitor, [&](int from, int to, int) {
        tickTransitions += QStringLiteral("%1%2->%3").arg(tickTransitions.isEmpty() ? QString() : QStringLiteral(", "))
                               .arg(from)
                               .arg(to);
    });
    QObject::connect(statusTimer, &QTimer::timeout, monitor, [&] {
        tickTransitions.clear();
        QElapsedTimer wall;
        const double cpu0 = threadCpuMs();
        wall.start();
        monitor->pollCallStatus();
        const double wallMs = double(wall.nsecsElapsed()) / 1e6;
        const double cpuMs = threadCpuMs() - cpu0;
        allTickWallMs.append(wallMs);
        tickWallMs[tickTransitions].append(wallMs);
        if (tickTransitions.isEmpty())
            quietTickCpuMs.append(cpuMs);
        if (measureRoundTrip) {
            // The engine's share: the same request between two polls. The daemon serves its
            // socket on a ~20 ms cycle; a request right after a poll would always wait a whole one.
            QTimer::singleShot(int(QRandomGenerator::global()->bounded(100, 400)), monitor, [&] {
                QElapsedTimer rt;
                rt.start();
                EngineSocketClient::request(EngineSocketClient::defaultSocketPath(), "status hook");
                roundTripMs.append(double(rt.nsecsElapsed()) / 1e6);
            });
        }
    });

    // Idle: 60 polls, with the engine's round trip between them.
    measureRoundTrip = calls > 0;
    waitFor([&] { return !measureRoundTrip || roundTripMs.size() >= 60; }, 60000);
    measureRoundTrip = false;

    QList<double> popupMs;
    QList<double> answerMs;
    QElapsedTimer clock;
    clock.start();
    qint64 popupAt = -1;
    qint64 connectedAt = -1;
    QObject::connect(alert, &IncomingCallAlert::popupShown, alert, [&] { popupAt = clock.nsecsElapsed(); });
    QObject::connect(monitor, &CallStatusMonitor::callStateChanged, monitor, [&](int, int to, int) {
        if (to == 3)
            connectedAt = clock.nsecsElapsed();
    });

    for (int call = 0; call < calls; ++call) {
        // Calls start at random points of the 500 ms poll cycle.
        QTest::qWait(int(QRandomGenerator::global()->bounded(500)));
        SipPeer caller(peerDir, QStringLiteral("caller"));
        popupAt = -1;
        connectedAt = -1;
        const qint64 invitedAt = clock.nsecsElapsed();
        if (!caller.call(QStringLiteral(QZ_SOURCE_DIR "/tests/data/e2e_station_calls.xml"), sipPort,
                         QStringLiteral("127.0.0.3"), QStringLiteral("101"), 1000, &error))
            return fail(error);
        if (!waitFor([&] { return popupAt >= 0; }, 15000))
            return fail(QStringLiteral("call %1: no popup\n").arg(call + 1) + caller.output());
        popupMs.append(double(popupAt - invitedAt) / 1e6);

        RingPopup* popup = console->ringPopup();
        if (!popup || !waitFor([&] { return !popup->slideTimer()->isActive(); }, 5000))
            return fail(QStringLiteral("call %1: the popup did not come to rest").arg(call + 1));
        QTest::qWait(int(QRandomGenerator::global()->bounded(500)));
        const qint64 clickedAt = clock.nsecsElapsed();
        QTest::mouseClick(popup->answerButton(), Qt::LeftButton);
        if (!waitFor([&] { return connectedAt >= 0; }, 10000))
            return fail(QStringLiteral("call %1: not connected after the answer\n").arg(call + 1) + caller.output());
        answerMs.append(double(connectedAt - clickedAt) / 1e6);

        if (!waitFor([&] { return console->state().callState == 0; }, 15000) || !caller.finish(15000, &error))
            return fail(QStringLiteral("call %1: did not end cleanly\n").arg(call + 1) + error);
        if (!watch.runaway().isEmpty())
            return fail(watch.runaway());
        err << "call " << (call + 1) << ": popup " << ms(popupMs.last()) << " ms, answer " << ms(answerMs.last())
            << " ms\n";
        err.flush();
    }

    // Kills: the engine dies while idle, a station calls at that very moment.
    QList<double> socketBackMs;
    QList<double> callBackMs;
    for (int kill = 0; kill < kills; ++kill) {
        QTest::qWait(500 + int(QRandomGenerator::global()->bounded(1000)));
        if (!waitFor([&] { return console->supervisor()->isTelephonyUp() && console->state().callState == 0; },
                     30000))
            return fail(QStringLiteral("kill %1: the engine is not up before the kill").arg(kill + 1));
        LinphoneEngine* engine = console->engine();
        SipPeer caller(peerDir, QStringLiteral("kill%1").arg(kill + 1));
        popupAt = -1;
        connectedAt = -1;
        const qint64 killedAt = clock.nsecsElapsed();
        ::kill(pid_t(engine->startedPid()), SIGKILL);
        if (!caller.call(QStringLiteral(QZ_SOURCE_DIR "/tests/data/e2e_station_calls.xml"), sipPort,
                         QStringLiteral("127.0.0.3"), QStringLiteral("101"), 1000, &error))
            return fail(error);
        // The first answered engine call after the outage ends it.
        if (!waitFor([&] { return !engine->isAnswering(); }, 5000)
            || !waitFor([&] { return engine->isAnswering(); }, 30000))
            return fail(QStringLiteral("kill %1: no engine answered again").arg(kill + 1));
        socketBackMs.append(double(clock.nsecsElapsed() - killedAt) / 1e6);
        // The operator answers as soon as the popup is there.
        if (!waitFor([&] { return console->ringPopup() != nullptr; }, 30000))
            return fail(QStringLiteral("kill %1: the call did not ring\n").arg(kill + 1) + caller.output());
        QTest::mouseClick(console->ringPopup()->answerButton(), Qt::LeftButton);
        if (!waitFor([&] { return connectedAt >= 0; }, 10000))
            return fail(QStringLiteral("kill %1: not connected after the answer\n").arg(kill + 1) + caller.output());
        callBackMs.append(double(connectedAt - killedAt) / 1e6);
        if (!waitFor([&] { return console->state().callState == 0; }, 15000) || !caller.finish(15000, &error))
            return fail(QStringLiteral("kill %1: the call did not end cleanly\n").arg(kill + 1) + error);
        err << "kill " << (kill + 1) << ": engine back " << ms(socketBackMs.last()) << " ms, call answered "
            << ms(callBackMs.last()) << " ms\n";
        err.flush();
    }

    const qint64 peakKb = watch.peakKb();
    if (!console.stop(&error))
        return fail(error);

    const QList<double> quietWall = tickWallMs.value(QString());
    const auto row = [](const QString& what, const QList<double>& values, const QString& unit) {
        out << "| " << what << " | " << ms(median(values)) << " ms | " << ms(worst(values)) << " ms | "
            << values.size() << " " << unit << " |\n";
    };

    out << "Machine: " << QThread::idealThreadCount() << " CPUs (nproc), " << cpuModel() << "; "
        << QDateTime::currentDateTime().toString(Qt::ISODate) << "\n";
    out << "Engine: linphonec with its file sound card where there is no sound card; peak resident memory "
        << peakKb / 1024 << " MB\n\n";
    out << "| Measure | Median | Worst | Samples |\n";
    out << "|---|---:|---:|---:|\n";
    if (kills > 0) {
        row(QStringLiteral("Engine killed to a new engine answering its socket"), socketBackMs, QStringLiteral("kills"));
        row(QStringLiteral("Engine killed (a station calls then) to that call answered"), callBackMs,
            QStringLiteral("kills"));
    }
    if (calls == 0) {
        out.flush();
        return 0;
    }
    row(QStringLiteral("Caller's INVITE (sipp start) to popup shown"), popupMs, QStringLiteral("calls"));
    row(QStringLiteral("Answer click in the popup to callState 3"), answerMs, QStringLiteral("calls"));
    row(QStringLiteral("Engine round trip of \"status hook\", between polls"), roundTripMs,
        QStringLiteral("requests"));
    row(QStringLiteral("Status poll without a transition: wall time in pollCallStatus"), quietWall,
        QStringLiteral("polls"));
    out << "| Console overhead per poll: the line above minus the round trip (medians) | "
        << ms(median(quietWall) - median(roundTripMs)) << " ms | | |\n";
    row(QStringLiteral("Console overhead per poll: GUI-thread CPU time in pollCallStatus"), quietTickCpuMs,
        QStringLiteral("polls"));
    for (auto it = tickWallMs.cbegin(); it != tickWallMs.cend(); ++it) {
        if (!it.key().isEmpty())
            row(QStringLiteral("Status poll with transition %1: wall time").arg(it.key()), it.value(),
                QStringLiteral("polls"));
    }
    out << "| Longest GUI block of one poll (bound: the engine call time-out, "
        << LinphoneEngine::Options().callTimeoutMs << " ms) | | " << ms(worst(allTickWallMs)) << " ms | "
        << allTickWallMs.size() << " polls |\n";
    out.flush();
    return 0;
}

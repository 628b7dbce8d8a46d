// The console's call handling end to end: the real console (ConsoleApplication,
// in this process), its real SIP engine (linphonec) and door stations played by
// sipp, all on loopback. Server mode adds a real registrar (kamailio).

#include "CallStatusMonitor.h"
#include "ConfigRecord.h"
#include "ConsoleApplication.h"
#include "EngineSocketClient.h"
#include "ImageButton.h"
#include "IncomingCallAlert.h"
#include "LinphoneEngine.h"
#include "MainWindow.h"
#include "RingPopup.h"
#include "RingTone.h"
#include "TelephonyRig.h"
#include "TrayController.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QHostAddress>
#include <QLockFile>
#include <QPointer>
#include <QTest>

#include <functional>
#include <memory>

using namespace TelephonyRig;

namespace
{
using Transition = QPair<int, int>;
using Transitions = QList<Transition>;

constexpr int kStartTimeoutMs = 60000;
/// A poll every 500 ms plus the engine's reply: a state shows within about a second.
constexpr int kStateTimeoutMs = 10000;

void addStation(ConfigRecord& record, int index, const QString& ip, const QString& extension)
{
    const auto s = std::size_t(index);
    record.active[s] = 1;
    record.ipAddress[s] = ip;
    record.extension[s] = extension;
    record.description[s] = QStringLiteral("Varco %1").arg(index + 1);
    record.param(ConfigRecord::kLockRelayParam, index) = 1;
    record.param(ConfigRecord::kLightRelayParam, index) = 10;
}

/// Stations on loopback only. Station 1's extension 10 is a prefix of station
/// 3's 101: a call from 101 matches both, and station 3 wins as the later one.
ConfigRecord stationTable()
{
    ConfigRecord record;
    record.popupOnCall = 1;
    addStation(record, 1, QStringLiteral("127.0.0.6"), QStringLiteral("10"));
    addStation(record, 2, QStringLiteral("127.0.0.4"), QStringLiteral("102"));
    addStation(record, 3, QStringLiteral("127.0.0.3"), QStringLiteral("101"));
    return record;
}

QString scenario(const char* name)
{
    return QStringLiteral(QZ_SOURCE_DIR "/tests/data/") + QLatin1String(name);
}

bool waitFor(const std::function<bool()>& predicate, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!predicate()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

QString transitionsText(const Transitions& transitions)
{
    QStringList parts;
    for (const Transition& t : transitions)
        parts.append(QStringLiteral("%1->%2").arg(t.first).arg(t.second));
    return parts.join(QLatin1Char(' '));
}
} // namespace

class TestTelephonyE2e : public QObject
{
    Q_OBJECT
public:
    explicit TestTelephonyE2e(Home& home)
        : m_home(home)
        , m_lock(engineLockPath())
    {
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void stationCallIsAnsweredInThePopupAndEnds();
    void callerGivesUpBeforeTheAnswer();
    void operatorCallsStationAndHangsUp();
    void callBringsTheConsoleBackFromTheTrayAndFadesBack();
    void engineEndsWithTheConsole();
    void serverModeRegistersAndDialsByExtension();

private:
    bool startConsole(const ConfigRecord& record, const QString& dirName, QString* error);
    /// Shuts the console down as the operator's close does; false (with why) when its engine stays.
    bool stopConsole(QString* error);
    /// A station calling the console with scenarioName from ip as extension.
    bool startCaller(SipPeer& peer, const char* scenarioName, const QString& ip, const QString& extension,
                     int pauseMs, QString* error);
    /// A station's intercom at ip:5060 answering after ringMs.
    bool startAnsweringStation(SipPeer& peer, const QString& ip, int ringMs, QString* error);
    QString consoleLog() const { return readText(m_programDir + QStringLiteral("/qz.log")); }
    /// The log written since the current test began.
    QString testLog() const { return consoleLog().mid(m_logOffset); }
    QString report() const;
    int callState() const { return m_console->state().CallState; }
    bool isTopmost() const
    {
        return m_console->mainWindow()->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    }
    bool muteButtonShown() const { return m_console->mainWindow()->iCmd(2)->isVisible(); }

    Home& m_home;
    QLockFile m_lock;
    quint16 m_sipPort = 0;
    QString m_programDir;
    QString m_peerDir;
    std::unique_ptr<ConsoleApplication> m_console;
    EngineMemoryWatch m_watch;
    Transitions m_transitions;
    int m_popupsShown = 0;
    int m_ringsPlayed = 0;
    qsizetype m_logOffset = 0;
    /// Side effects seen at the moment of each transition (the monitor's
    /// signal comes after the step's own changes).
    QStringList m_atTransition;
};

void TestTelephonyE2e::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("linphonec")).isEmpty())
        QSKIP("linphonec is not installed (Debian package linphone-cli)");
    if (QStandardPaths::findExecutable(QStringLiteral("sipp")).isEmpty())
        QSKIP("sipp is not installed (Debian package sip-tester)");
    QVERIFY(m_home.isValid());
    m_peerDir = m_home.makeDir(QStringLiteral("peers"));

    QString error;
    QVERIFY2(lockEngine(m_lock, 120000, &error), qPrintable(error));
    m_sipPort = freeSipPort();
    QVERIFY(m_sipPort != 0);
    QVERIFY(LinphoneEngine::defaultConfigPath().startsWith(m_home.root()));
    QVERIFY(writeEngineConfig(m_sipPort));

    QVERIFY2(startConsole(stationTable(), QStringLiteral("prog"), &error), qPrintable(error));
}

bool TestTelephonyE2e::startConsole(const ConfigRecord& record, const QString& dirName, QString* error)
{
    m_programDir = m_home.makeDir(dirName);
    if (!prepareProgramDir(m_programDir, record, QStringLiteral(QZ_PROGRAM_DIR), error))
        return false;
    // The event log goes to the working directory.
    QDir::setCurrent(m_programDir);
    m_console = std::make_unique<ConsoleApplication>(m_programDir);

    auto* monitor = m_console->findChild<CallStatusMonitor*>();
    auto* alert = m_console->findChild<IncomingCallAlert*>();
    auto* ring = m_console->findChild<RingTone*>();
    if (!monitor || !alert || !ring) {
        *error = QStringLiteral("the console has no call status monitor, alert or ring tone");
        return false;
    }
    connect(monitor, &CallStatusMonitor::callStateChanged, this, [this](int from, int to, int station) {
        m_transitions.append({from, to});
        MainWindow* w = m_console->mainWindow();
        m_atTransition.append(QStringLiteral("%1->%2 station %3 %4 mute %5 topmost %6")
                                  .arg(from)
                                  .arg(to)
                                  .arg(station)
                                  .arg(w->telImage(station))
                                  .arg(muteButtonShown() ? 1 : 0)
                                  .arg(isTopmost() ? 1 : 0));
    });
    connect(alert, &IncomingCallAlert::popupShown, this, [this] { ++m_popupsShown; });
    connect(ring, &RingTone::ringPlayed, this, [this] { ++m_ringsPlayed; });

    if (!m_console->start()) {
        *error = QStringLiteral("the console refused to start\n") + consoleLog();
        return false;
    }
    m_watch.watch(m_console->engine());
    if (!waitFor([this] { return m_console->isStarted() || !m_watch.runaway().isEmpty(); }, kStartTimeoutMs)
        || !m_console->isStarted()) {
        *error = QStringLiteral("start-up did not finish\n") + m_watch.runaway() + consoleLog();
        return false;
    }
    if (!m_console->engine()->startedDaemon()) {
        *error = QStringLiteral("the console started no engine of its own\n") + consoleLog();
        return false;
    }
    return true;
}

bool TestTelephonyE2e::stopConsole(QString* error)
{
    if (!m_console)
        return true;
    const qint64 enginePid = m_console->engine()->startedPid();
    m_watch.watch(nullptr);
    // The operator's close: the shutdown sequence stops the engine and runs the shell's exit.
    m_console->mainWindow()->close();
    m_console.reset();
    QDir::setCurrent(m_home.root());
    if (!waitFor([enginePid] { return processGone(enginePid); }, 5000)) {
        *error = QStringLiteral("linphonec (pid %1) still runs after the console ended").arg(enginePid);
        ::kill(pid_t(enginePid), SIGKILL);
        return false;
    }
    if (QFileInfo::exists(EngineSocketClient::defaultSocketPath())) {
        *error = QStringLiteral("the engine's socket is left behind");
        return false;
    }
    return true;
}

void TestTelephonyE2e::init()
{
    m_transitions.clear();
    m_atTransition.clear();
    m_popupsShown = 0;
    m_ringsPlayed = 0;
    if (!m_console)
        return;
    m_logOffset = consoleLog().size();
    QVERIFY2(m_watch.runaway().isEmpty(), qPrintable(m_watch.runaway()));
    QCOMPARE(callState(), 0);
}

void TestTelephonyE2e::cleanup()
{
    if (m_console && callState() != 0) {
        // A failed test may leave a call up: end it so the next test starts idle.
        m_console->engine()->linphoneTerminate();
        waitFor([this] { return callState() == 0; }, kStateTimeoutMs);
    }
    if (m_console && m_console->tray()->isFading())
        waitFor([this] { return !m_console->tray()->isFading(); }, 5000);
    QVERIFY2(m_watch.runaway().isEmpty(), qPrintable(m_watch.runaway()));
}

void TestTelephonyE2e::cleanupTestCase()
{
    QString error;
    const bool stopped = stopConsole(&error);
    qInfo("engine peak resident memory: %lld kB", m_watch.peakKb());
    QVERIFY2(stopped, qPrintable(error));
}

QString TestTelephonyE2e::report() const
{
    return QStringLiteral("\ntransitions: %1\nat transitions:\n%2\nlog:\n%3")
        .arg(transitionsText(m_transitions), m_atTransition.join(QLatin1Char('\n')), testLog());
}

bool TestTelephonyE2e::startCaller(SipPeer& peer, const char* scenarioName, const QString& ip,
                                   const QString& extension, int pauseMs, QString* error)
{
    // Ports of its own: a simulated station may hold 5060 at that address.
    const auto [sipPort, mediaPort] = freeUdpPorts(QHostAddress(ip));
    if (sipPort == 0) {
        *error = QStringLiteral("no free UDP port on %1").arg(ip);
        return false;
    }
    const QStringList arguments = {
        QStringLiteral("127.0.0.1:%1").arg(m_sipPort),
        QStringLiteral("-sf"), scenario(scenarioName),
        QStringLiteral("-s"), extension,
        QStringLiteral("-i"), ip,
        QStringLiteral("-p"), QString::number(sipPort),
        QStringLiteral("-mi"), ip,
        QStringLiteral("-mp"), QString::number(mediaPort),
        QStringLiteral("-d"), QString::number(pauseMs),
    };
    return peer.start(arguments, 60, error);
}

bool TestTelephonyE2e::startAnsweringStation(SipPeer& peer, const QString& ip, int ringMs, QString* error)
{
    const QHostAddress address(ip);
    if (!udpPortFree(address, 5060)) {
        *error = QStringLiteral("something already holds %1:5060").arg(ip);
        return false;
    }
    const quint16 mediaPort = freeUdpPorts(address).first;
    const QStringList arguments = {
        QStringLiteral("-sf"), scenario("e2e_station_answers.xml"),
        QStringLiteral("-i"), ip,
        QStringLiteral("-p"), QStringLiteral("5060"),
        QStringLiteral("-mi"), ip,
        QStringLiteral("-mp"), QString::number(mediaPort),
        QStringLiteral("-d"), QString::number(ringMs),
    };
    if (!peer.start(arguments, 60, error))
        return false;
    // Dialled before it listens, the call would reach nobody.
    if (!waitUntilBound(address, 5060, 10000)) {
        *error = QStringLiteral("the station at %1 does not listen on 5060\n").arg(ip) + peer.output();
        return false;
    }
    return true;
}

void TestTelephonyE2e::stationCallIsAnsweredInThePopupAndEnds()
{
    MainWindow* w = m_console->mainWindow();
    QCOMPARE(w->telImage(3), QStringLiteral("tel_n"));
    QVERIFY(!muteButtonShown());

    SipPeer caller(m_peerDir, QStringLiteral("station3_calls"));
    QString error;
    QVERIFY2(startCaller(caller, "e2e_station_calls.xml", QStringLiteral("127.0.0.3"), QStringLiteral("101"), 4000,
                         &error),
             qPrintable(error));

    // Ringing: station 3's tile (its 101 also holds station 1's 10; the later station wins).
    QTRY_VERIFY2_WITH_TIMEOUT(callState() == 1, qPrintable(report() + caller.output()), kStateTimeoutMs);
    QCOMPARE(m_console->state().CallStation, 3);
    QCOMPARE(w->telImage(3), QStringLiteral("tel_v"));
    QCOMPARE(w->telImage(1), QStringLiteral("tel_n"));
    QCOMPARE(w->telImage(2), QStringLiteral("tel_n"));
    QTRY_VERIFY(m_console->ringPopup() && m_console->ringPopup()->isVisible());
    QCOMPARE(m_popupsShown, 1);
    // The ring started: it plays, or (no audio output here) it says once why it is silent.
    QTRY_VERIFY2(m_ringsPlayed > 0 || testLog().contains(QLatin1String("Ring tone silent")), qPrintable(report()));

    // The popup comes to rest, then its answer button answers.
    QPointer<RingPopup> popup = m_console->ringPopup();
    QTRY_VERIFY(!popup->Timer1()->isActive());
    int slidOut = 0;
    connect(popup, &RingPopup::slidOut, this, [&slidOut] { ++slidOut; });
    QTest::mouseClick(popup->iCmd(1), Qt::LeftButton);

    QTRY_VERIFY2_WITH_TIMEOUT(callState() == 3, qPrintable(report() + caller.output()), kStateTimeoutMs);
    QCOMPARE(m_console->state().CallStation, 3);
    QCOMPARE(w->telImage(3), QStringLiteral("tel_r"));
    QVERIFY(muteButtonShown());
    QVERIFY(isTopmost());
    // Used at rest, the answer slides the popup out, and it unloads.
    QTRY_COMPARE(slidOut, 1);
    QTRY_VERIFY(popup.isNull());
    QVERIFY(!m_console->ringPopup());

    // The station hangs up after its talk.
    QTRY_VERIFY2_WITH_TIMEOUT(callState() == 0, qPrintable(report() + caller.output()), kStateTimeoutMs);
    QCOMPARE(w->telImage(3), QStringLiteral("tel_n"));
    QVERIFY(!m_console->ringPopup());
    QVERIFY(!muteButtonShown());
    QVERIFY(!isTopmost());
    QCOMPARE(m_transitions, (Transitions{{0, 1}, {1, 3}, {3, 0}}));
    QCOMPARE(m_popupsShown, 1);
    QVERIFY2(caller.finish(15000, &error), qPrintable(error));
}

void TestTelephonyE2e::callerGivesUpBeforeTheAnswer()
{
    MainWindow* w = m_console->mainWindow();
    SipPeer caller(m_peerDir, QStringLiteral("station1_gives_up"));
    QString error;
    QVERIFY2(startCaller(caller, "e2e_station_gives_up.xml", QStringLiteral("127.0.0.6"), QStringLiteral("10"), 3000,
                         &error),
             qPrintable(error));

    QTRY_VERIFY2_WITH_TIMEOUT(callState() == 1, qPrintable(report() + caller.output()), kStateTimeoutMs);
    QCOMPARE(m_console->state().CallStation, 1);
    QCOMPARE(w->telImage(1), QStringLiteral("tel_v"));
    QCOMPARE(w->telImage(3), QStringLiteral("tel_n"));
    QTRY_VERIFY(m_console->ringPopup() && m_console->ringPopup()->isVisible());
    QPointer<RingPopup> popup = m_console->ringPopup();
    QTRY_VERIFY(!popup->Timer1()->isActive());
    const QPoint rest = popup->pos();

    // Where the popup is the moment the call ends: closed where it rested, no slide under way.
    int slidOut = 0;
    QString atEnd;
    connect(popup, &RingPopup::slidOut, this, [&slidOut] { ++slidOut; });
    auto* monitor = m_console->findChild<CallStatusMonitor*>();
    const auto ended = connect(monitor, &CallStatusMonitor::callStateChanged, this,
                               [&atEnd, popup](int, int to, int) {
                                   if (to == 0 && popup) {
                                       atEnd = QStringLiteral("visible %1 sliding %2 at %3,%4")
                                                   .arg(popup->isVisible())
                                                   .arg(popup->Timer1()->isActive())
                                                   .arg(popup->pos().x())
                                                   .arg(popup->pos().y());
                                   }
                               });

    QTRY_VERIFY2_WITH_TIMEOUT(callState() == 0, qPrintable(report() + caller.output()), kStateTimeoutMs);
    disconnect(ended);
    QCOMPARE(atEnd, QStringLiteral("visible 0 sliding 0 at %1,%2").arg(rest.x()).arg(rest.y()));
    QVERIFY(!m_console->ringPopup());
    QTRY_VERIFY(popup.isNull());
    QCOMPARE(slidOut, 0);
    QCOMPARE(w->telImage(1), QStringLiteral("tel_n"));
    QVERIFY(!muteButtonShown());
    QCOMPARE(m_transitions, (Transitions{{0, 1}, {1, 0}}));
    QVERIFY2(caller.finish(15000, &error), qPrintable(error));
}

void TestTelephonyE2e::operatorCallsStationAndHangsUp()
{
    MainWindow* w = m_console->mainWindow();
    SipPeer station(m_peerDir, QStringLiteral("station2_answers"));
    QString error;
    QVERIFY2(startAnsweringStation(station, QStringLiteral("127.0.0.4"), 2000, &error), qPrintable(error));

    // Direct mode: the telephone button dials sip: and the station's address.
    QTest::mouseClick(w->cmdTel(2), Qt::LeftButton);
    QCOMPARE(m_console->state().CallStation, 2);
    QTRY_VERIFY2_WITH_TIMEOUT(callState() == 2, qPrintable(report() + station.output()), kStateTimeoutMs);
    QCOMPARE(w->telImage(2), QStringLiteral("tel_b"));
    QVERIFY2(testLog().contains(QLatin1String("sip:127.0.0.4")), qPrintable(report()));

    QTRY_VERIFY2_WITH_TIMEOUT(callState() == 3, qPrintable(report() + station.output()), kStateTimeoutMs);
    QCOMPARE(w->telImage(2), QStringLiteral("tel_r"));
    QVERIFY(muteButtonShown());
    QVERIFY(isTopmost());
    QVERIFY(!m_console->ringPopup());

    // The same button hangs up.
    QTest::mouseClick(w->cmdTel(2), Qt::LeftButton);
    QVERIFY2(testLog().contains(QLatin1String("hungup")), qPrintable(report()));
    QTRY_VERIFY2_WITH_TIMEOUT(callState() == 0, qPrintable(report() + station.output()), kStateTimeoutMs);
    QCOMPARE(w->telImage(2), QStringLiteral("tel_n"));
    QVERIFY(!muteButtonShown());
    QVERIFY(!isTopmost());
    QCOMPARE(m_transitions, (Transitions{{0, 2}, {2, 3}, {3, 0}}));
    QCOMPARE(m_popupsShown, 0);
    // The station saw the whole call, the operator's BYE included.
    QVERIFY2(station.finish(15000, &error), qPrintable(error));
}

void TestTelephonyE2e::callBringsTheConsoleBackFromTheTrayAndFadesBack()
{
    MainWindow* w = m_console->mainWindow();
    // A tray host may come up after the console: ask again for a moment.
    const bool inTray = waitFor([this] { return m_console->tray()->minimizeToTray(); }, 3000);
    if (!inTray) {
        QSKIP("no notification area on this display (offscreen has none); "
              "tests/desktop/telephony_tray_e2e.sh runs this under Xvfb with trayer");
    }
    QCOMPARE(m_console->state().inTray, 1);
    QTRY_VERIFY(!w->isVisible());

    SipPeer caller(m_peerDir, QStringLiteral("station3_calls_tray"));
    QString error;
    QVERIFY2(startCaller(caller, "e2e_station_calls.xml", QStringLiteral("127.0.0.3"), QStringLiteral("101"), 2000,
                         &error),
             qPrintable(error));

    QTRY_VERIFY2_WITH_TIMEOUT(callState() == 1, qPrintable(report() + caller.output()), kStateTimeoutMs);
    // Brought back for the call.
    QCOMPARE(m_console->state().inTray, 0);
    QCOMPARE(m_console->state().RestoredForCall, 1);
    QTRY_VERIFY(w->isVisible());
    QTRY_VERIFY(m_console->ringPopup() && m_console->ringPopup()->isVisible());

    // Answered from the tile this time: CallControl's answer branch unloads the popup at once.
    QTest::mouseClick(w->cmdTel(3), Qt::LeftButton);
    QVERIFY(!m_console->ringPopup());
    QTRY_VERIFY2_WITH_TIMEOUT(callState() == 3, qPrintable(report() + caller.output()), kStateTimeoutMs);
    QVERIFY2(testLog().contains(QLatin1String("incoming")), qPrintable(report()));

    // The caller hangs up: the window fades out, goes back to the tray and is opaque again.
    double lowest = 1.0;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&lowest, w] { lowest = qMin(lowest, w->windowOpacity()); });
    sampler.start(2);
    QTRY_VERIFY2_WITH_TIMEOUT(callState() == 0, qPrintable(report() + caller.output()), kStateTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_console->state().inTray, 1, 5000);
    sampler.stop();
    QVERIFY2(lowest < 0.9, qPrintable(QString::number(lowest)));
    QCOMPARE(m_console->state().RestoredForCall, 0);
    QTRY_VERIFY(!w->isVisible());
    QCOMPARE(w->windowOpacity(), 1.0);
    QVERIFY(!muteButtonShown());
    QCOMPARE(m_transitions, (Transitions{{0, 1}, {1, 3}, {3, 0}}));
    QVERIFY2(caller.finish(15000, &error), qPrintable(error));

    // Back out of the tray for the tests that follow.
    m_console->tray()->SysTrayMouseEventHandler();
    QTRY_VERIFY(w->isVisible());
}

void TestTelephonyE2e::engineEndsWithTheConsole()
{
    const qint64 enginePid = m_console->engine()->startedPid();
    QVERIFY(!processGone(enginePid));
    QString error;
    QVERIFY2(stopConsole(&error), qPrintable(error));
    QVERIFY(processGone(enginePid));
    qInfo("engine peak resident memory so far: %lld kB", m_watch.peakKb());
}

void TestTelephonyE2e::serverModeRegistersAndDialsByExtension()
{
    if (SipRegistrar::program().isEmpty())
        QSKIP("kamailio is not installed (Debian package kamailio): no SIP registrar to register with");
    QString error;
    QVERIFY2(stopConsole(&error), qPrintable(error));

    // The registrar on 127.0.0.1, not on 5060.
    quint16 registrarPort = 0;
    for (quint16 port = 5180; port < 5280 && registrarPort == 0; ++port) {
        if (udpPortFree(QHostAddress::LocalHost, port) && port != m_sipPort)
            registrarPort = port;
    }
    QVERIFY(registrarPort != 0);
    SipRegistrar registrar(m_home.makeDir(QStringLiteral("registrar")));
    QVERIFY2(registrar.start(scenario("e2e_registrar.cfg"), registrarPort, &error), qPrintable(error));

    // Station 3 registers as 101; its intercom waits at 127.0.0.3:5060.
    SipPeer registration(m_peerDir, QStringLiteral("station3_registers"));
    const quint16 registrationPort = freeUdpPorts(QHostAddress(QStringLiteral("127.0.0.3"))).first;
    QVERIFY2(registration.start({QStringLiteral("127.0.0.1:%1").arg(registrarPort), QStringLiteral("-sf"),
                                 scenario("e2e_station_registers.xml"), QStringLiteral("-i"),
                                 QStringLiteral("127.0.0.3"), QStringLiteral("-p"), QString::number(registrationPort),
                                 QStringLiteral("-au"), QStringLiteral("101"), QStringLiteral("-ap"),
                                 QStringLiteral("station-secret")},
                                20, &error),
             qPrintable(error));
    QVERIFY2(registration.finish(20000, &error), qPrintable(error + registrar.log()));
    SipPeer station(m_peerDir, QStringLiteral("station3_answers"));
    QVERIFY2(startAnsweringStation(station, QStringLiteral("127.0.0.3"), 1500, &error), qPrintable(error));

    ConfigRecord record = stationTable();
    record.useSipServer = 1;
    record.serverAddress = QStringLiteral("127.0.0.1:%1").arg(registrarPort);
    record.userId = QStringLiteral("100");
    record.password = QStringLiteral("console-secret");
    m_logOffset = 0;
    QVERIFY2(startConsole(record, QStringLiteral("prog-server"), &error), qPrintable(error));

    // Start-up registered through the engine shell: logged without the password, accepted by the registrar.
    const QString log = consoleLog();
    QVERIFY2(log.contains(QStringLiteral("--host 127.0.0.1:%1 --username 100 --password ******").arg(registrarPort)),
             qPrintable(log));
    QVERIFY2(!log.contains(QLatin1String("console-secret")), qPrintable(log));
    QString registered;
    QVERIFY2(waitFor(
                 [&registered] {
                     registered = QString::fromUtf8(
                         EngineSocketClient::request(EngineSocketClient::defaultSocketPath(), "status register").text);
                     return registered.startsWith(QLatin1String("registered,"));
                 },
                 10000),
             qPrintable(registered + QLatin1Char('\n') + log + registrar.log()));
    QVERIFY2(registered.contains(QStringLiteral("identity=sip:100@127.0.0.1:%1").arg(registrarPort)),
             qPrintable(registered));
    QVERIFY2(registrar.log().contains(QLatin1String("REGISTER of 100 saved")), qPrintable(registrar.log()));

    // Server mode: station 3's button dials its extension, the registrar finds the station.
    MainWindow* w = m_console->mainWindow();
    QTest::mouseClick(w->cmdTel(3), Qt::LeftButton);
    QCOMPARE(m_console->state().CallStation, 3);
    QTRY_VERIFY2_WITH_TIMEOUT(callState() == 2, qPrintable(report() + station.output()), kStateTimeoutMs);
    QCOMPARE(w->telImage(3), QStringLiteral("tel_b"));
    QVERIFY2(testLog().contains(QStringLiteral("sip:101@127.0.0.1:%1").arg(registrarPort)), qPrintable(report()));
    QTRY_VERIFY2_WITH_TIMEOUT(callState() == 3, qPrintable(report() + station.output()), kStateTimeoutMs);
    QCOMPARE(w->telImage(3), QStringLiteral("tel_r"));
    QVERIFY2(registrar.log().contains(QLatin1String("INVITE to 101 relayed to sip:101@127.0.0.3:5060")),
             qPrintable(registrar.log()));

    QTest::mouseClick(w->cmdTel(3), Qt::LeftButton);
    QTRY_VERIFY2_WITH_TIMEOUT(callState() == 0, qPrintable(report() + station.output()), kStateTimeoutMs);
    QCOMPARE(w->telImage(3), QStringLiteral("tel_n"));
    QCOMPARE(m_transitions, (Transitions{{0, 2}, {2, 3}, {3, 0}}));
    QVERIFY2(station.finish(15000, &error), qPrintable(error + registrar.log()));

    const qint64 enginePid = m_console->engine()->startedPid();
    QVERIFY2(stopConsole(&error), qPrintable(error));
    QVERIFY(processGone(enginePid));
    const QList<qint64> workers = registrar.workers();
    QVERIFY(!workers.isEmpty());
    registrar.stop();
    for (qint64 worker : workers)
        QVERIFY(processGone(worker));
}

// HOME and the XDG folders must point at the test's own before QApplication
// exists: some of Qt reads them only once.
int main(int argc, char* argv[])
{
    Home home;
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestTelephonyE2e test(home);
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_telephony_e2e.moc"

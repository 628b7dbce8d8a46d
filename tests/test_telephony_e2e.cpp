// The console's call handling end to end: the whole console (ConsoleApplication, in this process), its real
// SIP engine (linphonec) and door stations played by sipp, all on loopback. Server mode adds a real registrar
// (kamailio). The tray case needs a tray host: ctest's telephony_tray_e2e runs it under
// tests/desktop/xsession.sh --tray.

#include "AudioHardware.h"
#include "CallConsole.h"
#include "CallSession.h"
#include "ConfigRecord.h"
#include "ConsoleApplication.h"
#include "EngineSocketClient.h"
#include "EngineSupervisor.h"
#include "HistoryArchive.h"
#include "HistoryRecorder.h"
#include "HistoryWiring.h"
#include "HistoryWindow.h"
#include "ImageButton.h"
#include "IncomingCallAlert.h"
#include "LinphoneEngine.h"
#include "MainWindow.h"
#include "MainWindowAdapter.h"
#include "PictureView.h"
#include "ProcessProbe.h"
#include "Registrar.h"
#include "RingPopup.h"
#include "RingTone.h"
#include "SnapshotPoller.h"
#include "StationSimulator.h"
#include "StationWiring.h"
#include "TelephonyWiring.h"

#include <QApplication>
#include <QNetworkDatagram>
#include <QProcess>
#include <QUdpSocket>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QPointer>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace EngineRig;
using namespace Qt::StringLiterals;
using Transitions = QList<QPair<int, int>>;

namespace {

/// The engine's event line comes within milliseconds; this bounds a loaded machine.
constexpr int kStateTimeoutMs = 10000;

/// Stations on loopback only. Station 1's extension 10 is a prefix of station 3's 101: a call from 101 matches
/// both, and station 3 wins as the later one.
ConfigRecord stationTable()
{
    ConfigRecord record;
    record.popupOnCall = 1;
    const QStringList stations{{}, u"127.0.0.6 10"_s, u"127.0.0.4 102"_s, u"127.0.0.3 101"_s};
    for (int i = 1; i < stations.size(); ++i) {
        const auto s = std::size_t(i);
        record.active[s] = 1;
        record.ipAddress[s] = stations[i].section(u' ', 0, 0);
        record.extension[s] = stations[i].section(u' ', 1, 1);
        record.description[s] = u"Varco %1"_s.arg(i + 1);
        record.param(ConfigRecord::kLockRelayParam, i) = 1;
        record.param(ConfigRecord::kLightRelayParam, i) = 10;
    }
    return record;
}

/// CPU time this process (the console included) has used, ms.
qint64 cpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return qint64(t.tv_sec) * 1000 + t.tv_usec / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

QString dataFile(const char* name)
{
    return QStringLiteral(QZ_SOURCE_DIR "/tests/data/") + QLatin1String(name);
}

} // namespace

class TestTelephonyE2e : public QObject
{
    Q_OBJECT
public:
    explicit TestTelephonyE2e(Home& home)
        : m_home(home)
        , m_console(home.root())
    {
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(u"linphonec"_s).isEmpty()
            || QStandardPaths::findExecutable(u"sipp"_s).isEmpty())
            QSKIP("needs linphonec (Debian package linphone-cli) and sipp (sip-tester)");
        QString error;
        QVERIFY2(m_home.isValid() && lockEngine(m_lock, 120000, &error), qPrintable(error));
        m_peerDir = m_home.makeDir(u"peers"_s);
        // Cameras, relays and door-call connections of stations 3, 2 and 1 (127.0.0.3, .4, .6).
        m_stations = std::make_unique<StationSimulator>(QStringList{u"--first"_s, u"3"_s, u"--count"_s, u"4"_s});
        QVERIFY2(m_stations->isReady(), qPrintable(m_stations->errorString()));
        m_sipPort = freeSipPort();
        QVERIFY(m_sipPort != 0 && writeEngineConfig(m_sipPort));
        QVERIFY2(startConsole(stationTable(), u"prog"_s, &error), qPrintable(error));
        // Without a sound card the engine runs on its file sound card (a null device made it run away).
        QCOMPARE(m_console.log().count(u"no sound card: engine uses its file sound card"_s),
                 AudioHardware::hasSoundCard() ? 0 : 1);
    }

    void init()
    {
        m_transitions.clear();
        m_popupsShown = 0;
        m_ringsPlayed = 0;
        m_logOffset = m_console.log().size();
        QVERIFY(!m_console || callState() == 0);
    }

    void cleanup()
    {
        if (m_console && callState() != 0) {
            // A failed test may leave a call up: end it so the next test starts idle.
            m_console->telephony().engine().hangUp();
            (void)QTest::qWaitFor([this] { return callState() == 0; }, kStateTimeoutMs);
        }
    }

    void cleanupTestCase()
    {
        QString error;
        QVERIFY2(m_console.stop(&error), qPrintable(error));
        m_stations.reset();
    }

    void stationCalls_data()
    {
        QTest::addColumn<int>("station");
        QTest::addColumn<QString>("answer"); // where the operator answers: in the popup, at the tile or not at all
        QTest::addColumn<bool>("fromTray");
        // Station 3 calls from 101, which also holds station 1's 10: the later station wins. Station 1 calls from 10.
        QTest::newRow("answered in the popup") << 3 << u"popup"_s << false;
        QTest::newRow("caller gives up") << 1 << QString() << false;
        QTest::newRow("from the tray, answered at the tile") << 3 << u"tile"_s << true;
    }

    void stationCalls()
    {
        QFETCH(int, station);
        QFETCH(QString, answer);
        QFETCH(bool, fromTray);
        MainWindow* w = m_console->mainWindow();
        // A tray host may come up after the console: ask again for a moment.
        if (fromTray && !QTest::qWaitFor([this] { return m_console->window()->minimizeToTray(); }, 3000))
            QSKIP("no notification area on this display (offscreen has none); ctest's telephony_tray_e2e has one");
        QTRY_VERIFY(m_console->state().inTray == int(fromTray) && w->isVisible() != fromTray);
        // The operator looked at the history before the call: nothing missed so far.
        m_console->openHistory();
        m_console->historyWindow()->close();
        QCOMPARE(m_console->history().recorder().missedCount(), 0);
        SipPeer caller(m_peerDir, u"station%1_%2"_s.arg(station).arg(QString::fromLatin1(QTest::currentDataTag())));
        QString error;
        const ConfigRecord& r = m_console->record();
        QVERIFY2(caller.call(dataFile(answer.isEmpty() ? "e2e_station_gives_up.xml" : "e2e_station_calls.xml"),
                             m_sipPort, r.ipAddress[station], r.extension[station], 3000, &error),
                 qPrintable(error));
        // Ringing on the caller's tile alone, the console out of the tray for it.
        QTRY_VERIFY2_WITH_TIMEOUT(callState() == 1, qPrintable(report() + caller.output()), kStateTimeoutMs);
        QCOMPARE(m_console->telephony().session().station(), station);
        QCOMPARE(tel(1) + tel(3), station == 1 ? u"tel_vtel_n"_s : u"tel_ntel_v"_s);
        QVERIFY(m_console->state().inTray == 0 && m_console->state().restoredForCall == int(fromTray));
        QTRY_VERIFY(w->isVisible() && m_console->ringPopup() && m_console->ringPopup()->isVisible());
        // The ring started: it plays, or (no audio output here) it says once why it is silent.
        QTRY_VERIFY2(m_ringsPlayed > 0 || report().contains("Ring tone silent"_L1), qPrintable(report()));
        QPointer<RingPopup> popup = m_console->ringPopup();
        // It says who calls and shows that station's camera (each simulated camera has a hue of its own), live and
        // decoded at the popup's size; the tile is marked.
        QCOMPARE(popup->caller(), u"Varco %1 (%1)"_s.arg(station + 1));
        const auto hue = [](const QImage& picture) { return picture.isNull() ? -1 : picture.pixelColor(3, 3).hue(); };
        const qint64 shownFirst = popup->pictureView()->picture().cacheKey();
        QTRY_VERIFY(popup->pictureView()->picture().cacheKey() != shownFirst
                    && popup->pictureView()->picture().width() >= popup->pictureView()->sizeInDevicePixels().width());
        QVERIFY2(qAbs(hue(popup->pictureView()->picture()) - hue(w->stationPicture(station))) < 8
                     && qAbs(hue(popup->pictureView()->picture()) - hue(w->stationPicture(2))) > 20,
                 qPrintable(u"%1 %2"_s.arg(hue(popup->pictureView()->picture())).arg(hue(w->stationPicture(station)))));
        QVERIFY(w->pictureView(station)->isMarked() && !w->pictureView(2)->isMarked());
        QTRY_VERIFY(!popup->slideTimer()->isActive());
        const QPoint rest = popup->pos();
        int slidOut = 0;
        connect(popup, &RingPopup::slidOut, this, [&slidOut] { ++slidOut; });
        // Where the popup is the moment the call ends, and the window's opacity meanwhile.
        QString atEnd;
        const auto ended = connect(session(), &CallSession::callStateChanged, this, [&atEnd, popup](const CallTransition& t) {
            if (t.to == CallState::Idle && popup)
                atEnd = u"visible %1 sliding %2 at %3,%4"_s.arg(popup->isVisible()).arg(popup->slideTimer()->isActive())
                            .arg(popup->pos().x()).arg(popup->pos().y());
        });
        const auto disconnectEnded = qScopeGuard([ended] { QObject::disconnect(ended); });
        double lowest = 1.0;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&lowest, w] { lowest = qMin(lowest, w->windowOpacity()); });
        sampler.start(2);

        if (answer == u"popup"_s)
            QTest::mouseClick(popup->answerButton(), Qt::LeftButton);
        if (answer == u"tile"_s) {
            QTest::mouseClick(w->telephoneButton(station), Qt::LeftButton);
            QVERIFY(!m_console->ringPopup() && report().contains("incoming"_L1)); // the popup goes at once
        }
        if (!answer.isEmpty()) {
            QTRY_VERIFY2_WITH_TIMEOUT(callState() == 3, qPrintable(report() + caller.output()), kStateTimeoutMs);
            QVERIFY(m_console->telephony().session().station() == station && tel(station) == "tel_r"_L1);
            QVERIFY(muteButtonShown() && isTopmost());
            // Used at rest, the popup's answer slides it out; either way it unloads.
            QTRY_VERIFY(popup.isNull() && !m_console->ringPopup());
        }
        // The station hangs up (after its talk, or before an answer). From the tray, the window fades out, goes
        // back there and is opaque again.
        QTRY_VERIFY2_WITH_TIMEOUT(callState() == 0, qPrintable(report() + caller.output()), kStateTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_console->state().inTray, int(fromTray), 5000);
        QTRY_VERIFY(w->isVisible() != fromTray && popup.isNull() && !m_console->ringPopup());
        QVERIFY2((lowest < 0.9) == fromTray && w->windowOpacity() == 1.0, qPrintable(QString::number(lowest)));
        // Not answered, the popup closed where it rested, no slide under way.
        QCOMPARE(atEnd, answer.isEmpty() ? u"visible 0 sliding 0 at %1,%2"_s.arg(rest.x()).arg(rest.y()) : QString());
        QCOMPARE(slidOut, answer == u"popup"_s ? 1 : 0);
        QVERIFY(tel(station) == "tel_n"_L1 && !muteButtonShown() && !isTopmost() && !w->pictureView(station)->isMarked());
        QCOMPARE(m_console->state().restoredForCall, 0);
        QCOMPARE(m_transitions, (answer.isEmpty() ? Transitions{{0, 1}, {1, 0}} : Transitions{{0, 1}, {1, 3}, {3, 0}}));
        QCOMPARE(m_popupsShown, 1);
        QVERIFY2(caller.finish(15000, &error), qPrintable(error));

        // In the history with the camera's pictures at the ring and at the answer; a missed call is counted on
        // the history button and in the tray tip until the history is opened.
        const HistoryEvent call = newestEvent();
        QCOMPARE(call.kind, HistoryKind::IncomingCall);
        QCOMPARE(call.station, station);
        QCOMPARE(call.description, r.description[station]);
        QCOMPARE(call.outcome, answer.isEmpty() ? HistoryOutcome::Missed : HistoryOutcome::Answered);
        QVERIFY(answer.isEmpty() ? call.durationSec < 0 : call.durationSec >= 1);
        QVERIFY(call.hasPicture[0] && call.hasPicture[1] == !answer.isEmpty());
        QCOMPARE(storedPictureSize(call.id, 0), QSize(640, 480));
        const int missed = answer.isEmpty() ? 1 : 0;
        QCOMPARE(m_console->history().recorder().missedCount(), missed);
        QCOMPARE(m_console->window()->trayTip().contains("- 1 missed call "_L1), missed == 1);
        QCOMPARE(historyBadge(), missed == 1 ? u"1"_s : QString());
        m_console->openHistory();
        QVERIFY(m_console->historyWindow()->isVisible());
        QVERIFY(m_console->history().recorder().missedCount() == 0 && historyBadge().isEmpty());
        QVERIFY(!m_console->window()->trayTip().contains("missed"_L1));
        m_console->historyWindow()->close();
        if (fromTray)
            m_console->window()->restoreFromTray(); // back for the tests that follow
        QTRY_VERIFY(w->isVisible());
    }

    void operatorCallsStationAndHangsUp_data()
    {
        QTest::addColumn<bool>("server");
        QTest::newRow("direct: the station's address") << false;
        QTest::newRow("server: the extension, through the registrar") << true;
    }

    void operatorCallsStationAndHangsUp()
    {
        QFETCH(bool, server);
        const QString kamailio = QStandardPaths::findExecutable(u"kamailio"_s);
        if (server && kamailio.isEmpty())
            QSKIP("kamailio is not installed (Debian package kamailio): no SIP registrar to register with");
        // Stopped with its workers by PID, whatever way the test ends.
        Registrar registrar(m_home.makeDir(u"registrar"_s));
        const auto registrarLog = [&registrar] { return registrar.log(); };
        const int station = server ? 3 : 2;
        const QString ip = server ? u"127.0.0.3"_s : u"127.0.0.4"_s;
        QString dialled = u"sip:127.0.0.4"_s;
        QString error;
        if (server) {
            QVERIFY2(m_console.stop(&error), qPrintable(error));
            QVERIFY2(registrar.start(dataFile("e2e_registrar.cfg"), {}, &error), qPrintable(error));
            const quint16 port = registrar.port(); // on 127.0.0.1, not on 5060
            // Station 3 registers as 101.
            SipPeer registration(m_peerDir, u"station3_registers"_s);
            QVERIFY2(registration.start({u"127.0.0.1:%1"_s.arg(port), u"-sf"_s, dataFile("e2e_station_registers.xml"),
                                         u"-i"_s, ip, u"-p"_s, QString::number(freeUdpPorts(QHostAddress(ip)).first),
                                         u"-au"_s, u"101"_s, u"-ap"_s, u"station-secret"_s},
                                        20, &error)
                         && registration.finish(20000, &error),
                     qPrintable(error + registrarLog()));
            ConfigRecord record = stationTable();
            record.useSipServer = 1;
            record.serverAddress = u"127.0.0.1:%1"_s.arg(port);
            record.userId = u"100"_s;
            record.password = u"console-secret"_s;
            m_logOffset = 0;
            // Every process's command line is read while the console starts and registers: the password is on none.
            QStringList exposed;
            QTimer procScan;
            connect(&procScan, &QTimer::timeout, this, [&exposed] {
                for (const QString& pid : QDir(u"/proc"_s).entryList(QDir::Dirs))
                    if (ProcessProbe::commandLine(pid.toLongLong()).contains("console-secret"_L1))
                        exposed.append(pid);
            });
            procScan.start(5);
            QVERIFY2(startConsole(record, u"prog-server"_s, &error), qPrintable(error));
            // Registered over the engine's socket: logged without the password, accepted by the registrar.
            QVERIFY2(report().contains(u"--host 127.0.0.1:%1 --username 100 --password ******"_s.arg(port))
                         && !report().contains("console-secret"_L1),
                     qPrintable(report()));
            QTRY_VERIFY2_WITH_TIMEOUT(registrarLog().contains("REGISTER of 100 saved"_L1), qPrintable(registrarLog()),
                                      10000);
            procScan.stop();
            QVERIFY2(exposed.isEmpty(), qPrintable(exposed.join(u' ')));
            // The engine's own files: its output copy masks the password, and what holds it is the operator's alone.
            const QString engineDir = QFileInfo(m_console->telephony().engine().options().configPath).absolutePath();
            QTRY_VERIFY(readText(engineDir + u"/linphonec.log"_s).contains("Receiving command 'register"_L1));
            for (const QString& file : {u"linphonec.log"_s, u"linphonec.log.1"_s, u"linphonerc"_s}) {
                const QFileInfo info(engineDir + u'/' + file);
                QVERIFY2(!info.exists() || (info.permissions() & 0x0077) == 0, qPrintable(info.filePath()));
                QVERIFY2(file == u"linphonerc"_s || !readText(info.filePath()).contains("console-secret"_L1),
                         qPrintable(info.filePath()));
            }
            dialled = u"sip:101@127.0.0.1:%1"_s.arg(port);
        }

        // The station's intercom waits at its address, port 5060; dialled before it listens, the call would
        // reach nobody.
        SipPeer peer(m_peerDir, u"station%1_answers"_s.arg(station));
        QVERIFY2(udpPortFree(QHostAddress(ip), 5060), qPrintable(ip));
        QVERIFY2(peer.start({u"-sf"_s, dataFile("e2e_station_answers.xml"), u"-i"_s, ip, u"-p"_s, u"5060"_s, u"-mi"_s,
                             ip, u"-mp"_s, QString::number(freeUdpPorts(QHostAddress(ip)).first), u"-d"_s, u"1500"_s},
                            60, &error)
                     && waitUntilBound(QHostAddress(ip), 5060, 10000),
                 qPrintable(error + peer.output()));
        QTest::mouseClick(m_console->mainWindow()->telephoneButton(station), Qt::LeftButton);
        QCOMPARE(m_console->telephony().session().station(), station);
        QTRY_VERIFY2_WITH_TIMEOUT(callState() == 2, qPrintable(report() + peer.output()), kStateTimeoutMs);
        QVERIFY2(tel(station) == "tel_b"_L1 && report().contains(dialled), qPrintable(report()));
        QTRY_VERIFY2_WITH_TIMEOUT(callState() == 3, qPrintable(report() + peer.output()), kStateTimeoutMs);
        QVERIFY(tel(station) == "tel_r"_L1 && muteButtonShown() && isTopmost() && !m_console->ringPopup());
        QVERIFY2(!server || registrarLog().contains("INVITE to 101 relayed to sip:101@127.0.0.3:5060"_L1),
                 qPrintable(registrarLog()));

        // The same button hangs up.
        QTest::mouseClick(m_console->mainWindow()->telephoneButton(station), Qt::LeftButton);
        QVERIFY2(report().contains("hungup"_L1), qPrintable(report()));
        QTRY_VERIFY2_WITH_TIMEOUT(callState() == 0, qPrintable(report() + peer.output()), kStateTimeoutMs);
        QVERIFY(tel(station) == "tel_n"_L1 && !muteButtonShown() && !isTopmost() && m_popupsShown == 0);
        QCOMPARE(m_transitions, (Transitions{{0, 2}, {2, 3}, {3, 0}}));
        const HistoryEvent call = newestEvent();
        QVERIFY(call.kind == HistoryKind::OutgoingCall && call.station == station);
        QVERIFY(call.outcome == HistoryOutcome::Answered && call.hasPicture[0] && call.hasPicture[1]);
        // The station saw the whole call, the operator's BYE included.
        QVERIFY2(peer.finish(15000, &error), qPrintable(error + registrarLog()));

        if (server) {
            // An engine replaced after a crash registers again.
            const qsizetype registrations = registrarLog().count("REGISTER of 100 saved"_L1);
            QVERIFY(::kill(pid_t(m_console->telephony().engine().startedPid()), SIGKILL) == 0);
            QTRY_VERIFY_WITH_TIMEOUT(!m_console->telephony().supervisor().isTelephonyUp(), 2000);
            QTRY_VERIFY2_WITH_TIMEOUT(m_console->telephony().supervisor().isTelephonyUp(), qPrintable(report()), 15000);
            QTRY_VERIFY2_WITH_TIMEOUT(registrarLog().count("REGISTER of 100 saved"_L1) > registrations,
                                      qPrintable(report() + registrarLog()), 10000);
            QVERIFY2(report().count(u"--password ******"_s) == 2 && !report().contains("console-secret"_L1),
                     qPrintable(report() + registrarLog()));
        }
    }

    void ringsFromTheEventLineAlone()
    {
        // The backstop poll slowed far beyond any ring: what moves the call is the engine's event line.
        CallSession* call = session();
        const int backstopMs = call->backstopIntervalMs();
        call->startBackstop(600000);
        const auto restore = qScopeGuard([call, backstopMs] { call->startBackstop(backstopMs); });
        QSignalSpy polls(call, &CallSession::statusPolled);
        SipPeer caller(m_peerDir, u"event_line"_s);
        QElapsedTimer sinceInvite;
        sinceInvite.start();
        QVERIFY2(answeredAtTile(caller, 2), qPrintable(report() + caller.output()));
        QVERIFY2(sinceInvite.elapsed() < 5000, qPrintable(QString::number(sinceInvite.elapsed())));
        QTRY_VERIFY2_WITH_TIMEOUT(callState() == 0, qPrintable(report() + caller.output()), kStateTimeoutMs);
        QCOMPARE(m_transitions, (Transitions{{0, 1}, {1, 3}, {3, 0}}));
        QCOMPARE(polls.count(), 0);
        QString error;
        QVERIFY2(caller.finish(15000, &error), qPrintable(error));

        // A caller that is no station: the popup shows its address, no tile is marked.
        SipPeer stranger(m_peerDir, u"stranger"_s);
        QVERIFY2(stranger.call(dataFile("e2e_station_gives_up.xml"), m_sipPort, u"127.0.0.9"_s, u"999"_s, 2000, &error),
                 qPrintable(error));
        QTRY_VERIFY2_WITH_TIMEOUT(m_console->ringPopup(), qPrintable(report() + stranger.output()), kStateTimeoutMs);
        QVERIFY2(m_console->ringPopup()->caller().startsWith("sip:999@127.0.0.9"_L1),
                 qPrintable(m_console->ringPopup()->caller()));
        for (int i = 0; i < 16; ++i)
            QVERIFY(!m_console->mainWindow()->pictureView(i)->isMarked());
        QTRY_VERIFY_WITH_TIMEOUT(callState() == 0, kStateTimeoutMs);
        QVERIFY2(stranger.finish(15000, &error), qPrintable(error));
    }

    void doorCallAndDoorOpenAreRecorded()
    {
        const qint64 before = newestEvent().id;
        // Simulated station 0 is the console's station 3.
        m_stations->send(u"call 0"_s);
        QTRY_VERIFY_WITH_TIMEOUT(newestEvent().id > before, 5000);
        HistoryEvent doorCall = newestEvent();
        QVERIFY(doorCall.kind == HistoryKind::DoorCall && doorCall.station == 3);
        QCOMPARE(doorCall.outcome, HistoryOutcome::Ringing);
        m_stations->send(u"end 0"_s);
        QTRY_COMPARE_WITH_TIMEOUT(newestEvent().outcome, HistoryOutcome::Ended, 5000);
        QTest::mouseClick(m_console->mainWindow()->lockButton(3), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(newestEvent().kind == HistoryKind::DoorOpen, 5000);
        const HistoryEvent doorOpen = newestEvent();
        QCOMPARE(doorOpen.station, 3);
        QCOMPARE(doorOpen.outcome, HistoryOutcome::Sent);
        QCOMPARE(storedPictureSize(doorCall.id, 0), QSize(640, 480));
        QCOMPARE(storedPictureSize(doorOpen.id, 0), QSize(640, 480));
    }

    void everyTileButtonActsForItsStation_data()
    {
        QTest::addColumn<int>("stations");
        for (int n : {1, 4, 9, 16})
            QTest::addRow("%d stations", n) << n;
    }

    // In the smallest window the console allows, a click at the centre of each tile's telephone button calls that
    // station (its INVITE, refused with 486, reaches the station's address) and its lock button opens that door.
    void everyTileButtonActsForItsStation()
    {
        QFETCH(int, stations);
        StationSimulator relays({u"--first"_s, u"20"_s, u"--count"_s, u"16"_s});
        QVERIFY2(relays.isReady(), qPrintable(relays.errorString()));
        // What the configuration dialog's OK does: the record changes, the tiles are laid out again.
        auto& record = const_cast<ConfigRecord&>(m_console->record());
        const auto restore = qScopeGuard([&record, saved = record, this] {
            record = saved;
            m_console->mainWindow()->layOut();
        });
        record.useSipServer = 0; // calls go to the station's address
        for (int i = 0; i < 16; ++i) {
            record.active[std::size_t(i)] = i < stations;
            record.ipAddress[std::size_t(i)] = StationSimulator::address(20, i);
            record.param(ConfigRecord::kLockRelayParam, i) = 1;
        }
        MainWindow* w = m_console->mainWindow();
        w->layOut();
        w->resize(w->minimumSize());
        QTRY_COMPARE(w->size(), w->minimumSize());
        for (int i = 0; i < stations; ++i) {
            const QString ip = StationSimulator::address(20, i);
            for (ImageButton* button : {w->telephoneButton(i), w->lockButton(i)})
                QCOMPARE(w->childAt(button->mapTo(w, button->rect().center())), button);
            QUdpSocket sip;
            QVERIFY(sip.bind(QHostAddress(ip), 5060, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
            QTest::mouseClick(w->telephoneButton(i), Qt::LeftButton);
            QTRY_VERIFY2(sip.hasPendingDatagrams(), qPrintable(report()));
            const QNetworkDatagram invite = sip.receiveDatagram();
            QVERIFY2(invite.data().startsWith("INVITE sip:" + ip.toLatin1()), invite.data().constData());
            QByteArray busy = "SIP/2.0 486 Busy Here\r\n";
            for (const QByteArray& line : invite.data().split('\n'))
                for (const char* header : {"Via:", "From:", "To:", "Call-ID:", "CSeq:"})
                    if (line.startsWith(header))
                        busy += line.trimmed() + (header == std::string_view("To:") ? ";tag=busy\r\n" : "\r\n");
            sip.writeDatagram(busy + "Content-Length: 0\r\n\r\n", invite.senderAddress(), invite.senderPort());
            const Transitions refused{{0, 2}, {2, 0}};
            QTRY_VERIFY2_WITH_TIMEOUT(callState() == 0 && m_transitions.mid(m_transitions.size() - 2) == refused,
                                      qPrintable(report()), kStateTimeoutMs);
            QTest::mouseClick(w->lockButton(i), Qt::LeftButton);
            QVERIFY(relays.waitForLine(QRegularExpression(u"^relay %1 %2 101$"_s.arg(i).arg(ip)), 5000));
        }
    }

    // Real key presses on a real X display (ctest's telephony_keys_e2e): the keys act in the active console
    // window only, never in another program's.
    void keysServeTheCall()
    {
        if (QGuiApplication::platformName() != "xcb"_L1)
            QSKIP("needs an X display with a window manager; ctest's telephony_keys_e2e has one");
        const auto xdotool = [](const QStringList& arguments) {
            QProcess p;
            p.start(u"xdotool"_s, arguments);
            p.waitForFinished(10000);
            return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
        };
        const auto activate = [&xdotool](const QString& window) { xdotool({u"windowactivate"_s, u"--sync"_s, window}); };
        QProcess other; // xev: a window that takes keys and does nothing with them
        other.setStandardOutputFile(QProcess::nullDevice());
        other.start(u"xev"_s, {});
        const auto stopOther = qScopeGuard([&other] {
            other.kill();
            other.waitForFinished(5000);
        });
        QString otherWindow;
        QTRY_VERIFY_WITH_TIMEOUT(!(otherWindow = xdotool({u"search"_s, u"--name"_s, u"^Event Tester$"_s})).isEmpty(),
                                 10000);
        const QString console = QString::number(m_console->mainWindow()->winId());
        const ConfigRecord& r = m_console->record();
        QString error;
        const auto ring = [&](SipPeer& caller) {
            return caller.call(dataFile("e2e_station_keys.xml"), m_sipPort, r.ipAddress[3], r.extension[3], 0, &error)
                && QTest::qWaitFor([this] { return callState() == 1; }, kStateTimeoutMs);
        };

        SipPeer refused(m_peerDir, u"keys_refused"_s);
        QVERIFY2(ring(refused), qPrintable(error + report() + refused.output()));
        activate(otherWindow);
        QTRY_VERIFY(!QApplication::activeWindow());
        xdotool({u"key"_s, u"Return"_s});
        QTest::qWait(1000); // what Return would have done takes ~20 ms
        QVERIFY2(callState() == 1 && !report().contains("incoming"_L1), qPrintable(report()));
        activate(console);
        QTRY_VERIFY(QApplication::activeWindow() == m_console->mainWindow());
        xdotool({u"key"_s, u"Escape"_s});
        QTRY_VERIFY2_WITH_TIMEOUT(callState() == 0, qPrintable(report()), kStateTimeoutMs);
        QVERIFY(!m_console->ringPopup());
        QCOMPARE(newestEvent().outcome, HistoryOutcome::Rejected);
        QVERIFY2(refused.finish(15000, &error), qPrintable(error)); // it was refused and acknowledged that

        SipPeer answered(m_peerDir, u"keys_answered"_s);
        QVERIFY2(ring(answered), qPrintable(error + report() + answered.output()));
        activate(console);
        QTRY_VERIFY(QApplication::activeWindow() == m_console->mainWindow());
        xdotool({u"key"_s, u"Return"_s});
        QTRY_VERIFY2_WITH_TIMEOUT(callState() == 3, qPrintable(report() + answered.output()), kStateTimeoutMs);
        xdotool({u"key"_s, u"End"_s});
        QTRY_VERIFY2_WITH_TIMEOUT(callState() == 0, qPrintable(report()), kStateTimeoutMs);
        QVERIFY(report().contains("incoming"_L1) && report().contains("hungup"_L1));
        QCOMPARE(m_transitions, (Transitions{{0, 1}, {1, 0}, {0, 1}, {1, 3}, {3, 0}}));
        QVERIFY2(answered.finish(15000, &error), qPrintable(error)); // it was answered, then got the console's BYE
    }

    void engineLostInACallIsReplaced_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("idleWithinMs");
        QTest::newRow("killed") << int(SIGKILL) << 1000;
        // A stopped daemon is found hung by the first request it leaves unanswered for 2 s; the backstop poll
        // asks every 2 s.
        QTest::newRow("stopped") << int(SIGSTOP) << 6000;
    }

    void engineLostInACallIsReplaced()
    {
        QFETCH(int, signal);
        QFETCH(int, idleWithinMs);
        SipPeer caller(m_peerDir, u"lost_%1"_s.arg(QString::fromLatin1(QTest::currentDataTag())));
        QVERIFY2(answeredAtTile(caller, 3), qPrintable(report() + caller.output()));

        // The cameras go on while the engine hangs or is replaced: the longest wait between two pictures of a tile.
        QElapsedTimer sinceFrame;
        qint64 longestGapMs = 0;
        const auto frames = connect(&m_console->stations().poller(), &SnapshotPoller::frameReceived, this,
                                    [&sinceFrame, &longestGapMs](int station) {
                                        if (station != 3)
                                            return;
                                        if (sinceFrame.isValid())
                                            longestGapMs = qMax(longestGapMs, sinceFrame.elapsed());
                                        sinceFrame.start();
                                    });
        const auto disconnectFrames = qScopeGuard([frames] { QObject::disconnect(frames); });

        // The call is gone with its engine: at once the tile is idle, nothing pretends otherwise.
        const qint64 pid = m_console->telephony().engine().startedPid();
        QVERIFY(::kill(pid_t(pid), signal) == 0);
        QTRY_VERIFY2_WITH_TIMEOUT(callState() == 0, qPrintable(report()), idleWithinMs);
        QVERIFY(tel(3) == "tel_n"_L1 && !muteButtonShown() && !isTopmost() && !m_console->ringPopup());
        QVERIFY(m_console->window()->trayTip().contains("SIP engine not running"_L1));
        // A new engine of its own soon after, the old one gone (a stopped one killed by its PID, and not taken for
        // a daemon that answers while its socket still takes connections).
        QTRY_VERIFY2_WITH_TIMEOUT(m_console->telephony().supervisor().isTelephonyUp(), qPrintable(report()), 5000);
        QVERIFY2(!report().contains("already answers"_L1), qPrintable(report()));
        QVERIFY(m_console->telephony().engine().startedPid() != pid);
        QTRY_VERIFY(ProcessProbe::gone(pid));
        QVERIFY2(sinceFrame.isValid() && longestGapMs < 1500, qPrintable(QString::number(longestGapMs)));
        QVERIFY(!m_console->window()->trayTip().contains("SIP engine not running"_L1));
        // One line opens the outage, one closes it.
        const QString log = report();
        QVERIFY2(log.count(u"engine: lost"_s) + log.count(u"engine: no answer"_s) == 1
                     && log.count(u"engine: running again after"_s) == 1,
                 qPrintable(log));

        // The next door call gets through, answered from its tile.
        SipPeer next(m_peerDir, u"after_%1"_s.arg(QString::fromLatin1(QTest::currentDataTag())));
        QVERIFY2(answeredAtTile(next, 2), qPrintable(report() + next.output()));
        QTRY_VERIFY2_WITH_TIMEOUT(callState() == 0, qPrintable(report() + next.output()), kStateTimeoutMs);
        QString error;
        QVERIFY2(next.finish(15000, &error), qPrintable(error));
    }

    void withoutTheEngineProgramCamerasAndRelaysWork()
    {
        QString error;
        QVERIFY2(m_console.stop(&error), qPrintable(error));
        StationSimulator station({u"--first"_s, u"7"_s, u"--count"_s, u"1"_s});
        QVERIFY2(station.isReady(), qPrintable(station.errorString()));
        ConfigRecord record = stationTable();
        record.active[4] = 1;
        record.ipAddress[4] = u"127.0.0.7"_s;
        record.param(ConfigRecord::kLockRelayParam, 4) = 1;
        // The console looks the engine up in the PATH: one with the engine's shell but not the engine.
        const QString bin = m_home.makeDir(u"bin-no-engine"_s);
        QVERIFY(QFile::link(QStandardPaths::findExecutable(u"linphonecsh"_s), bin + u"/linphonecsh"_s));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.toLocal8Bit());
        auto restorePath = qScopeGuard([&path] { qputenv("PATH", path); });
        m_logOffset = 0;
        QVERIFY2(m_console.start(m_home.makeDir(u"prog-no-engine"_s), record, &error, false), qPrintable(error));
        MainWindow* w = m_console->mainWindow();
        QTRY_VERIFY_WITH_TIMEOUT(!w->stationPicture(4).isNull(), 5000);
        QTest::mouseClick(w->lockButton(4), Qt::LeftButton);
        QVERIFY(station.waitForLine(QRegularExpression(u"^relay 0 127.0.0.7 101$"_s), 5000));
        QVERIFY(m_console->window()->trayTip().contains("SIP engine not running"_L1));

        // Waiting for the program costs nothing: no busy loop, a bounded log.
        const qint64 cpuBefore = cpuMs();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(6000);
        const double busy = double(cpuMs() - cpuBefore) / double(wall.elapsed());
        QVERIFY2(busy < 0.25, qPrintable(QString::number(busy)));
        QVERIFY2(report().count(u"engine: "_s) <= 3, qPrintable(report()));
        QVERIFY(!m_console->telephony().supervisor().isTelephonyUp());

        restorePath.dismiss();
        qputenv("PATH", path);
        QVERIFY2(m_console.stop(&error), qPrintable(error));
        m_logOffset = 0;
        QVERIFY2(startConsole(stationTable(), u"prog-again"_s, &error), qPrintable(error));
    }

    void engineHungInShutdownIsWokenWhenTheConsoleEnds()
    {
        // SIGTERM makes linphonec remove its socket and then wait forever for its socket thread, which sits in
        // accept(): the same hang that sometimes follows "quit". The console's close must wake the thread through
        // the socket's second name rather than kill the engine (CallConsole::stop fails on a kill).
        const qint64 pid = m_console->telephony().engine().startedPid();
        const QString socketPath = EngineSocketClient::defaultSocketPath();
        QVERIFY(QFileInfo::exists(socketPath + u".wake"_s));
        // The thread polls for 20 ms after a command before it goes back to accept(): no polls from now on.
        session()->stopBackstop();
        QTest::qWait(300);
        QVERIFY(::kill(pid_t(pid), SIGTERM) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(socketPath), 5000);
        QTest::qWait(500);
        QVERIFY2(!ProcessProbe::gone(pid), "linphonec no longer hangs after SIGTERM: the wake path is not exercised");
        QString error;
        QVERIFY2(m_console.stop(&error), qPrintable(error));
        QVERIFY(ProcessProbe::gone(pid) && !QFileInfo::exists(socketPath + u".wake"_s));
    }

private:
    bool startConsole(const ConfigRecord& record, const QString& dirName, QString* error)
    {
        if (!m_console.start(m_home.makeDir(dirName), record, error))
            return false;
        connect(session(), &CallSession::callStateChanged, this,
                [this](const CallTransition& t) { m_transitions.append({int(t.from), int(t.to)}); });
        connect(&m_console->telephony().alert(), &IncomingCallAlert::popupShown, this,
                [this] { ++m_popupsShown; });
        connect(&m_console->telephony().ringTone(), &RingTone::ringPlayed, this, [this] { ++m_ringsPlayed; });
        return true;
    }

    /// station calls through caller and the operator answers at the station's tile.
    bool answeredAtTile(SipPeer& caller, int station)
    {
        const ConfigRecord& r = m_console->record();
        QString error;
        if (!caller.call(dataFile("e2e_station_calls.xml"), m_sipPort, r.ipAddress[station], r.extension[station], 3000,
                         &error)
            || !QTest::qWaitFor([this] { return callState() == 1; }, kStateTimeoutMs)
            || m_console->telephony().session().station() != station)
            return false;
        QTest::mouseClick(m_console->mainWindow()->telephoneButton(station), Qt::LeftButton);
        return QTest::qWaitFor([this] { return callState() == 3; }, kStateTimeoutMs);
    }

    /// The newest event of the console's history, once what was recorded so far is stored.
    HistoryEvent newestEvent()
    {
        HistoryArchive* archive = &m_console->history().archive();
        archive->flush();
        HistoryEvent newest;
        bool answered = false;
        archive->queryEvents(HistoryFilter{{}, {}, {}, 1}, [&](const QList<HistoryEvent>& events) {
            newest = events.value(0);
            answered = true;
        });
        (void)QTest::qWaitFor([&answered] { return answered; }, 5000);
        return newest;
    }

    /// Size of the stored picture (invalid when there is none or it does not decode).
    QSize storedPictureSize(qint64 eventId, int slot)
    {
        QImage picture;
        bool answered = false;
        m_console->history().archive().queryPicture(eventId, slot, [&](const QByteArray& jpeg) {
            picture = QImage::fromData(jpeg, "JPEG");
            answered = true;
        });
        (void)QTest::qWaitFor([&answered] { return answered; }, 5000);
        return picture.size();
    }

    QString historyBadge() const { return m_console->mainWindow()->commandButton(CommandButton::History)->badge(); }
    CallSession* session() const { return &m_console->telephony().session(); }
    /// The call state as a number (0 idle, 1 ringing, 2 dialling, 3 in a call), for short comparisons.
    int callState() const { return int(session()->state()); }
    QString tel(int station) const { return m_console->mainWindow()->telephoneImage(station); }
    bool isTopmost() const { return m_console->mainWindow()->windowFlags().testFlag(Qt::WindowStaysOnTopHint); }
    bool muteButtonShown() const
    {
        return m_console->mainWindow()->commandButton(CommandButton::Microphone)->isVisible();
    }
    /// The log written since the current test began: what a failure report shows.
    QString report() const { return m_console.log().mid(m_logOffset); }

    Home& m_home;
    QLockFile m_lock{lockPath()};
    std::unique_ptr<StationSimulator> m_stations;
    CallConsole m_console;
    quint16 m_sipPort = 0;
    QString m_peerDir;
    Transitions m_transitions;
    int m_popupsShown = 0;
    int m_ringsPlayed = 0;
    qsizetype m_logOffset = 0;
};

// HOME and the XDG folders must point at the test's own before QApplication exists: some of Qt reads them only
// once.
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

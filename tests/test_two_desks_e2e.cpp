// Two desks as one SIP user at kamailio (docs/pbx/kamailio-desks.cfg), called by a station: when one answers, the other
// stops ringing at once and records the call as answered elsewhere. Desk B runs here, desk A as a second user on X.

#include "AccountConsole.h"
#include "CallConsole.h"
#include "CallControl.h"
#include "CallSession.h"
#include "ConfigRecord.h"
#include "ConsoleApplication.h"
#include "EngineSocketClient.h"
#include "EngineSupervisor.h"
#include "HistoryRecorder.h"
#include "HistoryWindow.h"
#include "HistoryWiring.h"
#include "ImageButton.h"
#include "LinphoneEngine.h"
#include "MainWindow.h"
#include "MainWindowAdapter.h"
#include "ProcessProbe.h"
#include "Registrar.h"
#include "RingPopup.h"
#include "StationSimulator.h"
#include "TelephonyWiring.h"

#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include <unistd.h>

using namespace EngineRig;
using namespace Qt::StringLiterals;

namespace {
constexpr int kStateTimeoutMs = 10000;
constexpr qint64 kTakenWithinMs = 300; ///< from desk A's answer to desk B's popup closing, the server's CANCEL included
const QString kStationIp = StationSimulator::address(171, 0);
const QString kScenario = QStringLiteral(QZ_SOURCE_DIR "/tests/data/two_desks_station_calls.xml");
Home g_home; ///< the run's own HOME and XDG folders, in use before QApplication reads them

/// A desk's newest incoming call as stored, "N calls, OUTCOME at DESK, station S, ring picture P", and its length in s.
QPair<QString, int> newestCall(const QString& home)
{
    if (!QSqlDatabase::contains(home)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, home);
        db.setDatabaseName(home + u"/.local/share/qzconsole/qzconsole/history/history.db"_s);
        db.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
    }
    QSqlQuery q(QSqlDatabase::database(home));
    if (q.exec(u"SELECT printf('%d calls, %s at %s, station %s, ring picture %d', count(*) OVER (), outcome, desk, "
               "station, EXISTS (SELECT 1 FROM pictures p WHERE p.event_id = e.id AND p.slot = 0)), coalesce("
               "duration_s, -1) FROM events e WHERE kind = 'incoming call' ORDER BY id DESC LIMIT 1"_s) && q.next())
        return {q.value(0).toString(), q.value(1).toInt()};
    return {};
}

/// Runs a command line whose arguments hold no spaces: its output, empty when it did not end within 5 s.
QString run(const QString& command)
{
    QProcess p;
    p.startCommand(command);
    return p.waitForFinished(5000) ? QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed() : QString();
}

/// Runs the event loop until done() or timeoutMs, checking every millisecond (QTest's waits sleep 10 ms).
bool waitClosely(const std::function<bool()>& done, int timeoutMs)
{
    for (QDeadlineTimer deadline(timeoutMs); !done() && !deadline.hasExpired(); QThread::usleep(1000))
        QCoreApplication::processEvents();
    return done();
}
} // namespace

class TestTwoDesksE2e : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The console's names, so that desk B keeps its history where desk A does.
        QCoreApplication::setOrganizationName(u"qzconsole"_s);
        QCoreApplication::setApplicationName(u"qzconsole"_s);
        if (::geteuid() != 0 || qgetenv("QT_QPA_PLATFORM") != "xcb")
            QSKIP("needs root (desk A is user qzdesk-a) and X: ctest runs it under tests/desktop/xsession.sh");
        for (const QString& tool : u"linphonec sipp kamailio xdotool xprop runuser setpriv useradd"_s.split(u' '))
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(tool + u" is not installed (scripts/install-deps.sh installs what the tests need)"_s));
        QString error;
        QVERIFY2(g_home.isValid() && lockEngine(m_lock, 120000, &error), qPrintable(error));
        QVERIFY2(AccountConsole::ensureAccount(u"qzdesk-a"_s, &error), qPrintable(error));
        // A daemon of that account left running would be used instead of one on the test's port.
        QVERIFY2(!EngineSocketClient::request(m_deskA.engineSocket(), "status hook", 1000).ok,
                 qPrintable(m_deskA.engineSocket()));
        m_station = std::make_unique<StationSimulator>(QStringList{u"--first"_s, u"171"_s, u"--count"_s, u"1"_s});
        QVERIFY2(m_station->isReady(), qPrintable(m_station->errorString()));
        const QStringList secrets{u"DESK_SECRET=\"two-desks-secret\""_s, u"STATION_SECRET=\"station-secret\""_s};
        QVERIFY2(m_registrar.start(QStringLiteral(QZ_SOURCE_DIR "/docs/pbx/kamailio-desks.cfg"), secrets, &error),
                 qPrintable(error));
        const ConfigRecord record{.serverAddress = u"127.0.0.1:%1"_s.arg(m_registrar.port()), .userId = u"100"_s,
                                  .password = u"two-desks-secret"_s, .active = {1}, .ipAddress = {kStationIp},
                                  .extension = {u"101"_s}, .useSipServer = 1, .description = {u"Front door"_s},
                                  .popupOnCall = 1};
        m_portB = freeSipPort();
        m_portA = freeSipPort(m_portB + 2);
        QVERIFY(m_portB != 0 && m_portA != 0 && writeEngineConfig(m_portB));
        QSettings(g_home.root() + u"/home/.config/qzr/qzr.conf"_s, QSettings::IniFormat)
            .setValue(u"settings/deskName"_s, u"Desk B"_s);
        QVERIFY2(m_deskB.start(g_home.makeDir(u"prog"_s), record, &error), qPrintable(error));
        QVERIFY2(m_deskA.start(record, m_portA, {u"deskName=Desk A"_s}, &error), qPrintable(error));
        // Both registered as 100, each with a contact of its own.
        const auto registeredPorts = [this] {
            static const QRegularExpression saved(u"REGISTER of 100 saved: <sip:100@127\\.0\\.0\\.1:(\\d+)"_s);
            QSet<int> ports;
            for (const QRegularExpressionMatch& m : saved.globalMatch(m_registrar.log()))
                ports.insert(m.captured(1).toInt());
            return ports;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(registeredPorts() == (QSet<int>{m_portA, m_portB}),
                                  qPrintable(m_registrar.log() + m_deskA.log()), 20000);
        m_enginePidA = m_deskA.enginePid();
        m_enginePidB = m_deskB->telephony().engine().startedPid();
        connect(&m_deskB->telephony().session(), &CallSession::callStateChanged, this,
                [this](const CallTransition& t) { m_movesB.append(t); });
    }

    void cleanup()
    {
        // A failed test may leave a call up at either desk: ended, so that the next one starts idle.
        if (!m_deskB || !QTest::currentTestFailed())
            return;
        if (callStateB() != CallState::Idle)
            m_deskB->telephony().engine().hangUp();
        EngineSocketClient::request(m_deskA.engineSocket(), "terminate all");
        QTRY_COMPARE_WITH_TIMEOUT(callStateB(), CallState::Idle, kStateTimeoutMs);
    }

    void cleanupTestCase()
    {
        QString errorA, errorB;
        const bool stoppedA = m_deskA.stop(&errorA);
        QVERIFY2(m_deskB.stop(&errorB) && stoppedA, qPrintable(errorA + errorB));
    }

    void callTakenAtTheOtherDesk_data()
    {
        QTest::addColumn<bool>("bothAnswer");
        QTest::newRow("A answers") << false;
        QTest::newRow("B answers the instant A did") << true;
        QTest::newRow("after the race, A answers again") << false;
    }

    void callTakenAtTheOtherDesk()
    {
        QFETCH(bool, bothAnswer);
        QVERIFY2(m_deskB->telephony().supervisor().isTelephonyUp(), qPrintable(u"B's engine is down\n"_s + report()));
        QCOMPARE(callStateB(), CallState::Idle);
        m_logOffset = m_deskB.log().size();
        m_movesB.clear();
        const int callsA = newestCall(m_deskA.home()).first.section(u' ', 0, 0).toInt();
        const int callsB = newestCall(g_home.root() + u"/home"_s).first.section(u' ', 0, 0).toInt();
        const auto answeredBy = [this, from = m_registrar.log().size()] {
            return m_registrar.log().mid(from).section(u"answered by "_s, 1, 1).section(u'\n', 0, 0);
        };
        // Station 101 calls the desks' user 100 through the server; after A answers it talks 2.5 s and hangs up.
        SipPeer station(g_home.makeDir(u"peers"_s), u"station"_s);
        const auto [sipPort, mediaPort] = freeUdpPorts(QHostAddress(kStationIp));
        const QString args = u"-s 100 -key station 101 -au 101 -ap station-secret -i %1 -p %2 -mi %1 -mp %3 -d 2500"_s;
        QString error;
        QVERIFY2(station.start(QStringList{u"127.0.0.1:%1"_s.arg(m_registrar.port()), u"-sf"_s, kScenario}
                                   + args.arg(kStationIp).arg(sipPort).arg(mediaPort).split(u' '), 60, &error),
                 qPrintable(error));
        // It rings at both desks: B's popup comes to rest, and A's at the same place of the one screen.
        QPointer<RingPopup> popup;
        QTRY_VERIFY2_WITH_TIMEOUT(callStateB() == CallState::Incoming && (popup = m_deskB->ringPopup())
                                      && popup->isVisible() && !popup->slideTimer()->isActive(),
                                  qPrintable(report() + station.output() + m_registrar.log()), kStateTimeoutMs);
        qulonglong popupA = 0;
        QTRY_VERIFY2_WITH_TIMEOUT(popup && (popupA = popupOfDeskA(popup->geometry())) != 0, qPrintable(m_deskA.log()),
                                  kStateTimeoutMs);
        // A's operator clicks its answer button (it answers when released), A's popup raised over B's first.
        run(u"xdotool windowraise %1"_s.arg(popupA));
        QTRY_VERIFY(run(u"xprop -root _NET_CLIENT_LIST_STACKING"_s).endsWith(u"0x%1"_s.arg(popupA, 0, 16)));
        const QPoint answer = popup->pos() + popup->answerButton()->geometry().center();
        run(u"xdotool mousemove %1 %2 mousedown 1"_s.arg(answer.x()).arg(answer.y()));
        QElapsedTimer sinceAnswer;
        sinceAnswer.start();
        run(u"xdotool mouseup 1"_s);
        if (bothAnswer) {
            // B's operator answers the instant A's answer has passed the server, its CANCEL to B on the way.
            QVERIFY2(waitClosely([&] { return !answeredBy().isEmpty(); }, kStateTimeoutMs),
                     qPrintable(m_registrar.log()));
            qInfo("desk B answers %lld ms after desk A, %s", sinceAnswer.elapsed(), popup ? "in its popup" : "popup gone");
            popup ? QTest::mouseClick(popup->answerButton(), Qt::LeftButton)
                  : m_deskB->telephony().control().answerFromPopup();
        }
        qint64 ringEndedMs = -1, popupGoneMs = -1;
        waitClosely([&] {
            ringEndedMs = ringEndedMs < 0 && callStateB() != CallState::Incoming ? sinceAnswer.elapsed() : ringEndedMs;
            popupGoneMs = popupGoneMs < 0 && (!popup || !popup->isVisible()) ? sinceAnswer.elapsed() : popupGoneMs;
            return ringEndedMs >= 0 && popupGoneMs >= 0;
        }, kStateTimeoutMs);
        qInfo("desk B: ringing ended %lld ms, popup gone %lld ms after desk A's answer", ringEndedMs, popupGoneMs);
        QVERIFY2(ringEndedMs >= 0 && popupGoneMs >= 0, qPrintable(report()));
        QVERIFY2(answeredBy() == u"127.0.0.1:%1"_s.arg(m_portA), qPrintable(m_registrar.log()));
        // The move after the ring: taken elsewhere, or (only when B answered too) answered here.
        QCOMPARE(m_movesB.value(0).to, CallState::Incoming);
        const bool answeredAtB = m_movesB.value(1).to == CallState::InCall;
        QVERIFY2(bothAnswer || !answeredAtB, qPrintable(report()));
        QVERIFY2(answeredAtB || m_movesB.value(1).cause == CallCause::TakenElsewhere,
                 qPrintable(callCauseName(m_movesB.value(1).cause)));
        QVERIFY2(bothAnswer || (ringEndedMs <= kTakenWithinMs && popupGoneMs <= kTakenWithinMs), qPrintable(report()));
        // The station talks with A and hangs up; waited for on the event loop, which desk B's requests need.
        QVERIFY(QTest::qWaitFor([&station] { return ProcessProbe::gone(station.pid()); }, 20000));
        QVERIFY2(station.finish(1000, &error), qPrintable(error + m_registrar.log()));
        QTRY_COMPARE_WITH_TIMEOUT(callStateB(), CallState::Idle, kStateTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(newestCall(m_deskA.home()).first,
                                  u"%1 calls, answered at Desk A, station 0, ring picture 1"_s.arg(callsA + 1), 5000);
        QCOMPARE_GE(newestCall(m_deskA.home()).second, 1);
        // B's history: taken at another desk (had B's answer come first: answered), never missed.
        const QString callB = u"%1 calls, %2 at Desk B, station 0, ring picture 1"_s.arg(callsB + 1).arg(
            answeredAtB ? u"answered"_s : u"answered elsewhere"_s);
        QTRY_COMPARE_WITH_TIMEOUT(newestCall(g_home.root() + u"/home"_s).first, callB, 5000);
        QCOMPARE(report().count(u"call taken at another desk"_s), answeredAtB ? 0 : 1);
        QCOMPARE(m_deskB->history().recorder().missedCount(), 0);
        QVERIFY(m_deskB->mainWindow()->commandButton(CommandButton::History)->badge().isEmpty());
        QVERIFY(!m_deskB->window()->trayTip().contains("missed"_L1));
        // Both engines are the ones started with the desks: none died or left a request unanswered (found after 2 s).
        QTest::qWait(int(qMax<qint64>(0, EngineSocketClient::DefaultTimeoutMs + 1000 - sinceAnswer.elapsed())));
        for (const QString& log : {m_deskB.log(), m_deskA.log()})
            QVERIFY2(!log.contains("engine: lost"_L1) && !log.contains("engine: no answer"_L1), qPrintable(log));
        QVERIFY(m_deskB->telephony().supervisor().isTelephonyUp());
        QCOMPARE(m_deskB->telephony().engine().startedPid(), m_enginePidB);
        QVERIFY(!ProcessProbe::gone(m_enginePidA) && m_deskA.enginePid() == m_enginePidA);
        QCOMPARE(m_deskB.watch().runaway() + m_deskA.runaway(), QString());
    }

private:
    /// Desk A's visible window of the popup's size at the popup's place: its id, 0 when there is none.
    qulonglong popupOfDeskA(const QRect& popup) const
    {
        const QString place = u"\nX=%1\nY=%2\nWIDTH=%3\nHEIGHT=%4\n"_s.arg(popup.x()).arg(popup.y()).arg(
            popup.width()).arg(popup.height());
        for (const QString& id : run(u"xdotool search --onlyvisible --pid %1"_s.arg(m_deskA.pid())).split(u'\n'))
            if (run(u"xdotool getwindowgeometry --shell "_s + id).contains(place))
                return id.toULongLong();
        return 0;
    }

    CallState callStateB() const { return m_deskB->telephony().session().state(); }
    QString report() const { return m_deskB.log().mid(m_logOffset); } ///< desk B's log of the current test

    QLockFile m_lock{lockPath()};
    Registrar m_registrar{g_home.makeDir(u"registrar"_s)};
    std::unique_ptr<StationSimulator> m_station;
    AccountConsole m_deskA{u"qzdesk-a"_s};
    CallConsole m_deskB{g_home.root()};
    QList<CallTransition> m_movesB; ///< desk B's call state moves since the current test began
    int m_portA = 0, m_portB = 0;
    qint64 m_enginePidA = 0, m_enginePidB = 0;
    qsizetype m_logOffset = 0;
};

QTEST_MAIN(TestTwoDesksE2e)
#include "test_two_desks_e2e.moc"

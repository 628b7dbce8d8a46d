// Two desks on one line, end to end: two consoles registered as one SIP user at kamailio, run with the
// configuration an installer ships (docs/pbx/kamailio-desks.cfg), and a door station (sipp, its camera from the
// station simulator) calling that user. Both desks ring; when one answers, the other stops ringing at once and
// records the call as answered at another desk, not as missed. Desk B is this process (the console in-process);
// desk A is the built console run by a second operator account on the same X display (ctest's two_desks_e2e
// runs this under tests/desktop/xsession.sh): each account has its own engine socket (/tmp/linphonec-UID), each
// engine its own SIP port. Needs root for that account.

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

#include <QApplication>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
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
/// From desk A's answer to desk B's popup closing, the server's CANCEL included.
constexpr qint64 kTakenWithinMs = 300;
const QString kDeskSecret = u"two-desks-secret"_s;
const QString kStationSecret = u"station-secret"_s;
const QString kStationIp = StationSimulator::address(171, 0);

/// The newest incoming call of a desk's history as stored: "N calls, OUTCOME at DESK, station S, ring picture P"
/// (N: the incoming calls so far); durationSec: its length.
QString newestCall(const QString& home, int* durationSec = nullptr)
{
    QString summary;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"desk"_s);
        db.setDatabaseName(home + u"/.local/share/qzconsole/qzconsole/history/history.db"_s);
        db.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
        QSqlQuery q(db);
        if (db.open()
            && q.exec(u"SELECT count(*) OVER (), outcome, desk, station, EXISTS (SELECT 1 FROM pictures p WHERE "
                      "p.event_id = e.id AND p.slot = 0), coalesce(duration_s, -1) FROM events e "
                      "WHERE kind = 'incoming call' ORDER BY id DESC LIMIT 1"_s)
            && q.next()) {
            summary = u"%1 calls, %2 at %3, station %4, ring picture %5"_s.arg(q.value(0).toInt()).arg(
                q.value(1).toString(), q.value(2).toString(), q.value(3).toString(), q.value(4).toString());
            if (durationSec)
                *durationSec = q.value(5).toInt();
        }
    }
    QSqlDatabase::removeDatabase(u"desk"_s);
    return summary;
}

QString run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(5000) ? QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed() : QString();
}

/// Runs the event loop until done() or timeoutMs, checking every millisecond (QTest's waits sleep 10 ms).
bool waitClosely(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs) {
        QCoreApplication::processEvents();
        QThread::usleep(1000);
    }
    return done();
}

} // namespace

class TestTwoDesksE2e : public QObject
{
    Q_OBJECT
public:
    explicit TestTwoDesksE2e(Home& home)
        : m_home(home)
        , m_registrar(home.makeDir(u"registrar"_s))
        , m_deskA(u"qzdesk-a"_s)
        , m_deskB(home.root())
    {
    }

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("needs root: desk A runs as a second operator account (qzdesk-a)");
        for (const QString& tool : {u"linphonec"_s, u"sipp"_s, u"kamailio"_s, u"xdotool"_s, u"xprop"_s, u"runuser"_s,
                                    u"setpriv"_s, u"useradd"_s})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(tool + u" is not installed (scripts/install-deps.sh installs what the tests need)"_s));
        if (qgetenv("QT_QPA_PLATFORM") != "xcb")
            QSKIP("needs an X display: ctest's two_desks_e2e runs it under tests/desktop/xsession.sh");
        QString error;
        QVERIFY2(m_home.isValid() && lockEngine(m_lock, 120000, &error), qPrintable(error));
        QVERIFY2(AccountConsole::ensureAccount(u"qzdesk-a"_s, &error), qPrintable(error));
        // A daemon of that account left running would be used instead of one on the test's port.
        QVERIFY2(!EngineSocketClient::request(m_deskA.engineSocket(), "status hook", 1000).ok,
                 qPrintable(m_deskA.engineSocket()));
        m_station = std::make_unique<StationSimulator>(QStringList{u"--first"_s, u"171"_s, u"--count"_s, u"1"_s});
        QVERIFY2(m_station->isReady(), qPrintable(m_station->errorString()));
        QVERIFY2(m_registrar.start(QStringLiteral(QZ_SOURCE_DIR "/docs/pbx/kamailio-desks.cfg"),
                                   {u"DESK_SECRET=\"%1\""_s.arg(kDeskSecret),
                                    u"STATION_SECRET=\"%1\""_s.arg(kStationSecret)},
                                   &error),
                 qPrintable(error));

        ConfigRecord record;
        record.popupOnCall = 1;
        record.active[0] = 1;
        record.ipAddress[0] = kStationIp;
        record.extension[0] = u"101"_s;
        record.description[0] = u"Front door"_s;
        record.useSipServer = 1;
        record.serverAddress = u"127.0.0.1:%1"_s.arg(m_registrar.port());
        record.userId = u"100"_s;
        record.password = kDeskSecret;
        m_portB = freeSipPort();
        m_portA = freeSipPort(m_portB + 2);
        QVERIFY(m_portB != 0 && m_portA != 0 && writeEngineConfig(m_portB));
        QSettings(m_home.root() + u"/home/.config/qzr/qzr.conf"_s, QSettings::IniFormat)
            .setValue(u"settings/deskName"_s, u"Desk B"_s);
        QVERIFY2(m_deskB.start(m_home.makeDir(u"prog"_s), record, &error), qPrintable(error));
        QVERIFY2(m_deskA.start(record, m_portA, {u"deskName=Desk A"_s}, &error), qPrintable(error));
        // Both registered as 100, each with a contact of its own.
        const auto registeredPorts = [this] {
            static const QRegularExpression saved(u"REGISTER of 100 saved: <sip:100@127\\.0\\.0\\.1:(\\d+)"_s);
            QSet<int> ports;
            for (auto it = saved.globalMatch(m_registrar.log()); it.hasNext();)
                ports.insert(it.next().captured(1).toInt());
            return ports;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(registeredPorts() == (QSet<int>{m_portA, m_portB}),
                                  qPrintable(m_registrar.log() + m_deskA.log()), 20000);
        m_enginePidA = m_deskA.enginePid();
        m_enginePidB = m_deskB->telephony().engine().startedPid();
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
        QString errorA;
        QString errorB;
        const bool stoppedA = m_deskA.stop(&errorA);
        const bool stoppedB = m_deskB.stop(&errorB);
        QVERIFY2(stoppedA && stoppedB, qPrintable(errorA + errorB));
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
        const int callsA = newestCall(m_deskA.home()).section(u' ', 0, 0).toInt();
        const int callsB = newestCall(m_home.root() + u"/home"_s).section(u' ', 0, 0).toInt();
        const qsizetype registrarOffset = m_registrar.log().size();
        QList<CallTransition> movesB;
        const auto moves = connect(&m_deskB->telephony().session(), &CallSession::callStateChanged, this,
                                   [&movesB](const CallTransition& t) { movesB.append(t); });
        const auto disconnectMoves = qScopeGuard([moves] { QObject::disconnect(moves); });

        // Station 101 calls the desks' user 100 through the server; after A answers it talks 2.5 s and hangs up.
        SipPeer station(m_home.makeDir(u"peers"_s), u"station"_s);
        const auto [sipPort, mediaPort] = freeUdpPorts(QHostAddress(kStationIp));
        QString error;
        QVERIFY2(station.start({u"127.0.0.1:%1"_s.arg(m_registrar.port()), u"-sf"_s,
                                QStringLiteral(QZ_SOURCE_DIR "/tests/data/two_desks_station_calls.xml"), u"-s"_s,
                                u"100"_s, u"-key"_s, u"station"_s, u"101"_s, u"-au"_s, u"101"_s, u"-ap"_s,
                                kStationSecret, u"-i"_s, kStationIp, u"-p"_s, QString::number(sipPort), u"-mi"_s,
                                kStationIp, u"-mp"_s, QString::number(mediaPort), u"-d"_s, u"2500"_s},
                               60, &error),
                 qPrintable(error));

        // It rings at both desks: B's popup comes to rest, and A's at the same place of the one screen.
        QTRY_VERIFY2_WITH_TIMEOUT(callStateB() == CallState::Incoming && m_deskB->ringPopup()
                                      && m_deskB->ringPopup()->isVisible()
                                      && !m_deskB->ringPopup()->slideTimer()->isActive(),
                                  qPrintable(report() + station.output() + m_registrar.log()), kStateTimeoutMs);
        QPointer<RingPopup> popup = m_deskB->ringPopup();
        QString popupA;
        QTRY_VERIFY2_WITH_TIMEOUT(popup && !(popupA = popupOfDeskA(popup->geometry())).isEmpty(),
                                  qPrintable(m_deskA.log()), kStateTimeoutMs);

        // A's operator clicks its answer button, its popup raised over B's first (the last window stacked is on top).
        run(u"xdotool"_s, {u"windowraise"_s, popupA});
        QTRY_VERIFY(run(u"xprop"_s, {u"-root"_s, u"_NET_CLIENT_LIST_STACKING"_s})
                        .endsWith(u"0x"_s + QString::number(popupA.toULongLong(), 16)));
        const QPoint answer = popup->pos() + popup->answerButton()->geometry().center();
        run(u"xdotool"_s,
            {u"mousemove"_s, QString::number(answer.x()), QString::number(answer.y()), u"mousedown"_s, u"1"_s});
        // The button answers when it is released.
        QElapsedTimer sinceAnswer;
        sinceAnswer.start();
        run(u"xdotool"_s, {u"mouseup"_s, u"1"_s});
        const auto answeredBy = [&] {
            return m_registrar.log().mid(registrarOffset).section(u"answered by "_s, 1, 1).section(u'\n', 0, 0);
        };
        if (bothAnswer) {
            // B's operator answers the instant A's answer has passed the server, its CANCEL to B on the way.
            QVERIFY2(waitClosely([&] { return !answeredBy().isEmpty(); }, kStateTimeoutMs),
                     qPrintable(m_registrar.log()));
            qInfo("desk B answers %lld ms after desk A, %s", sinceAnswer.elapsed(),
                  popup ? "in its popup" : "its popup gone already");
            if (popup)
                QTest::mouseClick(popup->answerButton(), Qt::LeftButton);
            else
                m_deskB->telephony().control().answerFromPopup();
        }
        // B stops ringing: out of the ringing state, its popup closed.
        qint64 ringEndedMs = -1, popupGoneMs = -1;
        waitClosely(
            [&] {
                if (ringEndedMs < 0 && callStateB() != CallState::Incoming)
                    ringEndedMs = sinceAnswer.elapsed();
                if (popupGoneMs < 0 && (!popup || !popup->isVisible()))
                    popupGoneMs = sinceAnswer.elapsed();
                return ringEndedMs >= 0 && popupGoneMs >= 0;
            },
            kStateTimeoutMs);
        qInfo("desk B: ringing ended %lld ms, popup gone %lld ms after desk A's answer", ringEndedMs, popupGoneMs);
        QVERIFY2(ringEndedMs >= 0 && popupGoneMs >= 0, qPrintable(report()));
        QVERIFY2(answeredBy() == u"127.0.0.1:%1"_s.arg(m_portA), qPrintable(m_registrar.log()));
        // The move after the ring: taken elsewhere, or (only when B answered too) answered here.
        QCOMPARE(movesB.value(0).to, CallState::Incoming);
        const bool answeredAtB = movesB.value(1).to == CallState::InCall;
        QVERIFY2(bothAnswer || !answeredAtB, qPrintable(report()));
        if (!answeredAtB)
            QCOMPARE(callCauseName(movesB.value(1).cause), callCauseName(CallCause::TakenElsewhere));
        if (!bothAnswer)
            QVERIFY2(ringEndedMs <= kTakenWithinMs && popupGoneMs <= kTakenWithinMs, qPrintable(report()));

        // The station talks with A and hangs up (a desk that answered too it ends at once). Waited for on the event
        // loop: desk B runs in it, and a request it has under way must not be held up.
        QVERIFY(QTest::qWaitFor([&station] { return ProcessProbe::gone(station.pid()); }, 20000));
        QVERIFY2(station.finish(1000, &error), qPrintable(error + m_registrar.log()));
        QTRY_COMPARE_WITH_TIMEOUT(callStateB(), CallState::Idle, kStateTimeoutMs);
        int durationSec = -1;
        QTRY_COMPARE_WITH_TIMEOUT(newestCall(m_deskA.home(), &durationSec),
                                  u"%1 calls, answered at Desk A, station 0, ring picture 1"_s.arg(callsA + 1), 5000);
        QVERIFY2(durationSec >= 1, qPrintable(QString::number(durationSec)));
        // B's history: taken at another desk (had B's answer come first: answered), never missed.
        QTRY_COMPARE_WITH_TIMEOUT(newestCall(m_home.root() + u"/home"_s),
                                  u"%1 calls, %2 at Desk B, station 0, ring picture 1"_s.arg(callsB + 1).arg(
                                      answeredAtB ? u"answered"_s : u"answered elsewhere"_s),
                                  5000);
        QCOMPARE(report().count(u"call taken at another desk"_s), answeredAtB ? 0 : 1);
        QCOMPARE(m_deskB->history().recorder().missedCount(), 0);
        QVERIFY(m_deskB->mainWindow()->commandButton(CommandButton::History)->badge().isEmpty());
        QVERIFY(!m_deskB->window()->trayTip().contains("missed"_L1));

        // Both engines are the ones started with the desks, up all along: none left a request unanswered (found
        // after 2 s) or died.
        QTest::qWait(int(qMax<qint64>(0, EngineSocketClient::DefaultTimeoutMs + 1000 - sinceAnswer.elapsed())));
        for (const QString& log : {m_deskB.log(), m_deskA.log()})
            QVERIFY2(!log.contains("engine: lost"_L1) && !log.contains("engine: no answer"_L1), qPrintable(log));
        QVERIFY(m_deskB->telephony().supervisor().isTelephonyUp());
        QCOMPARE(m_deskB->telephony().engine().startedPid(), m_enginePidB);
        QVERIFY(!ProcessProbe::gone(m_enginePidA) && m_deskA.enginePid() == m_enginePidA);
        QVERIFY2(m_deskB.watch().runaway().isEmpty() && m_deskA.runaway().isEmpty(),
                 qPrintable(m_deskB.watch().runaway() + m_deskA.runaway()));
    }

private:
    /// Desk A's visible window of the popup's size at the popup's place: its id, empty when there is none.
    QString popupOfDeskA(const QRect& popup) const
    {
        static const QRegularExpression geometry(u"Position: (\\d+),(\\d+).*Geometry: (\\d+)x(\\d+)"_s,
                                                 QRegularExpression::DotMatchesEverythingOption);
        const QString windows =
            run(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--pid"_s, QString::number(m_deskA.pid())});
        for (const QString& id : windows.split(u'\n', Qt::SkipEmptyParts)) {
            const QRegularExpressionMatch m = geometry.match(run(u"xdotool"_s, {u"getwindowgeometry"_s, id}));
            if (QRect(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt())
                == popup)
                return id;
        }
        return {};
    }

    CallState callStateB() const { return m_deskB->telephony().session().state(); }
    /// Desk B's log of the current test: what a failure report shows.
    QString report() const { return m_deskB.log().mid(m_logOffset); }

    Home& m_home;
    QLockFile m_lock{lockPath()};
    Registrar m_registrar;
    std::unique_ptr<StationSimulator> m_station;
    AccountConsole m_deskA;
    CallConsole m_deskB;
    int m_portA = 0;
    int m_portB = 0;
    qint64 m_enginePidA = 0;
    qint64 m_enginePidB = 0;
    qsizetype m_logOffset = 0;
};

// HOME and the XDG folders must point at the test's own before QApplication exists; the names are the
// console's, so that desk B keeps its history where desk A does.
int main(int argc, char* argv[])
{
    Home home;
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    QApplication::setOrganizationName(u"qzconsole"_s);
    QApplication::setApplicationName(u"qzconsole"_s);
    TestTwoDesksE2e test(home);
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_two_desks_e2e.moc"

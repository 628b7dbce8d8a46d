// The call session with the engine, the window and the popup faked: what the operator sees after each event line,
// the backstop poll's replies taken only when fresh, the fade back to the tray holding what comes after it, and
// the engine's loss.

#include "CallSession.h"
#include "ConfigRecord.h"
#include "FakeConsoleWindow.h"
#include "FakeRingAlert.h"
#include "FakeSipEngine.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using Kind = EngineEvent::Kind;
Q_DECLARE_METATYPE(QList<EngineEvent>)

namespace {

EngineEvent engineEvent(Kind kind, int id, const QString& text = {})
{
    EngineEvent e;
    e.kind = kind;
    e.callId = id;
    (kind == Kind::Ended ? e.reason : e.peer) = text;
    return e;
}

const EngineEvent Ring1 = engineEvent(Kind::IncomingCall, 1, u"\"door\" <sip:101@127.0.0.3:5060>"_s);

struct Rig
{
    QStringList journal;
    ConfigRecord record;
    FakeSipEngine engine;
    FakeConsoleWindow window;
    FakeRingAlert alert;
    CallSession session{engine, record, window, alert};
    QList<CallTransition> moves;

    Rig()
    {
        window.journal = alert.journal = engine.journal = &journal;
        for (int s : {3, 4}) {
            record.active[std::size_t(s)] = 1;
            record.extension[std::size_t(s)] = s == 3 ? u"101"_s : u"104"_s;
        }
        QObject::connect(&session, &CallSession::callStateChanged, &session,
                         [this](const CallTransition& t) { moves.append(t); });
    }
    void feed(const EngineEvent& e)
    {
        journal.clear();
        session.handleEvent(e);
    }
    /// One backstop poll answered with text; nothing arrives between the request and the reply.
    void poll(const QString& text)
    {
        QSignalSpy polled(&session, &CallSession::statusPolled);
        engine.statusReply = text;
        session.pollStatus();
        QVERIFY(polled.wait(1000));
    }
};

} // namespace

class TestCallSession : public QObject
{
    Q_OBJECT
private slots:
    void eventsMoveWhatTheOperatorSees_data()
    {
        QTest::addColumn<QList<EngineEvent>>("events");
        QTest::addColumn<int>("station");
        QTest::addColumn<QString>("tel");
        QTest::addColumn<bool>("onTop");
        QTest::addColumn<bool>("popup");
        QTest::addColumn<bool>("mute");
        const EngineEvent connected = engineEvent(Kind::Connected, 1);
        QTest::newRow("ringing") << QList{Ring1} << 3 << u"tel_v"_s << false << true << false;
        QTest::newRow("answered") << QList{Ring1, connected} << 3 << u"tel_r"_s << true << true << true;
        QTest::newRow("caller gave up") << QList{Ring1, engineEvent(Kind::Ended, 1, u"Not answered"_s)} << 3 << u"tel_n"_s
                                        << false << false << false;
        QTest::newRow("ended after the answer")
            << QList{Ring1, connected, engineEvent(Kind::Ended, 1, u"No error"_s)} << 3 << u"tel_n"_s << false << false
            << false;
        // Dialled at station 4's button.
        QTest::newRow("dialling") << QList{engineEvent(Kind::OutgoingStarted, 1, u"sip:127.0.0.4"_s)} << 4 << u"tel_b"_s
                                  << false << false << false;
        QTest::newRow("station answered") << QList{engineEvent(Kind::OutgoingStarted, 1), connected} << 4 << u"tel_r"_s
                                          << true << false << true;
        QTest::newRow("refused by the station") << QList{engineEvent(Kind::OutgoingStarted, 1), engineEvent(Kind::Error, 1)} << 4
                                                << u"tel_n"_s << false << false << false;
    }
    void eventsMoveWhatTheOperatorSees()
    {
        QFETCH(QList<EngineEvent>, events);
        QFETCH(int, station);
        Rig rig;
        rig.session.noteDialled(4);
        for (const EngineEvent& e : std::as_const(events))
            rig.feed(e);
        QCOMPARE(rig.session.station(), station);
        QTEST(rig.window.tel.at(std::size_t(station)), "tel");
        QTEST(rig.window.topmost, "onTop");
        QTEST(rig.alert.popupLoaded, "popup");
        QTEST(rig.window.muteVisible, "mute");
        // The tile of the station concerned is marked while its call lasts.
        QCOMPARE(rig.window.callMark, rig.session.state() == CallState::Idle ? -1 : station);
        QCOMPARE(rig.moves.size(), events.size());
        QCOMPARE(rig.alert.popupsShown, rig.moves.constFirst().to == CallState::Incoming ? 1 : 0);
        if (rig.alert.popupsShown == 1)
            QCOMPARE(rig.alert.popupStation, 3);
        QVERIFY(rig.engine.calls.isEmpty()); // events cost no request
    }

    void backstopTakesOnlyFreshReplies()
    {
        Rig rig;
        // Two polls that agree move the call: a ring whose event line went missing.
        rig.poll(u"Incoming call from \"door\" <sip:104@h>"_s);
        QCOMPARE(rig.session.state(), CallState::Idle);
        rig.poll(u"Incoming call from \"door\" <sip:104@h>"_s);
        QVERIFY(rig.session.isRinging() && rig.session.station() == 4 && rig.alert.rings == 1);

        // A reply that was on its way while an event came tells of an older state: the answer stays.
        rig.feed(engineEvent(Kind::Connected, 7));
        for (int i = 0; i < 3; ++i) {
            QSignalSpy polled(&rig.session, &CallSession::statusPolled);
            rig.engine.statusReply = u"hook=offhook"_s;
            rig.session.pollStatus();
            rig.session.pollStatus(); // one poll out at a time
            rig.session.handleEvent(engineEvent(Kind::OutgoingStarted, 7));
            QVERIFY(polled.wait(1000));
        }
        QCOMPARE(rig.engine.calls.count(u"status"_s), 5);
        QCOMPARE(rig.session.state(), CallState::InCall);
    }

    void fadeHoldsWhatComesAfterIt()
    {
        Rig rig;
        rig.window.putInTray();
        rig.feed(Ring1);
        QVERIFY(rig.window.restored);
        rig.feed(engineEvent(Kind::Connected, 1));
        rig.feed(engineEvent(Kind::Ended, 1, u"No error"_s));
        QCOMPARE(rig.session.state(), CallState::Idle);
        QVERIFY(rig.session.isBusy() && rig.window.muteVisible); // hidden only after the fade

        // What comes during the fade waits, and polls are not made.
        rig.feed(engineEvent(Kind::IncomingCall, 2, u"<sip:104@h>"_s));
        rig.session.pollStatus();
        QVERIFY(rig.journal.isEmpty());
        QCOMPARE(rig.session.state(), CallState::Idle);

        rig.journal.clear();
        rig.window.finishFade();
        QCOMPARE(rig.journal.mid(0, 4),
                 QStringList({u"win:in tray"_s, u"win:mute hidden"_s, u"win:tel 4 tel_v"_s, u"win:bring back"_s}));
        QVERIFY(rig.session.isRinging() && rig.window.restored && !rig.session.isBusy());
        QCOMPARE(rig.alert.popupsShown, 2);
    }

    void fadeEndingAfterTheSessionIsGone()
    {
        Rig rig;
        rig.window.restored = true;
        {
            CallSession session(rig.engine, rig.record, rig.window, rig.alert);
            session.handleEvent(Ring1);
            session.handleEvent(engineEvent(Kind::Ended, 1, u"Not answered"_s));
            QCOMPARE(rig.window.pendingFade.size(), std::size_t(1));
        }
        rig.journal.clear();
        rig.window.finishFade();
        QCOMPARE(rig.journal, QStringList{u"win:in tray"_s});
    }

    void engineLostEndsTheCallAtOnce()
    {
        Rig rig;
        rig.feed(Ring1);
        rig.feed(engineEvent(Kind::Connected, 1));
        rig.journal.clear();
        rig.session.engineLost();
        QCOMPARE(rig.journal.value(0), u"alert:ring stop"_s);
        QVERIFY(rig.session.state() == CallState::Idle && rig.window.tel.at(3) == "tel_n"_L1);
        QCOMPARE(rig.moves.constLast().cause, CallCause::EngineLost);
        // A late line of the dead engine's call changes nothing.
        rig.feed(engineEvent(Kind::Ended, 1, u"No error"_s));
        QCOMPARE(rig.moves.size(), 3);
    }
};

QTEST_MAIN(TestCallSession)
#include "test_callsession.moc"

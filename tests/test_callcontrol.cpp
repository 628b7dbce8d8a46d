// The call buttons with the engine, the window and the popup faked: what the telephone button does in each call
// state, what it dials, one dial per double click, and the mute state across calls.

#include "CallControl.h"
#include "CallSession.h"
#include "ConfigRecord.h"
#include "FakeConsoleWindow.h"
#include "FakeRingAlert.h"
#include "FakeSipEngine.h"
#include "RecordingLogger.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using Kind = EngineEvent::Kind;

namespace {

EngineEvent engineEvent(Kind kind, const QString& peer = u"<sip:104@127.0.0.6>"_s)
{
    EngineEvent e;
    e.kind = kind;
    e.callId = 1;
    e.peer = peer;
    return e;
}

struct Rig
{
    ConfigRecord record;
    FakeSipEngine engine;
    RecordingLogger logger;
    FakeConsoleWindow window;
    FakeRingAlert alert;
    CallSession session{engine, record, window, alert};
    CallControl control{engine, logger, record, session, window, alert};

    Rig()
    {
        record.active[4] = 1;
        record.ipAddress[4] = u"127.0.0.6"_s;
        record.extension[4] = u"104"_s;
    }
    /// Moves the call to state as the engine's lines would.
    void reach(CallState state)
    {
        if (state == CallState::Incoming || state == CallState::InCall)
            session.handleEvent(engineEvent(Kind::IncomingCall));
        if (state == CallState::Outgoing)
            session.handleEvent(engineEvent(Kind::OutgoingStarted));
        if (state == CallState::InCall)
            session.handleEvent(engineEvent(Kind::Connected));
    }
};

} // namespace

class TestCallControl : public QObject
{
    Q_OBJECT
private slots:
    void telephoneButton_data()
    {
        QTest::addColumn<CallState>("state");
        QTest::addColumn<int>("server");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QStringList>("engineCalls");
        QTest::addColumn<QStringList>("log");

        const QString established = u"Establishing call id to <%1>, assigned id 1"_s;
        // The engine's reply ends with a line end, which must not split the log entry; a double click dials once.
        QTest::newRow("idle, direct: sip: and the address")
            << CallState::Idle << 0 << u"104"_s << QStringList{u"dial sip:127.0.0.6"_s}
            << QStringList{established.arg(u"sip:127.0.0.6"_s)};
        QTest::newRow("idle, server: the extension as stored")
            << CallState::Idle << -1 << u"sip:115@127.0.0.1:5080"_s << QStringList{u"dial sip:115@127.0.0.1:5080"_s}
            << QStringList{established.arg(u"sip:115@127.0.0.1:5080"_s)};
        QTest::newRow("ringing: answer") << CallState::Incoming << 0 << u"104"_s << QStringList{u"answer"_s}
                                         << QStringList{u"incoming"_s};
        QTest::newRow("dialling: hang up") << CallState::Outgoing << 0 << u"104"_s << QStringList{u"terminate"_s}
                                           << QStringList{u"hungup"_s};
        QTest::newRow("in a call: hang up") << CallState::InCall << 0 << u"104"_s << QStringList{u"terminate"_s}
                                            << QStringList{u"hungup"_s};
    }
    void telephoneButton()
    {
        QFETCH(CallState, state);
        QFETCH(int, server);
        QFETCH(QString, extension);
        Rig rig;
        rig.reach(state);
        rig.record.useSipServer = qint16(server);
        rig.record.extension[4] = extension;
        rig.alert.popupLoaded = true;
        rig.engine.dialReply =
            u"  Establishing call id to <%1>, assigned id 1\r\n"_s.arg(CallControl::dialAddress(rig.record, 4));
        rig.control.onTelephoneButton(4);
        if (state == CallState::Idle)
            rig.control.onTelephoneButton(4);
        rig.control.onTelephoneButton(16); // no such station: nothing at all
        QTEST(rig.engine.calls, "engineCalls");
        QTRY_COMPARE(rig.logger.entries, [] { QFETCH(QStringList, log); return log; }());
        QCOMPARE(rig.session.state(), state); // the call moves when the engine says so
        QCOMPARE(rig.alert.popupLoaded, state != CallState::Incoming);
        // The dial's reply has come back: the next press dials again.
        if (state == CallState::Idle) {
            rig.control.onTelephoneButton(4);
            QCOMPARE(rig.engine.calls.count(), 2);
        }
    }

    void popupRefusalIsARejectedCall()
    {
        Rig rig;
        QList<CallTransition> moves;
        connect(&rig.session, &CallSession::callStateChanged, this,
                [&moves](const CallTransition& t) { moves.append(t); });
        rig.reach(CallState::Incoming);
        rig.control.rejectFromPopup();
        QCOMPARE(rig.engine.calls, QStringList{u"terminate"_s});
        EngineEvent end = engineEvent(Kind::Ended);
        end.reason = u"No error"_s; // what a desk that took the call would also give: the refusal here decides
        rig.session.handleEvent(end);
        QCOMPARE(moves.constLast().cause, CallCause::Rejected);
    }

    void muteStartsUnmutedInEveryCall()
    {
        Rig rig;
        rig.window.topmost = true;
        rig.reach(CallState::InCall);
        QVERIFY(rig.window.muteVisible);
        rig.control.toggleMute();
        QVERIFY(rig.window.muted);
        QVERIFY(!rig.window.topmost); // a command button takes the window out of the band first
        rig.control.onTelephoneButton(4);
        EngineEvent end = engineEvent(Kind::Ended);
        end.reason = u"No error"_s;
        rig.session.handleEvent(end);
        QVERIFY(!rig.window.muteVisible);

        // The next call starts unmuted, so the next press mutes again.
        rig.reach(CallState::Outgoing);
        rig.session.handleEvent(engineEvent(Kind::Connected));
        QVERIFY(rig.window.muteVisible);
        QVERIFY(!rig.window.muted);
        rig.engine.calls.clear();
        rig.control.toggleMute();
        rig.control.toggleMute();
        QCOMPARE(rig.engine.calls, (QStringList{u"mute"_s, u"unmute"_s}));
    }
};

QTEST_MAIN(TestCallControl)
#include "test_callcontrol.moc"

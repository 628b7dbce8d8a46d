// The call as the engine's event lines, the backstop's status texts and the operator move it: every move with its
// station and why, and which station calls (extension 10 against 101, the last matching active station wins).

#include "CallStateMachine.h"
#include "ConfigRecord.h"
#include "EngineOutputReader.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

/// Stations 3 (101), 1 (10) and 2 (102) are active: station 1's extension is in both others' addresses.
ConfigRecord stationTable()
{
    ConfigRecord record;
    for (const auto& [station, extension] : {std::pair{3, "101"}, {1, "10"}, {2, "102"}}) {
        record.active[std::size_t(station)] = 1;
        record.extension[std::size_t(station)] = QString::fromLatin1(extension);
    }
    return record;
}

EngineEvent event(EngineEvent::Kind kind, const QStringList& words)
{
    EngineEvent e;
    e.kind = kind;
    e.callId = words.value(1).toInt();
    if (kind == EngineEvent::Kind::Ended)
        e.reason = words.mid(2).join(u' ');
    else
        e.peer = words.mid(2).join(u' ');
    return e;
}

/// Runs one script step ("in ID PEER", "out ID PEER", "conn ID", "end ID REASON", "err ID", "dial STATION",
/// "hangup", "reject", "status TEXT", "stale TEXT", "lost") and returns the moves as "from>to station cause".
QStringList step(CallStateMachine& call, const QString& command, const ConfigRecord& record)
{
    using Kind = EngineEvent::Kind;
    const QStringList words = command.split(u' ', Qt::SkipEmptyParts);
    const QString verb = words.value(0);
    const QString text = command.section(u' ', 1);
    QList<CallTransition> moves;
    if (verb == "in"_L1)
        moves = call.onEvent(event(Kind::IncomingCall, words), record);
    else if (verb == "out"_L1)
        moves = call.onEvent(event(Kind::OutgoingStarted, words), record);
    else if (verb == "conn"_L1)
        moves = call.onEvent(event(Kind::Connected, words), record);
    else if (verb == "end"_L1)
        moves = call.onEvent(event(Kind::Ended, words), record);
    else if (verb == "err"_L1)
        moves = call.onEvent(event(Kind::Error, words), record);
    else if (verb == "dial"_L1)
        call.dialled(words.value(1).toInt());
    else if (verb == "hangup"_L1)
        call.hungUpHere();
    else if (verb == "reject"_L1)
        call.rejectedHere();
    else if (verb == "status"_L1 || verb == "stale"_L1)
        moves = call.onStatus(text, verb == "status"_L1, record);
    else if (verb == "lost"_L1)
        moves = [&call] {
            const auto t = call.engineLost();
            return t ? QList<CallTransition>{*t} : QList<CallTransition>{};
        }();
    else
        qFatal("unknown step %s", qPrintable(command));
    QStringList out;
    for (const CallTransition& t : std::as_const(moves))
        out << u"%1>%2 %3%4 %5"_s.arg(callStateName(t.from), callStateName(t.to), t.stationKnown ? u""_s : u"?"_s)
                   .arg(t.station)
                   .arg(callCauseName(t.cause));
    return out;
}

} // namespace

class TestCallStateMachine : public QObject
{
    Q_OBJECT
private slots:
    void movesWithTheirCause_data()
    {
        QTest::addColumn<QString>("script"); // steps separated by "; "
        QTest::addColumn<QString>("moves");  // every move of the script, "; "-separated
        const QString ring = u"idle>incoming 3 none"_s;
        QTest::newRow("caller gives up") << u"in 1 <sip:101@h>; end 1 Not answered"_s
                                         << ring + u"; incoming>idle 3 ended by peer"_s;
        QTest::newRow("answered here, caller hangs up")
            << u"in 1 <sip:101@h>; conn 1 <sip:101@h>; end 1 No error"_s
            << ring + u"; incoming>in call 3 answered here; in call>idle 3 ended by peer"_s;
        QTest::newRow("taken at another desk") << u"in 1 <sip:101@h>; end 1 No error"_s
                                               << ring + u"; incoming>idle 3 taken elsewhere"_s;
        QTest::newRow("refused in the popup") << u"in 1 <sip:101@h>; reject; end 1 No error"_s
                                              << ring + u"; incoming>idle 3 rejected"_s;
        QTest::newRow("declined without the popup") << u"in 1 <sip:101@h>; end 1 Call declined"_s
                                                    << ring + u"; incoming>idle 3 rejected"_s;
        QTest::newRow("dialled, answered, hung up here")
            << u"dial 4; out 1 sip:127.0.0.3; out 1 sip:127.0.0.3; conn 1; hangup; end 1 No error"_s
            << u"idle>outgoing 4 none; outgoing>in call 4 peer answered; in call>idle 4 hung up here"_s;
        QTest::newRow("dialled, refused by the station") << u"dial 4; out 1; err 1"_s
                                                         << u"idle>outgoing 4 none; outgoing>idle 4 failed"_s;
        QTest::newRow("dialled, hung up before the answer") << u"dial 4; out 1; hangup; err 1"_s
                                                            << u"idle>outgoing 4 none; outgoing>idle 4 hung up here"_s;
        QTest::newRow("a caller that is no station rings on station 0") << u"in 1 <sip:999@h>"_s
                                                                       << u"idle>incoming ?0 none"_s;
        QTest::newRow("sip:10 is in sip:101: the later station 3 wins") << u"in 1 \"x\" <sip:101@h>"_s << ring;
        QTest::newRow("another call's end changes nothing") << u"in 1 <sip:101@h>; end 2 Not answered"_s << ring;
        QTest::newRow("a call that waited rings when this one ends")
            << u"in 1 <sip:101@h>; conn 1; in 2 <sip:102@h>; end 1 No error"_s
            << ring + u"; incoming>in call 3 answered here; in call>idle 3 ended by peer; idle>incoming 2 none"_s;
        QTest::newRow("a waiting call that gave up does not ring")
            << u"in 1 <sip:101@h>; conn 1; in 2 <sip:102@h>; end 2 Not answered; end 1 No error"_s
            << ring + u"; incoming>in call 3 answered here; in call>idle 3 ended by peer"_s;
        QTest::newRow("answered before its ring was seen") << u"conn 7 <sip:101@h>"_s << u"idle>in call 3 none"_s;
        QTest::newRow("answered before its ring, from no station") << u"conn 7 <sip:9@h>"_s << u"idle>in call ?0 none"_s;
        QTest::newRow("engine lost in a call") << u"in 1 <sip:101@h>; conn 1; lost"_s
                                               << ring + u"; incoming>in call 3 answered here; in call>idle 3 engine lost"_s;
        QTest::newRow("engine lost while idle") << u"lost"_s << QString();
        // The backstop moves the call only when two polls in a row agree, with no event in between.
        QTest::newRow("status once: nothing yet") << u"status Incoming call from <sip:101@h>"_s << QString();
        QTest::newRow("status twice: the missed ring")
            << u"status Incoming call from <sip:101@h>; status Incoming call from <sip:101@h>"_s << ring;
        QTest::newRow("status twice: the missed end")
            << u"in 1 <sip:101@h>; conn 1; status hook=offhook; status hook=offhook"_s
            << ring + u"; incoming>in call 3 answered here; in call>idle 3 ended by peer"_s;
        QTest::newRow("a reply that crossed an event is ignored")
            << u"in 1 <sip:101@h>; stale hook=offhook; stale hook=offhook"_s << ring;
        QTest::newRow("an event between two polls starts the count again")
            << u"in 1 <sip:101@h>; conn 1; status hook=offhook; conn 1; status hook=offhook"_s
            << ring + u"; incoming>in call 3 answered here"_s;
        QTest::newRow("status agreeing with the call")
            << u"dial 4; out 1; status hook=dialing sip:sip:x; status hook=dialing sip:sip:x"_s
            << u"idle>outgoing 4 none"_s;
        QTest::newRow("one text ends a call and rings the next")
            << u"dial 4; out 1; conn 1; status hook=offhook Incoming call <sip:102@h>; status hook=offhook Incoming call <sip:102@h>"_s
            << u"idle>outgoing 4 none; outgoing>in call 4 peer answered; in call>idle 4 ended by peer; idle>incoming 2 none"_s;
        QTest::newRow("the event of a call the backstop found is taken as its own")
            << u"status Incoming call <sip:101@h>; status Incoming call <sip:101@h>; conn 5; end 5 No error"_s
            << ring + u"; incoming>in call 3 answered here; in call>idle 3 ended by peer"_s;
    }

    void movesWithTheirCause()
    {
        QFETCH(QString, script);
        const ConfigRecord record = stationTable();
        CallStateMachine call;
        QStringList moves;
        for (const QString& command : script.split(u"; "_s))
            moves << step(call, command, record);
        QTEST(moves.join(u"; "_s), "moves");
        // After an end nothing of that call lingers: the same id may ring again.
        if (call.state() == CallState::Idle)
            QCOMPARE(step(call, u"in 1 <sip:102@h>"_s, record), QStringList{u"idle>incoming 2 none"_s});
    }

    void callerAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address");
        QTest::newRow("the engine's peer") << u"\"sipp\" <sip:sipp@127.0.0.1:5070>"_s << u"sip:sipp@127.0.0.1:5070"_s;
        QTest::newRow("bare, up to a space") << u"hook=dialing sip:101@h more"_s << u"sip:101@h"_s;
        QTest::newRow("none") << u"Incoming call"_s << QString();
    }

    void callerAddress()
    {
        QFETCH(QString, text);
        QTEST(::callerAddress(text), "address");
    }

    void callingStation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stations"); // "3=101 5=10": stations 3 and 5 active, with those extensions
        QTest::addColumn<int>("station");      // -1: none
        const QString incoming = u"\"sipp\" <sip:101@127.0.0.3:5060>"_s;
        QTest::newRow("sip:101, station 5 at 10 after 3 at 101") << incoming << u"3=101 5=10"_s << 5;
        QTest::newRow("station 5 at 101 after 3 at 10") << incoming << u"3=10 5=101"_s << 5;
        QTest::newRow("the last of two equal extensions") << incoming << u"2=101 9=101 4=102"_s << 9;
        QTest::newRow("no match") << incoming << u"3=102 5=103"_s << -1;
        QTest::newRow("an empty extension matches nothing") << incoming << u"7= 2=101"_s << 2;
        QTest::newRow("slots after 15 are no stations") << incoming << u"20=101"_s << -1;
        QTest::newRow("the extension follows sip:") << u"\"101\" <sip:sipp@h>"_s << u"3=101"_s << -1;
        QTest::newRow("station 15 counts") << u"<sip:115@h>"_s << u"15=115"_s << 15;
        QTest::newRow("case matters") << u"<sip:Door@h>"_s << u"1=door"_s << -1;
    }

    void callingStation()
    {
        QFETCH(QString, text);
        QFETCH(QString, stations);
        ConfigRecord record;
        record.extension[12] = u"101"_s; // not active: never matches
        for (const QString& pair : stations.split(u' ', Qt::SkipEmptyParts)) {
            const uint slot = pair.section(u'=', 0, 0).toUInt();
            if (slot >= uint(ConfigRecord::kSlots))
                continue;
            record.active[slot] = 1;
            record.extension[slot] = pair.section(u'=', 1);
        }
        QTEST(CallStateMachine::matchCallingStation(text, record).value_or(-1), "station");
    }
};

QTEST_APPLESS_MAIN(TestCallStateMachine)
#include "test_callstatemachine.moc"

// The call state machine fed with status texts: every row of the transition
// table, the order of the steps within one tick and the caller match.

#include "CallStateMachine.h"
#include "ConfigRecord.h"

#include <QtTest>

namespace {

// Texts as the engine gives them (the idle text after the engine's own "hook=on-hook" is normalised).
const QString Offhook = QStringLiteral("hook=offhook");
const QString Incoming = QStringLiteral("Incoming call from \"sipp\" <sip:101@127.0.0.3:5060>");
const QString Answered = QStringLiteral("hook=answered duration=1 \"sipp\" <sip:sipp@127.0.0.3:5060>");
const QString CallOut = QStringLiteral("Call out, hook=sip:127.0.0.3 duration=0, muted=no rtp-xmit-muted=no");
const QString Ringing = QStringLiteral("hook=ringing sip:sip:127.0.0.3");
const QString Dialing = QStringLiteral("hook=dialing sip:sip:127.0.0.9:5999");

ConfigRecord stationsWith(std::initializer_list<std::pair<int, QString>> activeExtensions)
{
    ConfigRecord r;
    for (const auto& [station, extension] : activeExtensions) {
        r.active[std::size_t(station)] = 1;
        r.extension[std::size_t(station)] = extension;
    }
    return r;
}

QList<int> toStates(const QList<CallTransition>& steps)
{
    QList<int> states;
    for (const CallTransition& t : steps)
        states.append(t.toState);
    return states;
}

} // namespace

class TestCallStateMachine : public QObject
{
    Q_OBJECT
private slots:
    void transitionTable_data();
    void transitionTable();
    void stepsOfOneTick_data();
    void stepsOfOneTick();
    void onlyIncomingChoosesTheStation();
    void callingStation_data();
    void callingStation();
    void imageKeys();
};

void TestCallStateMachine::transitionTable_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QList<int>>("to"); // the states the tick passes through; empty: no change

    // Rows of the table: "offhook" ends a call from 1, 2, 3.
    for (int from : {1, 2, 3})
        QTest::addRow("%d offhook -> 0", from) << from << Offhook << QList<int>{0};
    QTest::addRow("0 offhook stays") << 0 << Offhook << QList<int>{};

    for (int from : {0, 2, 3})
        QTest::addRow("%d Incoming call -> 1", from) << from << Incoming << QList<int>{1};
    QTest::addRow("1 Incoming call stays") << 1 << Incoming << QList<int>{};

    for (int from : {0, 1, 2}) {
        QTest::addRow("%d Call out -> 3", from) << from << CallOut << QList<int>{3};
        QTest::addRow("%d answered -> 3", from) << from << Answered << QList<int>{3};
    }
    QTest::addRow("3 Call out stays") << 3 << CallOut << QList<int>{};
    QTest::addRow("3 answered stays") << 3 << Answered << QList<int>{};

    for (int from : {0, 1, 3}) {
        QTest::addRow("%d ringing -> 2", from) << from << Ringing << QList<int>{2};
        QTest::addRow("%d dialing -> 2", from) << from << Dialing << QList<int>{2};
    }
    QTest::addRow("2 ringing stays") << 2 << Ringing << QList<int>{};
    QTest::addRow("2 dialing stays") << 2 << Dialing << QList<int>{};

    // Texts that hold none of the words change nothing, in any state.
    for (int from : {0, 1, 2, 3}) {
        QTest::addRow("%d empty reply (call ending)", from) << from << QString() << QList<int>{};
        QTest::addRow("%d engine not answering", from) << from << QStringLiteral("ERROR: no reply") << QList<int>{};
        QTest::addRow("%d hook=on-hook not normalised", from) << from << QStringLiteral("hook=on-hook")
                                                              << QList<int>{};
    }
    // The search is case-sensitive.
    QTest::addRow("OFFHOOK") << 3 << QStringLiteral("hook=OFFHOOK") << QList<int>{};
    QTest::addRow("incoming call") << 0 << QStringLiteral("incoming call from <sip:101@h>") << QList<int>{};
    QTest::addRow("Answered") << 1 << QStringLiteral("hook=Answered") << QList<int>{};
    QTest::addRow("call out") << 2 << QStringLiteral("call out, hook=x") << QList<int>{};
    QTest::addRow("Ringing") << 0 << QStringLiteral("hook=Ringing") << QList<int>{};
}

void TestCallStateMachine::transitionTable()
{
    QFETCH(int, from);
    QFETCH(QString, status);
    QFETCH(QList<int>, to);
    const ConfigRecord stations = stationsWith({{3, QStringLiteral("101")}});
    const QList<CallTransition> steps = CallStateMachine::tick(status, from, 4, stations);
    QCOMPARE(toStates(steps), to);
    if (!steps.isEmpty())
        QCOMPARE(steps.first().fromState, from);
}

void TestCallStateMachine::stepsOfOneTick_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QList<int>>("to");

    // Each step is tested against the state the one before left.
    QTest::newRow("offhook and Incoming call in state 3: 0 then 1")
        << 3 << (Offhook + QLatin1Char(' ') + Incoming) << QList<int>{0, 1};
    QTest::newRow("the same text in state 0: only 1") << 0 << (Offhook + QLatin1Char(' ') + Incoming)
                                                      << QList<int>{1};
    QTest::newRow("Incoming call before offhook in the text: still 0 then 1")
        << 2 << (Incoming + QLatin1Char(' ') + Offhook) << QList<int>{0, 1};
    QTest::newRow("Incoming call and answered from 0: 1 then 3")
        << 0 << (Incoming + QLatin1Char(' ') + Answered) << QList<int>{1, 3};
    QTest::newRow("answered and ringing from 0: 3 then 2") << 0 << (Answered + QLatin1Char(' ') + Ringing)
                                                           << QList<int>{3, 2};
    QTest::newRow("all four words from 3: 0, 1, 3, 2")
        << 3 << (Offhook + Incoming + Answered + Dialing) << QList<int>{0, 1, 3, 2};
    QTest::newRow("all four words from 1: 0, 1, 3, 2")
        << 1 << (Offhook + Incoming + Answered + Dialing) << QList<int>{0, 1, 3, 2};
}

void TestCallStateMachine::stepsOfOneTick()
{
    QFETCH(int, from);
    QFETCH(QString, status);
    QFETCH(QList<int>, to);
    const QList<CallTransition> steps = CallStateMachine::tick(status, from, 0, stationsWith({}));
    QCOMPARE(toStates(steps), to);
    for (qsizetype i = 1; i < steps.size(); ++i)
        QCOMPARE(steps[i].fromState, steps[i - 1].toState);
}

void TestCallStateMachine::onlyIncomingChoosesTheStation()
{
    const ConfigRecord stations = stationsWith({{3, QStringLiteral("101")}, {9, QStringLiteral("109")}});
    // The operator dialled station 9: the connected and outgoing steps keep it.
    auto t = CallStateMachine::tryStep(CallStep::Outgoing, Ringing, 0, 9, stations);
    QVERIFY(t);
    QCOMPARE(t->station, 9);
    t = CallStateMachine::tryStep(CallStep::Connected, CallOut, 2, 9, stations);
    QVERIFY(t);
    QCOMPARE(t->station, 9);
    t = CallStateMachine::tryStep(CallStep::Ended, Offhook, 3, 9, stations);
    QVERIFY(t);
    QCOMPARE(t->station, 9);
    // A call coming in moves it to the caller.
    t = CallStateMachine::tryStep(CallStep::Incoming, Incoming, 0, 9, stations);
    QVERIFY(t);
    QCOMPARE(t->station, 3);
    QCOMPARE(t->step, CallStep::Incoming);
    // A step whose word is missing does not fire.
    QVERIFY(!CallStateMachine::tryStep(CallStep::Incoming, Ringing, 0, 9, stations));
}

void TestCallStateMachine::callingStation_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QList<int>>("activeStations");
    QTest::addColumn<QStringList>("extensions"); // for the stations of activeStations, in order
    QTest::addColumn<int>("expected");

    QTest::newRow("station 3 at 101") << Incoming << QList<int>{3} << QStringList{QStringLiteral("101")} << 3;
    QTest::newRow("sip:101, station 3 at 101 and station 5 at 10: station 5 wins")
        << Incoming << QList<int>{3, 5} << QStringList{QStringLiteral("101"), QStringLiteral("10")} << 5;
    QTest::newRow("the same with the numbers swapped: station 5 at 101 still wins")
        << Incoming << QList<int>{3, 5} << QStringList{QStringLiteral("10"), QStringLiteral("101")} << 5;
    QTest::newRow("the last of two equal extensions") << Incoming << QList<int>{2, 9, 4}
                                                      << QStringList{QStringLiteral("101"), QStringLiteral("101"),
                                                                     QStringLiteral("102")}
                                                      << 9;
    QTest::newRow("no match: station 0") << Incoming << QList<int>{3, 5}
                                         << QStringList{QStringLiteral("102"), QStringLiteral("103")} << 0;
    QTest::newRow("no station active: station 0") << Incoming << QList<int>{} << QStringList{} << 0;
    QTest::newRow("an empty extension matches nothing") << Incoming << QList<int>{7, 2}
                                                        << QStringList{QString(), QStringLiteral("101")} << 2;
    QTest::newRow("the extension must follow sip:") << QStringLiteral("Incoming call from \"101\" <sip:sipp@h>")
                                                    << QList<int>{3} << QStringList{QStringLiteral("101")} << 0;
    QTest::newRow("station 15 counts") << QStringLiteral("Incoming call <sip:115@h>") << QList<int>{15}
                                       << QStringList{QStringLiteral("115")} << 15;
    QTest::newRow("case-sensitive") << QStringLiteral("Incoming call <sip:Door@h>") << QList<int>{1}
                                    << QStringList{QStringLiteral("door")} << 0;
}

void TestCallStateMachine::callingStation()
{
    QFETCH(QString, status);
    QFETCH(QList<int>, activeStations);
    QFETCH(QStringList, extensions);
    QFETCH(int, expected);
    ConfigRecord r;
    for (qsizetype i = 0; i < activeStations.size(); ++i) {
        r.active[std::size_t(activeStations[i])] = 1;
        r.extension[std::size_t(activeStations[i])] = extensions[i];
    }
    // An inactive station with a matching extension is ignored.
    r.active[12] = 0;
    r.extension[12] = QStringLiteral("101");
    QCOMPARE(CallStateMachine::findCallingStation(status, r), expected);
}

void TestCallStateMachine::imageKeys()
{
    QCOMPARE(CallStateMachine::telImageKey(0), QStringLiteral("tel_n"));
    QCOMPARE(CallStateMachine::telImageKey(1), QStringLiteral("tel_v"));
    QCOMPARE(CallStateMachine::telImageKey(2), QStringLiteral("tel_b"));
    QCOMPARE(CallStateMachine::telImageKey(3), QStringLiteral("tel_r"));
}

QTEST_APPLESS_MAIN(TestCallStateMachine)
#include "test_callstatemachine.moc"

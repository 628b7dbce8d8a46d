// The call state machine fed with status texts: the texts that move nothing (the rows that move
// the state are checked with their effects in test_callstatusmonitor), the order of the steps
// within one tick and the caller match.

#include "CallStateMachine.h"
#include "ConfigRecord.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Texts as the engine gives them (the idle text after the engine's own "hook=on-hook" is normalised).
const QString Offhook = u"hook=offhook"_s;
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
    void textsThatMoveNothing_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("status");
        QTest::newRow("3 Call out stays") << 3 << CallOut;
        QTest::newRow("2 dialing stays") << 2 << Dialing;
        for (int from : {1, 2, 3}) {
            QTest::addRow("%d hook=on-hook not normalised", from) << from << u"hook=on-hook"_s;
            QTest::addRow("%d engine not answering", from) << from << u"ERROR: no reply"_s;
        }
        // The search is case-sensitive.
        QTest::newRow("OFFHOOK") << 3 << u"hook=OFFHOOK"_s;
        QTest::newRow("incoming call") << 0 << u"incoming call from <sip:101@h>"_s;
        QTest::newRow("Answered") << 1 << u"hook=Answered"_s;
        QTest::newRow("call out") << 2 << u"call out, hook=x"_s;
        QTest::newRow("Ringing") << 0 << u"hook=Ringing"_s;
    }

    void textsThatMoveNothing()
    {
        QFETCH(int, from);
        QFETCH(QString, status);
        QCOMPARE(toStates(CallStateMachine::tick(status, from, 4, stationsWith({{3, u"101"_s}}))), QList<int>());
    }

    void stepsOfOneTick_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QList<int>>("to");

        // Each step is tested against the state the one before left.
        QTest::newRow("offhook and Incoming call in state 3: 0 then 1") << 3 << (Offhook + u' ' + Incoming)
                                                                        << QList<int>{0, 1};
        QTest::newRow("the same text in state 0: only 1") << 0 << (Offhook + u' ' + Incoming) << QList<int>{1};
        QTest::newRow("Incoming call before offhook in the text: still 0 then 1") << 2 << (Incoming + u' ' + Offhook)
                                                                                  << QList<int>{0, 1};
        QTest::newRow("answered and ringing from 0: 3 then 2") << 0 << (Answered + u' ' + Ringing) << QList<int>{3, 2};
        QTest::newRow("all four words from 3: 0, 1, 3, 2") << 3 << (Offhook + Incoming + Answered + Dialing)
                                                           << QList<int>{0, 1, 3, 2};
    }

    void stepsOfOneTick()
    {
        QFETCH(int, from);
        QFETCH(QString, status);
        QFETCH(QList<int>, to);
        const QList<CallTransition> steps = CallStateMachine::tick(status, from, 0, stationsWith({}));
        QCOMPARE(toStates(steps), to);
        QCOMPARE(steps.first().fromState, from);
        for (qsizetype i = 1; i < steps.size(); ++i)
            QCOMPARE(steps[i].fromState, steps[i - 1].toState);
    }

    void callingStation_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QList<int>>("activeStations");
        QTest::addColumn<QStringList>("extensions"); // for the stations of activeStations, in order
        QTest::addColumn<int>("expected");

        QTest::newRow("sip:101, station 3 at 101 and station 5 at 10: station 5 wins")
            << Incoming << QList<int>{3, 5} << QStringList{u"101"_s, u"10"_s} << 5;
        QTest::newRow("the same with the numbers swapped: station 5 at 101 still wins")
            << Incoming << QList<int>{3, 5} << QStringList{u"10"_s, u"101"_s} << 5;
        QTest::newRow("the last of two equal extensions") << Incoming << QList<int>{2, 9, 4}
                                                          << QStringList{u"101"_s, u"101"_s, u"102"_s} << 9;
        QTest::newRow("no match: station 0") << Incoming << QList<int>{3, 5} << QStringList{u"102"_s, u"103"_s} << 0;
        QTest::newRow("an empty extension matches nothing") << Incoming << QList<int>{7, 2}
                                                            << QStringList{QString(), u"101"_s} << 2;
        QTest::newRow("the extension must follow sip:") << u"Incoming call from \"101\" <sip:sipp@h>"_s << QList<int>{3}
                                                        << QStringList{u"101"_s} << 0;
        QTest::newRow("station 15 counts") << u"Incoming call <sip:115@h>"_s << QList<int>{15} << QStringList{u"115"_s}
                                           << 15;
        QTest::newRow("case-sensitive") << u"Incoming call <sip:Door@h>"_s << QList<int>{1} << QStringList{u"door"_s}
                                        << 0;
    }

    void callingStation()
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
        r.extension[12] = u"101"_s;
        QCOMPARE(CallStateMachine::findCallingStation(status, r), expected);
    }
};

QTEST_APPLESS_MAIN(TestCallStateMachine)
#include "test_callstatemachine.moc"

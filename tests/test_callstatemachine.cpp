// Which station calls, as a status tick finds it: extension 10 against 101, the last matching active station
// wins. (Where each status text leaves the call is checked with its effects in test_callstatusmonitor.)

#include "CallStateMachine.h"
#include "ConfigRecord.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestCallStateMachine : public QObject
{
    Q_OBJECT
private slots:
    void callingStation_data()
    {
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("stations"); // "3=101 5=10": stations 3 and 5 active, with those extensions
        QTest::addColumn<int>("station");
        const QString incoming = u"Incoming call from \"sipp\" <sip:101@127.0.0.3:5060>"_s;
        QTest::newRow("sip:101, station 5 at 10 after 3 at 101") << incoming << u"3=101 5=10"_s << 5;
        QTest::newRow("station 5 at 101 after 3 at 10") << incoming << u"3=10 5=101"_s << 5;
        QTest::newRow("the last of two equal extensions") << incoming << u"2=101 9=101 4=102"_s << 9;
        QTest::newRow("no match: station 0") << incoming << u"3=102 5=103"_s << 0;
        QTest::newRow("an empty extension matches nothing") << incoming << u"7= 2=101"_s << 2;
        QTest::newRow("slots after 15 are no stations") << incoming << u"20=101"_s << 0;
        QTest::newRow("the extension follows sip:") << u"Incoming call from \"101\" <sip:sipp@h>"_s << u"3=101"_s << 0;
        QTest::newRow("station 15 counts") << u"Incoming call <sip:115@h>"_s << u"15=115"_s << 15;
        QTest::newRow("case matters") << u"Incoming call <sip:Door@h>"_s << u"1=door"_s << 0;
    }

    void callingStation()
    {
        QFETCH(QString, status);
        QFETCH(QString, stations);
        ConfigRecord record;
        record.extension[12] = u"101"_s; // not active: never matches
        for (const QString& pair : stations.split(u' ', Qt::SkipEmptyParts)) {
            record.active[pair.section(u'=', 0, 0).toUInt()] = 1;
            record.extension[pair.section(u'=', 0, 0).toUInt()] = pair.section(u'=', 1);
        }
        const QList<CallTransition> steps = CallStateMachine::tick(status, 0, 7, record);
        QCOMPARE(steps.size(), 1);
        QTEST(steps[0].station, "station");
    }
};

QTEST_APPLESS_MAIN(TestCallStateMachine)
#include "test_callstatemachine.moc"

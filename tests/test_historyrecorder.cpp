// What the recorder makes of the console's signals, stored through a real
// archive in a scratch directory, on a clock the test moves.

#include "ConfigRecord.h"
#include "HistoryArchive.h"
#include "HistoryRecorder.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kStart = 1'800'000'000'000; // ms since the epoch

// A state or cause by its name in the logs without spaces ("incall", "endedbypeer"); the names end at the first empty.
template <typename Enum>
Enum byName(const QString& word, QString (*name)(Enum))
{
    for (int i = 0; !name(Enum(i)).isEmpty(); ++i) {
        if (name(Enum(i)).remove(u' ') == word)
            return Enum(i);
    }
    qFatal("unknown name %s", qPrintable(word));
}

CallTransition known(CallState from, CallState to, int station, CallCause cause = CallCause::None)
{
    return CallTransition{from, to, station, cause, u"<sip:%1@h>"_s.arg(100 + station), true};
}

// "kind/outcome/station/duration/caller/pictures", pictures as two digits (slot 0, slot 1).
QString describe(const HistoryEvent& e)
{
    return u"%1/%2/%3/%4/%5/%6%7"_s.arg(history::kindWord(e.kind), history::outcomeWord(e.outcome))
        .arg(e.station)
        .arg(e.durationSec)
        .arg(e.caller)
        .arg(int(e.hasPicture[0]))
        .arg(int(e.hasPicture[1]));
}

} // namespace

class TestHistoryRecorder : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    ConfigRecord m_record;
    qint64 m_now = kStart;

    QList<HistoryEvent> storedEvents(HistoryArchive& archive)
    {
        archive.flush();
        QList<HistoryEvent> events;
        bool answered = false;
        archive.queryEvents(HistoryFilter{}, [&](const QList<HistoryEvent>& found) {
            events = found;
            answered = true;
        });
        [&] { QTRY_VERIFY(answered); }();
        return events;
    }

    QByteArray storedPicture(HistoryArchive& archive, qint64 id, int slot)
    {
        QByteArray jpeg;
        bool answered = false;
        archive.queryPicture(id, slot, [&](const QByteArray& found) {
            jpeg = found;
            answered = true;
        });
        [&] { QTRY_VERIFY(answered); }();
        return jpeg;
    }

    // One line of a script: "+MS" moves the clock; "frame S", "ring S|? PEER" (?: a caller that matched no
    // station), "state FROM TO S [CAUSE]", "door S", "end S", "relay S COMMAND sent|dropped", "engine up|down".
    void run(HistoryRecorder& recorder, const QString& line)
    {
        const QStringList w = line.split(u' ');
        if (w[0].startsWith(u'+'))
            m_now += w[0].mid(1).toLongLong();
        else if (w[0] == "frame"_L1)
            recorder.frameArrived(w[1].toInt(), "jpeg " + line.toUtf8() + " at " + QByteArray::number(m_now));
        else if (w[0] == "ring"_L1)
            recorder.callStateChanged(CallTransition{CallState::Idle, CallState::Incoming, w[1].toInt(),
                                                     CallCause::None, w.mid(2).join(u' '), w[1] != "?"_L1});
        else if (w[0] == "state"_L1)
            recorder.callStateChanged(known(byName(w[1], callStateName), byName(w[2], callStateName), w[3].toInt(),
                                            byName(w.value(4, u"none"_s), callCauseName)));
        else if (w[0] == "door"_L1)
            recorder.doorCallAnnounced(w[1].toInt());
        else if (w[0] == "end"_L1)
            recorder.doorCallEnded(w[1].toInt());
        else if (w[0] == "relay"_L1)
            recorder.relayCommandDone(w[1].toInt(), w[2], w[3] == "sent"_L1);
        else if (w[0] == "engine"_L1)
            recorder.telephonyChanged(w[1] == "up"_L1);
        else
            QFAIL(qPrintable(u"unknown step "_s + line));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        for (int i = 0; i < 16; ++i) {
            m_record.active[std::size_t(i)] = 1;
            m_record.extension[std::size_t(i)] = QString::number(100 + i);
            m_record.description[std::size_t(i)] = u"Door %1"_s.arg(i);
        }
    }

    void events_data()
    {
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QStringList>("expected"); // oldest first
        QTest::addColumn<int>("missed");
        const QString ring2 = u"ring 2 \"door\" <sip:102@127.0.0.4:5060>"_s;

        QTest::newRow("missed, fresh frame at the ring")
            << QStringList{u"frame 2"_s, u"+900"_s, ring2, u"+20000"_s, u"state incoming idle 2 endedbypeer"_s}
            << QStringList{u"incoming call/missed/2/-1//10"_s} << 1;
        QTest::newRow("answered: ring and answer pictures, duration")
            << QStringList{u"frame 2"_s, ring2, u"+3000"_s, u"frame 2"_s, u"state incoming incall 2 answeredhere"_s,
                           u"+65400"_s, u"state incall idle 2 endedbypeer"_s}
            << QStringList{u"incoming call/answered/2/65//11"_s} << 0;
        QTest::newRow("rejected on the popup is not missed")
            << QStringList{ring2, u"state incoming idle 2 rejected"_s}
            << QStringList{u"incoming call/rejected/2/-1//00"_s} << 0;
        QTest::newRow("taken at another desk is answered elsewhere, not missed")
            << QStringList{u"frame 2"_s, ring2, u"+4000"_s, u"state incoming idle 2 takenelsewhere"_s}
            << QStringList{u"incoming call/answered elsewhere/2/-1//10"_s} << 0;
        QTest::newRow("hung up on the popup after the answer is answered")
            << QStringList{ring2, u"state incoming incall 2 answeredhere"_s, u"+1000"_s,
                           u"state incall idle 2 rejected"_s}
            << QStringList{u"incoming call/answered/2/1//00"_s} << 0;
        QTest::newRow("unknown caller: no station, its address, no picture")
            << QStringList{u"frame 0"_s, u"ring ? \"x\" <sip:999@127.0.0.9>"_s, u"state incoming idle 0 endedbypeer"_s}
            << QStringList{u"incoming call/missed/-1/-1/sip:999@127.0.0.9/00"_s} << 1;
        QTest::newRow("outgoing, not answered")
            << QStringList{u"frame 4"_s, u"state idle outgoing 4"_s, u"+30000"_s, u"state outgoing idle 4 hunguphere"_s}
            << QStringList{u"outgoing call/not answered/4/-1//10"_s} << 0;
        QTest::newRow("outgoing, answered")
            << QStringList{u"state idle outgoing 4"_s, u"state outgoing incall 4 peeranswered"_s, u"+10000"_s,
                           u"state incall idle 4 hunguphere"_s}
            << QStringList{u"outgoing call/answered/4/10//00"_s} << 0;
        QTest::newRow("a new ring while in a call ends that call first")
            << QStringList{u"state idle outgoing 4"_s, u"state outgoing incall 4 peeranswered"_s, u"+2000"_s, ring2,
                           u"state incoming idle 2 endedbypeer"_s}
            << QStringList{u"outgoing call/answered/4/2//00"_s, u"incoming call/missed/2/-1//00"_s} << 1;
        QTest::newRow("stale frame: the next one is taken")
            << QStringList{u"frame 3"_s, u"+1500"_s, u"door 3"_s, u"+700"_s, u"frame 3"_s, u"end 3"_s}
            << QStringList{u"door call/ended/3/-1//10"_s} << 0;
        QTest::newRow("a frame 1.1 s old is not the event's")
            << QStringList{u"frame 3"_s, u"+1100"_s, u"door 3"_s} << QStringList{u"door call/ringing/3/-1//00"_s} << 0;
        QTest::newRow("a frame long after the event is not taken")
            << QStringList{u"door 3"_s, u"+31000"_s, u"frame 3"_s}
            << QStringList{u"door call/ringing/3/-1//00"_s} << 0;
        QTest::newRow("repeated CALL is one door call; END without CALL is nothing")
            << QStringList{u"end 5"_s, u"door 5"_s, u"door 5"_s, u"end 5"_s, u"end 5"_s}
            << QStringList{u"door call/ended/5/-1//00"_s} << 0;
        QTest::newRow("relays: lock sent, light dropped, anything else ignored")
            << QStringList{u"frame 6"_s, u"relay 6 101 sent"_s, u"relay 6 210 dropped"_s, u"relay 6 999 sent"_s}
            << QStringList{u"door open/sent/6/-1//10"_s, u"light/failed/6/-1//10"_s} << 0;
        QTest::newRow("engine: only changes count")
            << QStringList{u"engine up"_s, u"engine down"_s, u"engine down"_s, u"engine up"_s}
            << QStringList{u"sip engine/lost/-1/-1//00"_s, u"sip engine/back/-1/-1//00"_s} << 0;
    }

    void events()
    {
        QFETCH(QStringList, script);
        QFETCH(QStringList, expected);
        QFETCH(int, missed);
        HistoryArchive archive;
        QSignalSpy opened(&archive, &HistoryArchive::opened);
        archive.open(m_dir.filePath(QString::fromLatin1(QTest::currentDataTag())), HistoryLimits{});
        QTRY_COMPARE(opened.size(), 1);
        QVERIFY(opened.at(0).at(0).toBool());
        HistoryRecorder recorder(archive, m_record, [this] { return m_now; });
        recorder.setDeskName(u"Guard room"_s);
        for (const QString& line : script)
            run(recorder, line);

        QList<HistoryEvent> stored = storedEvents(archive);
        std::reverse(stored.begin(), stored.end());
        QStringList got;
        for (const HistoryEvent& e : stored)
            got << describe(e);
        QCOMPARE(got, expected);
        QCOMPARE(recorder.missedCount(), missed);
        for (const HistoryEvent& e : stored) {
            QCOMPARE(e.description, e.station < 0 ? QString() : u"Door %1"_s.arg(e.station));
            QVERIFY(e.timeMs >= kStart && e.id >= e.timeMs * 1000);
            QCOMPARE(e.desk, u"Guard room"_s);
        }
    }

    // The pictures are the bytes as the camera sent them, of the right moment.
    void picturesAreTheFramesOfTheirMoment()
    {
        HistoryArchive archive;
        archive.open(m_dir.filePath(u"pictures"_s), HistoryLimits{});
        HistoryRecorder recorder(archive, m_record, [this] { return m_now; });
        const QByteArray atRing("\xff\xd8 ring frame", 13);
        const QByteArray atAnswer("\xff\xd8 answer frame", 15);
        recorder.frameArrived(7, atRing);
        recorder.callStateChanged(known(CallState::Idle, CallState::Incoming, 7));
        m_now += 4000;
        recorder.frameArrived(7, atAnswer);
        recorder.callStateChanged(known(CallState::Incoming, CallState::InCall, 7, CallCause::AnsweredHere));
        recorder.callStateChanged(known(CallState::InCall, CallState::Idle, 7, CallCause::HungUpHere));
        const QList<HistoryEvent> stored = storedEvents(archive);
        QCOMPARE(stored.size(), 1);
        QCOMPARE(storedPicture(archive, stored[0].id, 0), atRing);
        QCOMPARE(storedPicture(archive, stored[0].id, 1), atAnswer);
    }

    // The count survives a restart (from the archive) and starts again when the history is opened.
    void missedCountSinceLastOpening()
    {
        HistoryArchive archive;
        archive.open(m_dir.filePath(u"missed"_s), HistoryLimits{});
        {
            HistoryRecorder before(archive, m_record, [this] { return m_now; });
            for (int i = 0; i < 3; ++i) {
                m_now += 1000;
                before.callStateChanged(known(CallState::Idle, CallState::Incoming, 1));
                before.callStateChanged(known(CallState::Incoming, CallState::Idle, 1, CallCause::EndedByPeer));
            }
        }
        const qint64 seen = m_now - 1500; // the last two are newer
        HistoryRecorder recorder(archive, m_record, [this] { return m_now; });
        QSignalSpy changed(&recorder, &HistoryRecorder::missedCountChanged);
        recorder.loadMissedCount(seen);
        // A call missed while the count is read counts too.
        m_now += 1000;
        recorder.callStateChanged(known(CallState::Idle, CallState::Incoming, 1));
        recorder.callStateChanged(known(CallState::Incoming, CallState::Idle, 1, CallCause::EndedByPeer));
        QTRY_COMPARE(recorder.missedCount(), 3);
        recorder.historyOpened();
        QCOMPARE(recorder.missedCount(), 0);
        QCOMPARE(changed.last().at(0).toInt(), 0);
    }
};

QTEST_GUILESS_MAIN(TestHistoryRecorder)
#include "test_historyrecorder.moc"

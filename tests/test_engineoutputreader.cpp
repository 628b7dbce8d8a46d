// The engine daemon's output as linphonec 5.1 prints it: which lines are call events, how the pipe's chunks become
// lines, and what of a line may reach the log.

#include "EngineOutputReader.h"

#include <QtTest>

using Event = std::optional<EngineEvent>;
using Kind = EngineEvent::Kind;

char* toString(const Event& event)
{
    if (!event)
        return qstrdup("no event");
    return QTest::toString(QStringLiteral("kind %1 id %2 peer [%3] reason [%4]")
                               .arg(int(event->kind))
                               .arg(event->callId)
                               .arg(event->peer, event->reason));
}

class TestEngineOutputReader : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<Event>("event");
        const auto row = [](const char* line, Kind kind, int id, const char* peer, const char* reason = "") {
            QTest::addRow("%s", QByteArray(line).trimmed().constData())
                << QByteArray(line) << Event(EngineEvent{kind, id, QString::fromUtf8(peer), QString::fromUtf8(reason)});
        };
        const char* door = "\"Door 5\" <sip:105@127.0.0.6:5070>";
        row("Receiving new incoming call from \"Door 5\" <sip:105@127.0.0.6:5070>, assigned id 1", Kind::IncomingCall,
            1, door);
        row("Receiving new incoming call from sip:127.0.0.3, assigned id 12", Kind::IncomingCall, 12, "sip:127.0.0.3");
        row("Receiving new incoming call from \"T\xc3\xbcr\" <sip:1@h>, assigned id 3", Kind::IncomingCall, 3,
            "\"T\xc3\xbcr\" <sip:1@h>");
        row("Receiving new incoming call from \"a, assigned id 9\" <sip:1@h>, assigned id 4", Kind::IncomingCall, 4,
            "\"a, assigned id 9\" <sip:1@h>");
        row("Establishing call id to sip:127.0.0.9:5999, assigned id 5", Kind::OutgoingStarted, 5,
            "sip:127.0.0.9:5999");
        row("Call 5 to sip:h in progress.", Kind::OutgoingStarted, 5, "sip:h");
        row("Call 6 to sip:h ringing.", Kind::OutgoingStarted, 6, "sip:h");
        row("Call 1 with sip:h early media.", Kind::OutgoingStarted, 1, "sip:h");
        row("Call 1 with \"Door 5\" <sip:105@127.0.0.6:5070> connected.", Kind::Connected, 1, door);
        row("Call 6 with sip:h error.", Kind::Error, 6, "sip:h");
        row("Call 3 with sip:h ended (No error).", Kind::Ended, 3, "sip:h", "No error");
        row("Call 3 with sip:h ended (Call declined).", Kind::Ended, 3, "sip:h", "Call declined");
        row("Call 3 with sip:h ended (Not answered).", Kind::Ended, 3, "sip:h", "Not answered");
        row("Call 3 with sip:h ended (Busy).", Kind::Ended, 3, "sip:h", "Busy");
        row("linphonec> Call 7 with sip:h connected.", Kind::Connected, 7, "sip:h");
        row("linphonec> linphonec> Call 7 to sip:h ringing.", Kind::OutgoingStarted, 7, "sip:h");
        row("Call 2 with sip:h ended (No error).\r\n", Kind::Ended, 2, "sip:h", "No error");
        row("Call 2 with \"Gate (north) connected.\" <sip:1@127.0.0.2> ended (Not answered).", Kind::Ended, 2,
            "\"Gate (north) connected.\" <sip:1@127.0.0.2>", "Not answered");
        for (const char* line :
             {"Media streams established with sip:h for call 1 (audio).", "Receiving tone 5 from sip:h",
              "Receiving command 'call sip:127.0.0.9:5999'", "hook=answered duration=1 \"sip:h\"",
              "Call out, hook=sip:h duration=1, muted=no rtp-xmit-muted=no", "Call 1 with sip:h is now paused.",
              "Terminating...", "linphonec> ", "", "Call x with sip:h connected.", "Call -1 with sip:h connected.",
              "Call 1a with sip:h connected.", "Call \xd9\xa3 with sip:h connected.",
              "Call 99999999999 with sip:h connected.", "Receiving new incoming call from sip:h, assigned id one",
              "Call 1 with sip:h connected", "Call 1 with sip:h connected. ", " Call 1 with sip:h error.",
              "Call 1 with sip:h ended.", "Call 1 with  connected.", "xlinphonec> Call 1 to sip:h ringing."})
            QTest::addRow("not an event: %s", line) << QByteArray(line) << Event();
    }

    void parse()
    {
        QFETCH(QByteArray, line);
        QTEST(EngineOutputReader::parse(line), "event");
    }

    void takeLines_data()
    {
        QTest::addColumn<int>("chunk");
        for (int chunk : {1, 2, 3, 7})
            QTest::addRow("chunks of %d", chunk) << chunk;
        QTest::newRow("all at once") << 0;
    }

    void takeLines()
    {
        QFETCH(int, chunk);
        const qsizetype max = EngineOutputReader::kMaxLineBytes;
        // Each line with the end the daemon printed it with; the last has none.
        const QList<std::pair<QByteArray, QByteArray>> printed = {
            {"Receiving new incoming call from \"T\xc3\xbcr S\xc3\xbc" "d\" <sip:1@h>, assigned id 3", "\r\n"},
            {"", "\n"},
            {"linphonec> Call 3 with sip:h ended (Busy).", "\r\n"},
            {QByteArray(max, 'x'), "\r\n"}, // exactly the limit: one line, no empty one after it
            {QByteArray(max - 1, 'a') + "\xe2\x82\xac" "b", "\n"}, // the euro sign straddles the limit
            {"\xe2\x82\xac", "\n"},
            {QByteArray(max + 2, 'y') + "linphonec> ", ""}, // cut before any line end arrives
        };
        const QList<QByteArray> expected = {printed[0].first, "", printed[2].first, printed[3].first,
                                            QByteArray(max - 1, 'a'), "\xe2\x82\xac" "b", "\xe2\x82\xac",
                                            QByteArray(max, 'y')};
        QByteArray output;
        for (const auto& [line, end] : printed)
            output += line + end;

        EngineOutputReader reader;
        QList<QByteArray> lines;
        const qsizetype step = chunk > 0 ? chunk : output.size();
        for (qsizetype at = 0; at < output.size(); at += step)
            lines += reader.takeLines(QByteArrayView(output).sliced(at, std::min(step, output.size() - at)));
        QCOMPARE(lines, expected);
        QCOMPARE(reader.takeRest(), QByteArray("yylinphonec> "));
        QCOMPARE(reader.takeRest(), QByteArray());
    }

    void masked_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("secret");
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char* line, const char* secret, const char* expected) {
            QTest::addRow("%s", line) << QByteArray(line) << QByteArray(secret) << QByteArray(expected);
        };
        row("Receiving command 'register sip:c@h sip:h:5060 s3cr'et'", "",
            "Receiving command 'register sip:c@h sip:h:5060 ******'");
        // A command sent with its line end: the daemon echoes the closing quote on the next line.
        row("linphonec> linphonec> Receiving command 'register a  b\tpw tail", "",
            "linphonec> linphonec> Receiving command 'register a  b\t******");
        row("Receiving command 'register sip:c@h sip:h'", "", "Receiving command 'register sip:c@h sip:h'");
        row("Receiving command 'status register a b c'", "", "Receiving command 'status register a b c'");
        row("auth pw=k3y user k3yk3y", "k3y", "auth pw=****** user ************");
        row("Receiving command 'register sip:k3y@h sip:h k3y'", "k3y",
            "Receiving command 'register sip:******@h sip:h ******'");
    }

    void masked()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, secret);
        QTEST(EngineOutputReader::masked(line, secret), "expected");
    }
};

QTEST_GUILESS_MAIN(TestEngineOutputReader)
#include "test_engineoutputreader.moc"

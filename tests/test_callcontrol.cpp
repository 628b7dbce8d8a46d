// The call buttons with the engine, windows and popup faked: the three
// branches of the telephone button, the dial text in both modes, the
// command buttons and the mute toggle.

#include "CallControl.h"
#include "CallStatusMonitor.h"
#include "ConfigRecord.h"
#include "FakeCallView.h"
#include "FakeRingAlert.h"
#include "FakeSipEngine.h"
#include "Logger.h"

#include <QtTest>

namespace {

/// Engine whose dial reply the test chooses.
class DialReplyEngine : public FakeSipEngine
{
public:
    QString dialReply = QStringLiteral("Establishing call id to <x>, assigned id 1");
    QString linphoneDial(const QString& address) override
    {
        FakeSipEngine::linphoneDial(address);
        return dialReply;
    }
};

/// Log entries go into the shared journal, so their order against the engine shows.
class JournalLogger : public Logger
{
public:
    QStringList* journal = nullptr;
    QStringList entries;
    void WriteLog(const QString& text) override
    {
        entries.append(text);
        if (journal)
            journal->append(QStringLiteral("log:") + text);
    }
};

struct Rig
{
    QStringList journal;
    ConfigRecord record;
    int CallState = 0;
    int CallStation = 0;
    DialReplyEngine engine;
    JournalLogger logger;
    FakeCallView view;
    FakeRingAlert alert;
    CallControl control{engine, logger, record, CallState, CallStation, view, alert};

    Rig()
    {
        engine.journal = &journal;
        logger.journal = &journal;
        view.journal = &journal;
        alert.journal = &journal;
        for (int i = 0; i < 16; ++i) {
            record.active[std::size_t(i)] = 1;
            record.ipAddress[std::size_t(i)] = QStringLiteral("127.0.0.%1").arg(i + 2);
            record.extension[std::size_t(i)] = QStringLiteral("%1").arg(100 + i);
        }
    }
};

QStringList lines(std::initializer_list<const char*> texts)
{
    QStringList out;
    for (const char* t : texts)
        out.append(QString::fromLatin1(t));
    return out;
}

} // namespace

class TestCallControl : public QObject
{
    Q_OBJECT
private slots:
    void dialText_data();
    void dialText();
    void dialLogsTrimmedReply();
    void answerWhileIncoming();
    void hangUp_data();
    void hangUp();
    void twoQuickPressesDialTwice();
    void indexOutOfRange();
    void replyText_data();
    void replyText();
    void commandButtons();
    void muteToggles();
    void muteLookUnmutedAtNextCall();
};

void TestCallControl::dialText_data()
{
    QTest::addColumn<int>("useSipServer");
    QTest::addColumn<int>("station");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("dialled");

    QTest::newRow("server mode: station 4 at 104") << 1 << 4 << QStringLiteral("127.0.0.6") << QStringLiteral("104")
                                                   << QStringLiteral("104");
    QTest::newRow("direct mode: sip: and the IP address")
        << 0 << 4 << QStringLiteral("127.0.0.10") << QStringLiteral("104") << QStringLiteral("sip:127.0.0.10");
    QTest::newRow("server mode, any non-zero flag") << -1 << 0 << QStringLiteral("127.0.0.2")
                                                    << QStringLiteral("100") << QStringLiteral("100");
    QTest::newRow("server mode: the extension exactly as stored")
        << 1 << 15 << QStringLiteral("127.0.0.17") << QStringLiteral("sip:115@127.0.0.1:5080")
        << QStringLiteral("sip:115@127.0.0.1:5080");
    QTest::newRow("server mode: empty extension still dialled") << 1 << 2 << QStringLiteral("127.0.0.4") << QString()
                                                                << QString();
    QTest::newRow("direct mode: empty address still dialled") << 0 << 2 << QString() << QStringLiteral("102")
                                                              << QStringLiteral("sip:");
}

void TestCallControl::dialText()
{
    QFETCH(int, useSipServer);
    QFETCH(int, station);
    QFETCH(QString, ip);
    QFETCH(QString, extension);
    QFETCH(QString, dialled);

    Rig rig;
    rig.record.useSipServer = qint16(useSipServer);
    rig.record.ipAddress[std::size_t(station)] = ip;
    rig.record.extension[std::size_t(station)] = extension;
    QCOMPARE(CallControl::dialAddress(rig.record, station), dialled);
    rig.CallStation = 9;
    rig.control.cmdTel_MouseUp(station);
    QCOMPARE(rig.engine.calls, QStringList{QStringLiteral("dial ") + dialled});
    QCOMPARE(rig.CallStation, station);
    QCOMPARE(rig.CallState, 0); // the state follows the engine at the next tick
    QCOMPARE(rig.logger.entries.size(), 1);
}

void TestCallControl::dialLogsTrimmedReply()
{
    Rig rig;
    rig.engine.dialReply = QStringLiteral("  Establishing call id to <sip:127.0.0.5>, assigned id 1\n");
    rig.control.cmdTel_MouseUp(3);
    QCOMPARE(rig.journal, lines({"engine:dial sip:127.0.0.5",
                                 "log:Establishing call id to <sip:127.0.0.5>, assigned id 1"}));
    QCOMPARE(rig.alert.unloads, 0);
}

void TestCallControl::answerWhileIncoming()
{
    Rig rig;
    rig.CallState = 1;
    rig.CallStation = 2; // the call rings for station 2
    rig.alert.popupLoaded = true;
    rig.control.cmdTel_MouseUp(7);
    QCOMPARE(rig.journal, lines({"engine:answer", "log:incoming", "alert:unload"}));
    QCOMPARE(rig.CallStation, 2);
    QCOMPARE(rig.CallState, 1);
    QVERIFY(!rig.alert.popupLoaded);
}

void TestCallControl::hangUp_data()
{
    QTest::addColumn<int>("state");
    QTest::newRow("outgoing") << 2;
    QTest::newRow("in call") << 3;
}

void TestCallControl::hangUp()
{
    QFETCH(int, state);
    Rig rig;
    rig.CallState = state;
    rig.CallStation = 5;
    rig.control.cmdTel_MouseUp(11);
    QCOMPARE(rig.journal, lines({"log:hungup", "engine:terminate"}));
    QCOMPARE(rig.CallStation, 5);
    QCOMPARE(rig.CallState, state);
}

void TestCallControl::twoQuickPressesDialTwice()
{
    Rig rig;
    rig.control.cmdTel_MouseUp(1);
    rig.control.cmdTel_MouseUp(1);
    const QString dial = QStringLiteral("dial sip:127.0.0.3");
    QCOMPARE(rig.engine.calls, (QStringList{dial, dial}));
}

void TestCallControl::indexOutOfRange()
{
    Rig rig;
    rig.control.cmdTel_MouseUp(-1);
    rig.control.cmdTel_MouseUp(16);
    QVERIFY(rig.journal.isEmpty());
}

void TestCallControl::replyText_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("text");

    QTest::newRow("blanks and line end") << QStringLiteral("  ok \r\n") << 4096 << QStringLiteral("ok");
    QTest::newRow("up to the NUL") << QStringLiteral("first") + QChar(0) + QStringLiteral("tail") << 4096
                                   << QStringLiteral("first");
    QTest::newRow("cut to length - 1") << QStringLiteral("abcdefgh") << 5 << QStringLiteral("abcd");
    QTest::newRow("4096: 4095 characters") << QString(5000, QLatin1Char('x')) << 4096
                                           << QString(4095, QLatin1Char('x'));
    QTest::newRow("empty") << QString() << 4096 << QString();
}

void TestCallControl::replyText()
{
    QFETCH(QString, reply);
    QFETCH(int, length);
    QFETCH(QString, text);
    QCOMPARE(CallControl::replyText(reply, length), text);
}

void TestCallControl::commandButtons()
{
    Rig rig;
    QSignalSpy about(&rig.control, &CallControl::aboutBoxRequested);
    QSignalSpy config(&rig.control, &CallControl::configurationRequested);
    // The window leaves the on-top band before the modal box opens over it.
    connect(&rig.control, &CallControl::aboutBoxRequested, this,
            [&rig] { rig.journal.append(QStringLiteral("app:about")); });
    connect(&rig.control, &CallControl::configurationRequested, this,
            [&rig] { rig.journal.append(QStringLiteral("app:config")); });
    rig.view.mainTopmost = true;
    rig.control.iCmd_MouseUp(0);
    rig.control.iCmd_MouseUp(1);
    QCOMPARE(rig.journal, lines({"view:topmost main off", "app:about", "view:topmost main off", "app:config"}));
    QCOMPARE(about.count(), 1);
    QCOMPARE(config.count(), 1);
    QVERIFY(rig.engine.calls.isEmpty());
    QVERIFY(!rig.view.muted);
}

void TestCallControl::muteToggles()
{
    Rig rig;
    rig.CallState = 3;
    rig.control.iCmd_MouseUp(2);
    QCOMPARE(rig.journal, lines({"view:topmost main off", "engine:mute", "view:mute look muted"}));
    QVERIFY(rig.view.muted);
    rig.journal.clear();
    rig.control.iCmd_MouseUp(2);
    QCOMPARE(rig.journal, lines({"view:topmost main off", "engine:unmute", "view:mute look unmuted"}));
    QVERIFY(!rig.view.muted);
    rig.control.iCmd_MouseUp(2);
    rig.control.iCmd_MouseUp(2);
    QCOMPARE(rig.engine.calls, (QStringList{QStringLiteral("mute"), QStringLiteral("unmute"), QStringLiteral("mute"),
                                            QStringLiteral("unmute")}));
}

void TestCallControl::muteLookUnmutedAtNextCall()
{
    // With the status monitor: a call that ends muted, then the next call.
    Rig rig;
    CallStatusMonitor monitor(rig.engine, rig.record, rig.CallState, rig.CallStation, rig.view, rig.alert);
    rig.engine.statusReply = QStringLiteral("Incoming call from <sip:104@127.0.0.6>");
    monitor.Timer2Tick();
    rig.control.cmdTel_MouseUp(4);
    rig.engine.statusReply = QStringLiteral("hook=answered duration=1 <sip:104@127.0.0.6>");
    monitor.Timer2Tick();
    QVERIFY(rig.view.muteVisible);
    rig.control.iCmd_MouseUp(2);
    QVERIFY(rig.view.muted);
    rig.control.cmdTel_MouseUp(4);
    rig.engine.statusReply = QStringLiteral("hook=offhook");
    monitor.Timer2Tick();
    QVERIFY(!rig.view.muteVisible);

    rig.control.cmdTel_MouseUp(4);
    rig.engine.statusReply = QStringLiteral("Call out, hook=sip:127.0.0.6 duration=0, muted=no");
    monitor.Timer2Tick();
    QVERIFY(rig.view.muteVisible);
    QVERIFY(!rig.view.muted);
    rig.engine.calls.clear();
    rig.control.iCmd_MouseUp(2); // the unmuted look means the next press mutes
    QCOMPARE(rig.engine.calls, QStringList{QStringLiteral("mute")});
    QCOMPARE(rig.logger.entries, (QStringList{QStringLiteral("incoming"), QStringLiteral("hungup"),
                                              QStringLiteral("Establishing call id to <x>, assigned id 1")}));
}

QTEST_MAIN(TestCallControl)
#include "test_callcontrol.moc"

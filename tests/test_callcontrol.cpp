// The call buttons with the engine, windows and popup faked: the three
// branches of the telephone button, the dial text in both modes, the
// command buttons and the mute toggle.

#include "CallControl.h"
#include "CallStatusMonitor.h"
#include "ConfigRecord.h"
#include "FakeCallView.h"
#include "FakeRingAlert.h"
#include "FakeSipEngine.h"
#include "RecordingLogger.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct Rig
{
    QStringList journal;
    ConfigRecord record;
    int CallState = 0;
    int CallStation = 0;
    FakeSipEngine engine;
    RecordingLogger logger;
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
            record.ipAddress[std::size_t(i)] = u"127.0.0.%1"_s.arg(i + 2);
            record.extension[std::size_t(i)] = QString::number(100 + i);
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
    void dialText_data()
    {
        QTest::addColumn<int>("useSipServer");
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("dialled");

        QTest::newRow("server mode: the extension") << 1 << u"127.0.0.6"_s << u"104"_s << u"104"_s;
        QTest::newRow("server mode, any non-zero flag") << -1 << u"127.0.0.6"_s << u"104"_s << u"104"_s;
        QTest::newRow("server mode: the extension exactly as stored")
            << 1 << u"127.0.0.6"_s << u"sip:115@127.0.0.1:5080"_s << u"sip:115@127.0.0.1:5080"_s;
        QTest::newRow("direct mode: sip: and the IP address")
            << 0 << u"127.0.0.10"_s << u"104"_s << u"sip:127.0.0.10"_s;
        QTest::newRow("direct mode: empty address still dialled") << 0 << QString() << u"104"_s << u"sip:"_s;
    }

    void dialText()
    {
        QFETCH(int, useSipServer);
        QFETCH(QString, ip);
        QFETCH(QString, extension);
        QFETCH(QString, dialled);
        Rig rig;
        rig.record.useSipServer = qint16(useSipServer);
        rig.record.ipAddress[4] = ip;
        rig.record.extension[4] = extension;
        QCOMPARE(CallControl::dialAddress(rig.record, 4), dialled);
        rig.CallStation = 9;
        rig.control.cmdTel_MouseUp(4);
        QCOMPARE(rig.engine.calls, QStringList{u"dial "_s + dialled});
        QCOMPARE(rig.CallStation, 4);
        QCOMPARE(rig.CallState, 0); // the state follows the engine at the next tick
        QCOMPARE(rig.logger.entries.size(), 1);
        // A second press before the engine's state changed dials again.
        rig.control.cmdTel_MouseUp(4);
        QCOMPARE(rig.engine.calls, (QStringList{u"dial "_s + dialled, u"dial "_s + dialled}));
    }

    void dialLogsTrimmedReply()
    {
        Rig rig;
        rig.engine.dialReply = u"  Establishing call id to <sip:127.0.0.5>, assigned id 1\n"_s;
        rig.control.cmdTel_MouseUp(3);
        QCOMPARE(rig.engine.calls, QStringList{u"dial sip:127.0.0.5"_s});
        QCOMPARE(rig.logger.entries, QStringList{u"Establishing call id to <sip:127.0.0.5>, assigned id 1"_s});
        QCOMPARE(rig.alert.unloads, 0);
    }

    void answerWhileIncoming()
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

    void hangUp_data()
    {
        QTest::addColumn<int>("state");
        QTest::newRow("outgoing") << 2;
        QTest::newRow("in call") << 3;
    }

    void hangUp()
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

    void indexOutOfRange()
    {
        Rig rig;
        rig.control.cmdTel_MouseUp(-1);
        rig.control.cmdTel_MouseUp(16);
        QVERIFY(rig.journal.isEmpty());
    }

    void replyText_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("text");
        QTest::newRow("blanks and line end") << u"  ok \r\n"_s << 4096 << u"ok"_s;
        QTest::newRow("up to the NUL") << u"first"_s + QChar(0) + u"tail"_s << 4096 << u"first"_s;
        QTest::newRow("cut to length - 1") << u"abcdefgh"_s << 5 << u"abcd"_s;
        QTest::newRow("4096: 4095 characters") << QString(5000, u'x') << 4096 << QString(4095, u'x');
    }

    void replyText()
    {
        QFETCH(QString, reply);
        QFETCH(int, length);
        QFETCH(QString, text);
        QCOMPARE(CallControl::replyText(reply, length), text);
    }

    void commandButtons()
    {
        Rig rig;
        // The window leaves the on-top band before the modal box opens over it.
        connect(&rig.control, &CallControl::aboutBoxRequested, this, [&rig] { rig.journal.append(u"app:about"_s); });
        connect(&rig.control, &CallControl::configurationRequested, this,
                [&rig] { rig.journal.append(u"app:config"_s); });
        rig.view.mainTopmost = true;
        rig.control.iCmd_MouseUp(0);
        rig.control.iCmd_MouseUp(1);
        QCOMPARE(rig.journal, lines({"view:topmost main off", "app:about", "view:topmost main off", "app:config"}));
        QVERIFY(!rig.view.muted);
    }

    void muteToggles()
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
        QCOMPARE(rig.engine.calls, (QStringList{u"mute"_s, u"unmute"_s, u"mute"_s, u"unmute"_s}));
    }

    void muteLookUnmutedAtNextCall()
    {
        // With the status monitor: a call that ends muted, then the next call.
        Rig rig;
        CallStatusMonitor monitor(rig.engine, rig.record, rig.CallState, rig.CallStation, rig.view, rig.alert);
        const auto tick = [&](const QString& status) {
            rig.engine.statusReply = status;
            monitor.Timer2Tick();
        };
        tick(u"Incoming call from <sip:104@127.0.0.6>"_s);
        rig.control.cmdTel_MouseUp(4);
        tick(u"hook=answered duration=1 <sip:104@127.0.0.6>"_s);
        QVERIFY(rig.view.muteVisible);
        rig.control.iCmd_MouseUp(2);
        QVERIFY(rig.view.muted);
        rig.control.cmdTel_MouseUp(4);
        tick(u"hook=offhook"_s);
        QVERIFY(!rig.view.muteVisible);

        rig.control.cmdTel_MouseUp(4);
        tick(u"Call out, hook=sip:127.0.0.6 duration=0, muted=no"_s);
        QVERIFY(rig.view.muteVisible);
        QVERIFY(!rig.view.muted);
        rig.engine.calls.clear();
        rig.control.iCmd_MouseUp(2); // the unmuted look means the next press mutes
        QCOMPARE(rig.engine.calls, QStringList{u"mute"_s});
        QCOMPARE(rig.logger.entries,
                 (QStringList{u"incoming"_s, u"hungup"_s,
                              u"Establishing call id to <sip:127.0.0.6>, assigned id 1"_s}));
    }
};

QTEST_MAIN(TestCallControl)
#include "test_callcontrol.moc"

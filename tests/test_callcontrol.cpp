// The call buttons with the engine, the window and the popup faked: what the
// telephone button does in each call state, what it dials, and the mute state
// across calls.

#include "CallControl.h"
#include "CallStatusMonitor.h"
#include "ConfigRecord.h"
#include "FakeConsoleWindow.h"
#include "FakeRingAlert.h"
#include "FakeSipEngine.h"
#include "RecordingLogger.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct Rig
{
    ConfigRecord record;
    int callState = 0;
    int callStation = 9;
    FakeSipEngine engine;
    RecordingLogger logger;
    FakeConsoleWindow window;
    FakeRingAlert alert;
    CallControl control{engine, logger, record, callState, callStation, window, alert};
    CallStatusMonitor monitor{engine, record, callState, callStation, window, alert};

    Rig()
    {
        record.active[4] = 1;
        record.ipAddress[4] = u"127.0.0.6"_s;
        record.extension[4] = u"104"_s;
    }
    void tick(const QString& status)
    {
        engine.statusReply = status;
        monitor.pollCallStatus();
    }
};

} // namespace

class TestCallControl : public QObject
{
    Q_OBJECT
private slots:
    void telephoneButton_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("server");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QStringList>("engineCalls");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<int>("callStation");

        const QString established = u"Establishing call id to <%1>, assigned id 1"_s;
        // The engine's reply ends with a line end, which must not split the log entry.
        QTest::newRow("idle, direct: sip: and the address") << 0 << 0 << u"104"_s << QStringList{u"dial sip:127.0.0.6"_s}
                                                            << QStringList{established.arg(u"sip:127.0.0.6"_s)} << 4;
        QTest::newRow("idle, server: the extension as stored")
            << 0 << -1 << u"sip:115@127.0.0.1:5080"_s << QStringList{u"dial sip:115@127.0.0.1:5080"_s}
            << QStringList{established.arg(u"sip:115@127.0.0.1:5080"_s)} << 4;
        QTest::newRow("ringing: answer") << 1 << 0 << u"104"_s << QStringList{u"answer"_s}
                                         << QStringList{u"incoming"_s} << 9;
        QTest::newRow("dialling: hang up") << 2 << 0 << u"104"_s << QStringList{u"terminate"_s}
                                           << QStringList{u"hungup"_s} << 9;
        QTest::newRow("in a call: hang up") << 3 << 0 << u"104"_s << QStringList{u"terminate"_s}
                                            << QStringList{u"hungup"_s} << 9;
    }
    void telephoneButton()
    {
        QFETCH(int, state);
        QFETCH(int, server);
        QFETCH(QString, extension);
        Rig rig;
        rig.callState = state;
        rig.record.useSipServer = qint16(server);
        rig.record.extension[4] = extension;
        rig.alert.popupLoaded = true;
        rig.engine.dialReply = u"  Establishing call id to <%1>, assigned id 1\r\n"_s.arg(CallControl::dialAddress(rig.record, 4));
        rig.control.onTelephoneButton(4);
        rig.control.onTelephoneButton(16); // no such station: nothing at all
        QTEST(rig.engine.calls, "engineCalls");
        QTEST(rig.logger.entries, "log");
        QTEST(rig.callStation, "callStation");
        QCOMPARE(rig.callState, state); // the state follows the engine at the next tick
        QCOMPARE(rig.alert.popupLoaded, state != 1);
    }

    void muteStartsUnmutedInEveryCall()
    {
        Rig rig;
        rig.window.topmost = true;
        rig.tick(u"Incoming call from <sip:104@127.0.0.6>"_s);
        rig.control.onTelephoneButton(4);
        rig.tick(u"hook=answered duration=1 <sip:104@127.0.0.6>"_s);
        QVERIFY(rig.window.muteVisible);
        rig.control.toggleMute();
        QVERIFY(rig.window.muted);
        QVERIFY(!rig.window.topmost); // a command button takes the window out of the band first
        rig.control.onTelephoneButton(4);
        rig.tick(u"hook=offhook"_s);
        QVERIFY(!rig.window.muteVisible);

        // The next call starts unmuted, so the next press mutes again.
        rig.control.onTelephoneButton(4);
        rig.tick(u"Call out, hook=sip:127.0.0.6 duration=0, muted=no"_s);
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

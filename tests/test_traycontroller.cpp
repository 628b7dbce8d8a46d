// Tray state machine with the tray and the window faked.

#include "ConsoleState.h"
#include "FakeScheduler.h"
#include "FakeTrayIcon.h"
#include "FakeTrayWindow.h"
#include "TrayController.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct Rig
{
    QStringList journal;
    ConsoleState state;
    FakeTrayIcon tray;
    FakeTrayWindow window;
    FakeScheduler scheduler;
    TrayController controller{state, tray, window, scheduler, QIcon()};

    Rig()
    {
        tray.journal = &journal;
        window.journal = &journal;
        window.controller = &controller;
    }
};

} // namespace

class TestTrayController : public QObject
{
    Q_OBJECT
private slots:
    void minimiseGoesToTray_data()
    {
        QTest::addColumn<int>("zoomed");
        QTest::addColumn<QStringList>("journal");
        const QStringList toTray{u"win:notopmost"_s, u"tray:add"_s, u"win:hide"_s};
        QTest::newRow("zoom window open: closed") << 4 << toTray + QStringList{u"win:closeZoom"_s};
        QTest::newRow("no zoom window") << -1 << toTray;
    }

    void minimiseGoesToTray()
    {
        QFETCH(int, zoomed);
        QFETCH(QStringList, journal);
        Rig rig;
        rig.state.zoomedStation = zoomed;
        rig.window.topmost = true;
        QVERIFY(rig.controller.minimizeToTray());
        QCOMPARE(rig.journal, journal);
        QCOMPARE(rig.state.inTray, 1);
        QVERIFY(rig.tray.shown);
        QCOMPARE(rig.tray.tip, u" QZ Video Console "_s);
        // Already in the tray: a second minimise changes nothing.
        rig.journal.clear();
        QVERIFY(rig.controller.minimizeToTray());
        QVERIFY(rig.journal.isEmpty());
    }

    void noTrayMeansNormalMinimise()
    {
        Rig rig;
        rig.tray.available = false;
        QVERIFY(!rig.controller.minimizeToTray());
        QVERIFY(rig.window.visible);
        QCOMPARE(rig.state.inTray, 0);
        QVERIFY(!rig.tray.shown);
        // Bringing back for a call does nothing: the window never left.
        rig.controller.bringBackForCall();
        QCOMPARE(rig.state.RestoredForCall, 0);
    }

    void leftClickRestoresLayoutBeforeIconGoes()
    {
        Rig rig;
        rig.controller.minimizeToTray();
        rig.journal.clear();
        rig.tray.clickLeft();
        QCOMPARE(rig.journal, (QStringList{u"win:normal+layout"_s, u"win:show"_s, u"tray:remove"_s}));
        QCOMPARE(rig.state.inTray, 0);
        QCOMPARE(rig.state.RestoredForCall, 0);
    }

    void bringBackForCallOnlyFromTray()
    {
        Rig rig;
        rig.controller.bringBackForCall();
        QCOMPARE(rig.state.RestoredForCall, 0);
        QVERIFY(rig.journal.isEmpty());

        rig.controller.minimizeToTray();
        rig.controller.bringBackForCall();
        QCOMPARE(rig.state.RestoredForCall, 1);
        QCOMPARE(rig.state.inTray, 0);
        QVERIFY(rig.window.visible);
    }

    void fadeEndsHiddenInTrayAndOpaque()
    {
        Rig rig;
        rig.controller.minimizeToTray();
        rig.controller.bringBackForCall();
        rig.journal.clear();
        QVERIFY(rig.controller.fadeBackToTray([&]() { rig.journal.append(u"after"_s); }));
        QCOMPARE(rig.state.RestoredForCall, 0);
        QVERIFY(rig.controller.isFading());
        rig.scheduler.runAll();

        QList<int> expected;
        for (int a = 255; a >= 1; a -= 2)
            expected.append(a);
        expected.append(255); // opaque again for the next time
        QCOMPARE(rig.window.alphas, expected);
        QVERIFY(!rig.controller.isFading());
        QVERIFY(!rig.window.visible);
        QCOMPARE(rig.state.inTray, 1);
        // Minimised (and so in the tray) first, "after" last.
        QCOMPARE(rig.journal.first(), u"win:minimized"_s);
        QCOMPARE(rig.journal.last(), u"after"_s);
        QCOMPARE(rig.scheduler.delays, QList<int>(128, TrayController::kFadeStepMs));
    }

    void secondFadeWhileFadingIsIgnored()
    {
        Rig rig;
        QVERIFY(rig.controller.fadeBackToTray());
        rig.scheduler.runAll(10);
        QVERIFY(!rig.controller.fadeBackToTray());
        rig.scheduler.runAll();
        QCOMPARE(rig.window.alphas.size(), 129);
        // Once over, a new fade may start.
        QVERIFY(rig.controller.fadeBackToTray());
    }
};

QTEST_MAIN(TestTrayController)
#include "test_traycontroller.moc"

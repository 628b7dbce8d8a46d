// Tray state machine with the tray and the window faked.

#include "ConsoleState.h"
#include "FakeScheduler.h"
#include "FakeTrayIcon.h"
#include "TrayController.h"

#include <QtTest>

namespace {

class FakeWindow : public TrayWindowPort
{
public:
    QStringList& journal;
    TrayController* controller = nullptr;
    bool visible = true;
    bool minimized = false;
    bool topmost = false;
    int alpha = 255;
    QList<int> alphas;

    explicit FakeWindow(QStringList& j)
        : journal(j)
    {
    }

    void setNormalState() override
    {
        minimized = false;
        journal.append(QStringLiteral("win:normal+layout"));
    }
    void setMinimizedState() override
    {
        minimized = true;
        journal.append(QStringLiteral("win:minimized"));
        // As the real window does from its resize handling.
        controller->minimizeToTray();
    }
    void hideWindow() override
    {
        visible = false;
        journal.append(QStringLiteral("win:hide"));
    }
    void showWindow() override
    {
        visible = true;
        journal.append(QStringLiteral("win:show"));
    }
    void setTopmost(bool onTop) override
    {
        topmost = onTop;
        journal.append(onTop ? QStringLiteral("win:topmost") : QStringLiteral("win:notopmost"));
    }
    void setTransparency(int a) override
    {
        alpha = a;
        alphas.append(a);
    }
    void closeZoomWindow() override { journal.append(QStringLiteral("win:closeZoom")); }
};

struct Rig
{
    QStringList journal;
    ConsoleState state;
    FakeTrayIcon tray;
    FakeWindow window{journal};
    FakeScheduler scheduler;
    TrayController controller{state, tray, window, scheduler, QIcon()};

    Rig()
    {
        tray.journal = &journal;
        window.controller = &controller;
    }
};

} // namespace

class TestTrayController : public QObject
{
    Q_OBJECT
private slots:
    void minimiseGoesToTrayAndClosesZoom();
    void minimiseWithoutZoomLeavesZoomAlone();
    void noTrayMeansNormalMinimise();
    void leftClickRestoresLayoutBeforeIconGoes();
    void bringBackForCallOnlyFromTray();
    void fadeEndsHiddenInTrayAndOpaque();
    void secondFadeWhileFadingIsIgnored();
};

void TestTrayController::minimiseGoesToTrayAndClosesZoom()
{
    Rig rig;
    rig.state.zoomedStation = 4;
    rig.window.topmost = true;
    QVERIFY(rig.controller.minimizeToTray());
    QCOMPARE(rig.journal, (QStringList{QStringLiteral("win:notopmost"), QStringLiteral("tray:add"),
                                       QStringLiteral("win:hide"), QStringLiteral("win:closeZoom")}));
    QCOMPARE(rig.state.inTray, 1);
    QVERIFY(rig.tray.shown);
    QCOMPARE(rig.tray.tip, QStringLiteral(" QZ Video Console "));
    // Already in the tray: a second minimise changes nothing.
    rig.journal.clear();
    QVERIFY(rig.controller.minimizeToTray());
    QVERIFY(rig.journal.isEmpty());
}

void TestTrayController::minimiseWithoutZoomLeavesZoomAlone()
{
    Rig rig;
    rig.state.zoomedStation = -1;
    rig.controller.minimizeToTray();
    QVERIFY(!rig.journal.contains(QStringLiteral("win:closeZoom")));
}

void TestTrayController::noTrayMeansNormalMinimise()
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

void TestTrayController::leftClickRestoresLayoutBeforeIconGoes()
{
    Rig rig;
    rig.controller.minimizeToTray();
    rig.journal.clear();
    rig.tray.clickLeft();
    QCOMPARE(rig.journal, (QStringList{QStringLiteral("win:normal+layout"), QStringLiteral("win:show"),
                                       QStringLiteral("tray:remove")}));
    QCOMPARE(rig.state.inTray, 0);
    QVERIFY(rig.window.visible);
    QCOMPARE(rig.state.RestoredForCall, 0);
}

void TestTrayController::bringBackForCallOnlyFromTray()
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

void TestTrayController::fadeEndsHiddenInTrayAndOpaque()
{
    Rig rig;
    rig.controller.minimizeToTray();
    rig.controller.bringBackForCall();
    rig.journal.clear();
    bool afterRan = false;
    QVERIFY(rig.controller.fadeBackToTray([&]() {
        afterRan = true;
        rig.journal.append(QStringLiteral("after"));
    }));
    QCOMPARE(rig.state.RestoredForCall, 0);
    QVERIFY(rig.controller.isFading());
    rig.scheduler.runAll();

    QList<int> expected;
    for (int a = 255; a >= 1; a -= 2)
        expected.append(a);
    expected.append(255);
    QCOMPARE(rig.window.alphas.size(), 129);
    QCOMPARE(rig.window.alphas, expected);
    QVERIFY(afterRan);
    QVERIFY(!rig.controller.isFading());
    QVERIFY(!rig.window.visible);
    QCOMPARE(rig.state.inTray, 1);
    QCOMPARE(rig.window.alpha, 255);
    // Minimised (and so in the tray) before the window is made opaque again.
    QCOMPARE(rig.journal.last(), QStringLiteral("after"));
    QCOMPARE(rig.journal.indexOf(QStringLiteral("win:minimized")), 0);
    QVERIFY(rig.scheduler.delays.size() == 128);
    QVERIFY(std::all_of(rig.scheduler.delays.begin(), rig.scheduler.delays.end(),
                        [](int d) { return d == TrayController::kFadeStepMs; }));
}

void TestTrayController::secondFadeWhileFadingIsIgnored()
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

QTEST_MAIN(TestTrayController)
#include "test_traycontroller.moc"

// The incoming-call popup on the offscreen platform: its window kind, place
// and size, the rise and rest, the buttons' engine calls, the slide-out and a
// button used while rising. The offscreen platform focuses every window it
// shows, so the focus is checked on a real X server (test_ringpopup_x11).

#include "FakeSipEngine.h"
#include "ImageButton.h"
#include "RingPopup.h"
#include "Twips.h"

#include <QScreen>
#include <QtTest>

namespace {

QRect screenPx()
{
    return QGuiApplication::primaryScreen()->geometry();
}

int restTopPx(const RingPopup& popup)
{
    return screenPx().top() + Twips::toPx(popup.slide().top());
}

} // namespace

class TestRingPopup : public QObject
{
    Q_OBJECT
private slots:
    void windowKindAndLook()
    {
        FakeSipEngine engine;
        RingPopup popup(engine);
        QVERIFY(popup.isWindow());
        const Qt::WindowFlags flags = popup.windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool); // kept out of the task bar
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
        QVERIFY(popup.testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(!popup.testAttribute(Qt::WA_QuitOnClose));
        QCOMPARE(popup.windowOpacity(), 150 / 255.0);
        QCOMPARE(popup.size(), Twips::toPx(1755, 990));

        // The buttons: answer at 225,225 and reject at 975,225, 525 x 525 twips each.
        QCOMPARE(popup.iCmd(1)->geometry(), Twips::toPx(225, 225, 525, 525));
        QCOMPARE(popup.iCmd(0)->geometry(), Twips::toPx(975, 225, 525, 525));
        QVERIFY(!popup.iCmd(0)->pixmap().isNull());
        QVERIFY(!popup.iCmd(1)->pixmap().isNull());

        popup.show();
        const QImage shot = popup.grab().toImage();
        QCOMPARE(shot.pixelColor(shot.width() / 2, shot.height() - 5), QColor(0x40, 0x40, 0x40));
    }

    void startsBelowTheScreenAtTheRight()
    {
        FakeSipEngine engine;
        RingPopup popup(engine);
        const QRect screen = screenPx();
        QCOMPARE(popup.slide().left(), Twips::fromPx(screen.width()) - 1755 - 200);
        QCOMPARE(popup.slide().top(), Twips::fromPx(screen.height()));
        QCOMPARE(popup.pos(), QPoint(screen.left() + Twips::toPx(popup.slide().left()), screen.bottom() + 1));
        QCOMPARE(popup.slide().SlidePhase(), 1);
        QVERIFY(popup.Timer1()->isActive());
        QCOMPARE(popup.Timer1()->interval(), 5);
    }

    void risesToRestAndRejectSlidesOut()
    {
        FakeSipEngine engine;
        RingPopup popup(engine);
        QSignalSpy answered(&popup, &RingPopup::answered);
        QSignalSpy slidOut(&popup, &RingPopup::slidOut);
        popup.show();
        QTRY_VERIFY(!popup.Timer1()->isActive());
        QCOMPARE(popup.slide().SlidePhase(), 0);
        const double screenHeight = Twips::fromPx(screenPx().height());
        QVERIFY(popup.slide().top() < screenHeight - 990 - 800 && popup.slide().top() >= screenHeight - 990 - 800 - 35);
        QCOMPARE(popup.y(), restTopPx(popup));
        QVERIFY(engine.calls.isEmpty());

        QTest::mouseClick(popup.iCmd(0), Qt::LeftButton);
        QCOMPARE(engine.calls, QStringList{QStringLiteral("terminate")});
        QVERIFY(popup.Timer1()->isActive());
        QTRY_COMPARE(slidOut.count(), 1);
        QVERIFY(!popup.isVisible());
        QVERIFY(popup.slide().top() > screenHeight);
        QCOMPARE(answered.count(), 0);
    }

    void answerWhileRisingDoesNotReverse()
    {
        FakeSipEngine engine;
        RingPopup popup(engine);
        QSignalSpy answered(&popup, &RingPopup::answered);
        QSignalSpy slidOut(&popup, &RingPopup::slidOut);
        popup.show();
        QCOMPARE(popup.slide().SlidePhase(), 1);
        QTest::mouseClick(popup.iCmd(1), Qt::LeftButton);
        QCOMPARE(engine.calls, QStringList{QStringLiteral("answer")});
        QCOMPARE(answered.count(), 1);

        // It rises on to its resting place and stays there.
        QTRY_VERIFY(!popup.Timer1()->isActive());
        QCOMPARE(popup.slide().SlidePhase(), 0);
        QCOMPARE(popup.y(), restTopPx(popup));
        QVERIFY(popup.isVisible());
        QCOMPARE(slidOut.count(), 0);

        // A second button now, at rest, sends it down.
        QTest::mouseClick(popup.iCmd(0), Qt::LeftButton);
        QTRY_COMPARE(slidOut.count(), 1);
        QCOMPARE(engine.calls, (QStringList{QStringLiteral("answer"), QStringLiteral("terminate")}));
    }
};

QTEST_MAIN(TestRingPopup)
#include "test_ringpopup.moc"

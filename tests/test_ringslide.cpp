// The popup's slide arithmetic: start place, rise, rest, slide-out, and a
// button used while rising.

#include "RingSlide.h"

#include <QtTest>

class TestRingSlide : public QObject
{
    Q_OBJECT
private slots:
    void riseAndSlideOut_data();
    void riseAndSlideOut();
    void buttonWhileRisingDoesNotReverse();
    void buttonTwiceAtRest();
    void stoppedTimerMovesNothing();
};

void TestRingSlide::riseAndSlideOut_data()
{
    QTest::addColumn<double>("screenWidth");
    QTest::addColumn<double>("screenHeight");
    QTest::addColumn<double>("popupWidth");
    QTest::addColumn<double>("popupHeight");
    QTest::addColumn<double>("left");
    QTest::addColumn<int>("ticksToRest");
    QTest::addColumn<double>("restTop");
    QTest::addColumn<int>("ticksToLeave");
    QTest::addColumn<double>("lastTop");

    // Twips: 1280 x 800 px is 19200 x 12000; the popup is 1755 x 990.
    QTest::newRow("1280x800") << 19200.0 << 12000.0 << 1755.0 << 990.0 << 17245.0 << 52 << 10180.0 << 53 << 12035.0;
    QTest::newRow("800x600") << 12000.0 << 9000.0 << 1755.0 << 990.0 << 10045.0 << 52 << 7180.0 << 53 << 9035.0;
    QTest::newRow("1366x768") << 20490.0 << 11520.0 << 1755.0 << 990.0 << 18535.0 << 52 << 9700.0 << 53 << 11555.0;
    QTest::newRow("1920x1080") << 28800.0 << 16200.0 << 1755.0 << 990.0 << 26845.0 << 52 << 14380.0 << 53
                               << 16235.0;
    QTest::newRow("taller popup") << 19200.0 << 12000.0 << 2000.0 << 1115.0 << 17000.0 << 55 << 10075.0 << 56
                                  << 12035.0;
    // 950 + 800 is 50 steps exactly: Top equal to the limit is not yet "less than", and on the way down
    // Top equal to the screen height is not yet "greater than".
    QTest::newRow("limits reached exactly") << 19200.0 << 12000.0 << 1755.0 << 950.0 << 17245.0 << 51 << 10215.0
                                            << 52 << 12035.0;
}

void TestRingSlide::riseAndSlideOut()
{
    QFETCH(double, screenWidth);
    QFETCH(double, screenHeight);
    QFETCH(double, popupWidth);
    QFETCH(double, popupHeight);
    QFETCH(double, left);
    QFETCH(int, ticksToRest);
    QFETCH(double, restTop);
    QFETCH(int, ticksToLeave);
    QFETCH(double, lastTop);

    RingSlide slide(screenWidth, screenHeight, popupWidth, popupHeight);
    QCOMPARE(slide.left(), left);
    QCOMPARE(slide.top(), screenHeight);
    QCOMPARE(slide.SlidePhase(), 1);
    QVERIFY(slide.isTimerRunning());

    for (int i = 1; i < ticksToRest; ++i) {
        QCOMPARE(slide.tick(), RingSlide::Tick::Moved);
        QCOMPARE(slide.top(), screenHeight - 35.0 * i);
        QCOMPARE(slide.SlidePhase(), 1);
    }
    QCOMPARE(slide.tick(), RingSlide::Tick::Rested);
    QCOMPARE(slide.top(), restTop);
    QCOMPARE(slide.SlidePhase(), 0);
    QVERIFY(!slide.isTimerRunning());
    QCOMPARE(slide.left(), left);

    slide.buttonUsed();
    QVERIFY(slide.isTimerRunning());
    for (int i = 1; i < ticksToLeave; ++i) {
        QCOMPARE(slide.tick(), RingSlide::Tick::Moved);
        QCOMPARE(slide.top(), restTop + 35.0 * i);
    }
    QCOMPARE(slide.tick(), RingSlide::Tick::SlidOut);
    QCOMPARE(slide.top(), lastTop);
    QVERIFY(!slide.isTimerRunning());
    QCOMPARE(slide.left(), left);
}

void TestRingSlide::buttonWhileRisingDoesNotReverse()
{
    RingSlide slide(19200, 12000, 1755, 990);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(slide.tick(), RingSlide::Tick::Moved);
    slide.buttonUsed();
    QCOMPARE(slide.SlidePhase(), 1);
    // It goes on rising to the same resting place, on the same tick as without the button.
    for (int i = 10; i < 51; ++i) {
        QCOMPARE(slide.tick(), RingSlide::Tick::Moved);
        QVERIFY(slide.top() < 12000 - 35.0 * 10);
    }
    QCOMPARE(slide.tick(), RingSlide::Tick::Rested);
    QCOMPARE(slide.top(), 10180.0);
    // And stays there: the timer is stopped.
    QCOMPARE(slide.tick(), RingSlide::Tick::Stopped);
    QCOMPARE(slide.top(), 10180.0);
}

void TestRingSlide::buttonTwiceAtRest()
{
    RingSlide slide(19200, 12000, 1755, 990);
    while (slide.tick() == RingSlide::Tick::Moved) {
    }
    slide.buttonUsed();
    QCOMPARE(slide.tick(), RingSlide::Tick::Moved);
    slide.buttonUsed(); // a second button on the way down changes nothing
    QCOMPARE(slide.tick(), RingSlide::Tick::Moved);
    QCOMPARE(slide.top(), 10180.0 + 70);
}

void TestRingSlide::stoppedTimerMovesNothing()
{
    RingSlide slide(19200, 12000, 1755, 990);
    while (slide.tick() != RingSlide::Tick::Rested) {
    }
    const double top = slide.top();
    for (int i = 0; i < 5; ++i)
        QCOMPARE(slide.tick(), RingSlide::Tick::Stopped);
    QCOMPARE(slide.top(), top);
    QCOMPARE(slide.SlidePhase(), 0);
}

QTEST_APPLESS_MAIN(TestRingSlide)
#include "test_ringslide.moc"

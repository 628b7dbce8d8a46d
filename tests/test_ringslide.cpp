// The popup's slide arithmetic: start place, rise, rest, slide-out, and a
// button used while rising.

#include "RingSlide.h"

#include <QtTest>

/// A screen and popup size (twips) and where the slide takes the popup.
struct Slide
{
    double screenWidth = 19200;
    double screenHeight = 12000;
    double popupWidth = 1755;
    double popupHeight = 990;
    double left = 17245;
    int ticksToRest = 52;
    double restTop = 10180;
    int ticksToLeave = 53;
    double lastTop = 12035;
};
Q_DECLARE_METATYPE(Slide)

class TestRingSlide : public QObject
{
    Q_OBJECT
private slots:
    void riseAndSlideOut_data()
    {
        QTest::addColumn<Slide>("s");
        // Twips: 1280 x 800 px is 19200 x 12000; the popup is 1755 x 990.
        QTest::newRow("1280x800") << Slide{};
        QTest::newRow("1920x1080") << Slide{28800, 16200, 1755, 990, 26845, 52, 14380, 53, 16235};
        QTest::newRow("taller popup") << Slide{19200, 12000, 2000, 1115, 17000, 55, 10075, 56, 12035};
        // 950 + 800 is 50 steps exactly: Top equal to the limit is not yet "less than", and on the way down
        // Top equal to the screen height is not yet "greater than".
        QTest::newRow("limits reached exactly") << Slide{19200, 12000, 1755, 950, 17245, 51, 10215, 52, 12035};
    }

    void riseAndSlideOut()
    {
        QFETCH(Slide, s);
        RingSlide slide(s.screenWidth, s.screenHeight, s.popupWidth, s.popupHeight);
        QCOMPARE(slide.left(), s.left);
        QCOMPARE(slide.top(), s.screenHeight);
        QCOMPARE(slide.SlidePhase(), 1);
        QVERIFY(slide.isTimerRunning());
        for (int i = 1; i < s.ticksToRest; ++i) {
            QCOMPARE(slide.tick(), RingSlide::Tick::Moved);
            QCOMPARE(slide.top(), s.screenHeight - 35.0 * i);
            QCOMPARE(slide.SlidePhase(), 1);
        }
        QCOMPARE(slide.tick(), RingSlide::Tick::Rested);
        QCOMPARE(slide.top(), s.restTop);
        QCOMPARE(slide.SlidePhase(), 0);
        QVERIFY(!slide.isTimerRunning());

        slide.buttonUsed();
        QVERIFY(slide.isTimerRunning());
        for (int i = 1; i < s.ticksToLeave; ++i) {
            QCOMPARE(slide.tick(), RingSlide::Tick::Moved);
            QCOMPARE(slide.top(), s.restTop + 35.0 * i);
        }
        QCOMPARE(slide.tick(), RingSlide::Tick::SlidOut);
        QCOMPARE(slide.top(), s.lastTop);
        QVERIFY(!slide.isTimerRunning());
        QCOMPARE(slide.left(), s.left);
    }

    void buttonWhileRisingDoesNotReverse()
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
        for (int i = 0; i < 3; ++i)
            QCOMPARE(slide.tick(), RingSlide::Tick::Stopped);
        QCOMPARE(slide.top(), 10180.0);
        QCOMPARE(slide.SlidePhase(), 0);
    }

    void buttonTwiceAtRest()
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
};

QTEST_APPLESS_MAIN(TestRingSlide)
#include "test_ringslide.moc"

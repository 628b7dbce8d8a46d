// The pressed look of the image buttons, with real mouse events on real widgets,
// and the always-on-top band keeping a window where it was.

#include "ImageButton.h"
#include "Twips.h"
#include "WindowStyling.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

/// A shown window with one button at 40, 50.
struct Pad
{
    QWidget parent;
    ImageButton* button = new ImageButton(&parent);
    QSignalSpy released{button, &ImageButton::released};

    Pad()
    {
        parent.resize(300, 200);
        button->setBaseGeometry(QRect(40, 50, 32, 32));
        parent.show();
    }
};

} // namespace

class TestImageButton : public QObject
{
    Q_OBJECT
private slots:
    void pressMovesAndReleaseActs_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("left") << Qt::LeftButton;
        QTest::newRow("right") << Qt::RightButton;
        QTest::newRow("middle") << Qt::MiddleButton;
    }

    void pressMovesAndReleaseActs()
    {
        QFETCH(Qt::MouseButton, button);
        Pad pad;
        QVERIFY(QTest::qWaitForWindowExposed(&pad.parent));
        QCOMPARE(Twips::toPx(30), 2);
        QTest::mousePress(pad.button, button, {}, QPoint(10, 10));
        QCOMPARE(pad.button->pos(), QPoint(42, 52));
        QVERIFY(pad.button->isPressed());
        QCOMPARE(pad.released.count(), 0);
        QTest::mouseRelease(pad.button, button, {}, QPoint(10, 10));
        QCOMPARE(pad.button->pos(), QPoint(40, 50));
        QCOMPARE(pad.released.count(), 1);
        QVERIFY(!pad.button->isPressed());
    }

    void doubleClickEndsWhereItStarted()
    {
        Pad pad;
        QVERIFY(QTest::qWaitForWindowExposed(&pad.parent));
        // Down, up, double-click, up: the offsets cancel.
        QTest::mousePress(pad.button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(pad.button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseDClick(pad.button, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(pad.button->pos(), QPoint(42, 52));
        QTest::mouseRelease(pad.button, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(pad.button->pos(), QPoint(40, 50));
        QCOMPARE(pad.released.count(), 2);
    }

    void layoutWhilePressedKeepsOffsetOnNewPlace()
    {
        Pad pad;
        QTest::mousePress(pad.button, Qt::LeftButton, {}, QPoint(5, 5));
        pad.button->setBaseGeometry(QRect(100, 120, 32, 32)); // a resize lays out while the button is held
        QCOMPARE(pad.button->pos(), QPoint(102, 122));
        QTest::mouseRelease(pad.button, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(pad.button->pos(), QPoint(100, 120)); // no drift from the earlier place
    }

    void forwardedLookActsNot()
    {
        // The zoom window's press shows on the tile's button too; the tile's own action does not run.
        Pad pad;
        pad.button->pressLook();
        QCOMPARE(pad.button->geometry(), QRect(42, 52, 32, 32));
        QVERIFY(pad.button->isPressed());
        pad.button->releaseLook();
        QCOMPARE(pad.button->geometry(), QRect(40, 50, 32, 32));
        pad.button->releaseLook(); // at rest: nothing to undo
        QCOMPARE(pad.button->geometry(), QRect(40, 50, 32, 32));
        QCOMPARE(pad.released.count(), 0);
    }

    void topmostKeepsPlaceAndVisibility()
    {
        QWidget window;
        window.setGeometry(120, 90, 320, 240);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect before = window.geometry();
        for (bool onTop : {true, false}) {
            WindowStyling::SetTopmost(&window, onTop);
            QCOMPARE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint), onTop);
            QVERIFY(window.isVisible());
            QCOMPARE(window.geometry(), before);
        }
        // A hidden window stays hidden.
        window.hide();
        WindowStyling::SetTopmost(&window, true);
        QVERIFY(!window.isVisible());
        QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

        WindowStyling::SetTransparency(&window, 150);
        QVERIFY(qAbs(window.windowOpacity() - 150 / 255.0) < 0.01);
        WindowStyling::SetTransparency(&window, 999);
        QCOMPARE(window.windowOpacity(), 1.0);
    }
};

QTEST_MAIN(TestImageButton)
#include "test_imagebutton.moc"

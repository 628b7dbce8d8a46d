// The pressed look of the image buttons, with real mouse events on real widgets,
// and the always-on-top band keeping a window where it was.

#include "ImageButton.h"
#include "Twips.h"
#include "WindowStyling.h"

#include <QSignalSpy>
#include <QtTest>

class TestImageButton : public QObject
{
    Q_OBJECT
private slots:
    void pressMovesAndReleaseActs_data();
    void pressMovesAndReleaseActs();
    void doubleClickEndsWhereItStarted();
    void layoutWhilePressedKeepsOffsetOnNewPlace();
    void topmostKeepsPlaceAndVisibility();
};

void TestImageButton::pressMovesAndReleaseActs_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left") << Qt::LeftButton;
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

void TestImageButton::pressMovesAndReleaseActs()
{
    QFETCH(Qt::MouseButton, button);
    QWidget parent;
    parent.resize(300, 200);
    ImageButton b(&parent);
    b.setBaseGeometry(QRect(40, 50, 32, 32));
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QSignalSpy released(&b, &ImageButton::released);
    const int offset = Twips::toPx(30);
    QCOMPARE(offset, 2);

    QTest::mousePress(&b, button, {}, QPoint(10, 10));
    QCOMPARE(b.pos(), QPoint(40 + offset, 50 + offset));
    QVERIFY(b.isPressed());
    QCOMPARE(released.count(), 0);
    QTest::mouseRelease(&b, button, {}, QPoint(10, 10));
    QCOMPARE(b.pos(), QPoint(40, 50));
    QCOMPARE(released.count(), 1);
    QVERIFY(!b.isPressed());
}

void TestImageButton::doubleClickEndsWhereItStarted()
{
    QWidget parent;
    parent.resize(300, 200);
    ImageButton b(&parent);
    b.setBaseGeometry(QRect(40, 50, 32, 32));
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QSignalSpy released(&b, &ImageButton::released);
    // Down, up, double-click, up: the offsets cancel.
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseDClick(&b, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(b.pos(), QPoint(42, 52));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(b.pos(), QPoint(40, 50));
    QCOMPARE(released.count(), 2);
}

void TestImageButton::layoutWhilePressedKeepsOffsetOnNewPlace()
{
    QWidget parent;
    parent.resize(300, 200);
    ImageButton b(&parent);
    b.setBaseGeometry(QRect(40, 50, 32, 32));
    parent.show();
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(5, 5));
    b.setBaseGeometry(QRect(100, 120, 32, 32)); // a resize lays out while the button is held
    QCOMPARE(b.pos(), QPoint(102, 122));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(b.pos(), QPoint(100, 120)); // no drift from the earlier place
}

void TestImageButton::topmostKeepsPlaceAndVisibility()
{
    QWidget window;
    window.setGeometry(120, 90, 320, 240);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect before = window.geometry();
    WindowStyling::SetTopmost(&window, true);
    QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(window.isVisible());
    QCOMPARE(window.geometry(), before);
    WindowStyling::SetTopmost(&window, false);
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(window.isVisible());
    QCOMPARE(window.geometry(), before);

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

QTEST_MAIN(TestImageButton)
#include "test_imagebutton.moc"

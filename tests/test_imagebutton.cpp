// The pressed look of the image buttons, with real mouse events on real widgets,
// and the always-on-top band keeping a window where it was.

#include "ImageButton.h"
#include "WindowStyling.h"

#include <QSignalSpy>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestImageButton : public QObject
{
    Q_OBJECT
private slots:
    void pressedLook_data()
    {
        // Steps: p/r/d press, release, double-click (left button, or the row's), m move the button to
        // 100, 120 (a resize lays out while it is held), l/u the look forwarded from the zoom window.
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<QPoint>>("places"); // after each step
        QTest::addColumn<int>("released");
        const QPoint down(42, 52), up(40, 50); // 30 twips right and down
        QTest::newRow("left click") << Qt::LeftButton << u"pr"_s << QList<QPoint>{down, up} << 1;
        QTest::newRow("right click") << Qt::RightButton << u"pr"_s << QList<QPoint>{down, up} << 1;
        QTest::newRow("middle click") << Qt::MiddleButton << u"pr"_s << QList<QPoint>{down, up} << 1;
        QTest::newRow("double-click ends where it started") << Qt::LeftButton << u"prdr"_s
                                                            << QList<QPoint>{down, up, down, up} << 2;
        QTest::newRow("laid out while held") << Qt::LeftButton << u"pmr"_s
                                             << QList<QPoint>{down, {102, 122}, {100, 120}} << 1;
        QTest::newRow("forwarded look acts not") << Qt::LeftButton << u"luu"_s << QList<QPoint>{down, up, up} << 0;
    }

    void pressedLook()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(QString, steps);
        QFETCH(QList<QPoint>, places);
        QFETCH(int, released);
        QWidget parent;
        parent.resize(300, 200);
        auto* b = new ImageButton(&parent);
        b->setBaseGeometry(QRect(40, 50, 32, 32));
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QSignalSpy releases(b, &ImageButton::released);
        QSignalSpy presses(b, &ImageButton::pressed);
        for (qsizetype i = 0; i < steps.size(); ++i) {
            switch (steps.at(i).toLatin1()) {
            case 'p': QTest::mousePress(b, button, {}, QPoint(5, 5)); break;
            case 'r': QTest::mouseRelease(b, button, {}, QPoint(5, 5)); break;
            case 'd': QTest::mouseDClick(b, button, {}, QPoint(5, 5)); break;
            case 'm': b->setBaseGeometry(QRect(100, 120, 32, 32)); break;
            case 'l': b->pressLook(); break;
            case 'u': b->releaseLook(); break;
            }
            QCOMPARE(b->pos(), places.at(i));
            QCOMPARE(b->isPressed(), places.at(i) != QPoint(40, 50) && places.at(i) != QPoint(100, 120));
        }
        QCOMPARE(releases.count(), released);
        QCOMPARE(presses.count(), steps.count(u'p') + steps.count(u'd'));
    }

    void topmostKeepsPlaceAndVisibility()
    {
        QWidget window;
        window.setGeometry(120, 90, 320, 240);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect before = window.geometry();
        for (bool onTop : {true, false}) {
            WindowStyling::setTopmost(&window, onTop);
            QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop && window.isVisible());
            QCOMPARE(window.geometry(), before);
        }
        window.hide(); // a hidden window (the main window in the tray) stays hidden
        WindowStyling::setTopmost(&window, true);
        QVERIFY(!window.isVisible() && window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        WindowStyling::setTransparency(&window, 150);
        QVERIFY(qAbs(window.windowOpacity() - 150 / 255.0) < 0.01);
        WindowStyling::setTransparency(&window, 999);
        QCOMPARE(window.windowOpacity(), 1.0);
    }
};

QTEST_MAIN(TestImageButton)
#include "test_imagebutton.moc"

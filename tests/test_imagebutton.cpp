// The pressed look of the image buttons, with real mouse events on real widgets. (The always-on-top band
// keeping a window where it was is the zoom window's test, a hidden window staying hidden the adapter's.)

#include "ImageButton.h"

#include <QSignalSpy>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestImageButton : public QObject
{
    Q_OBJECT
private slots:
    void pressedLook_data()
    {
        // Steps: p/r/d press, release, double-click (with the row's button), m move the button to 100, 120
        // (a resize lays out while it is held), l/u the look forwarded from the zoom window.
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QList<QPoint>>("places"); // after each step
        const QPoint down(42, 52), up(40, 50); // 30 twips right and down
        QTest::newRow("left click") << Qt::LeftButton << u"pr"_s << QList<QPoint>{down, up};
        QTest::newRow("right double-click") << Qt::RightButton << u"prdr"_s << QList<QPoint>{down, up, down, up};
        QTest::newRow("middle, laid out while held")
            << Qt::MiddleButton << u"pmr"_s << QList<QPoint>{down, {102, 122}, {100, 120}};
        QTest::newRow("forwarded look acts not") << Qt::LeftButton << u"luu"_s << QList<QPoint>{down, up, up};
    }

    void pressedLook()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(QString, steps);
        QFETCH(QList<QPoint>, places);
        QWidget parent;
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
        // Every release of a press acts, once; a forwarded look never does.
        QCOMPARE(releases.count(), steps.count(u'r'));
        QCOMPARE(presses.count(), steps.count(u'p') + steps.count(u'd'));
    }
};

QTEST_MAIN(TestImageButton)
#include "test_imagebutton.moc"

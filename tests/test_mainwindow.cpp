// The main window's tiles on real widgets: visibility, places from the layout,
// captions, the "No image available" label, telephone images.

#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "ImageButton.h"
#include "MainWindow.h"
#include "PictureView.h"
#include "Twips.h"

#include <QLabel>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void tilesFollowActiveStations()
    {
        ConfigRecord record;
        for (int i : {0, 1, 2, 3}) {
            record.active[i] = 1;
            record.description[i] = QStringLiteral("Door %1").arg(i);
        }
        ConsoleState state;
        MainWindow w(record, state);
        w.resize(600, 466);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.layOut();
        for (int i = 0; i < 16; ++i) {
            QCOMPARE(w.imgCam(i)->isVisible(), i < 4);
            QCOMPARE(w.cmdLock(i)->isVisible(), i < 4);
        }
        const QRect frame = w.frameGeometry();
        const double W = (Twips::fromPx(frame.width()) - 1300) / 2;
        const double H = (Twips::fromPx(frame.height()) - 700) / 2;
        QCOMPARE(w.imgCam(3)->geometry(), Twips::toPx(W + 60, H + 60, W, H));
        QCOMPARE(w.lblVarco(2)->text(), QStringLiteral("Door 2"));
        // Every active tile says "No image available" until its first picture.
        QVERIFY(w.lblImage(1)->isVisible());
        w.setNoImageShown(1, false);
        QVERIFY(!w.lblImage(1)->isVisible());

        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(Qt::red);
        w.setStationPicture(1, picture);
        QCOMPARE(w.stationPicture(1), picture);
        w.setTelImage(1, QStringLiteral("tel_v"));
        QCOMPARE(w.telImage(1), QStringLiteral("tel_v"));
        QVERIFY(!w.cmdTel(1)->pixmap().isNull());
    }

    void newlyActivatedStationShowsAtOnce()
    {
        ConfigRecord record = ConfigRecord::defaults();
        ConsoleState state;
        MainWindow w(record, state);
        QCOMPARE(w.windowTitle(), QStringLiteral("QZ Video Console v. 1.06 - Varelia"));
        QCOMPARE(w.palette().color(QPalette::Window), QColor(0x40, 0x40, 0x40));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.layOut();
        QVERIFY(!w.imgCam(1)->isVisible());
        record.active[1] = 1; // as the dialog's OK does
        record.description[1] = QStringLiteral("Garage");
        w.layOut();
        QVERIFY(w.imgCam(1)->isVisible());
        QVERIFY(w.lblImage(1)->isVisible());
        QCOMPARE(w.lblVarco(1)->text(), QStringLiteral("Garage"));
    }

    void minimiseHandsToTrayInsteadOfLayout()
    {
        ConfigRecord record = ConfigRecord::defaults();
        ConsoleState state;
        MainWindow w(record, state);
        int handed = 0;
        w.setMinimizeHandler([&]() {
            ++handed;
            state.inTray = 1;
            return true;
        });
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.setWindowState(Qt::WindowMinimized);
        QTRY_COMPARE(handed, 1);
        // In the tray: later passes lay out as usual and do not hand over again.
        w.layOut();
        QCOMPARE(handed, 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"

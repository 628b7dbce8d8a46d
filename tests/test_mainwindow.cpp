// The main window's tiles on real widgets: visibility, places from the layout, captions, the
// "No image available" label, telephone images and picture clicks. Minimising into the tray is the
// adapter's (test_mainwindowadapter).

#include "ConfigRecord.h"
#include "ConsoleState.h"
#include "ImageButton.h"
#include "MainWindow.h"
#include "PictureView.h"
#include "Twips.h"

#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void tilesFollowActiveStations()
    {
        ConfigRecord record;
        for (int i : {0, 1, 2, 3})
            record.active[i] = 1;
        record.description[2] = u"Door 2"_s;
        ConsoleState state;
        MainWindow w(record, state);
        QCOMPARE(w.windowTitle(), u"QZ Video Console v. 1.06 - Varelia"_s);
        w.resize(600, 466);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.layOut();
        for (int i = 0; i < 16; ++i)
            QCOMPARE(w.pictureView(i)->isVisible() && w.lockButton(i)->isVisible(), i < 4);
        const QRect frame = w.frameGeometry();
        const double W = (Twips::fromPx(frame.width()) - 1300) / 2, H = (Twips::fromPx(frame.height()) - 700) / 2;
        QCOMPARE(w.pictureView(3)->geometry(), Twips::toPx(W + 60, H + 60, W, H)); // 2 x 2 tiles
        QCOMPARE(w.captionLabel(2)->text(), u"Door 2"_s);
        // Every active tile says "No image available" until its first picture.
        QVERIFY(w.noImageLabel(1)->isVisible());
        w.setNoImageShown(1, false);
        QVERIFY(!w.noImageLabel(1)->isVisible());

        w.setTelephoneImage(1, u"tel_v"_s);
        QVERIFY(w.telephoneImage(1) == u"tel_v"_s && !w.telephoneButton(1)->pixmap().isNull());
        QSignalSpy clicked(&w, &MainWindow::pictureClicked);
        QTest::mouseClick(w.pictureView(3), Qt::LeftButton);
        QCOMPARE(clicked, (QList<QList<QVariant>>{{3}}));

        // The dialog's OK activated station 9 and deactivated station 3: at the next pass station 9 shows,
        // captioned, without a picture yet, and tile 3 is gone.
        record.active[9] = 1;
        record.active[3] = 0;
        record.description[9] = u"Garage"_s;
        w.layOut();
        QVERIFY(w.pictureView(9)->isVisible() && w.noImageLabel(9)->isVisible() && !w.pictureView(3)->isVisible());
        QCOMPARE(w.captionLabel(9)->text(), u"Garage"_s);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"

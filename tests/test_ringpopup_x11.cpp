// The popup on a real X server with a window manager (ctest runs this under tests/desktop/xsession.sh: Xvfb and
// openbox): shown over a window where the operator types, it takes neither the activation nor the keyboard
// focus, and it tells the window manager so (input hint false, user time 0), stays on top and is a transient
// utility window, which task bars leave out.

#include "RingPopup.h"

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestRingPopupX11 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != "xcb"_L1)
            QSKIP("needs an X server with a window manager: run it through tests/desktop/xsession.sh");
    }

    void typingGoesOnWhileThePopupRises()
    {
        QLineEdit edit;
        edit.show();
        edit.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&edit));
        QTest::keyClicks(&edit, u"10"_s);
        RingPopup popup;
        popup.show();
        QVERIFY(QTest::qWaitForWindowExposed(&popup));
        QTRY_VERIFY(!popup.slideTimer()->isActive()); // the whole rise, with the window manager's events coming in
        // openbox gives the focus to a new normal window but, hints or not, not to a tool window: here this
        // guards the window kind, and the hints below what other window managers go by.
        QVERIFY(!popup.isActiveWindow());
        QCOMPARE(QApplication::focusWidget(), &edit);
        QTest::keyClicks(QApplication::focusWidget(), u"1"_s);
        QCOMPARE(edit.text(), u"101"_s);
        QProcess xprop;
        xprop.start(u"xprop"_s, {u"-id"_s, QString::number(popup.winId()), u"WM_HINTS"_s, u"_NET_WM_USER_TIME"_s,
                                 u"_NET_WM_WINDOW_TYPE"_s, u"_NET_WM_STATE"_s, u"WM_TRANSIENT_FOR"_s});
        QVERIFY(xprop.waitForFinished(5000));
        const QString props = QString::fromLocal8Bit(xprop.readAllStandardOutput());
        // Qt gives a tool window no skip-taskbar state but makes it transient (for the client leader); task bars
        // leave transient and utility windows out.
        for (const char* expected : {"Client accepts input or input focus: False", "_NET_WM_USER_TIME(CARDINAL) = 0",
                                     "_NET_WM_WINDOW_TYPE_UTILITY", "_NET_WM_STATE_ABOVE",
                                     "WM_TRANSIENT_FOR(WINDOW): window id #"})
            QVERIFY2(props.contains(QLatin1String(expected)), qPrintable(QLatin1String(expected) + u'\n' + props));
    }
};

QTEST_MAIN(TestRingPopupX11)
#include "test_ringpopup_x11.moc"

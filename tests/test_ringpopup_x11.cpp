// The popup on a real X server (Xvfb, with the openbox window manager when the
// machine has it): shown over a window where the operator types, it takes
// neither the activation nor the keyboard focus, and it tells the window
// manager so (input hint false, user time 0), stays on top and is a transient
// utility window, which task bars leave out. Skipped when Xvfb is missing. Both servers are this test's children
// and are killed by PID when it ends, also on failure.

#include "FakeSipEngine.h"
#include "RingPopup.h"

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct XServer
{
    QTemporaryDir home;
    QProcess xvfb;
    QProcess wm;
    QByteArray display;
    bool hasWindowManager = false;
    QString problem;

    ~XServer()
    {
        for (QProcess* child : {&wm, &xvfb}) {
            child->kill();
            child->waitForFinished(3000);
        }
    }

    bool start()
    {
        const QString xvfbPath = QStandardPaths::findExecutable(u"Xvfb"_s);
        if (xvfbPath.isEmpty()) {
            problem = u"Xvfb is not installed"_s;
            return false;
        }
        // -displayfd: the server picks a free display and writes its number to our stdout.
        xvfb.start(xvfbPath,
                   {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1280x800x24"_s, u"-nolisten"_s, u"tcp"_s});
        QByteArray out;
        while (xvfb.waitForStarted(5000) && !out.contains('\n') && xvfb.waitForReadyRead(10000))
            out += xvfb.readAllStandardOutput();
        bool ok = false;
        const int number = out.trimmed().toInt(&ok);
        if (!ok) {
            problem = u"Xvfb named no display"_s;
            return false;
        }
        display = ":" + QByteArray::number(number);
        const QString openbox = QStandardPaths::findExecutable(u"openbox"_s);
        if (openbox.isEmpty())
            return true;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, QString::fromLatin1(display));
        env.insert(u"HOME"_s, home.path());
        env.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
        env.insert(u"XDG_CACHE_HOME"_s, home.filePath(u"cache"_s));
        wm.setProcessEnvironment(env);
        wm.start(openbox, {u"--sm-disable"_s});
        // openbox announces itself on the root window once it manages the screen.
        for (int i = 0; i < 100 && wm.waitForStarted(5000) && !hasWindowManager; ++i) {
            QProcess xprop;
            xprop.setProcessEnvironment(env);
            xprop.start(u"xprop"_s, {u"-root"_s, u"_NET_SUPPORTING_WM_CHECK"_s});
            hasWindowManager = xprop.waitForFinished(3000) && xprop.readAllStandardOutput().contains("window id");
            QThread::msleep(50);
        }
        return true;
    }
};

XServer* g_server = nullptr;

QString xprop(WId window)
{
    QProcess p;
    p.start(u"xprop"_s, {u"-id"_s, QString::number(window), u"WM_HINTS"_s, u"_NET_WM_USER_TIME"_s,
                         u"_NET_WM_WINDOW_TYPE"_s, u"_NET_WM_STATE"_s, u"WM_TRANSIENT_FOR"_s});
    p.waitForFinished(5000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

} // namespace

class TestRingPopupX11 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!g_server->problem.isEmpty())
            QSKIP(qPrintable(g_server->problem));
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    }

    void windowManagerHints()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty())
            QSKIP("xprop is not installed");
        FakeSipEngine engine;
        RingPopup popup(engine);
        popup.show();
        QVERIFY(QTest::qWaitForWindowExposed(&popup));
        const QString props = xprop(popup.winId());
        QVERIFY2(props.contains(QLatin1String("Client accepts input or input focus: False")), qPrintable(props));
        QVERIFY2(props.contains(QLatin1String("_NET_WM_USER_TIME(CARDINAL) = 0")), qPrintable(props));
        QVERIFY2(props.contains(QLatin1String("_NET_WM_WINDOW_TYPE_UTILITY")), qPrintable(props));
        QVERIFY2(props.contains(QLatin1String("_NET_WM_STATE_ABOVE")), qPrintable(props));
        // Qt gives a tool window no skip-taskbar state but makes it transient (for the client leader); task bars
        // leave transient and utility windows out.
        QVERIFY2(props.contains(QLatin1String("WM_TRANSIENT_FOR(WINDOW): window id #")), qPrintable(props));
    }

    void typingGoesOnWhileThePopupRises()
    {
        if (!g_server->hasWindowManager)
            QSKIP("no window manager (openbox) to hand out the focus");
        QWidget typing;
        typing.setWindowTitle(QStringLiteral("typing"));
        auto* edit = new QLineEdit(&typing);
        typing.resize(400, 100);
        typing.show();
        QVERIFY(QTest::qWaitForWindowExposed(&typing));
        typing.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&typing));
        edit->setFocus();
        QTest::keyClicks(edit, QStringLiteral("10"));

        FakeSipEngine engine;
        RingPopup popup(engine);
        popup.show();
        QVERIFY(QTest::qWaitForWindowExposed(&popup));
        QTRY_VERIFY(!popup.Timer1()->isActive()); // the whole rise, with the window manager's events coming in
        // openbox gives the focus to a new normal window but, hints or not, not to a tool window: here this
        // guards the window kind, and windowManagerHints the hints other window managers go by.
        QVERIFY(!popup.isActiveWindow());
        QCOMPARE(QApplication::activeWindow(), &typing);
        QCOMPARE(QApplication::focusWidget(), edit);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("1"));
        QCOMPARE(edit->text(), QStringLiteral("101"));
    }
};

int main(int argc, char** argv)
{
    XServer server;
    g_server = &server;
    if (server.start()) {
        qputenv("DISPLAY", server.display);
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    TestRingPopupX11 test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_ringpopup_x11.moc"

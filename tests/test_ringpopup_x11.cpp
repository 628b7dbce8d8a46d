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

#include <memory>

namespace {

/// A child process killed by PID when the guard goes away.
struct ChildGuard
{
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    ~ChildGuard()
    {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(3000);
        }
    }
};

struct XServer
{
    QTemporaryDir home;
    ChildGuard xvfb;
    ChildGuard wm;
    QByteArray display;
    bool hasWindowManager = false;
    QString problem;

    bool start()
    {
        const QString xvfbPath = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfbPath.isEmpty()) {
            problem = QStringLiteral("Xvfb is not installed");
            return false;
        }
        // -displayfd: the server picks a free display and writes its number to our stdout.
        xvfb.process->start(xvfbPath, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                       QStringLiteral("0"), QStringLiteral("1280x800x24"),
                                       QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!xvfb.process->waitForStarted(5000)) {
            problem = QStringLiteral("Xvfb did not start");
            return false;
        }
        QByteArray out;
        while (!out.contains('\n') && xvfb.process->waitForReadyRead(10000))
            out += xvfb.process->readAllStandardOutput();
        bool ok = false;
        const int number = out.trimmed().toInt(&ok);
        if (!ok) {
            problem = QStringLiteral("Xvfb named no display");
            return false;
        }
        display = ":" + QByteArray::number(number);

        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (openbox.isEmpty())
            return true;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
        wm.process->setProcessEnvironment(env);
        wm.process->start(openbox, {QStringLiteral("--sm-disable")});
        hasWindowManager = wm.process->waitForStarted(5000) && waitForWindowManager(env);
        return true;
    }

    /// openbox announces itself on the root window once it manages the screen.
    bool waitForWindowManager(const QProcessEnvironment& env)
    {
        for (int i = 0; i < 100; ++i) {
            QProcess xprop;
            xprop.setProcessEnvironment(env);
            xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
            xprop.waitForFinished(3000);
            if (xprop.readAllStandardOutput().contains("window id"))
                return true;
            QThread::msleep(50);
        }
        return false;
    }
};

XServer* g_server = nullptr;

QString xprop(WId window)
{
    QProcess p;
    p.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window), QStringLiteral("WM_HINTS"),
                                      QStringLiteral("_NET_WM_USER_TIME"), QStringLiteral("_NET_WM_WINDOW_TYPE"),
                                      QStringLiteral("_NET_WM_STATE"), QStringLiteral("WM_TRANSIENT_FOR")});
    p.waitForFinished(5000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

} // namespace

class TestRingPopupX11 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void windowManagerHints();
    void typingGoesOnWhileThePopupRises();
};

void TestRingPopupX11::initTestCase()
{
    if (!g_server->problem.isEmpty())
        QSKIP(qPrintable(g_server->problem));
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
}

void TestRingPopupX11::windowManagerHints()
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

void TestRingPopupX11::typingGoesOnWhileThePopupRises()
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

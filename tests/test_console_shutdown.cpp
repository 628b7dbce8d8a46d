// The console executable with the real engine, in program directories of its own under a home of the test's
// own: a second start ends at once and leaves the first alone; shutdown by SIGTERM then leaves no engine daemon
// behind, logs "close" last (an engine that had to be killed would be logged after it) and saves the placement;
// and on a real X server with a tray host (ctest's tray_e2e runs that case under tests/desktop/xsession.sh
// --tray) the minimised console goes into the tray and a click on its icon brings it back. Killed while it records
// its history, it leaves a database that opens and is sound.

#include "ConfigRecord.h"
#include "EngineRig.h"
#include "EngineSocketClient.h"
#include "ProcessProbe.h"
#include "StationSimulator.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

/// The built console, copied (the program's directory is where the executable really is) into a program
/// directory with one station on a loopback address (by default one where nothing listens). The destructor stops
/// it by PID, and any engine it left.
class Console
{
public:
    explicit Console(const QString& dir, const QString& station = u"127.0.0.150"_s) : m_dir(dir), m_logDir(dir)
    {
        ConfigRecord record = ConfigRecord::defaults();
        record.ipAddress[0] = station;
        QString error;
        m_ready = EngineRig::prepareProgramDir(m_dir, record, QStringLiteral(QZ_PROGRAM_DIR), &error)
                  && QFile::copy(QStringLiteral(QZ_PROGRAM_DIR "/qzconsole"), program());
        process.setWorkingDirectory(m_dir);
    }
    ~Console()
    {
        const qint64 engine = enginePid();
        if (process.state() != QProcess::NotRunning && (!stop() || !process.waitForFinished(20000)))
            process.kill();
        if (!ProcessProbe::gone(engine))
            ::kill(pid_t(engine), SIGKILL);
    }

    /// Starts it and waits for the end of its start-up with the engine: "init", then the third codec reply.
    /// Starts it (as the desktop does: in the operator's state directory, with stateDir) and waits for the end of
    /// its start-up with the engine: "init", then the third codec reply.
    bool startUp(bool stateDir = false)
    {
        if (stateDir)
            m_logDir = QDir::homePath() + u"/.local/state/qzconsole"_s;
        process.start(program(), stateDir ? QStringList{u"--state-dir"_s} : QStringList{});
        return m_ready && QTest::qWaitFor([this] { return !entries().filter(u"2: "_s).isEmpty(); }, 45000);
    }
    QString program() const { return m_dir + u"/qzconsole"_s; }
    QString log() const { return EngineRig::readText(m_logDir + u"/qz.log"_s); }
    QString logDir() const { return m_logDir; }
    /// Log messages without their time stamps, one per entry.
    QStringList entries() const
    {
        static const QRegularExpression stamp(u"^\\d{1,2} \\w+ \\d{4} [\\d:]+ ?"_s);
        return log().split(u"\r\n"_s, Qt::SkipEmptyParts).replaceInStrings(stamp, QString());
    }
    /// PID of the engine daemon the console logged it started, 0 if none.
    qint64 enginePid() const
    {
        return QRegularExpression(u"started linphonec \\(pid (\\d+)\\)"_s).match(log()).captured(1).toLongLong();
    }
    /// Starts the same console again: "exit CODE: OUTPUT" of that second process, or "ran on" (it is killed).
    QByteArray startAgain() const
    {
        QProcess second;
        second.setProcessChannelMode(QProcess::MergedChannels);
        second.start(program(), {});
        const bool ended = second.waitForFinished(10000) && second.exitStatus() == QProcess::NormalExit;
        return ended ? "exit " + QByteArray::number(second.exitCode()) + ": " + second.readAll() : "ran on"_ba;
    }
    bool stop() { return process.processId() > 0 && ::kill(pid_t(process.processId()), SIGTERM) == 0; }

    QProcess process;

private:
    QString m_dir;
    QString m_logDir;
    bool m_ready = false;
};

} // namespace

class TestConsoleShutdown : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(u"linphonec"_s).isEmpty())
            QSKIP("linphonec is not installed (Debian package linphone-cli)");
        QString error;
        QVERIFY2(m_home.isValid() && EngineRig::lockEngine(m_lock, 120000, &error), qPrintable(error));
        QVERIFY(EngineRig::writeEngineConfig(EngineRig::freeSipPort(5070)));
    }

    void shutdown()
    {
        Console console(m_home.makeDir(u"prog"_s));
        const qint64 engine = console.startUp(true) ? console.enginePid() : 0;
        QVERIFY2(!ProcessProbe::gone(engine), qPrintable(console.log()));
        // Started as the desktop starts it: the log is in the operator's state directory, which is private.
        QCOMPARE(QFileInfo(console.logDir()).permissions() & 0x0077, QFileDevice::Permissions());
        QVERIFY(!QFileInfo::exists(m_home.root() + u"/prog/qz.log"_s));
        // A second start ends at once and quietly (a message box would hold it up) and leaves the first alone:
        // twice, as on its way out it must not give up the first's instance lock either. Own entries only
        // ("init", "engine: ...", "close"): camera failures come and go meanwhile.
        const QRegularExpression own(u"^(init|engine|close|\\d: )"_s);
        const QStringList entries = console.entries().filter(own);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(console.startAgain(), QByteArray("exit 0: "));
        QCOMPARE(console.process.state(), QProcess::Running);
        QCOMPARE(EngineSocketClient::request(EngineSocketClient::defaultSocketPath(), "status hook").text,
                 "hook=on-hook\n"_ba);
        QCOMPARE(console.entries().filter(own), entries);

        QVERIFY2(console.stop() && console.process.waitForFinished(20000), "the console did not end after SIGTERM");
        const QStringList shutdownEntries = console.entries();
        // "close" last: an engine that had to be killed would be logged after it.
        QVERIFY2(shutdownEntries.constLast() == u"close"_s, qPrintable(console.log()));
        QVERIFY(ProcessProbe::gone(engine) && !QFileInfo::exists(EngineSocketClient::defaultSocketPath()));
        QSettings placement(m_home.root() + u"/home/.config/qzr/qzr.conf"_s, QSettings::IniFormat);
        QCOMPARE(placement.value(u"settings/wstate"_s).toString(), u"0"_s);
        QVERIFY(placement.value(u"settings/wwidth"_s).toDouble() > 0);
    }

    void trayIconClickBringsTheWindowBack()
    {
        if (qgetenv("QT_QPA_PLATFORM") != "xcb")
            QSKIP("needs an X server with a tray host: ctest's tray_e2e runs it under tests/desktop/xsession.sh");
        Console console(m_home.makeDir(u"prog"_s));
        QVERIFY2(console.startUp(), qPrintable(console.log()));
        const auto xdotool = [](const QStringList& arguments) {
            QProcess p;
            p.start(u"xdotool"_s, arguments);
            return p.waitForFinished(5000) ? QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed() : QString();
        };
        const QStringList search{u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"QZ Video Console"_s};
        QTRY_VERIFY_WITH_TIMEOUT(!xdotool(search).isEmpty(), 30000);
        // trayer packs its icons to the right end of its dock at the top of the screen.
        const int width = xdotool({u"getdisplaygeometry"_s}).section(u' ', 0, 0).toInt();
        for (const QString& back : {u"icon"_s, u"second start"_s}) {
            xdotool({u"windowminimize"_s, xdotool(search).section(u'\n', 0, 0)});
            QTRY_VERIFY_WITH_TIMEOUT(xdotool(search).isEmpty(), 5000);
            if (back == u"icon"_s)
                xdotool({u"mousemove"_s, QString::number(width - 12), u"16"_s, u"click"_s, u"1"_s});
            else
                QCOMPARE(console.startAgain(), QByteArray("exit 0: "));
            QTRY_VERIFY2_WITH_TIMEOUT(!xdotool(search).isEmpty(), qPrintable(back), 5000);
        }
    }

    void killedWhileRecordingLeavesASoundHistory()
    {
        StationSimulator station({u"--first"_s, u"151"_s, u"--count"_s, u"1"_s});
        QVERIFY2(station.isReady(), qPrintable(station.errorString()));
        Console console(m_home.makeDir(u"prog-killed"_s), StationSimulator::address(151, 0));
        QVERIFY2(console.startUp(), qPrintable(console.log()));
        QTRY_VERIFY_WITH_TIMEOUT(station.status(0).contains("callconns=1"_L1), 5000);
        // Door calls, each an event with the camera's picture, until the kill comes in the middle of them.
        for (int i = 0; i < 40; ++i) {
            station.send(i % 2 == 0 ? u"call 0"_s : u"end 0"_s);
            QTest::qWait(60);
        }
        QVERIFY(::kill(pid_t(console.process.processId()), SIGKILL) == 0);
        QVERIFY(console.process.waitForFinished(5000));

        const QString path = m_home.root() + u"/home/.local/share/qzconsole/qzconsole/history/history.db"_s;
        QVERIFY2(QFileInfo::exists(path), qPrintable(path));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"killed"_s);
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery check(db);
            QVERIFY(check.exec(u"PRAGMA integrity_check"_s) && check.next());
            QCOMPARE(check.value(0).toString(), u"ok"_s);
            QVERIFY(check.exec(u"SELECT count(*) FROM events WHERE kind = 'door call'"_s) && check.next());
            QVERIFY2(check.value(0).toInt() >= 10, qPrintable(check.value(0).toString()));
            QVERIFY(check.exec(u"SELECT count(*) FROM pictures"_s) && check.next() && check.value(0).toInt() >= 10);
        }
        QSqlDatabase::removeDatabase(u"killed"_s);
    }

private:
    EngineRig::Home m_home;
    QLockFile m_lock{EngineRig::lockPath()};
};

QTEST_GUILESS_MAIN(TestConsoleShutdown)
#include "test_console_shutdown.moc"

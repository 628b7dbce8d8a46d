// DaemonProcess: output to a log file, empty input, PID and kill, and a child that dies with its parent.

#include "DaemonProcess.h"
#include "ProcessProbe.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdio>

using namespace Qt::StringLiterals;
using ProcessProbe::gone;

const char* const kParentMode = "--start-child-and-hang";

class TestDaemonProcess : public QObject
{
    Q_OBJECT

private slots:
    void outputGoesToLogFile_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("logged"); // what the log holds after "earlier\n"; 2000000 NULs as "*"
        QTest::addColumn<qint64>("limit");      // the output limit; 0: none

        // Input is empty: a child that reads it sees its end at once.
        QTest::newRow("both streams, appended, no input") << u"cat; echo out; echo err >&2; exit 3"_s << 3
                                                          << "out\nerr\n"_ba << qint64(0);
        // Far more than a pipe holds: with an unread pipe the child would never end.
        QTest::newRow("large output does not block") << u"head -c 2000000 /dev/zero; echo end"_s << 0 << "*end\n"_ba
                                                     << qint64(0);
        // Past the limit the file moves to "<file>.1" and a new one begins: bounded, and nothing lost at the cut.
        QTest::newRow("rotated at the limit") << u"head -c 2000000 /dev/zero; echo end"_s << 0 << "*end\n"_ba
                                              << qint64(1500000);
    }

    void outputGoesToLogFile()
    {
        QFETCH(QString, script);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, logged);
        QFETCH(qint64, limit);
        const QString log = m_dir.filePath(u"out.log"_s);
        QFile file(log);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("earlier\n") == 8);
        file.close();
        DaemonProcess process;
        process.setOutputLimit(limit);
        QVERIFY(process.start(u"/bin/sh"_s, {u"-c"_s, script}, log));
        QVERIFY(process.waitForExit(20000) && !process.isRunning());
        QCOMPARE(process.exitCode(), exitCode);
        QFile older(log + u".1"_s);
        QCOMPARE(older.exists(), limit > 0);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(limit == 0 || (older.open(QIODevice::ReadOnly) && file.size() < limit));
        const QByteArray rotated = limit > 0 ? older.readAll() : QByteArray();
        QCOMPARE(rotated + file.readAll(), "earlier\n" + logged.replace("*", QByteArray(2000000, '\0')));
    }

    void lifeCycle()
    {
        DaemonProcess process;
        QString error;
        QVERIFY(!process.start(u"/nonexistent/program"_s, {}, QString(), &error) && !error.isEmpty() && !process.pid());
        QVERIFY(process.start(u"sleep"_s, {u"30"_s}, QString()) && process.isRunning() && !process.waitForExit(100));
        const qint64 pid = process.pid();
        // A second start while one runs fails and leaves it alone.
        QVERIFY(!process.start(u"sleep"_s, {u"30"_s}, QString()) && process.pid() == pid && !gone(pid));
        process.kill();
        QVERIFY(!process.isRunning() && gone(pid) && process.exitCode() == -1 && process.pid() == 0);
    }

    void childDiesWithItsParent()
    {
        // A copy of this program starts a child through DaemonProcess, prints its PID and hangs; killed hard, it
        // must take the child along.
        QProcess parent;
        parent.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kParentMode)});
        QVERIFY(parent.waitForReadyRead(10000));
        const qint64 childPid = parent.readAllStandardOutput().trimmed().toLongLong();
        QVERIFY(childPid > 0 && !gone(childPid));
        parent.kill();
        QTRY_VERIFY_WITH_TIMEOUT(gone(childPid), 5000);
    }

private:
    QTemporaryDir m_dir;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], kParentMode) == 0) {
        DaemonProcess child;
        std::printf("%lld\n", child.start(u"sleep"_s, {u"60"_s}, QString()) ? child.pid() : 0LL);
        std::fflush(stdout);
        QThread::sleep(60);
        return 0;
    }
    TestDaemonProcess test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_daemon_process.moc"

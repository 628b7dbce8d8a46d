// DaemonProcess: output to a log file, empty input, PID and kill, and a child that dies with its parent.

#include "DaemonProcess.h"
#include "support/EngineTestEnv.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;
using EngineTestEnv::processGone;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const char* const ParentMode = "--start-child-and-hang";

} // namespace

class TestDaemonProcess : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void outputGoesToLogFile_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<qint64>("logSize");
        QTest::addColumn<QByteArray>("logTail"); // after what the log held before
        QTest::newRow("both streams, appended")
            << u"echo out; echo err >&2; exit 3"_s << 3 << qint64(8 + 8) << "out\nerr\n"_ba;
        // Far more than a pipe holds: with an unread pipe the child would never end.
        QTest::newRow("large output does not block")
            << u"head -c 2000000 /dev/zero; echo end"_s << 0 << qint64(8 + 2000004) << "end\n"_ba;
        QTest::newRow("input is empty") << u"cat; echo eof"_s << 0 << qint64(8 + 4) << "eof\n"_ba;
    }

    void outputGoesToLogFile()
    {
        QFETCH(QString, script);
        QFETCH(int, exitCode);
        QFETCH(qint64, logSize);
        QFETCH(QByteArray, logTail);
        const QString log = m_dir->path() + u"/out.log"_s;
        QFile earlier(log);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier\n") == 8);
        earlier.close();
        DaemonProcess process;
        QString error;
        QVERIFY2(process.start(u"/bin/sh"_s, {u"-c"_s, script}, log, &error), qPrintable(error));
        QVERIFY(process.waitForExit(20000));
        QVERIFY(!process.isRunning());
        QCOMPARE(process.exitCode(), exitCode);
        const QByteArray written = readFile(log);
        QCOMPARE(written.size(), logSize);
        QVERIFY(written.startsWith("earlier\n"));
        QVERIFY(written.endsWith(logTail));
    }

    void lifeCycle()
    {
        qint64 pid = 0;
        {
            DaemonProcess process;
            QString error;
            QVERIFY(!process.start(m_dir->path() + u"/no-such-program"_s, {}, QString(), &error));
            QVERIFY(!error.isEmpty() && !process.isRunning() && process.pid() == 0);

            QVERIFY(process.start(u"sleep"_s, {u"30"_s}, QString()));
            pid = process.pid();
            QVERIFY(pid > 0 && process.isRunning() && !processGone(pid));
            QVERIFY(!process.waitForExit(100));
            // A second start while one runs fails and leaves it alone.
            error.clear();
            QVERIFY(!process.start(u"sleep"_s, {u"30"_s}, QString(), &error));
            QVERIFY(!error.isEmpty());
            QCOMPARE(process.pid(), pid);

            process.kill();
            QVERIFY(!process.isRunning() && processGone(pid));
            QCOMPARE(process.exitCode(), -1);
            QCOMPARE(process.pid(), qint64(0));
            // Once it has ended, the object can start the next one; its destructor kills it.
            QVERIFY(process.start(u"sleep"_s, {u"30"_s}, QString()));
            QVERIFY(process.pid() != pid);
            pid = process.pid();
        }
        QVERIFY(processGone(pid));
    }

    void childDiesWithItsParent()
    {
        // A copy of this test program starts a child through DaemonProcess, reports
        // its PID and hangs; killing it hard must take the child along.
        const QString pidFile = m_dir->path() + u"/child.pid"_s;
        QProcess parent;
        parent.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(ParentMode), pidFile});
        QVERIFY(parent.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(readFile(pidFile).endsWith('\n'), 10000);
        const qint64 childPid = readFile(pidFile).trimmed().toLongLong();
        QVERIFY(childPid > 0);
        QVERIFY(!processGone(childPid));

        parent.kill();
        QVERIFY(parent.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(processGone(childPid), 5000);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], ParentMode) == 0) {
        QCoreApplication app(argc, argv);
        DaemonProcess child;
        if (!child.start(u"sleep"_s, {u"60"_s}, QString()))
            return 1;
        QFile pidFile(QString::fromLocal8Bit(argv[2]));
        if (!pidFile.open(QIODevice::WriteOnly))
            return 1;
        pidFile.write(QByteArray::number(child.pid()) + '\n');
        pidFile.close();
        QThread::sleep(60);
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestDaemonProcess test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_daemon_process.moc"

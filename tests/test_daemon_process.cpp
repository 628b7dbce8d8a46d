#include "DaemonProcess.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace
{
bool processGone(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    // An orphan whose reaper is slow may linger as a zombie: it runs no more.
    return !status.open(QIODevice::ReadOnly) || status.readAll().contains("State:\tZ");
}

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
    void init();
    void outputGoesToLogFile();
    void largeOutputDoesNotBlock();
    void inputIsEmpty();
    void runningChildHasPidAndIsKilled();
    void secondStartWhileRunningFails();
    void missingProgramFails();
    void destructorKillsChild();
    void childDiesWithItsParent();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDaemonProcess::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestDaemonProcess::outputGoesToLogFile()
{
    const QString log = m_dir->path() + QStringLiteral("/out.log");
    QFile::remove(log);
    {
        QFile earlier(log);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier\n");
    }
    DaemonProcess process;
    QString error;
    QVERIFY2(process.start(QStringLiteral("/bin/sh"),
                           {QStringLiteral("-c"), QStringLiteral("echo out; echo err >&2; exit 3")}, log, &error),
             qPrintable(error));
    QVERIFY(process.waitForExit(10000));
    QVERIFY(!process.isRunning());
    QCOMPARE(process.exitCode(), 3);
    QCOMPARE(readFile(log), QByteArray("earlier\nout\nerr\n"));
}

void TestDaemonProcess::largeOutputDoesNotBlock()
{
    // Far more than a pipe holds: with an unread pipe the child would never end.
    const QString log = m_dir->path() + QStringLiteral("/big.log");
    DaemonProcess process;
    QVERIFY(process.start(QStringLiteral("/bin/sh"),
                          {QStringLiteral("-c"), QStringLiteral("head -c 2000000 /dev/zero; echo end")}, log));
    QVERIFY(process.waitForExit(20000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QFileInfo(log).size(), 2000004);
}

void TestDaemonProcess::inputIsEmpty()
{
    const QString log = m_dir->path() + QStringLiteral("/in.log");
    DaemonProcess process;
    QVERIFY(process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("cat; echo eof")}, log));
    QVERIFY(process.waitForExit(10000));
    QCOMPARE(readFile(log), QByteArray("eof\n"));
}

void TestDaemonProcess::runningChildHasPidAndIsKilled()
{
    DaemonProcess process;
    QCOMPARE(process.pid(), qint64(0));
    QVERIFY(!process.isRunning());
    QVERIFY(process.start(QStringLiteral("sleep"), {QStringLiteral("30")}, QString()));
    const qint64 pid = process.pid();
    QVERIFY(pid > 0);
    QVERIFY(process.isRunning());
    QVERIFY(!processGone(pid));
    QVERIFY(!process.waitForExit(100));

    process.kill();
    QVERIFY(!process.isRunning());
    QVERIFY(processGone(pid));
    QCOMPARE(process.exitCode(), -1);
    QCOMPARE(process.pid(), qint64(0));
}

void TestDaemonProcess::secondStartWhileRunningFails()
{
    DaemonProcess process;
    QVERIFY(process.start(QStringLiteral("sleep"), {QStringLiteral("30")}, QString()));
    const qint64 pid = process.pid();
    QString error;
    QVERIFY(!process.start(QStringLiteral("sleep"), {QStringLiteral("30")}, QString(), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(process.pid(), pid);
    process.kill();

    // Once it has ended, the object can start the next one.
    QVERIFY(process.start(QStringLiteral("sleep"), {QStringLiteral("30")}, QString()));
    QVERIFY(process.pid() != pid);
}

void TestDaemonProcess::missingProgramFails()
{
    DaemonProcess process;
    QString error;
    QVERIFY(!process.start(m_dir->path() + QStringLiteral("/no-such-program"), {}, QString(), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!process.isRunning());
    QCOMPARE(process.pid(), qint64(0));
}

void TestDaemonProcess::destructorKillsChild()
{
    qint64 pid = 0;
    {
        DaemonProcess process;
        QVERIFY(process.start(QStringLiteral("sleep"), {QStringLiteral("30")}, QString()));
        pid = process.pid();
        QVERIFY(!processGone(pid));
    }
    QVERIFY(processGone(pid));
}

void TestDaemonProcess::childDiesWithItsParent()
{
    // A copy of this test program starts a child through DaemonProcess, reports
    // its PID and hangs; killing it hard must take the child along.
    const QString pidFile = m_dir->path() + QStringLiteral("/child.pid");
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

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], ParentMode) == 0) {
        QCoreApplication app(argc, argv);
        DaemonProcess child;
        if (!child.start(QStringLiteral("sleep"), {QStringLiteral("60")}, QString()))
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

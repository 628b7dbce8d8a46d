#include "ChildProcessRunner.h"
#include "EngineShell.h"
#include "RecordingLogger.h"
#include "ShellRunner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kStartFailure = QStringLiteral("Failed to create process, check the path of the command line.");

/// The real runner, counting the runs it is asked for.
class CountingRunner : public ChildProcessRunner
{
public:
    ChildRunResult run(const QString& program, const QStringList& args, bool wantStdOut, bool wantStdErr,
                       int timeoutMs) override
    {
        ++runs;
        return m_real.run(program, args, wantStdOut, wantStdErr, timeoutMs);
    }

    int runs = 0;

private:
    QtChildProcessRunner m_real;
};

ShellCommand commandFor(const QString& program, const QStringList& args = {})
{
    return ShellCommand{program, args, program + QStringLiteral(" (logged)")};
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return f.readAll();
}

} // namespace

class TestShellRunner : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void returnsOutput();
    void emptyOutput();
    void streamSelection_data();
    void streamSelection();
    void bothStreamsKeepOrder();
    void neitherStreamRunsNothing();
    void convertOemLeavesUtf8Alone_data();
    void convertOemLeavesUtf8Alone();
    void noInputForChild();
    void pipeFailureRetriesTwice();
    void pipeFailureOnceStillMakesThreeRuns();
    void pipeFailureOnUnwantedStreamIsNotSeen();
    void startFailureReplacesEarlierOutput();
    void neverEndingChildIsKilled();
    void programThatCannotStart_data();
    void programThatCannotStart();
    void passwordCannotInject();
    void engineShellCommandLines();

private:
    QString writeScript(const QString& name, const QByteArray& body);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestShellRunner::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestShellRunner::writeScript(const QString& name, const QByteArray& body)
{
    const QString path = m_dir->filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        return {};
    }
    f.write("#!/bin/sh\n" + body);
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

void TestShellRunner::returnsOutput()
{
    const QString script = writeScript(QStringLiteral("hello"), "echo hello\necho world\n");
    RecordingLogger log;
    CountingRunner runner;
    ShellRunner shell(log, runner);
    QCOMPARE(shell.RunShellCommand(commandFor(script), true, false, true), QStringLiteral("hello\nworld\n"));
    QCOMPARE(runner.runs, 1);
    QCOMPARE(log.entries, QStringList());
}

void TestShellRunner::emptyOutput()
{
    const QString script = writeScript(QStringLiteral("quiet"), "exit 3\n");
    RecordingLogger log;
    CountingRunner runner;
    ShellRunner shell(log, runner);
    QCOMPARE(shell.RunShellCommand(commandFor(script), true, true, false), QString());
    QCOMPARE(runner.runs, 1);
    QCOMPARE(log.entries, QStringList());
}

void TestShellRunner::streamSelection_data()
{
    QTest::addColumn<bool>("wantStdOut");
    QTest::addColumn<bool>("wantStdErr");
    QTest::addColumn<QString>("expected");

    QTest::newRow("stdout only") << true << false << QStringLiteral("out 1\nout 2\n");
    QTest::newRow("stderr only") << false << true << QStringLiteral("err 1\n");
}

void TestShellRunner::streamSelection()
{
    QFETCH(bool, wantStdOut);
    QFETCH(bool, wantStdErr);
    QFETCH(QString, expected);
    const QString script = writeScript(QStringLiteral("streams"), "echo out 1\necho err 1 >&2\necho out 2\n");
    RecordingLogger log;
    CountingRunner runner;
    ShellRunner shell(log, runner);
    QCOMPARE(shell.RunShellCommand(commandFor(script), wantStdOut, wantStdErr, false), expected);
}

void TestShellRunner::bothStreamsKeepOrder()
{
    const QString script =
        writeScript(QStringLiteral("interleaved"), "for i in 1 2 3 4 5; do echo out $i; echo err $i >&2; done\n");
    RecordingLogger log;
    CountingRunner runner;
    ShellRunner shell(log, runner);
    QCOMPARE(shell.RunShellCommand(commandFor(script), true, true, false),
             QStringLiteral("out 1\nerr 1\nout 2\nerr 2\nout 3\nerr 3\nout 4\nerr 4\nout 5\nerr 5\n"));
}

void TestShellRunner::neitherStreamRunsNothing()
{
    const QString marker = m_dir->filePath(QStringLiteral("ran"));
    const QString script = writeScript(QStringLiteral("marker"), "touch '" + marker.toUtf8() + "'\necho ran\n");
    RecordingLogger log;
    CountingRunner runner;
    ShellRunner shell(log, runner);
    const ShellCommand command = commandFor(script);
    QCOMPARE(shell.RunShellCommand(command, false, false, true), QString());
    QCOMPARE(runner.runs, 0);
    QVERIFY(!QFileInfo::exists(marker));
    QCOMPARE(log.entries.size(), 1);
    QVERIFY(log.entries[0].startsWith(command.logText));

    // The same command with a stream wanted does run: the script works.
    QCOMPARE(shell.RunShellCommand(command, true, false, true), QStringLiteral("ran\n"));
    QVERIFY(QFileInfo::exists(marker));
}

void TestShellRunner::convertOemLeavesUtf8Alone_data()
{
    QTest::addColumn<bool>("convertOem");
    QTest::newRow("convert") << true;
    QTest::newRow("no conversion") << false;
}

void TestShellRunner::convertOemLeavesUtf8Alone()
{
    QFETCH(bool, convertOem);
    const QString script = writeScript(QStringLiteral("utf8"), "printf 'rel\\303\\250 1'\n");
    RecordingLogger log;
    CountingRunner runner;
    ShellRunner shell(log, runner);
    QCOMPARE(shell.RunShellCommand(commandFor(script), true, false, convertOem), QStringLiteral("relè 1"));
}

void TestShellRunner::noInputForChild()
{
    // A child that reads its input must see an end at once, not wait for the time limit.
    const QString script = writeScript(QStringLiteral("reader"), "cat\necho done\n");
    RecordingLogger log;
    CountingRunner runner;
    ShellRunner shell(log, runner);
    shell.setTimeoutMs(5000);
    QCOMPARE(shell.RunShellCommand(commandFor(script), true, true, false), QStringLiteral("done\n"));
    QCOMPARE(log.entries, QStringList());
}

void TestShellRunner::pipeFailureRetriesTwice()
{
    const QString counter = m_dir->filePath(QStringLiteral("runs"));
    const QByteArray body = "echo run >> '" + counter.toUtf8() +
                            "'\n"
                            "n=$(wc -l < '" +
                            counter.toUtf8() +
                            "' | tr -d ' ')\n"
                            "echo \"ERROR: Failed to connect pipe: No such file or directory ($n)\"\n";
    const QString script = writeScript(QStringLiteral("nopipe"), body);
    RecordingLogger log;
    CountingRunner runner;
    ShellRunner shell(log, runner);
    const ShellCommand command = commandFor(script, {QStringLiteral("status")});

    QElapsedTimer clock;
    clock.start();
    const QString text = shell.RunShellCommand(command, true, true, false);
    const qint64 elapsedMs = clock.elapsed();

    QCOMPARE(text, QStringLiteral("ERROR: Failed to connect pipe: No such file or directory (1)\n"
                                  "ERROR: Failed to connect pipe: No such file or directory (2)\n"
                                  "ERROR: Failed to connect pipe: No such file or directory (3)\n"));
    QCOMPARE(readAll(counter), QByteArray("run\nrun\nrun\n"));
    QCOMPARE(runner.runs, 3);
    QCOMPARE(log.entries,
             (QStringList{command.logText, QStringLiteral("retry"), command.logText, QStringLiteral("retry")}));
    // Two pauses of 200 ms between the three runs.
    QVERIFY2(elapsedMs >= 2 * ShellRunner::kRetryPauseMs - 10, qPrintable(QString::number(elapsedMs)));
}

void TestShellRunner::pipeFailureOnceStillMakesThreeRuns()
{
    const QString counter = m_dir->filePath(QStringLiteral("runs"));
    const QByteArray body = "if [ -e '" + counter.toUtf8() +
                            "' ]; then echo ok; "
                            "else echo 'Failed to connect pipe'; fi\n"
                            "echo run >> '" +
                            counter.toUtf8() + "'\n";
    const QString script = writeScript(QStringLiteral("oncebroken"), body);
    RecordingLogger log;
    CountingRunner runner;
    ShellRunner shell(log, runner);
    QCOMPARE(shell.RunShellCommand(commandFor(script), true, false, true),
             QStringLiteral("Failed to connect pipe\nok\nok\n"));
    QCOMPARE(runner.runs, 3);
    QCOMPARE(log.entries.count(QStringLiteral("retry")), 2);
}

void TestShellRunner::pipeFailureOnUnwantedStreamIsNotSeen()
{
    // linphonecsh prints its pipe error on standard error.
    const QString script = writeScript(QStringLiteral("stderrpipe"), "echo 'ERROR: Failed to connect pipe' >&2\n");
    RecordingLogger log;
    CountingRunner runner;
    ShellRunner shell(log, runner);
    QCOMPARE(shell.RunShellCommand(commandFor(script), true, false, true), QString());
    QCOMPARE(runner.runs, 1);
    QCOMPARE(log.entries, QStringList());
}

void TestShellRunner::startFailureReplacesEarlierOutput()
{
    // The first run reports the pipe error and removes itself, so the retry cannot start.
    const QString script = writeScript(QStringLiteral("vanishing"), "rm -f \"$0\"\necho 'Failed to connect pipe'\n");
    RecordingLogger log;
    CountingRunner runner;
    ShellRunner shell(log, runner);
    const ShellCommand command = commandFor(script);
    QCOMPARE(shell.RunShellCommand(command, true, false, true), kStartFailure);
    QVERIFY(!QFileInfo::exists(script));
    QCOMPARE(runner.runs, 2);
    QCOMPARE(log.entries, (QStringList{command.logText, QStringLiteral("retry")}));
}

void TestShellRunner::neverEndingChildIsKilled()
{
    const QString pidFile = m_dir->filePath(QStringLiteral("pid"));
    const QString script =
        writeScript(QStringLiteral("forever"), "echo $$ > '" + pidFile.toUtf8() + "'\necho partial\nexec sleep 60\n");
    RecordingLogger log;
    CountingRunner runner;
    ShellRunner shell(log, runner);
    shell.setTimeoutMs(500);
    const ShellCommand command = commandFor(script);

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(shell.RunShellCommand(command, true, true, false), QStringLiteral("partial\n"));
    QVERIFY2(clock.elapsed() < 10000, "the runner did not stop the child at its time limit");
    QCOMPARE(runner.runs, 1);
    QCOMPARE(log.entries, QStringList{command.logText + QStringLiteral(" killed after 0.5 s without ending")});

    const QByteArray pid = readAll(pidFile).trimmed();
    QVERIFY(!pid.isEmpty());
    QVERIFY2(!QFileInfo::exists(QStringLiteral("/proc/") + QString::fromLatin1(pid)), "the child still runs");
}

void TestShellRunner::programThatCannotStart_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("wantStdErr");

    QTest::newRow("missing") << QStringLiteral("no/such/dir/linphonecsh") << false;
    QTest::newRow("missing, both streams") << QStringLiteral("no/such/dir/linphonecsh") << true;
    QTest::newRow("not executable") << QStringLiteral("plain.txt") << true;
}

void TestShellRunner::programThatCannotStart()
{
    QFETCH(QString, program);
    QFETCH(bool, wantStdErr);
    {
        QFile plain(m_dir->filePath(QStringLiteral("plain.txt")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("echo Failed to connect pipe\n");
    }
    RecordingLogger log;
    CountingRunner runner;
    ShellRunner shell(log, runner);
    QCOMPARE(shell.RunShellCommand(commandFor(m_dir->filePath(program)), true, wantStdErr, true), kStartFailure);
    QCOMPARE(runner.runs, 1);
    QCOMPARE(log.entries, QStringList());
}

void TestShellRunner::passwordCannotInject()
{
    const QString injected = m_dir->filePath(QStringLiteral("injected"));
    const QString script = writeScript(QStringLiteral("args"), "for a in \"$@\"; do printf '%s\\n' \"$a\"; done\n");
    const QString password = QStringLiteral("pa ss\"w'd; touch ") + injected + QStringLiteral(" $(touch ") + injected +
                             QStringLiteral(") `touch ") + injected + QStringLiteral("`");
    const QString user = QStringLiteral(" 100 ");
    const ShellCommand command = EngineShell::registerCommand(script, QStringLiteral("127.0.0.1"), user, password);

    RecordingLogger log;
    CountingRunner runner;
    ShellRunner shell(log, runner);
    const QString output = shell.RunShellCommand(command, true, false, true);

    const QStringList expected{QStringLiteral("register"),
                               QStringLiteral("--host"),
                               QStringLiteral("127.0.0.1"),
                               QStringLiteral("--username"),
                               user,
                               QStringLiteral("--password"),
                               password};
    QCOMPARE(output, expected.join(u'\n') + u'\n');
    QVERIFY(!QFileInfo::exists(injected));
    QVERIFY(!command.logText.contains(QStringLiteral("pa ss")));
    QCOMPARE(log.entries, QStringList());
}

void TestShellRunner::engineShellCommandLines()
{
    const QString path = EngineShell::shellPath(QStringLiteral("/opt/qz"));
    QCOMPARE(path, QStringLiteral("/opt/qz/lp/linphonecsh"));

    QCOMPARE(EngineShell::registerArgumentText(QStringLiteral("pbx "), QStringLiteral(" 100"),
                                               QStringLiteral("s3 cret"), false),
             QStringLiteral("--host pbx  --username  100 --password s3 cret"));
    QCOMPARE(
        EngineShell::registerArgumentText(QStringLiteral("pbx"), QStringLiteral("100"), QStringLiteral("secret"), true),
        QStringLiteral("--host pbx --username 100 --password ******"));

    const ShellCommand reg =
        EngineShell::registerCommand(path, QStringLiteral("pbx"), QStringLiteral("100"), QStringLiteral("secret"));
    QCOMPARE(reg.program, path);
    QCOMPARE(reg.arguments, (QStringList{QStringLiteral("register"), QStringLiteral("--host"), QStringLiteral("pbx"),
                                         QStringLiteral("--username"), QStringLiteral("100"),
                                         QStringLiteral("--password"), QStringLiteral("secret")}));
    QCOMPARE(reg.logText,
             QStringLiteral("/opt/qz/lp/linphonecsh register --host pbx --username 100 --password ******"));

    const ShellCommand exit = EngineShell::exitCommand(path);
    QCOMPARE(exit.program, path);
    QCOMPARE(exit.arguments, QStringList{QStringLiteral("exit")});
    QCOMPARE(exit.logText, QStringLiteral("/opt/qz/lp/linphonecsh exit"));
}

QTEST_GUILESS_MAIN(TestShellRunner)
#include "test_shellrunner.moc"

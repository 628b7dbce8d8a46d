// RunShellCommand against small scripts made by the test: streams, the pipe-failure retry, programs
// that cannot start, children that never end, and arguments no shell parses.

#include "ChildProcessRunner.h"
#include "EngineShell.h"
#include "RecordingLogger.h"
#include "ShellRunner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kStartFailure = u"Failed to create process, check the path of the command line."_s;
const QString kCommand = u"%cmd"_s; // stands for the command's log text in expected log entries

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

/// One run of a script (or of a program that is no script) and what comes of it.
struct Run
{
    QByteArray script{};  ///< empty: program is run instead
    QString program{};    ///< relative to the test's folder
    bool wantStdOut = true;
    bool wantStdErr = false;
    bool convertOem = true;
    QString output{};
    int runs = 1;
    QStringList log{}; ///< kCommand stands for the command's log text
};

ShellCommand commandFor(const QString& program, const QStringList& args = {})
{
    return ShellCommand{program, args, program + u" (logged)"_s};
}

} // namespace
Q_DECLARE_METATYPE(Run)

class TestShellRunner : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_log.entries.clear();
        m_runner.runs = 0;
    }

    void runs_data()
    {
        QTest::addColumn<Run>("r");
        const QByteArray streams = "echo out 1\necho err 1 >&2\necho out 2\n";
        const QByteArray utf8 = "printf 'rel\\303\\250 1'\n";
        const QStringList twoRetries{kCommand, u"retry"_s, kCommand, u"retry"_s};
        QTest::newRow("prints") << Run{.script = "echo hello\necho world\n", .output = u"hello\nworld\n"_s};
        QTest::newRow("exit code ignored") << Run{.script = "exit 3\n", .wantStdErr = true};
        QTest::newRow("stdout only") << Run{.script = streams, .output = u"out 1\nout 2\n"_s};
        QTest::newRow("stderr only")
            << Run{.script = streams, .wantStdOut = false, .wantStdErr = true, .output = u"err 1\n"_s};
        QTest::newRow("both streams keep their order")
            << Run{.script = "for i in 1 2 3 4 5; do echo out $i; echo err $i >&2; done\n", .wantStdErr = true,
                   .output = u"out 1\nerr 1\nout 2\nerr 2\nout 3\nerr 3\nout 4\nerr 4\nout 5\nerr 5\n"_s};
        // convertOem changes nothing on Linux, asked for or not.
        QTest::newRow("utf-8 left alone") << Run{.script = utf8, .output = u"relè 1"_s};
        QTest::newRow("utf-8 left alone, no conversion asked")
            << Run{.script = utf8, .convertOem = false, .output = u"relè 1"_s};
        // A child that reads its input sees its end at once, not the time limit.
        QTest::newRow("no input") << Run{.script = "cat\necho done\n", .wantStdErr = true, .output = u"done\n"_s};
        // linphonecsh prints its pipe error on standard error.
        QTest::newRow("pipe failure on an unwanted stream")
            << Run{.script = "echo 'ERROR: Failed to connect pipe' >&2\n"};
        QTest::newRow("pipe failure every time: three runs, outputs joined")
            << Run{.script = "echo run >> \"$0.runs\"\nn=$(wc -l < \"$0.runs\" | tr -d ' ')\n"
                             "echo \"ERROR: Failed to connect pipe: No such file or directory ($n)\"\n",
                   .wantStdErr = true,
                   .output = u"ERROR: Failed to connect pipe: No such file or directory (1)\n"
                             "ERROR: Failed to connect pipe: No such file or directory (2)\n"
                             "ERROR: Failed to connect pipe: No such file or directory (3)\n"_s,
                   .runs = 3, .log = twoRetries};
        QTest::newRow("pipe failure once: still three runs")
            << Run{.script = "if [ -e \"$0.runs\" ]; then echo ok; else echo 'Failed to connect pipe'; fi\n"
                             "echo run >> \"$0.runs\"\n",
                   .output = u"Failed to connect pipe\nok\nok\n"_s, .runs = 3, .log = twoRetries};
        // The first run reports the pipe error and removes itself, so the retry cannot start.
        QTest::newRow("start failure replaces earlier output")
            << Run{.script = "rm -f \"$0\"\necho 'Failed to connect pipe'\n", .output = kStartFailure, .runs = 2,
                   .log = {kCommand, u"retry"_s}};
        QTest::newRow("missing program") << Run{.program = u"no/such/dir/linphonecsh"_s, .output = kStartFailure};
        QTest::newRow("missing program, both streams")
            << Run{.program = u"no/such/dir/linphonecsh"_s, .wantStdErr = true, .output = kStartFailure};
        QTest::newRow("not executable") << Run{.program = u"plain.txt"_s, .wantStdErr = true, .output = kStartFailure};
    }

    void runs()
    {
        QFETCH(Run, r);
        QFile plain(m_dir->filePath(u"plain.txt"_s));
        QVERIFY(plain.open(QIODevice::WriteOnly) && plain.write("echo Failed to connect pipe\n") > 0);
        plain.close();
        const QString path = r.script.isEmpty() ? m_dir->filePath(r.program) : writeScript(u"script"_s, r.script);
        const ShellCommand command = commandFor(path, {u"status"_s});
        ShellRunner shell(m_log, m_runner);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(shell.RunShellCommand(command, r.wantStdOut, r.wantStdErr, r.convertOem), r.output);
        QCOMPARE(m_runner.runs, r.runs);
        r.log.replaceInStrings(kCommand, command.logText);
        QCOMPARE(m_log.entries, r.log);
        // A pause of 200 ms before each repeated run.
        QVERIFY2(clock.elapsed() >= (r.runs - 1) * ShellRunner::kRetryPauseMs - 10,
                 qPrintable(QString::number(clock.elapsed())));
    }

    void neitherStreamRunsNothing()
    {
        const QString script = writeScript(u"marker"_s, "touch \"$0.ran\"\necho ran\n");
        const ShellCommand command = commandFor(script);
        ShellRunner shell(m_log, m_runner);
        QCOMPARE(shell.RunShellCommand(command, false, false, true), QString());
        QCOMPARE(m_runner.runs, 0);
        QVERIFY(!QFileInfo::exists(script + u".ran"_s));
        QCOMPARE(m_log.entries.size(), 1);
        QVERIFY(m_log.entries[0].startsWith(command.logText));

        // The same command with a stream wanted does run: the script works.
        QCOMPARE(shell.RunShellCommand(command, true, false, true), u"ran\n"_s);
        QVERIFY(QFileInfo::exists(script + u".ran"_s));
    }

    void neverEndingChildIsKilled()
    {
        const QString script = writeScript(u"forever"_s, "echo $$ > \"$0.pid\"\necho partial\nexec sleep 60\n");
        ShellRunner shell(m_log, m_runner);
        shell.setTimeoutMs(500);
        const ShellCommand command = commandFor(script);

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(shell.RunShellCommand(command, true, true, false), u"partial\n"_s);
        QVERIFY2(clock.elapsed() < 10000, "the runner did not stop the child at its time limit");
        QCOMPARE(m_runner.runs, 1);
        QCOMPARE(m_log.entries, QStringList{command.logText + u" killed after 0.5 s without ending"_s});

        QFile pidFile(script + u".pid"_s);
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        const QByteArray pid = pidFile.readAll().trimmed();
        QVERIFY(!pid.isEmpty());
        QVERIFY2(!QFileInfo::exists(u"/proc/"_s + QString::fromLatin1(pid)), "the child still runs");
    }

    void passwordCannotInject()
    {
        const QString injected = m_dir->filePath(u"injected"_s);
        const QString script = writeScript(u"args"_s, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done\n");
        const QString password = u"pa ss\"w'd; touch "_s + injected + u" $(touch "_s + injected + u") `touch "_s
                                 + injected + u"`"_s;
        const QString user = u" 100 "_s;
        const ShellCommand command = EngineShell::registerCommand(script, u"127.0.0.1"_s, user, password);
        ShellRunner shell(m_log, m_runner);
        const QStringList expected{u"register"_s, u"--host"_s, u"127.0.0.1"_s, u"--username"_s, user, u"--password"_s,
                                   password};
        QCOMPARE(shell.RunShellCommand(command, true, false, true), expected.join(u'\n') + u'\n');
        QVERIFY(!QFileInfo::exists(injected));
        QVERIFY(!command.logText.contains(u"pa ss"_s));
        QCOMPARE(m_log.entries, QStringList());
    }

private:
    QString writeScript(const QString& name, const QByteArray& body);

    std::unique_ptr<QTemporaryDir> m_dir;
    RecordingLogger m_log;
    CountingRunner m_runner;
};

QString TestShellRunner::writeScript(const QString& name, const QByteArray& body)
{
    const QString path = m_dir->filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write("#!/bin/sh\n" + body);
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QTEST_GUILESS_MAIN(TestShellRunner)
#include "test_shellrunner.moc"

// ShellRunner against small scripts made by the test: streams, the pipe-failure retry, programs that cannot
// start, children that never end, and arguments no shell parses.

#include "ChildProcessRunner.h"
#include "EngineShell.h"
#include "ProcessProbe.h"
#include "RecordingLogger.h"
#include "ShellRunner.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kStartFailure = u"Failed to create process, check the path of the command line."_s;
const QString kCommand = u"%cmd"_s; // stands for the command's log text in expected log entries

/// One run of a script (or of a program that is no script) and what comes of it.
struct Run
{
    QByteArray script{}; ///< empty: program is run instead
    QString program{};   ///< relative to the test's folder
    QString password{};  ///< set: the engine shell's register command with this password, else "status"
    bool wantStdOut = true;
    bool wantStdErr = false;
    int timeoutMs = ShellRunner::kDefaultTimeoutMs;
    QString output{};
    int runs = 1; ///< as the script counts them
    QStringList log{};
};

} // namespace
Q_DECLARE_METATYPE(Run)

class TestShellRunner : public QObject
{
    Q_OBJECT

private slots:
    void runs_data()
    {
        QTest::addColumn<Run>("r");
        const QByteArray streams = "echo out 1\nprintf 'rel\\303\\250 1\\n' >&2\necho out 2\n";
        const QStringList twoRetries{kCommand, u"retry"_s, kCommand, u"retry"_s};
        QTest::newRow("stdout only; exit 3") << Run{.script = streams + "exit 3\n", .output = u"out 1\nout 2\n"_s};
        QTest::newRow("stderr only, utf-8")
            << Run{.script = streams, .wantStdOut = false, .wantStdErr = true, .output = u"rel\u00e8 1\n"_s};
        // The child's input is empty: cat sees its end at once, not the time limit.
        QTest::newRow("both streams keep their order; no input")
            << Run{.script = "cat\nfor i in 1 2 3 4 5; do echo out $i; echo err $i >&2; done\n", .wantStdErr = true,
                   .output = u"out 1\nerr 1\nout 2\nerr 2\nout 3\nerr 3\nout 4\nerr 4\nout 5\nerr 5\n"_s};
        QTest::newRow("neither stream: not run") << Run{.script = "echo ran\n", .wantStdOut = false, .runs = 0,
            .log = {kCommand + u" not run: neither standard output nor standard error wanted"_s}};
        // The child is killed at the time limit (its PID file tells whether it is gone); its output so far stays.
        QTest::newRow("never ends") << Run{.script = "echo $$ > \"$0.pid\"\necho partial\nexec sleep 60\n",
            .wantStdErr = true, .timeoutMs = 500, .output = u"partial\n"_s,
            .log = {kCommand + u" killed after 0.5 s without ending"_s}};
        // linphonecsh prints its pipe error on standard error.
        QTest::newRow("pipe failure, unwanted stream") << Run{.script = "echo 'ERROR: Failed to connect pipe' >&2\n"};
        QTest::newRow("pipe failure every time: three runs, outputs joined")
            << Run{.script = "echo \"Failed to connect pipe: $(wc -l < \"$0.runs\")\"\n",
                   .output = u"Failed to connect pipe: 1\nFailed to connect pipe: 2\nFailed to connect pipe: 3\n"_s,
                   .runs = 3, .log = twoRetries};
        QTest::newRow("pipe failure once: still three runs")
            << Run{.script = "[ $(wc -l < \"$0.runs\") = 1 ] && echo 'Failed to connect pipe' || echo ok\n",
                   .output = u"Failed to connect pipe\nok\nok\n"_s, .runs = 3, .log = twoRetries};
        // The first run reports the pipe error and removes itself, so the retry cannot start.
        QTest::newRow("start failure replaces earlier output")
            << Run{.script = "rm -f \"$0\"\necho 'Failed to connect pipe'\n", .output = kStartFailure,
                   .log = {kCommand, u"retry"_s}};
        // Each argument reaches the program as it is, whatever a shell would make of it; the log masks it.
        const QString password = u"pa ss\"w'd; touch x $(touch y) `touch z`"_s;
        QTest::newRow("register arguments reach it unparsed")
            << Run{.script = "printf '%s\\n' \"$@\"\n", .password = password,
                   .output = u"register\n--host\n127.0.0.1\n--username\n 100 \n--password\n"_s + password + u'\n'};
        QTest::newRow("missing program")
            << Run{.program = u"no/such/dir/linphonecsh"_s, .wantStdErr = true, .output = kStartFailure, .runs = 0};
        QTest::newRow("not executable") << Run{.program = u"plain.txt"_s, .output = kStartFailure, .runs = 0};
    }

    void runs()
    {
        QFETCH(Run, r);
        QTemporaryDir dir;
        QFile file(dir.filePath(r.script.isEmpty() ? u"plain.txt"_s : u"script"_s));
        // Every run counts itself. Not executable, the plain file must not be run through a shell either.
        const QByteArray body = r.script.isEmpty() ? "echo Failed to connect pipe\n"_ba : r.script;
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("#!/bin/sh\necho run >> \"$0.runs\"\n" + body) > 0);
        file.setPermissions(r.script.isEmpty() ? QFile::ReadOwner : QFile::ReadOwner | QFile::ExeOwner);
        file.close();
        const QString path = r.script.isEmpty() ? dir.filePath(r.program) : file.fileName();
        const ShellCommand command = r.password.isEmpty()
            ? ShellCommand{path, {u"status"_s}, path + u" (logged)"_s}
            : EngineShell::registerCommand(path, u"127.0.0.1"_s, u" 100 "_s, r.password);
        RecordingLogger log;
        QtChildProcessRunner runner;
        ShellRunner shell(log, runner);
        shell.setTimeoutMs(r.timeoutMs);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(shell.run(command, r.wantStdOut, r.wantStdErr), r.output);
        QFile runs(file.fileName() + u".runs"_s), pid(path + u".pid"_s);
        QCOMPARE(runs.open(QIODevice::ReadOnly) ? int(runs.readAll().count('\n')) : 0, r.runs);
        QCOMPARE(log.entries, r.log.replaceInStrings(kCommand, command.logText));
        QVERIFY(!command.logText.contains(u"pa ss"_s));
        // A pause of 200 ms before each repeated run.
        QVERIFY(clock.elapsed() >= r.log.count(u"retry"_s) * ShellRunner::kRetryPauseMs - 10);
        QVERIFY(!pid.open(QIODevice::ReadOnly) || ProcessProbe::gone(pid.readAll().trimmed().toLongLong()));
    }
};

QTEST_GUILESS_MAIN(TestShellRunner)
#include "test_shellrunner.moc"

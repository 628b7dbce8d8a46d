#pragma once

#include "ChildProcessRunner.h"

#include <QStringList>

#include <functional>

/// Child process runner for tests: records each run and answers from a script.
class FakeChildProcessRunner : public ChildProcessRunner
{
public:
    struct Run
    {
        QString program;
        QStringList args;
        bool wantStdOut;
        bool wantStdErr;
    };

    std::function<ChildRunResult(const Run&)> script = [](const Run&) {
        ChildRunResult r;
        r.started = true;
        return r;
    };
    QList<Run> runs;
    QStringList* journal = nullptr;

    ChildRunResult run(const QString& program, const QStringList& args, bool wantStdOut, bool wantStdErr,
                       int /*timeoutMs*/) override
    {
        Run r{program, args, wantStdOut, wantStdErr};
        runs.append(r);
        if (journal)
            journal->append(QStringLiteral("run:") + program + QLatin1Char(' ') + args.join(QLatin1Char(' ')));
        return script(r);
    }
};

// qz-bench-snapshots: the console's snapshot path against 16 simulated stations; see --help.

#include "BenchOptions.h"
#include "HistoryBacklog.h"
#include "ResultTable.h"
#include "SnapshotBench.h"

#include <QApplication>
#include <QDateTime>
#include <QSysInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <thread>

namespace {

QtMessageHandler g_defaultHandler = nullptr;

void filterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    // The offscreen platform asks for a runtime directory it never uses.
    if (message.contains(QStringLiteral("XDG_RUNTIME_DIR")))
        return;
    g_defaultHandler(type, context, message);
}

void print(const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    g_defaultHandler = qInstallMessageHandler(filterMessages);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qz-bench-snapshots"));

    BenchOptions options;
    QString error;
    bool helpShown = false;
    if (!BenchOptions::parse(QCoreApplication::arguments(), &options, &error, &helpShown)) {
        if (helpShown)
            return 0;
        std::fprintf(stderr, "qz-bench-snapshots: %s (see --help)\n", error.toLocal8Bit().constData());
        return 1;
    }

    // Before the runs: every run's archive delivers to it.
    BenchHistoryServer historyServer;
    QTemporaryDir scratch;
    if (!options.historyServer.isEmpty()) {
        if (!historyServer.start(options.historyServer, scratch.path(), &error)) {
            std::fprintf(stderr, "qz-bench-snapshots: history server: %s\n", error.toLocal8Bit().constData());
            return 1;
        }
        options.historyConnection = historyServer.connection();
    }

    print(QStringLiteral("# Snapshot benchmark, %1\n\n%2 s per run (counted after %3 s), window %4x%5, %6 hardware "
                         "threads, %7, Qt %8, history %9\n\n")
              .arg(QDateTime::currentDateTime().toString(Qt::ISODate))
              .arg(options.durationS)
              .arg(options.warmupS)
              .arg(options.windowSize.width())
              .arg(options.windowSize.height())
              .arg(std::thread::hardware_concurrency())
              .arg(QSysInfo::prettyProductName(), QString::fromLatin1(qVersion()),
                   options.history ? QStringLiteral("recorded") + (options.historyServer.isEmpty()
                                                                      ? QString()
                                                                      : QStringLiteral(", history server ")
                                                                            + options.historyServer)
                                   : QStringLiteral("off")));

    SnapshotBench bench(options);
    QList<RunResult> results;
    bool allOk = true;
    for (const RunPlan& plan : options.runs) {
        print(QStringLiteral("Running %1) %2 ...\n\n").arg(plan.name, plan.title));
        results.append(bench.run(plan));
        print(ResultTable::runReport(results.constLast()) + QLatin1Char('\n'));
        allOk = allOk && results.constLast().ok;
    }
    print(QStringLiteral("### Summary\n\n") + ResultTable::summary(results));
    if (options.history)
        print(QStringLiteral("\n### History\n\n") + ResultTable::historySummary(results));
    if (options.historyServer == QStringLiteral("up")) {
        print(QStringLiteral("\n### History server backlog\n\nDelivering ...\n\n"));
        const BacklogFigures backlog =
            measureBacklog(scratch.filePath(QStringLiteral("backlog")), options.historyConnection, 1000);
        print(ResultTable::backlogSummary(backlog));
        allOk = allOk && backlog.ok;
    }
    return allOk ? 0 : 2;
}

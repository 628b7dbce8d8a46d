#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

/// A station of a run whose camera is out of order, and how.
struct DeadStation
{
    int station = 0;
    /// The simulator's camera mode word ("hang", "blackhole", "slow:3000", ...).
    QString mode;
};

/// One measured run: what the simulated stations serve.
struct RunPlan
{
    /// Short name to select it by: "a", "b", "hang1", "blackhole4", "mixed4", ...
    QString name;
    QString title;
    QSize pictureSize;
    /// Stations whose camera does not deliver; every other station answers normally.
    QList<DeadStation> dead;

    /// The dead station's mode word, empty for a healthy one.
    QString deadMode(int station) const;
};

/// The benchmark's command line.
struct BenchOptions
{
    int durationS = 15;
    /// Start of the counting window: the first passes open the connections.
    int warmupS = 1;
    /// When the first resident-memory figure is taken (seconds after polling starts);
    /// -1: a third of the duration, at most 10 s.
    int rssEarlyS = -1;
    int djpegIterations = 200;
    int firstOctet = 2;
    quint16 httpPort = 8081;
    quint16 relayPort = 6000;
    quint16 callPort = 6001;
    /// Simulator frames per cycle (-1: the simulator's default).
    int cycle = -1;
    QSize windowSize{1280, 800};
    /// Records the event history beside polling, under a synthetic load (HistoryLoad).
    bool history = false;
    /// With the history: "up", a PostgreSQL server of the benchmark's own as history server (and the backlog
    /// figure); "down", a history server that refuses every connection; empty: none.
    QString historyServer;
    /// The history server's connection (libpq keywords), once main() has one; not an option.
    QString historyConnection;
    QList<RunPlan> runs;

    /// Every plan, in the order they run: a, b, the one-dead plans, the four-dead plans, mixed4.
    static QList<RunPlan> allPlans();

    /// The plans named in a comma-separated list of plan names and groups ("quick", "dead1",
    /// "dead4", "all"; "c" is hang1; a word of the letters a, b, c alone, like "abc", names those plans).
    /// Each plan once, in the order of allPlans(). False with error for an unknown name.
    static bool selectPlans(const QString& list, QList<RunPlan>* plans, QString* error);

    /// The second of the first resident-memory figure.
    int rssEarlyAtS() const;

    /// Parses arguments (with the program name first). False with error set on
    /// a bad command line, or with helpShown set after printing the help.
    static bool parse(const QStringList& arguments, BenchOptions* options, QString* error, bool* helpShown);
};

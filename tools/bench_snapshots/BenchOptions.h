#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

/// One measured run: what the simulated stations serve.
struct RunPlan
{
    /// "a", "b", "c".
    QString label;
    QString title;
    QSize pictureSize;
    /// Station that never answers (mode hang), -1 for none.
    int hangStation = -1;
};

/// The benchmark's command line.
struct BenchOptions
{
    int durationS = 60;
    /// Start of the counting window: the first passes open the connections.
    int warmupS = 1;
    /// When the first resident-memory figure is taken (seconds after polling starts).
    int rssEarlyS = 10;
    int djpegIterations = 200;
    int firstOctet = 2;
    quint16 httpPort = 8081;
    quint16 relayPort = 6000;
    quint16 callPort = 6001;
    /// Simulator frames per cycle (-1: the simulator's default).
    int cycle = -1;
    QSize windowSize{1280, 800};
    QList<RunPlan> runs;

    /// The three runs a, b, c.
    static QList<RunPlan> standardRuns();

    /// Parses arguments (with the program name first). False with error set on
    /// a bad command line, or with helpShown set after printing the help.
    static bool parse(const QStringList& arguments, BenchOptions* options, QString* error, bool* helpShown);
};

#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <utility>

/// The command line of qz-stationsim.
struct SimulatorOptions
{
    int count = 3;      ///< stations
    int firstOctet = 2; ///< station k listens on 127.0.0.(firstOctet + k)
    quint16 httpPort = 8081;
    quint16 relayPort = 6000;
    quint16 callPort = 6001;
    quint16 controlPort = 0; ///< 0: no control port
    QSize size{640, 480};
    int quality = 80;
    int cycle = -1; ///< pre-rendered frames per station; -1: chosen from the size
    bool readStdin = true;
    QList<std::pair<int, QString>> modes; ///< station index (-1 for all) and mode word, in command-line order

    /// Frames per pre-rendered cycle: the --cycle value, or 16 above 800 x 600 pixels and 0 below.
    int effectiveCycle() const;

    /// "127.0.0.N" of station index.
    QString stationAddress(int index) const;

    /// Parses arguments (program name first). Returns false with error for bad values; sets *helpShown
    /// (and returns false) when --help was asked for and printed.
    static bool parse(const QStringList& arguments, SimulatorOptions* options, QString* error, bool* helpShown);
};

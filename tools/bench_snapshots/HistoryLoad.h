#pragma once

#include "HistoryArchive.h"
#include "HistoryRecorder.h"
#include "RunResult.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTimer>

#include <vector>

class ConsoleRig;

/// The event history recording beside the rig's snapshot path, as the console
/// wires it (ConsoleApplication::wireHistory): a HistoryArchive, and a
/// HistoryRecorder that is given every camera frame the rig's SnapshotPoller
/// receives, with its station. Between start() and stop() it adds a load far
/// above real use, one lock event every 100 ms cycling through the given
/// stations, and times each recorder call on the GUI thread.
class HistoryLoad
{
public:
    static constexpr int kEventPeriodMs = 100;

    /// rig must outlive this object; stations are those whose cameras answer. The third
    /// argument (the camera port) is no longer read: the poller names each frame's station.
    HistoryLoad(ConsoleRig& rig, const QList<int>& stations);

    /// With a history server (connection: libpq keywords; mode "up" or "down", as the figures say),
    /// as desk; before open().
    void setServer(const QString& connection, const QString& mode, const QString& desk);
    /// Opens the database in dir with the default limits and waits for the answer.
    bool open(const QString& dir, QString* error);
    void start();
    void stop();
    /// Waits for every write, then reads back what the database holds (and, with a server up,
    /// what the server holds once it has caught up). After stop(); the worker's CPU time is
    /// counted from start() to the end of the writes.
    HistoryFigures finish();

private:
    void recordEvent();
    qint64 serverEvents(qint64 expected);
    void frameReceived(int station, const QByteArray& jpeg);

    QList<int> m_stations;
    QString m_dir;
    QString m_serverConnection;
    QString m_serverMode;
    QString m_desk;
    HistoryArchive m_archive;
    HistoryRecorder m_recorder;
    QTimer m_timer;
    qsizetype m_next = 0;
    bool m_timing = false;
    qint64 m_workerCpuAtStart = -1;
    std::vector<qint64> m_eventWallNs;
    std::vector<qint64> m_eventCpuNs;
    std::vector<qint64> m_frameWallNs;
    SwitchedCalls m_switched;
};

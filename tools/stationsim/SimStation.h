#pragma once

#include "FrameSource.h"
#include "LogSink.h"
#include "StationMode.h"

#include <QHostAddress>
#include <QObject>

class CallServer;
class CameraServer;
class RelayServer;
struct SimulatorOptions;

/// One simulated door station: camera, relay port and call-notification port on one loopback address.
class SimStation : public QObject
{
    Q_OBJECT

public:
    SimStation(int index, const SimulatorOptions& options, LogSink log, QObject* parent = nullptr);

    int index() const { return m_index; }
    QString address() const { return m_address.toString(); }

    /// Applies a mode word before start (see applyModeWord).
    bool presetMode(const QString& word, QString* error);

    /// Binds the listeners the current modes call for. False with error if one cannot be bound.
    bool start(QString* error);

    /// Switches a mode while running. False with error for an unknown word or a port that cannot be
    /// bound again (the other channels are switched all the same).
    bool setMode(const QString& word, QString* error);

    /// The mode as "mode <index> <camera> <relay> <call>".
    QString modeLine() const;

    /// The station's line of the status command.
    QString statusLine() const;

    CallServer& calls() { return *m_calls; }

private:
    int m_index;
    QHostAddress m_address;
    StationMode m_mode;
    FrameSource m_frames;
    CameraServer* m_camera;
    RelayServer* m_relay;
    CallServer* m_calls;
};

#pragma once

#include "CallNotifications.h"
#include "CallSockets.h"
#include "RelayCommander.h"
#include "SnapshotClient.h"
#include "SnapshotPoller.h"

#include <QObject>

class ConsoleWindow;
class Logger;
class Scheduler;
class StationPictureFeed;

/// The stations' ports: the real stations' unless simulated ones listen elsewhere.
/// Outside StationWiring so that `= {}` can default it in the constructor's declaration.
struct StationPorts
{
    quint16 camera = SnapshotClient::kPort;
    quint16 call = CallSockets::kPort;
    quint16 relay = RelayCommander::kPort;
};

/// The console's door-station side, built once and wired to itself: the
/// snapshot client and poller, the call-notification sockets and their
/// handling, the relays. The poller's every 120th tick reopens the call
/// sockets through CallNotifications. What drives it stays with the owner:
/// the snapshot timer's tick, the buttons, the zoom window (addPictureFeed).
///
/// Owns every part; they go in the reverse order of their declaration, the
/// poller (which uses the others) first. GUI thread only.
class StationWiring : public QObject
{
    Q_OBJECT
public:
    using Ports = StationPorts;

    /// record, window, log and scheduler must outlive this object; the record
    /// is read at every fetch, reopen and relay command, so the configuration
    /// dialog's changes apply at once.
    StationWiring(const ConfigRecord& record, ConsoleWindow& window, Logger& log, Scheduler& scheduler,
                  const Ports& ports = {}, QObject* parent = nullptr);
    ~StationWiring() override;

    /// A window that shows a station's pictures large (the zoom window, the ringing popup); not owned.
    void addPictureFeed(StationPictureFeed* feed);

    /// Start-up: every active station's call socket starts connecting.
    void openCallSockets();
    /// Start-up: a fresh HTTP client per camera (see SnapshotClient::createHttpClient).
    void createHttpClient();
    /// Shutdown: no fetch starts any more and no result reaches a tile. Cannot be undone.
    void stop();

    SnapshotClient& snapshots() { return m_snapshots; }
    CallSockets& callSockets() { return m_callSockets; }
    CallNotifications& notifications() { return m_notifications; }
    RelayCommander& relays() { return m_relays; }
    /// Its tick is the snapshot timer's; frameReceived names the station of every camera frame.
    SnapshotPoller& poller() { return m_poller; }

private:
    const ConfigRecord& m_record;
    SnapshotClient m_snapshots;
    CallSockets m_callSockets;
    CallNotifications m_notifications;
    RelayCommander m_relays;
    SnapshotPoller m_poller;
};

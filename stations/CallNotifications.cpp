#include "CallNotifications.h"

#include "CallSockets.h"
#include "ConsoleWindow.h"
#include "ConfigRecord.h"
#include "Logger.h"
#include "Scheduler.h"
#include "TcpClientSocket.h"

#include <QPointer>

CallNotifications::CallNotifications(const ConfigRecord& record, CallSockets& sockets, ConsoleWindow& window,
                                     Logger& log, Scheduler& scheduler, QObject* parent)
    : QObject(parent)
    , m_record(record)
    , m_sockets(sockets)
    , m_window(window)
    , m_log(log)
    , m_scheduler(scheduler)
{
    connect(&m_sockets, &CallSockets::dataArrived, this, &CallNotifications::onDataArrived);
    connect(&m_sockets, &CallSockets::errorOccurred, this, &CallNotifications::onSocketError);
    connect(&m_sockets, &CallSockets::connected, this, &CallNotifications::onConnected);
}

CallNotifications::~CallNotifications() = default;

void CallNotifications::onDataArrived(int station, const QByteArray& data)
{
    if (station < 0 || station >= ConfigRecord::kStations)
        return;
    // Both steps look at the same arrival, the call step first.
    if (data.contains("CALL"))
        callStep(station);
    if (data.contains("END"))
        endStep(station);
}

void CallNotifications::callStep(int station)
{
    m_calling[station] = 1;
    emit doorCallAnnounced(station);
    if (m_window.isMinimized() && m_record.popupOnCall != 0 && m_window.isInTray()) {
        m_window.bringBackForCall();
        m_window.setTopmost(true);
    }
}

void CallNotifications::endStep(int station)
{
    m_calling[station] = 0;
    emit doorCallEnded(station);
    int anyCalling = 0;
    for (int flag : m_calling)
        anyCalling |= flag;
    if (anyCalling != 0 || !m_window.isRestoredForCall())
        return;
    QPointer<CallNotifications> self(this);
    m_window.fadeBackToTray([self]() {
        if (self)
            self->m_window.setTopmost(false);
    });
}

void CallNotifications::onSocketError(int station, const QString& fault)
{
    if (station < 0 || station >= ConfigRecord::kStations)
        return;
    m_sockets.socket(station)->close();
    const QString name = FailureLogPolicy::stationName(m_record.description[station], station);
    if (const QString line = m_failureLog.failed(station, QStringLiteral("sock %1 (%2)").arg(fault, name));
        !line.isEmpty())
        m_log.write(line);
}

void CallNotifications::onConnected(int station)
{
    if (station < 0 || station >= ConfigRecord::kStations)
        return;
    const QString name = FailureLogPolicy::stationName(m_record.description[station], station);
    if (const QString line = m_failureLog.succeeded(station, QStringLiteral("sock (%1)").arg(name)); !line.isEmpty())
        m_log.write(line);
}

void CallNotifications::reopenSockets(std::function<void()> done)
{
    if (m_reopening) {
        if (done)
            done();
        return;
    }
    m_reopening = true;
    m_reopenDone = std::move(done);
    m_reopenNext = 0;
    m_log.write(QStringLiteral("sock"));
    reopenNext();
}

void CallNotifications::reopenNext()
{
    while (m_reopenNext < ConfigRecord::kStations && m_record.active[m_reopenNext] == 0)
        ++m_reopenNext;
    if (m_reopenNext >= ConfigRecord::kStations) {
        m_reopening = false;
        if (auto done = std::move(m_reopenDone)) {
            m_reopenDone = nullptr;
            done();
        }
        return;
    }
    const int station = m_reopenNext++;
    m_sockets.socket(station)->close();
    m_scheduler.singleShot(kReopenWaitMs, this, [this, station]() { reconnect(station); });
}

void CallNotifications::reconnect(int station)
{
    TcpClientSocket* socket = m_sockets.socket(station);
    // Start-up gave addresses to the stations active then; one activated later
    // has none yet and takes its address as it is now.
    if (socket->remoteHost().isEmpty())
        socket->setRemote(m_record.ipAddress[station], m_sockets.port());
    socket->connectToRemote();
    reopenNext();
}

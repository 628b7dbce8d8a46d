#include "SimStation.h"

#include "CallServer.h"
#include "CameraServer.h"
#include "RelayServer.h"
#include "SimulatorOptions.h"

SimStation::SimStation(int index, const SimulatorOptions& options, LogSink log, QObject* parent)
    : QObject(parent)
    , m_index(index)
    , m_address(options.stationAddress(index))
    , m_frames(index, options.stationAddress(index), options.size, options.quality, options.effectiveCycle())
    , m_camera(new CameraServer(m_address, options.httpPort, &m_mode, &m_frames, this))
    , m_relay(new RelayServer(index, m_address, options.relayPort, &m_mode, log, this))
    , m_calls(new CallServer(index, m_address, options.callPort, &m_mode, log, this))
{
}

bool SimStation::presetMode(const QString& word, QString* error)
{
    return applyModeWord(word, &m_mode, error);
}

bool SimStation::start(QString* error)
{
    return m_camera->start(error) && m_relay->start(error) && m_calls->start(error);
}

bool SimStation::setMode(const QString& word, QString* error)
{
    if (!applyModeWord(word, &m_mode, error))
        return false;
    QStringList errors;
    QString channelError;
    if (!m_camera->applyMode(&channelError))
        errors.append(channelError);
    if (!m_relay->applyMode(&channelError))
        errors.append(channelError);
    if (!m_calls->applyMode(&channelError))
        errors.append(channelError);
    if (errors.isEmpty())
        return true;
    *error = errors.join(QStringLiteral("; "));
    return false;
}

QString SimStation::modeLine() const
{
    return QStringLiteral("mode %1 %2 %3 %4")
        .arg(m_index)
        .arg(cameraModeText(m_mode), relayModeText(m_mode.relay), callModeText(m_mode.call));
}

QString SimStation::statusLine() const
{
    return QStringLiteral("status %1 %2 camera=%3 requests=%4 httpconns=%5 relay=%6 relayconns=%7 relaydone=%8 "
                          "call=%9 callconns=%10")
        .arg(m_index)
        .arg(address(), cameraModeText(m_mode))
        .arg(m_camera->requestCount())
        .arg(m_camera->connectionCount())
        .arg(relayModeText(m_mode.relay))
        .arg(m_relay->connectionCount())
        .arg(m_relay->finishedCount())
        .arg(callModeText(m_mode.call))
        .arg(m_calls->connectionCount());
}

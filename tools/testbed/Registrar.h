#pragma once

#include "DaemonProcess.h"

#include <QList>
#include <QString>
#include <QStringList>

/// kamailio, a SIP server, on 127.0.0.1 for a test: a configuration file, -A definitions, its log in a
/// directory of its own. It and its workers are stopped by PID when the object goes, however the test ends.
class Registrar
{
public:
    explicit Registrar(QString dir);
    ~Registrar();

    /// Starts it on a free UDP port (5180 and up) and waits until it listens there.
    bool start(const QString& config, const QStringList& defines, QString* error);
    quint16 port() const { return m_port; }
    QString log() const;

private:
    QString m_dir;
    DaemonProcess m_process;
    QList<qint64> m_workers;
    quint16 m_port = 0;
};

#pragma once

#include <QObject>

class QSocketNotifier;

/// Turns SIGTERM and SIGINT into a Qt signal, so the simulator can stop from its event loop.
/// Also ignores SIGPIPE: a reader that goes away must not kill the simulator. One instance per process.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

    /// False with error if the handlers could not be installed.
    bool install(QString* error);

signals:
    void terminationRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};

#pragma once

#include "SimulatorOptions.h"

#include <QList>
#include <QObject>

class CommandInput;
class SimStation;

/// The station simulator: the stations, the command interpreter and the output lines.
class Simulator : public QObject
{
    Q_OBJECT

public:
    explicit Simulator(const SimulatorOptions& options, QObject* parent = nullptr);

    /// Binds every listener and starts reading commands; prints "ready" on success.
    /// False with error if something cannot be bound.
    bool start(QString* error);

    /// Runs one command line (see the help text).
    void execute(const QString& line);

signals:
    /// quit, or the end of stdin.
    void quitRequested();

private:
    void printLine(const QString& line);
    void printError(const QString& message);
    /// Stations named by an index text or "all"; empty (and an error printed) for anything else.
    QList<SimStation*> stationsFor(const QString& text);

    SimulatorOptions m_options;
    QList<SimStation*> m_stations;
    CommandInput* m_input;
};

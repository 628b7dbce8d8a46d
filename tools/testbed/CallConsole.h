#pragma once

#include "EngineRig.h"

#include <QString>

#include <memory>

class ConsoleApplication;
struct ConfigRecord;

/// The whole console in this process with its real engine, in a program
/// directory of its own, which is the working directory while it runs (the
/// event log goes there). The engine's memory is watched meanwhile.
class CallConsole
{
public:
    /// homeDir: the working directory to go back to when the console ends.
    explicit CallConsole(QString homeDir);
    ~CallConsole();

    /// Prepares programDir with record, starts the console and waits until its
    /// start-up has finished with an engine it started itself (withEngine) or,
    /// when the engine cannot be had, without one.
    bool start(const QString& programDir, const ConfigRecord& record, QString* error, bool withEngine = true);
    /// Ends the console as the operator's close does. False (with why) when its
    /// engine outlives it (then killed), had to be killed or leaves its socket.
    bool stop(QString* error);

    ConsoleApplication* get() const { return m_console.get(); }
    ConsoleApplication* operator->() const { return m_console.get(); }
    explicit operator bool() const { return m_console != nullptr; }
    /// The event log of the last console started.
    QString log() const;
    EngineMemoryWatch& watch() { return m_watch; }

private:
    QString m_homeDir;
    QString m_programDir;
    std::unique_ptr<ConsoleApplication> m_console;
    EngineMemoryWatch m_watch;
};

#pragma once

#include <QString>

/// Receiver of the console's event log entries. The application's implementation
/// appends to qz.log; tests record the entries.
class Logger
{
public:
    virtual ~Logger() = default;

    /// Writes one entry. Never throws and never ends the program.
    virtual void write(const QString& text) = 0;
};

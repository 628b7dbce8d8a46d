#pragma once

#include "Logger.h"

#include <QString>

/// Passes every entry on to the console's real event log and counts them, so
/// the benchmark can tell how many "GetPicFromHTTP" lines a run wrote.
class CountingLogger : public Logger
{
public:
    /// target must outlive this object.
    explicit CountingLogger(Logger& target) : m_target(target) {}

    void write(const QString& text) override
    {
        ++m_entries;
        if (text.startsWith(QStringLiteral("GetPicFromHTTP ")))
            ++m_fetchErrors;
        m_target.write(text);
    }

    qint64 entries() const { return m_entries; }
    /// Entries that begin with "GetPicFromHTTP ".
    qint64 fetchErrors() const { return m_fetchErrors; }

private:
    Logger& m_target;
    qint64 m_entries = 0;
    qint64 m_fetchErrors = 0;
};

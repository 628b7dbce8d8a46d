#pragma once

#include "Logger.h"

#include <QStringList>

/// Logger for tests: keeps every entry in call order, as passed to write
/// (no time stamp, no trimming). With a journal, each entry is also noted there
/// as "log:" and the text the log file shows (NULs as blanks, outer blanks
/// trimmed), to order it against the calls of other fakes.
class RecordingLogger : public Logger
{
public:
    void write(const QString& text) override
    {
        entries.append(text);
        if (journal)
            journal->append(QStringLiteral("log:") + QString(text).replace(QChar(0), QLatin1Char(' ')).trimmed());
    }

    /// Every text passed to write, oldest first.
    QStringList entries;
    /// Optional shared journal.
    QStringList* journal = nullptr;
};

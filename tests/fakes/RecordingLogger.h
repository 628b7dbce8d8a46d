#pragma once

#include "Logger.h"

#include <QStringList>

/// Logger for tests: keeps every entry in call order, as passed to WriteLog
/// (no time stamp, no trimming).
class RecordingLogger : public Logger
{
public:
    void WriteLog(const QString& text) override { entries.append(text); }

    /// Every text passed to WriteLog, oldest first.
    QStringList entries;
};

#pragma once

#include <QString>

#include <functional>

/// Where a station's event lines go (the simulator prints them on stdout and to control clients).
using LogSink = std::function<void(const QString& line)>;

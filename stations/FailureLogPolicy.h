#pragma once

#include <QString>

#include <array>
#include <functional>

/// Which event log line a station's failed or working attempt gives on one
/// channel (the cameras, the relays or the call sockets), so that a station
/// that stays down costs a few lines instead of one per attempt. Pure: it
/// writes nothing, the caller logs what it returns. GUI thread only.
///
/// Per station, with "the last line" meaning its last failure or count line:
/// - A failure while the log has the station as working, and no line for it in
///   the last minute: the failure as it happened. The log now has it as down.
/// - Any other failure is counted. Once a minute has passed since the last
///   line, the next failure gives the latest failure's line with the count of
///   those since the last line: "...: 120 more failures in the last minute".
///   The log now has it as down.
/// - A success while the log has the station as down: "SUBJECT works again
///   after N s" (N min from 2 min on), timed from the first failure of the
///   outage. The log now has it as working.
/// - Any other success gives nothing.
/// So a station gives at most two lines a minute, also when it fails every
/// other attempt; failures that follow within a minute of a recovery are only
/// counted, and named with the next failure line.
class FailureLogPolicy
{
public:
    /// Milliseconds on a steady clock.
    using Clock = std::function<qint64()>;

    static constexpr qint64 kCountIntervalMs = 60 * 1000;
    static constexpr int kStations = 16;

    /// clock: the time source (a monotonic clock when empty).
    explicit FailureLogPolicy(Clock clock = {});

    /// An attempt at station failed; line names the failure as it happened,
    /// the station included ("GetPicFromHTTP 1 Connection refused (Varco 3)").
    /// Returns the line to log now, or an empty string.
    QString failed(int station, const QString& line);
    /// An attempt at station worked; subject names the channel and the station
    /// ("GetPicFromHTTP (Varco 3)"). Returns the line to log now, or an empty string.
    QString succeeded(int station, const QString& subject);

    /// How a station is named in the log: its description, or "Station N" (1-based) without one.
    static QString stationName(const QString& description, int station);

private:
    struct Station
    {
        bool down = false;      ///< its last attempt failed
        bool logsDown = false;  ///< the log's last word on it is a failure
        qint64 downSinceMs = 0; ///< first failure of the outage
        qint64 lastLineMs = -1; ///< last failure or count line; -1: none yet
        int uncounted = 0;      ///< failures since the last line
    };

    qint64 now() const;

    Clock m_clock;
    std::array<Station, kStations> m_stations{};
};

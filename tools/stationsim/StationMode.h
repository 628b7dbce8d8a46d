#pragma once

#include <QString>

/// What a simulated camera does with a request.
enum class CameraMode
{
    Ok,        ///< 200, a fresh JPEG frame
    Refuse,    ///< nothing listens on the camera port
    Hang,      ///< accepts and reads, never answers
    Html,      ///< 200 with an HTML page
    NotFound,  ///< 404
    Slow,      ///< a normal frame after StationMode::slowMs
    Garbage,   ///< 200 image/jpeg with random bytes
    Truncated, ///< 200 with the first half of a real frame
    Huge,      ///< 200 with a 50 MiB body, streamed
    Bomb,      ///< a small JPEG whose header claims 60000 x 60000 pixels
    Close,     ///< closes the connection without answering
    Blackhole, ///< a connect never completes (no SYN-ACK), like an unplugged host
};

/// What the relay listener does once a command has arrived.
enum class RelayMode
{
    Close,  ///< closes the connection after 3 bytes, like a real station
    Hold,   ///< never closes; the client has to
    Refuse, ///< nothing listens on the relay port
};

/// Whether the call-notification port listens.
enum class CallMode
{
    Accept,
    Refuse, ///< nothing listens; open connections are closed
};

/// Behaviour of one simulated station; each channel is switched independently.
struct StationMode
{
    CameraMode camera = CameraMode::Ok;
    int slowMs = 3000; ///< answer delay of CameraMode::Slow
    RelayMode relay = RelayMode::Close;
    CallMode call = CallMode::Accept;
};

/// Applies one mode word to mode: a camera mode ("ok", "refuse", "hang", "html", "notfound", "slow",
/// "slow:MS", "garbage", "truncated", "huge", "bomb", "close", "blackhole"), a relay mode ("relayclose", "relayhold",
/// "relayrefuse") or a call mode ("callaccept", "callrefuse"). "ok" also resets the relay and call modes.
/// Returns false and leaves mode unchanged for an unknown word.
bool applyModeWord(const QString& word, StationMode* mode, QString* error);

/// The camera mode as the word that selects it ("slow:3000" for a slow camera).
QString cameraModeText(const StationMode& mode);
QString relayModeText(RelayMode mode);
QString callModeText(CallMode mode);

/// Every accepted mode word, for the help text.
QString modeWordsHelp();

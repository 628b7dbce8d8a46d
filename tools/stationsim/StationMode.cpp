#include "StationMode.h"

#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace
{

constexpr std::array<std::pair<CameraMode, QLatin1StringView>, 12> kCameraWords{{
    {CameraMode::Ok, QLatin1StringView("ok")},
    {CameraMode::Refuse, QLatin1StringView("refuse")},
    {CameraMode::Hang, QLatin1StringView("hang")},
    {CameraMode::Html, QLatin1StringView("html")},
    {CameraMode::NotFound, QLatin1StringView("notfound")},
    {CameraMode::Slow, QLatin1StringView("slow")},
    {CameraMode::Garbage, QLatin1StringView("garbage")},
    {CameraMode::Truncated, QLatin1StringView("truncated")},
    {CameraMode::Huge, QLatin1StringView("huge")},
    {CameraMode::Bomb, QLatin1StringView("bomb")},
    {CameraMode::Close, QLatin1StringView("close")},
    {CameraMode::Blackhole, QLatin1StringView("blackhole")},
}};

constexpr std::array<std::pair<RelayMode, QLatin1StringView>, 3> kRelayWords{{
    {RelayMode::Close, QLatin1StringView("relayclose")},
    {RelayMode::Hold, QLatin1StringView("relayhold")},
    {RelayMode::Refuse, QLatin1StringView("relayrefuse")},
}};

constexpr std::array<std::pair<CallMode, QLatin1StringView>, 2> kCallWords{{
    {CallMode::Accept, QLatin1StringView("callaccept")},
    {CallMode::Refuse, QLatin1StringView("callrefuse")},
}};

} // namespace

bool applyModeWord(const QString& word, StationMode* mode, QString* error)
{
    const QString lower = word.trimmed().toLower();
    if (lower == QLatin1StringView("ok")) {
        *mode = StationMode{};
        return true;
    }
    if (lower.startsWith(QLatin1StringView("slow:"))) {
        bool ok = false;
        const int ms = lower.mid(5).toInt(&ok);
        if (!ok || ms < 0) {
            *error = u"bad delay in mode \"%1\""_s.arg(word);
            return false;
        }
        mode->camera = CameraMode::Slow;
        mode->slowMs = ms;
        return true;
    }
    for (const auto& [value, text] : kCameraWords) {
        if (lower == text) {
            mode->camera = value;
            return true;
        }
    }
    for (const auto& [value, text] : kRelayWords) {
        if (lower == text) {
            mode->relay = value;
            return true;
        }
    }
    for (const auto& [value, text] : kCallWords) {
        if (lower == text) {
            mode->call = value;
            return true;
        }
    }
    *error = u"unknown mode \"%1\""_s.arg(word);
    return false;
}

QString cameraModeText(const StationMode& mode)
{
    if (mode.camera == CameraMode::Slow)
        return u"slow:%1"_s.arg(mode.slowMs);
    for (const auto& [value, text] : kCameraWords) {
        if (value == mode.camera)
            return text;
    }
    return u"?"_s;
}

QString relayModeText(RelayMode mode)
{
    for (const auto& [value, text] : kRelayWords) {
        if (value == mode)
            return text;
    }
    return u"?"_s;
}

QString callModeText(CallMode mode)
{
    for (const auto& [value, text] : kCallWords) {
        if (value == mode)
            return text;
    }
    return u"?"_s;
}

QString modeWordsHelp()
{
    return uR"(Modes (per station; camera, relay and call modes are independent, "ok" resets all three):
  ok          camera answers 200 with a fresh JPEG; relays close after 3 bytes; call port listens
  refuse      nothing listens on the camera port
  hang        camera accepts and reads the request, never answers
  html        200 text/html page
  notfound    404
  slow[:MS]   a normal frame after MS milliseconds (default 3000)
  garbage     200 image/jpeg with random bytes
  truncated   200 image/jpeg with the first half of a real frame (Content-Length matches)
  huge        200 image/jpeg, 50 MiB body (a real frame, then filler), streamed in chunks
  bomb        200 image/jpeg, a small JPEG whose header claims 60000 x 60000 pixels
  close       camera closes the connection without answering
  blackhole   a connect to the camera port never completes (no SYN-ACK; the port's listen queue
              is kept full), like an unplugged host; connections already open hang as in hang
  relayclose  relay port closes each connection once 3 bytes have arrived (default)
  relayhold   relay port never closes a connection
  relayrefuse nothing listens on the relay port
  callaccept  call port listens (default)
  callrefuse  nothing listens on the call port; open call connections are closed
)"_s;
}

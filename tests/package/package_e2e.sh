#!/usr/bin/env bash
# The Debian package as an installer gets it: built by CPack, unpacked into a
# temporary root (never installed on this machine), checked for its menu entry,
# icon and dependencies, and its console run from the unpacked program directory
# against a simulated station on loopback, on an X display of its own: a picture
# reaches the tile and SIGTERM ends it cleanly with its engine.
#   package_e2e.sh BUILD_DIR VERSION   (run under tests/desktop/xsession.sh)
set -euo pipefail
build=$1 version=$2
work=$(mktemp -d)
sim_pid= console_pid=
fail() { echo "FAIL: $*"; [ -f "$work/home/qz.log" ] && tr -d '\r' < "$work/home/qz.log"; exit 1; }
cleanup() {
    for pid in $console_pid $sim_pid; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
    engine_unlock
    rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "$0")/../../tools/testbed/engine_lock.sh"

(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null) || fail "cpack"
deb=$(ls "$work"/deb/qzconsole_*.deb)
root=$work/root
dpkg-deb -x "$deb" "$root"
depends=$(dpkg-deb -f "$deb" Depends)
for dep in linphone-cli qt6-qpa-plugins libqt6svg6 libqt6sql6-sqlite libqt6sql6-psql qt6-translations-l10n libqt6core6 libqt6widgets6; do
    [[ "$depends" == *"$dep"* ]] || fail "Depends lacks $dep: $depends"
done
desktop-file-validate "$root/usr/share/applications/qzconsole.desktop" \
    "$root/usr/share/qzconsole/qzconsole-autostart.desktop" || fail "desktop entries"
[ -s "$root/usr/share/icons/hicolor/scalable/apps/qzconsole.svg" ] || fail "no icon"
[ -s "$root/usr/share/qzconsole/history-server.sql" ] || fail "no history server schema"
[ "$(readlink "$root/usr/bin/qzconsole")" = /opt/qzconsole/qzconsole ] || fail "no launcher in the PATH"
prog=$root/opt/qzconsole
[ "$("$prog/qzconsole" --version)" = "qzconsole $version" ] || fail "--version"

"$build/tools/qz-stationsim" --first 40 --count 1 --no-stdin > "$work/sim.out" &
sim_pid=$!
"$build/tools/qz-writecfg" "$prog/qzp.cfg" --station 0,127.0.0.40,101,"Front door" >/dev/null
engine_lock || fail "the engine lock is held elsewhere"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME/.local/share/qzconsole" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
printf '[sip]\nsip_port=5098\nsip_tcp_port=0\nsip_tls_port=0\n' > "$HOME/.local/share/qzconsole/linphonerc"
(cd "$HOME" && exec "$prog/qzconsole") &
console_pid=$!
for _ in $(seq 150); do grep -q '2: ' "$HOME/qz.log" 2>/dev/null && break; sleep 0.2; done
grep -q '2: ' "$HOME/qz.log" || fail "start-up did not finish"
window=$(xdotool search --sync --onlyvisible --name 'QZ Video Console' | head -n 1)
sleep 2
# The tile's middle shows the camera's picture, not the window's plain background.
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root -crop "60x60+$((X + WIDTH * 2 / 5))+$((Y + HEIGHT / 2))" "$work/tile.png"
spread=$(convert "$work/tile.png" -format '%[fx:standard_deviation*1000]' info: | cut -d. -f1)
[ "$spread" -gt 5 ] || fail "no picture in the tile (spread $spread)"
! grep -q GetPicFromHTTP "$HOME/qz.log" || fail "snapshot failures"

engine=$(grep -o 'started linphonec (pid [0-9]*' "$HOME/qz.log" | grep -o '[0-9]*$')
kill -TERM "$console_pid"
wait "$console_pid" || fail "exit code $?"
console_pid=
for _ in $(seq 50); do [ -d "/proc/$engine" ] || break; sleep 0.1; done
[ ! -d "/proc/$engine" ] || fail "the engine outlived the console"
tr -d '\r' < "$HOME/qz.log" | grep -q ' close$' || fail "no close in the log"
# The history is the operator's alone: it holds pictures of people.
history=$HOME/.local/share/qzconsole/qzconsole/history
[ "$(stat -c %a "$history")" = 700 ] && [ "$(stat -c %a "$history/history.db")" = 600 ] \
    || fail "history not private: $(ls -la "$history" 2>&1)"
echo "package $deb: checked"

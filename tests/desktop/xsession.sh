#!/usr/bin/env bash
# Runs a command on an X display of its own: Xvfb, openbox as the window
# manager and, with --tray, trayer as the tray host. The command gets DISPLAY
# and QT_QPA_PLATFORM=xcb; whatever this script started is stopped by PID when
# the command ends, also on failure. Prints "SKIP: ..." and exits 0 when a
# program is missing.
#   xsession.sh [--tray] COMMAND [ARG...]
set -euo pipefail
tray=
[ "${1:-}" = --tray ] && { tray=trayer; shift; }
for tool in Xvfb openbox xdotool xprop $tray; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
# -displayfd: the server takes a free display and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x700x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "FAIL: Xvfb named no display"; exit 1; }
export DISPLAY=:$(cat "$work/display") QT_QPA_PLATFORM=xcb
# openbox keeps its settings in the home it is given, not in the caller's.
HOME=$work XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
if [ -n "$tray" ]; then
    trayer --edge top --align right --widthtype pixel --width 200 --height 32 --SetDockType true \
        --transparent false >/dev/null 2>&1 &
    pids+=($!)
fi
# Under set -e a failing command ends the script with its status; the trap still cleans up.
"$@"

#!/usr/bin/env bash
# End to end on a real X server: the console minimises into a tray icon (trayer
# as the tray host, openbox as window manager) and a click on the icon brings
# it back. Usage: tray_e2e.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
display=:${QZ_TEST_DISPLAY:-93}
pids=()
console_pid=
fail() { echo "FAIL: $*"; [ -f "$work/prog/qz.log" ] && cat "$work/prog/qz.log"; exit 1; }
cleanup() {
    engine_unlock
    if [ -n "$console_pid" ]; then kill "$console_pid" 2>/dev/null || true; wait "$console_pid" 2>/dev/null || true; fi
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "$0")/engine_lock.sh"
engine_lock || { echo "the engine lock is held by another test"; exit 1; }

for tool in Xvfb openbox trayer xdotool; do
    command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done

Xvfb $display -screen 0 1024x700x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
trayer --edge top --align right --widthtype pixel --width 200 --height 32 --SetDockType true --transparent false \
    >/dev/null 2>&1 &
pids+=($!)
sleep 1

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb
mkdir -p "$HOME/.local/share/qzconsole" "$XDG_RUNTIME_DIR" "$work/prog/lp"
chmod 700 "$XDG_RUNTIME_DIR"
printf '[sip]\nsip_port=5096\nsip_tcp_port=0\nsip_tls_port=0\n' > "$HOME/.local/share/qzconsole/linphonerc"
cp "$build/bin/qzconsole" "$work/prog/"
ln -s /usr/bin/linphonecsh "$work/prog/lp/linphonecsh"
"$build/tools/qz-writecfg" "$work/prog/qzp.cfg" --station "0,127.0.0.152,101,Tray test"
(cd "$work/prog" && exec ./qzconsole) &
console_pid=$!

win=
for _ in $(seq 150); do
    win=$(xdotool search --onlyvisible --name "QZ Video Console" 2>/dev/null | head -1 || true)
    [ -n "$win" ] && break
    sleep 0.2
done
[ -n "$win" ] || fail "the main window never showed"

xdotool windowminimize "$win"
for _ in $(seq 50); do
    xdotool search --onlyvisible --name "QZ Video Console" >/dev/null 2>&1 || break
    sleep 0.1
done
xdotool search --onlyvisible --name "QZ Video Console" >/dev/null 2>&1 && fail "minimised window still shown"

# trayer packs its icons to the right end of its dock; click ours.
icon_x=$((1024 - 12))
icon_y=16
xdotool mousemove $icon_x $icon_y click 1
shown=
for _ in $(seq 50); do
    if xdotool search --onlyvisible --name "QZ Video Console" >/dev/null 2>&1; then shown=1; break; fi
    sleep 0.1
done
[ -n "$shown" ] || fail "a click on the tray icon did not bring the window back"
echo "1 passed, 0 failed"

#!/usr/bin/env bash
# Takes the screenshots in docs/screenshots/: the main window with 1, 4, 9 and
# 16 stations (simulated on loopback), the splash, the about box and the
# configuration dialog, the history, a station's call ringing; the main window
# (a button focused from the keyboard) and the history in each language. Runs on its own virtual display (Xvfb, openbox).
#
#   tools/screenshots.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out=$root/docs/screenshots
work=$(mktemp -d)
mkdir -p "$out"
display=:95
pids=()
console_pid=
cleanup() {
    engine_unlock
    [ -n "$console_pid" ] && kill "$console_pid" 2>/dev/null && wait "$console_pid" 2>/dev/null
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
. "$root/tools/testbed/engine_lock.sh"
engine_lock || { echo "the engine lock is held by another test"; exit 1; }

Xvfb $display -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
sleep 1
openbox >/dev/null 2>&1 &
pids+=($!)
"$build/tools/qz-stationsim" --count 16 --first 2 --no-stdin --control-port 7095 >/dev/null &
pids+=($!)

# The console's own HOME: engine on a port of its own, a roomy window.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb
mkdir -p "$HOME/.local/share/qzconsole" "$XDG_CONFIG_HOME/qzr" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf '[sip]\nsip_port=5094\nsip_tcp_port=0\nsip_tls_port=0\n' > "$HOME/.local/share/qzconsole/linphonerc"

run_console() { # N: stations [ARG...]: the console's options
    local n=$1 prog=$work/prog$1
    shift
    mkdir -p "$prog"
    cp "$build/bin/qzconsole" "$prog/"
    local args=()
    for ((i = 0; i < n; i++)); do args+=(--station "$i,127.0.0.$((i + 2)),$((101 + i)),Varco $((i + 1))"); done
    "$build/tools/qz-writecfg" "$prog/qzp.cfg" "${args[@]}"
    printf '[settings]\nwstate=0\nwleft=1500\nwtop=1500\nwwidth=13500\nwheight=10500\n' > "$XDG_CONFIG_HOME/qzr/qzr.conf"
    (cd "$prog" && exec ./qzconsole "$@") &
    console_pid=$!
}

stop_console() {
    kill "$console_pid" 2>/dev/null || true
    wait "$console_pid" 2>/dev/null || true
    console_pid=
}

window_of() { xdotool search --name "$1" 2>/dev/null | head -1; }

for n in 1 4 9 16; do
    run_console $n
    if [ $n -eq 1 ]; then
        sleep 1.5
        import -window root -crop 400x200+440+300 "$out/splash.png" || true
    fi
    sleep 7
    win=$(window_of "QZ Video Console")
    import -frame -window "$win" "$out/main-$n.png"
    if [ $n -eq 4 ]; then
        # The command column: information, then configuration.
        xdotool mousemove --window "$win" 857 22 click 1
        sleep 1
        import -frame -window "$(window_of '  Info')" "$out/about.png" || true
        xdotool key Return
        sleep 1
        xdotool mousemove --window "$win" 857 62 click 1
        sleep 1
        import -frame -window "$(window_of 'Configuration')" "$out/configuration.png" || true
        xdotool key Escape
        sleep 1
        # Some history: door calls of stations 1 and 3, a call from station 2 that nobody answers.
        for k in 0 2; do
            echo "call $k" > /dev/tcp/127.0.0.1/7095; sleep 2
            echo "end $k" > /dev/tcp/127.0.0.1/7095; sleep 1
        done
        sipp 127.0.0.1:5094 -sf "$root/tests/data/e2e_station_gives_up.xml" -s 102 -i 127.0.0.3 -mi 127.0.0.3 \
            -p 5203 -m 1 -d 3000 -timeout 60s -nostdin >/dev/null 2>&1 || true
        sleep 2
        import -frame -window "$win" "$out/main-missed-call.png"
        xdotool mousemove --window "$win" 857 170 click 1
        sleep 1
        hist=$(window_of '^History$')
        xdotool key Down
        sleep 1.5
        import -frame -window "$hist" "$out/history.png" || true
        xdotool key Escape
        sleep 1
    fi
    if [ $n -eq 9 ]; then
        # Station 3 calls: the popup names it and shows its camera, its tile is marked.
        sipp 127.0.0.1:5094 -sf "$root/tests/data/e2e_station_gives_up.xml" -s 103 -i 127.0.0.4 -mi 127.0.0.4 \
            -p 5204 -m 1 -d 6000 -timeout 60s -nostdin >/dev/null 2>&1 &
        sipp_pid=$!
        sleep 3.5
        import -window root "$out/ringing.png"
        wait "$sipp_pid" || true
    fi
    stop_console
done
# Each language: the main window with a button reached by Tab and a tooltip, and the history.
for lang_title in it:Cronologia en:History de:Verlauf; do
    lang=${lang_title%%:*} title=${lang_title#*:}
    run_console 4 --language "$lang"
    sleep 7
    win=$(window_of "QZ Video Console")
    xdotool windowactivate --sync "$win"
    xdotool key Tab Tab Tab Tab Tab
    # The pointer rests on the first telephone button: its tooltip, a separate window, is cut out of the screen.
    xdotool mousemove --window "$win" 22 312
    sleep 2
    eval "$(xdotool getwindowgeometry --shell "$win")"
    import -window root -crop "$((WIDTH + 12))x$((HEIGHT + 36))+$((X - 6))+$((Y - 30))" +repage "$out/main-$lang.png"
    xdotool mousemove --window "$win" 857 170 click 1
    sleep 1.5
    xdotool key Down
    sleep 1
    import -frame -window "$(window_of "^$title\$")" "$out/history-$lang.png" || true
    stop_console
done
echo "screenshots in $out"

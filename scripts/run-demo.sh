#!/usr/bin/env bash
# Runs the console against simulated door stations on loopback (127.0.0.2 ...).
# Installs and builds what it needs, starts the station simulator, writes a
# loopback qzp.cfg into the demo's own program directory, starts the console
# there and stops the simulator when the console closes.
#
#   scripts/run-demo.sh [--stations N] [--xvfb]
#     --stations N  simulated stations (1..16, default 3)
#     --xvfb        run on a virtual display (Xvfb :99) when there is no desktop;
#                   take a screenshot with: DISPLAY=:99 import -window root shot.png
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
stations=3
use_xvfb=0
while [ $# -gt 0 ]; do
    case "$1" in
        --stations) stations=$2; shift 2 ;;
        --xvfb) use_xvfb=1; shift ;;
        *) echo "usage: $0 [--stations N] [--xvfb]" >&2; exit 2 ;;
    esac
done

if [ -z "${DISPLAY:-}" ] && [ "$use_xvfb" -eq 0 ]; then
    echo "There is no display (DISPLAY is not set): the console is a desktop program."
    echo "Run it from a desktop session, or on a virtual display with:"
    echo "    $0 --xvfb"
    exit 1
fi

bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
build=${QZ_BUILD_DIR:-$root/build}

pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
}
trap cleanup EXIT INT TERM

if [ "$use_xvfb" -eq 1 ]; then
    Xvfb :99 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    export DISPLAY=:99
    sleep 1
fi

# The demo's own program directory: never the operator's qzp.cfg.
demo=$build/demo
mkdir -p "$demo"
cp -f "$build/bin/qzconsole" "$demo/qzconsole"
[ -f "$build/bin/ring.wav" ] && cp -f "$build/bin/ring.wav" "$demo/ring.wav"

cfg_args=()
for ((i = 0; i < stations; i++)); do
    cfg_args+=(--station "$i,127.0.0.$((i + 2)),$((101 + i)),Varco $((i + 1))")
done
"$build/tools/qz-writecfg" "$demo/qzp.cfg" "${cfg_args[@]}"

"$build/tools/qz-stationsim" --count "$stations" --first 2 --control-port 7000 --no-stdin &
pids+=($!)

echo "Simulated stations: 127.0.0.2 .. 127.0.0.$((stations + 1)); control: 127.0.0.1:7000"
echo "Make station N announce a door call: echo 'call N' > /dev/tcp/127.0.0.1/7000 (and 'end N')"
cd "$demo"
"$demo/qzconsole"

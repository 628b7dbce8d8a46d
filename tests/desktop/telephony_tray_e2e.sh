#!/usr/bin/env bash
# The console in the tray on a real X server (Xvfb, openbox, trayer as the tray
# host): a SIP call brings it back and the end of the call fades it back. Runs
# the tray case of test_telephony_e2e, which takes the engine lock itself.
# Usage: telephony_tray_e2e.sh BUILD_DIR [TEST_FUNCTION...] (default: the tray case; "all" runs every case)
set -euo pipefail
build=$1
shift
functions=("$@")
[ ${#functions[@]} -eq 0 ] && functions=(callBringsTheConsoleBackFromTheTrayAndFadesBack)
[ "${functions[0]}" = all ] && functions=()
test_binary=$build/tests/test_telephony_e2e
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

for tool in Xvfb openbox trayer xdotool linphonec sipp; do
    command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
[ -x "$test_binary" ] || { echo "FAIL: $test_binary is not built"; exit 1; }

# A display nobody uses.
n=${QZ_TEST_DISPLAY:-94}
while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
display=:$n
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

out=$(mktemp)
status=0
QT_QPA_PLATFORM=xcb "$test_binary" "${functions[@]}" >"$out" 2>&1 || status=$?
cat "$out"
if grep -q '^SKIP   : TestTelephonyE2e::callBrings' "$out"; then
    echo "FAIL: the tray case was skipped although trayer runs"
    status=1
fi
rm -f "$out"
exit $status

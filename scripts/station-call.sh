#!/usr/bin/env bash
# Makes simulated station N of the demo call the console over SIP (sipp on
# 127.0.0.(N+2), extension 101+N, as the demo's qzp.cfg has it). The station
# talks for SECONDS after the operator answers, then hangs up.
#
#   scripts/station-call.sh N [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
n=${1:?usage: $0 N [SECONDS]}
seconds=${2:-20}
address=127.0.0.$((n + 2))
extension=$((101 + n))
echo "Station $n ($address, extension $extension) calls the console at 127.0.0.1:5060..."
sipp 127.0.0.1:5060 -sf "$root/tests/data/e2e_station_calls.xml" -s "$extension" \
    -i "$address" -mi "$address" -p $((5200 + n)) -m 1 -d $((seconds * 1000)) -timeout 120s \
    -nostdin >/dev/null 2>&1 && echo "The call ended." || echo "The call ended without an answer, or the console hung up first."

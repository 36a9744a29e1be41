#!/usr/bin/env bash
# The headless viewer receiving 16 channels of 720 x 576 at 25 pictures per
# second from the test DVR for 20 seconds: pictures decoded per second,
# pictures dropped, CPU seconds and peak memory of the viewer process.
#   bench/live.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
cmake --preset release >/dev/null
cmake --build --preset release --target tarnvik-testdvr tarnvik-livebench >/dev/null
out=$(mktemp)
build/release/testdvr/tarnvik-testdvr --port 0 --channels 16 --clip clip1_d1.264 --password bench >"$out" &
dvr=$!
trap 'kill $dvr 2>/dev/null; rm -f "$out"' EXIT
for _ in $(seq 50); do
  port=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$out")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "${port:-}" ] || { echo "the test DVR did not start" >&2; exit 1; }
build/release/bench/tarnvik-livebench "$port" "$seconds" bench

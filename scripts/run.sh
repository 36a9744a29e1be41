#!/usr/bin/env bash
# Builds everything, starts the bundled test DVR with 16 channels on a free
# loopback port and starts TarnvikPlayer connected to it. Without a display
# the viewer runs under Xvfb, saves a screenshot after a few seconds and
# prints its path. Extra arguments go to the test DVR, e.g.
#   scripts/run.sh --audio
# With --play-demo instead, no DVR is started: a 4-channel backup with sound
# (a `.DVR` and its `.inx`, 60 seconds) is made from the test clips and the
# viewer plays it, as local playback of a DVR's backup does.
# Environment: TARNVIK_PASSWORD (default 1234), TARNVIK_SCREENSHOT (the
# screenshot's path without a display, default ./tarnvik-screenshot.png).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release

run_viewer() {
  if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    "$@"
  else
    shot=$(realpath -m "${TARNVIK_SCREENSHOT:-tarnvik-screenshot.png}")
    echo "no display: running the viewer under Xvfb for a screenshot"
    xvfb-run -a -s "-screen 0 1280x1024x24" "$@" --screenshot "$shot" --quit-after 6
    echo "screenshot of the main window: $shot"
  fi
}

if [ "${1:-}" = --play-demo ]; then
  demo=$(mktemp -d)
  trap 'rm -rf "$demo"' EXIT
  build/release/tools/mkdvr/tarnvik-mkdvr --backup "$demo/demo.DVR" --channels 4 --seconds 60 --gap 30:300
  run_viewer build/release/viewer/app/TarnvikPlayer --play "$demo/demo.DVR"
  exit 0
fi

password=${TARNVIK_PASSWORD:-1234}
work=$(mktemp -d)
fifo="$work/dvr-input"
mkfifo "$fifo"
build/release/testdvr/tarnvik-testdvr --port 0 --upgrade-port 0 --channels 16 --password "$password" "$@" \
  <"$fifo" >"$work/dvr.log" 2>&1 &
dvr=$!
exec 3>"$fifo" # holds the DVR's command input open while the viewer runs
trap 'exec 3>&-; kill $dvr 2>/dev/null || true; wait $dvr 2>/dev/null || true; rm -rf "$work"' EXIT

port=
for _ in $(seq 100); do
  port=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$work/dvr.log")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "the test DVR did not start:" >&2; cat "$work/dvr.log" >&2; exit 1; }
echo "test DVR: 16 channels on 127.0.0.1:$port (user admin, password $password)"
# The upgrade page sends firmware files to the test DVR's upgrade receiver
# (its line follows the listening line).
for _ in $(seq 20); do
  grep -q '^upgrade ' "$work/dvr.log" && break
  sleep 0.1
done
upgrade_port=$(sed -n 's/^upgrade listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$work/dvr.log")
if [ -n "$upgrade_port" ]; then
  export TARNVIK_UPGRADE_PORT=$upgrade_port
  echo "test DVR: firmware upgrades on 127.0.0.1:$upgrade_port"
fi

run_viewer build/release/viewer/app/TarnvikPlayer --connect "127.0.0.1:$port" --password "$password" --channels 16

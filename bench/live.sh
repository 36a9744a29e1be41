#!/usr/bin/env bash
# The headless viewer receiving 16 channels of real D1 content at 25
# pictures per second from the test DVR: pictures decoded and dropped per
# second, CPU seconds per second and peak memory of the viewer process.
#   bench/live.sh [SECONDS] [CLIP.264]
# The clip defaults to the shared benchmark stream d1_pal.264 (720 x 576,
# about 2 Mbit/s) when ../shared is beside the project; otherwise one of
# that kind is made with ffmpeg and x264 (moving test pattern with noise).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
clip=${2:-}
work=$(mktemp -d)
dvr=
trap '[ -n "$dvr" ] && kill $dvr 2>/dev/null; rm -rf "$work"' EXIT
if [ -z "$clip" ]; then
  if [ -f ../shared/bench/d1_pal.264 ]; then
    clip=../shared/bench/d1_pal.264
  else
    clip="$work/d1_made.264"
    ffmpeg -loglevel error -f lavfi -i "testsrc2=size=720x576:rate=25,noise=alls=12:allf=t" -t 12 \
      -c:v libx264 -profile:v baseline -b:v 2M -maxrate 2M -bufsize 2M -g 25 \
      -f h264 "$clip"
  fi
fi
clip=$(realpath "$clip")
cmake --preset release >/dev/null
cmake --build --preset release --target tarnvik-testdvr tarnvik-livebench >/dev/null
build/release/testdvr/tarnvik-testdvr --port 0 --channels 16 --media "$(dirname "$clip")" \
  --clip "$(basename "$clip")" --password bench >"$work/dvr.log" &
dvr=$!
for _ in $(seq 50); do
  port=$(sed -n 's/^listening on 127.0.0.1:\([0-9]*\)$/\1/p' "$work/dvr.log" 2>/dev/null)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "${port:-}" ] || { echo "the test DVR did not start" >&2; cat "$work/dvr.log" >&2; exit 1; }
echo "clip: $clip"
build/release/bench/tarnvik-livebench "$port" "$seconds" bench

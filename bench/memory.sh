#!/usr/bin/env bash
# Sixteen decoders in one process, the viewer's sixteen-pane case, on D1
# (720 x 576) with one reference picture: peak resident memory (VmHWM) of
# the process and per decoder, with the decoders opened once and re-created
# for three rounds. The stream is made here with ffmpeg (x264, Baseline, one
# reference frame); a STREAM argument replaces it (../shared/bench/d1_pal.264
# has three reference frames). Goal: a peak under 40 MB. Not a test: it
# never fails a build.
#   bench/memory.sh [STREAM]
set -euo pipefail
cd "$(dirname "$0")/.."
flock /tmp/tarnvik-build.lock cmake --preset release >/dev/null
flock /tmp/tarnvik-build.lock cmake --build --preset release -j2 --target tarnvik-memorybench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stream=${1:-}
if [ -z "$stream" ]; then
  stream=$work/d1_one_reference.264
  ffmpeg -v error -f lavfi -i "testsrc2=size=720x576:rate=25,noise=alls=12:allf=t" -frames:v 250 \
    -pix_fmt yuv420p -c:v libx264 -profile:v baseline -level 3.0 -refs 1 -b:v 2M -g 50 -threads 1 "$stream"
fi
for rounds in 1 3; do
  line=$(build/release/bench/tarnvik-memorybench "$stream" --rounds "$rounds")
  peak=$(sed -n 's/.*peak_mb=\([0-9.]*\).*/\1/p' <<<"$line")
  echo "$line $(awk -v p="$peak" 'BEGIN { print (p < 40 ? "under_goal" : "OVER_GOAL") }')"
done

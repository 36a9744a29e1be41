#!/usr/bin/env bash
# The local player on a 4-channel D1 recording (every channel plays the D1
# clip), pacing off, through the real renderer from the first block to the
# end: pictures shown per second. Then the same pictures, as handed to the
# decoder, decoded alone by `qldec --bench` channel after channel, and the
# ratio player / decoder (how much of the decoder's speed playback keeps).
# Not a test: it never fails a build.
#   bench/playback.sh [SECONDS]   (recorded seconds, default 40)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-40}
build() { flock /tmp/tarnvik-build.lock cmake --build --preset release -j2 --target "$@" >/dev/null; }
flock /tmp/tarnvik-build.lock cmake --preset release >/dev/null
build tarnvik-mkdvr tarnvik-playbackbench qldec
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The generator gives channel c the clip c % n of the clips in its folder:
# a folder holding only the D1 clip makes all four channels D1.
mkdir "$work/media" "$work/streams"
cp testdvr/media/clip1_d1.264 "$work/media/"
build/release/tools/mkdvr/tarnvik-mkdvr --backup "$work/bench.DVR" --channels 4 --seconds "$seconds" \
  --media "$work/media" --no-audio >/dev/null

player=$(build/release/bench/tarnvik-playbackbench "$work/bench.DVR")
echo "player: $player"
# A second run keeps the picture data handed to the decoder, per channel.
build/release/bench/tarnvik-playbackbench "$work/bench.DVR" "$work/streams" >/dev/null

total_pictures=0
total_seconds=0
for stream in "$work"/streams/ch*.264; do
  line=$(build/release/tools/qldec/qldec "$stream" --bench)
  echo "qldec $(basename "$stream"): $line"
  n=$(sed -n 's/.*pictures=\([0-9]*\).*/\1/p' <<<"$line")
  s=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$line")
  total_pictures=$((total_pictures + n))
  total_seconds=$(awk -v a="$total_seconds" -v b="$s" 'BEGIN { print a + b }')
done
ours=$(sed -n 's/.*pps=\([0-9.]*\).*/\1/p' <<<"$player")
decoder=$(awk -v n="$total_pictures" -v s="$total_seconds" 'BEGIN { printf "%.1f", n / s }')
ratio=$(awk -v a="$ours" -v b="$decoder" 'BEGIN { printf "%.2f", a / b }')
printf 'player_pps=%s qldec_pps=%s ratio=%s\n' "$ours" "$decoder" "$ratio"

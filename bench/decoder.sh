#!/usr/bin/env bash
# Decoder speed against ffmpeg on the shared benchmark streams, measured in
# the same run: pictures per second of `qldec --bench` (no output written)
# and of `ffmpeg -f null` with one thread, and their ratio. Also checks each
# stream's decoded pictures against the reference MD5. Not a test: it never
# fails a build.
#   bench/decoder.sh [STREAM_DIR]   (default ../shared/bench)
set -euo pipefail
cd "$(dirname "$0")/.."
streams=${1:-../shared/bench}
cmake --preset release >/dev/null
cmake --build --preset release --target qldec >/dev/null
qldec=build/release/tools/qldec/qldec

printf '%-18s %10s %10s %8s %s\n' stream ours_pps ffmpeg_pps ratio md5
for file in "$streams"/*.264; do
  name=$(basename "$file")
  ours=$("$qldec" "$file" --bench | sed -n 's/.*pps=\([0-9.]*\).*/\1/p')
  pictures=$("$qldec" "$file" --bench | sed -n 's/pictures=\([0-9]*\).*/\1/p')
  start=$(date +%s.%N)
  ffmpeg -v error -threads 1 -i "$file" -f null - 
  end=$(date +%s.%N)
  theirs=$(awk -v n="$pictures" -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", n / (b - a) }')
  ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", a / b }')
  want=$(grep "$name" "$streams/md5_i420.txt" 2>/dev/null | cut -d' ' -f1 || true)
  got=$("$qldec" "$file" -o /dev/stdout --format 0 | md5sum | cut -d' ' -f1)
  verdict=$([ "$want" = "$got" ] && echo ok || echo "MISMATCH")
  printf '%-18s %10.1f %10.1f %8.2f %s\n' "$name" "$ours" "$theirs" "$ratio" "$verdict"
done

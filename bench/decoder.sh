#!/usr/bin/env bash
# Decoder speed against ffmpeg, on the shared benchmark streams and on a 720p
# all-intra stream made here with x264: pictures per second of
# `qldec --bench` (decoding through the library, no output written) and of
# `ffmpeg -f null`, at 1 thread and at 2, each the median of RUNS runs that
# alternate between the two decoders, and the ratio ours / ffmpeg. Each
# stream's pictures are checked against the reference MD5 first. Not a test:
# it never fails a build. Run it on an otherwise idle machine.
#   bench/decoder.sh [STREAM_DIR] [RUNS]   (default ../shared/bench, 5)
# QLDEC=path uses that qldec instead of building the release one.
set -euo pipefail
cd "$(dirname "$0")/.."
streams=${1:-../shared/bench}
runs=${2:-5}
qldec=${QLDEC:-}
if [ -z "$qldec" ]; then
  flock /tmp/tarnvik-build.lock cmake --preset release >/dev/null
  flock /tmp/tarnvik-build.lock cmake --build --preset release -j2 --target qldec >/dev/null
  qldec=build/release/tools/qldec/qldec
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The all-intra stream: every picture a key picture, as a camera's snapshot
# stream or a stream cut for editing is. Its reference is ffmpeg's decode.
intra=$work/intra_720p.264
ffmpeg -v error -f lavfi -i testsrc2=size=1280x720:rate=25 -vf noise=alls=16:allf=t -frames 100 \
  -pix_fmt yuv420p "$work/src.y4m"
x264 --quiet --threads 1 --profile baseline --keyint 1 --bitrate 15000 -o "$intra" "$work/src.y4m" 2>/dev/null
cp "$streams/md5_i420.txt" "$work/md5_i420.txt" 2>/dev/null || : >"$work/md5_i420.txt"
echo "$(ffmpeg -v error -i "$intra" -f rawvideo -pix_fmt yuv420p - | md5sum | cut -d' ' -f1)  intra_720p.264" \
  >>"$work/md5_i420.txt"

# Seconds of one run of a command.
seconds_of() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-18s %7s %10s %10s %7s %10s %10s %7s\n' stream md5 ours_t1 ffmpeg_t1 ratio ours_t2 ffmpeg_t2 ratio
for file in "$streams"/*.264 "$intra"; do
  name=$(basename "$file")
  want=$(grep " $name\$" "$work/md5_i420.txt" | cut -d' ' -f1 || true)
  got=$("$qldec" "$file" -o /dev/stdout --format 0 | md5sum | cut -d' ' -f1)
  verdict=$([ "$want" = "$got" ] && echo ok || echo MISMATCH)
  pictures=$("$qldec" "$file" --bench | sed -n 's/pictures=\([0-9]*\).*/\1/p')
  line=$(printf '%-18s %7s' "$name" "$verdict")
  for threads in 1 2; do
    : >"$work/ours"
    : >"$work/theirs"
    for ((i = 0; i < runs; ++i)); do
      seconds_of "$qldec" "$file" --bench --threads "$threads" >>"$work/ours"
      echo >>"$work/ours"
      seconds_of ffmpeg -v error -threads "$threads" -i "$file" -f null - >>"$work/theirs"
      echo >>"$work/theirs"
    done
    ours=$(median <"$work/ours")
    theirs=$(median <"$work/theirs")
    line+=$(awk -v n="$pictures" -v a="$ours" -v b="$theirs" \
      'BEGIN { printf " %10.1f %10.1f %7.2f", n / a, n / b, b / a }')
  done
  echo "$line"
done
echo "pictures/s from the whole process's wall time (median of $runs alternating runs); ratio = ours / ffmpeg"

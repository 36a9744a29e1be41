#!/usr/bin/env bash
# Makes the test DVR's bundled clips. Run once; the results are committed, so
# the tests never depend on a particular x264 or ffmpeg build.
#
#   clip0_cif.264  352 x 288, 25 pictures/s, 4 s   (channels 0, 3, 6, ...)
#   clip1_d1.264   720 x 576, 25 pictures/s, 3 s   (channels 1, 4, 7, ...)
#   clip2_cif.264  352 x 288, 25 pictures/s, 4 s   (channels 2, 5, 8, ...)
#   jpeg_cif.mjpeg 352 x 288, 25 JPEG pictures, concatenated (the JPEG channel)
#
# Baseline profile, one slice per picture, SPS and PPS before every IDR
# picture, a key picture every second, 4-byte start codes.
set -euo pipefail
cd "$(dirname "$0")/.."
out=testdvr/media
mkdir -p "$out"

encode() { # name size seconds source
  local name=$1 size=$2 seconds=$3 source=$4
  ffmpeg -v error -f lavfi -i "$source=size=$size:rate=25" -t "$seconds" \
    -pix_fmt yuv420p -f rawvideo - |
    x264 --quiet --profile baseline --preset medium --keyint 25 --min-keyint 25 \
      --no-scenecut --crf 30 --fps 25 --input-res "$size" \
      --demuxer raw --input-csp i420 -o "$out/$name.tmp" -
  # x264 opens some NAL units with 3-byte start codes; the DVR sends 4-byte ones.
  python3 - "$out/$name.tmp" "$out/$name" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
out = bytearray()
i = 0
while True:
    j = data.find(b'\x00\x00\x01', i)
    if j < 0:
        out += data[i:]
        break
    out += data[i:j]
    if not out.endswith(b'\x00'):
        out += b'\x00'
    out += b'\x00\x00\x01'
    i = j + 3
open(sys.argv[2], 'wb').write(out)
PY
  rm -f "$out/$name.tmp"
}

encode clip0_cif.264 352x288 4 testsrc2
encode clip1_d1.264 720x576 3 testsrc
encode clip2_cif.264 352x288 4 mandelbrot
ffmpeg -v error -y -f lavfi -i "testsrc2=size=352x288:rate=25" -t 1 \
  -c:v mjpeg -q:v 8 -pix_fmt yuvj420p -f mjpeg "$out/jpeg_cif.mjpeg"
ls -l "$out"

#!/usr/bin/env bash
# The program as a user's system gets it. `cmake --install` into a temporary
# prefix must put exactly the program, the decoder library with its header,
# the desktop entry and its icon in their places; the desktop entry must
# validate; the installed program must find the installed library (not the
# build tree's) and start and quit offscreen with status 0. Then
# `cpack -G DEB` makes the Debian package: it must hold the same files under
# /usr and depend only on packages this Debian knows. Nothing is installed
# outside the temporary folder.
#
# usage: install_check.sh CMAKE CPACK BUILD_DIR
set -euo pipefail
cmake=$1
cpack=$2
build=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*"
  exit 1
}

# Files and links below a folder, one a line, the library's full version
# written as VERSION so the list does not change with every release.
list_files() {
  (cd "$1" && find . \( -type f -o -type l \) | sed 's|^\./||' | sed -E 's/(\.so\.[0-9]+)\.[0-9.]+$/\1.VERSION/' | sort)
}

libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
[ -n "$libdir" ] || fail "no CMAKE_INSTALL_LIBDIR in $build/CMakeCache.txt"
expected=$(sort <<EOF
bin/TarnvikPlayer
include/Quorlin_H264_Dec.h
$libdir/libQuorlin_H264_Dec.so
$libdir/libQuorlin_H264_Dec.so.0
$libdir/libQuorlin_H264_Dec.so.0.VERSION
share/applications/tarnvikplayer.desktop
share/icons/hicolor/scalable/apps/tarnvikplayer.svg
EOF
)

prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }
installed=$(list_files "$prefix")
[ "$installed" = "$expected" ] || fail "installed files differ from the expected ones:
$(diff <(echo "$expected") <(echo "$installed") || true)"

desktop=$prefix/share/applications/tarnvikplayer.desktop
command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is missing (scripts/setup-deps.sh installs desktop-file-utils)"
desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
grep -qx 'Exec=TarnvikPlayer' "$desktop" || fail "the desktop entry does not start TarnvikPlayer"
grep -qx 'Icon=tarnvikplayer' "$desktop" || fail "the desktop entry does not name the installed icon"

program=$prefix/bin/TarnvikPlayer
# Read whole before searching: with pipefail, grep -q leaving early can
# stop ldd with SIGPIPE and fail a pipeline that matched.
libraries=$(ldd "$program")
grep -q "libQuorlin_H264_Dec.so.0 => $prefix/bin/../$libdir/" <<<"$libraries" ||
  fail "the installed program does not find the installed library:
$(grep Quorlin <<<"$libraries" || true)"

# A clean environment: no library path, a fresh home.
mkdir -p "$work/home" "$work/run"
chmod 700 "$work/run"
status=0
env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen \
  ${ASAN_OPTIONS:+ASAN_OPTIONS=$ASAN_OPTIONS} ${UBSAN_OPTIONS:+UBSAN_OPTIONS=$UBSAN_OPTIONS} \
  timeout 120 "$program" --quit-after 1 >"$work/run.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || { cat "$work/run.log"; fail "the installed program exited with status $status"; }

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack -G DEB"; }
debs=("$work"/deb/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb"
deb=${debs[0]}
mkdir "$work/unpacked"
dpkg-deb -x "$deb" "$work/unpacked"
packaged=$(list_files "$work/unpacked")
[ "$packaged" = "$(sed 's|^|usr/|' <<<"$expected")" ] || fail "the package's files differ from the expected ones:
$(dpkg-deb -c "$deb")"
[ "$(dpkg-deb -f "$deb" Package)" = tarnvikplayer ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6multimedia6 libjpeg62-turbo libc6; do
  grep -qw "$needed" <<<"$depends" || fail "the package does not depend on $needed: $depends"
done
# Every dependency is a package of this Debian (dpkg-shlibdeps read them from the binaries).
for name in $(tr ',' '\n' <<<"$depends" | sed -E 's/\(.*\)//; s/[[:space:]]//g'); do
  dpkg-query -W "$name" >/dev/null 2>&1 || fail "the package depends on $name, which this Debian does not have"
done
echo "installed and packaged: $(basename "$deb")"

#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need.
# Idempotent: packages already installed are skipped, and apt-get is not
# touched at all when nothing is missing.
set -euo pipefail

# Extra packages named on the command line are installed too (scripts/fuzz.sh
# asks for clang and libFuzzer's runtime this way).
PACKAGES=("$@"
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-multimedia-dev libqt6printsupport6
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  fonts-wqy-microhei
  libjpeg62-turbo-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth ffmpeg x264 poppler-utils
  dpkg-dev desktop-file-utils
  python3
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"

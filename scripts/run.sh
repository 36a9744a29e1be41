#!/usr/bin/env bash
# Builds everything and starts the bundled test DVR on 127.0.0.1:2200 in the
# foreground (Ctrl+C stops it). Extra arguments go to the test DVR, e.g.
#   scripts/run.sh --channels 4 --password 1234 --audio
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release

cat <<'TXT'

The test DVR serves 16 channels of live video on 127.0.0.1:2200
(user "admin", empty password unless you pass --password).
The viewer's main window is not built yet: until it is, any client of the
DVR protocol can connect to 127.0.0.1:2200. Type a command and Enter to
steer the DVR: finish | error 0x2002 | status | drop | fault NAME | quit

TXT
exec build/release/testdvr/tarnvik-testdvr --port 2200 --channels 16 "$@"

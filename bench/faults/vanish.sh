#!/usr/bin/env bash
# The device vanishing and coming back N times (default 100) while the port
# is open: socat is killed and started again on the same link path. Each time
# the port must close with one clear message, the process must stay under
# 1 % of one core while the device is gone (its CPU time from /proc), and the
# port must open again (by the program itself, or by Open Port) and show
# what arrives (see VanishRun.cpp).
# Usage: bench/faults/vanish.sh [N] [GONE_MS] [BUILD_DIR] [REOPEN_MS]
# REOPEN_MS: how long the program may take to reopen the device by itself
# before Open Port is pressed (default 3000; 0 presses it at once).
set -u
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
N=${1:-100}
GONE_MS=${2:-2000}
BUILD=${3:-$ROOT/build}
REOPEN_MS=${4:-3000}
nice cmake --build "$BUILD" --target VanishRun >/dev/null || exit 1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="qt.qpa.*=false"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$WORK}
echo "load before: $(uptime)"
"$BUILD/bench/faults/VanishRun" --times "$N" --gone-ms "$GONE_MS" --reopen-ms "$REOPEN_MS" 2> >(grep -v propagateSizeHints >&2)
STATUS=$?
echo "load after: $(uptime)"
exit $STATUS

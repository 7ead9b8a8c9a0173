#!/usr/bin/env bash
# The program started with a data folder it cannot use (its parent is a
# file, since root ignores permission bits): it must start and keep running.
# Usage: bench/faults/baddatafolder.sh [BUILD_DIR]
set -u
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD=${1:-$ROOT/build}
nice cmake --build "$BUILD" --target tallyscope >/dev/null || exit 1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
touch "$WORK/file"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$WORK XDG_DATA_HOME=$WORK/file/data
"$BUILD/src/shell/tallyscope" >"$WORK/out" 2>&1 &
PID=$!
sleep 5
if kill -0 "$PID" 2>/dev/null; then
  echo "running after 5 s with the data folder under a file"
  kill "$PID"
  wait "$PID" 2>/dev/null
  RC=0
else
  wait "$PID"
  echo "exited early (code $?): $(cat "$WORK/out")"
  RC=1
fi
exit $RC

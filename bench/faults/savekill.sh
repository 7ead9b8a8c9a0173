#!/usr/bin/env bash
# Kills the program's save path with SIGKILL at random points while it writes
# the "data" record, config.ini and the "send" file, N times (default 200).
# After each kill every file must be the old or the new whole version, and a
# start must load all three. Prints the count of kills and of faults.
# Usage: bench/faults/savekill.sh [N] [BUILD_DIR]
set -u
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
N=${1:-200}
BUILD=${2:-$ROOT/build}
BIN=$BUILD/bench/faults/savekill
nice cmake --build "$BUILD" --target savekill >/dev/null || exit 1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="qt.qpa.*=false"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$WORK}
"$BIN" refs "$WORK/ref" || exit 1
mkdir -p "$WORK/live"
FAULTS=0
for ((I = 1; I <= N; I++)); do
  "$BIN" write "$WORK/live" &
  PID=$!
  # Past start-up (which writes nothing) and into the loop of saves.
  sleep "0.$((RANDOM % 400 + 150))"
  kill -9 "$PID"
  wait "$PID" 2>/dev/null
  for F in data config.ini send; do
    [ -e "$WORK/live/$F" ] || continue
    if ! cmp -s "$WORK/live/$F" "$WORK/ref/a/$F" && ! cmp -s "$WORK/live/$F" "$WORK/ref/b/$F"; then
      echo "kill $I: $F is neither whole version ($(stat -c %s "$WORK/live/$F") bytes)"
      FAULTS=$((FAULTS + 1))
    fi
  done
  if [ -e "$WORK/live/send" ] && ! "$BIN" load "$WORK/live" 2>"$WORK/load.err"; then
    echo "kill $I: the next start cannot load: $(cat "$WORK/load.err")"
    FAULTS=$((FAULTS + 1))
  fi
done
LEFT=$(find "$WORK/live" -type f ! -name data ! -name config.ini ! -name send | wc -l)
echo "kills: $N  faults: $FAULTS  temporary files left behind: $LEFT"
[ "$FAULTS" -eq 0 ]

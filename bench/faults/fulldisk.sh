#!/usr/bin/env bash
# The settings saved at exit onto a full disk (a small tmpfs; needs root):
# each failed file must be reported, and what is on disk must still be the
# previous whole version that a start loads.
# Usage: bench/faults/fulldisk.sh [BUILD_DIR]
set -u
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD=${1:-$ROOT/build}
BIN=$BUILD/bench/faults/savekill
nice cmake --build "$BUILD" --target savekill >/dev/null || exit 1
WORK=$(mktemp -d)
DISK=$WORK/disk
mkdir -p "$DISK"
mount -t tmpfs -o size=512k tmpfs "$DISK" || exit 1
trap 'umount "$DISK"; rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$WORK
"$BIN" refs "$WORK/ref" || exit 1
cp "$WORK/ref/a/"* "$DISK/"
dd if=/dev/zero of="$DISK/filler" bs=4k 2>/dev/null
echo "free on the disk: $(df --output=avail -B1 "$DISK" | tail -1) bytes"
"$BIN" save "$DISK"
echo "save exit code: $? (3: a failure was reported)"
FAULTS=0
for F in data config.ini send; do
  if cmp -s "$DISK/$F" "$WORK/ref/a/$F"; then echo "$F: the old whole version"
  elif cmp -s "$DISK/$F" "$WORK/ref/b/$F"; then echo "$F: the new whole version"
  else echo "$F: HALF-WRITTEN ($(stat -c %s "$DISK/$F") bytes)"; FAULTS=$((FAULTS + 1)); fi
done
"$BIN" load "$DISK" && echo "the next start loads them" || FAULTS=$((FAULTS + 1))
echo "leftovers: $(ls -A "$DISK" | grep -v -x -e data -e config.ini -e send -e filler | tr '\n' ' ')"
echo "faults: $FAULTS"
[ "$FAULTS" -eq 0 ]

#!/usr/bin/env bash
# The program ended by SIGTERM, SIGINT or SIGHUP exits normally and leaves
# its settings, layout and send file behind, as its window's close does.
#   quit-signal.sh PATH/TO/tallyscope
set -u
# Job control on: background jobs keep SIGINT instead of ignoring it.
set -m
program="$1"
status=0
# True once process $1 has ended, waiting up to 10 s.
ended() {
  for _ in $(seq 1 100); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}
for sig in TERM INT HUP; do
  home="$(mktemp -d)"
  folder="$home/Corvane/Tallyscope"
  XDG_DATA_HOME="$home" QT_QPA_PLATFORM=offscreen "$program" >"$home/out.txt" 2>&1 &
  pid=$!
  # Up once the layout of a first start is in place.
  for _ in $(seq 1 100); do
    [ -f "$folder/config.ini" ] && break
    sleep 0.1
  done
  sleep 0.5
  if [ -e "$folder/data" ]; then
    echo "SIG$sig: the settings were written before the signal"; status=1
  fi
  kill -s "$sig" "$pid"
  if ! ended "$pid"; then
    echo "SIG$sig: still running 10 s after the signal"; kill -9 "$pid"; status=1
  fi
  wait "$pid"; rc=$?
  size="$(stat -c %s "$folder/data" 2>/dev/null || echo none)"
  if [ "$rc" != 0 ] || [ "$size" != 1296 ] || [ ! -f "$folder/send" ] || [ ! -f "$folder/config.ini" ]; then
    echo "SIG$sig: exit $rc, data $size bytes, send $( [ -f "$folder/send" ] && echo present || echo missing)"
    cat "$home/out.txt"
    status=1
  else
    echo "SIG$sig: exit 0, settings, layout and send file saved"
  fi
  rm -rf "$home"
done
# A data folder that cannot be made (its parent is a file): the failed saves
# are told on the error output, not in boxes nobody answers, and it ends.
home="$(mktemp -d)"
touch "$home/file"
XDG_DATA_HOME="$home/file/data" QT_QPA_PLATFORM=offscreen "$program" >"$home/out.txt" 2>&1 &
pid=$!
sleep 2
kill -s TERM "$pid"
if ! ended "$pid"; then
  echo "bad data folder: still running 10 s after SIGTERM"; kill -9 "$pid"; status=1
elif ! grep -q "tallyscope: " "$home/out.txt"; then
  echo "bad data folder: ended, but the failed saves were not told"; cat "$home/out.txt"; status=1
else
  echo "bad data folder: ended, failed saves told on the error output"
fi
wait "$pid" 2>/dev/null
rm -rf "$home"
# Started with SIGHUP ignored (nohup), the program keeps ignoring it.
home="$(mktemp -d)"
XDG_DATA_HOME="$home" QT_QPA_PLATFORM=offscreen nohup "$program" >"$home/out.txt" 2>&1 &
pid=$!
for _ in $(seq 1 100); do
  [ -f "$home/Corvane/Tallyscope/config.ini" ] && break
  sleep 0.1
done
sleep 0.5
kill -s HUP "$pid"; sleep 1
if kill -0 "$pid" 2>/dev/null; then
  echo "nohup: SIGHUP ignored"
  kill -s TERM "$pid"; wait "$pid"
else
  echo "nohup: ended by SIGHUP"; status=1
fi
rm -rf "$home"

exit $status

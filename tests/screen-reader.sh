#!/usr/bin/env bash
# Runs a command as under a screen reader: an X server (Xvfb), a D-Bus session
# with the AT-SPI bus, and Qt's AT-SPI bridge forced on, so that
# QAccessible::isActive() becomes true in the program shortly after it starts.
#   bash tests/screen-reader.sh COMMAND [ARG...]
set -euo pipefail
launcher=/usr/libexec/at-spi-bus-launcher
if [ ! -x "$launcher" ]; then
  echo "at-spi2-core is needed ($launcher)" >&2
  exit 1
fi
# The session bus warns when it may not raise its descriptor limit (as root).
exec dbus-run-session -- bash -c '
  launcher=$1
  shift
  "$launcher" &
  bus=$!
  status=0
  QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$@" || status=$?
  kill "$bus" 2>/dev/null || true
  exit "$status"' bash "$launcher" "$@" 2> >(grep -v 'Failed to set fd limit' >&2)

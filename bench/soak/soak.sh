#!/usr/bin/env bash
# Soak of the program's main window under Xvfb: frames of random length and
# content written into socat's far end at a set rate for a set time, shown in
# hex with automatic save on; then every byte written must be found once, in
# order, across the saved files and the view, resident memory must stay flat
# after the first automatic save and event-loop stalls under 20 ms at p99
# (see SoakRun.cpp). Prints the figures with the machine's load beside them.
#
#   bench/soak/soak.sh [--seconds S] [--rate BYTES_PER_S] [--lines N] [--out DIR] [--build DIR] [--tsan]
#
# Defaults: one hour at 11,520 bytes/s (115200 baud), automatic save at
# 20,000 lines, results in a new temporary folder, the build in build/.
# The 1 MB/s run: --seconds 600 --rate 1000000. A 2-minute run checks the
# script itself: --seconds 120 --lines 300. --view-chars N bounds the view
# to N characters, for many rounds of automatic save in a short run. --tsan builds build-tsan-soak/
# under ThreadSanitizer (the test command's flags and options) and runs there:
# any race report ends the run; its stall and memory figures mean nothing.
# Exit status 0 when every check passed.
source "$(dirname "$0")/../../scripts/common.sh"
seconds=3600
rate=11520
lines=20000
out=""
build="$ROOT/build"
extra=()
tsan=0
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift ;;
    --rate) rate="$2"; shift ;;
    --lines) lines="$2"; shift ;;
    --out) out="$2"; shift ;;
    --build) build="$2"; shift ;;
    --tsan) build="$ROOT/build-tsan-soak"; tsan=1 ;;
    --seed|--longest-frame|--probe|--view-chars) extra+=("$1" "$2"); shift ;;
    *) echo "usage: $0 [--seconds S] [--rate BYTES_PER_S] [--lines N] [--out DIR] [--build DIR] [--tsan]" >&2; exit 2 ;;
  esac
  shift
done
[ -n "$out" ] || out="$(mktemp -d /tmp/tallyscope-soak.XXXXXX)"
mkdir -p "$out"

if [ "$tsan" = 1 ]; then
  configure_build build-tsan-soak -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLYSCOPE_SANITIZE=thread
  # As in the test command: socat is forked from a threaded process, and Qt
  # itself is not instrumented.
  export TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 ignore_noninstrumented_modules=1"
elif [ ! -f "$build/CMakeCache.txt" ]; then
  configure_build "${build#"$ROOT"/}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
nice cmake --build "$build" -j"$JOBS" --target SoakRun >/dev/null

echo "results in $out"
echo "load before: $(uptime)"
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build/bench/soak/SoakRun" --seconds "$seconds" --rate "$rate" --lines "$lines" --out "$out" "${extra[@]}" \
  2> >(grep -v 'XDG_RUNTIME_DIR' >&2) | tee "$out/summary.txt" || status=$?
echo "load after: $(uptime)"
exit $status

#!/usr/bin/env bash
# Runs every fuzzer to depth, one at a time at the lowest priority, under
# AddressSanitizer and UndefinedBehaviorSanitizer, and prints per target the
# executions, crashes (and leaks or timeouts) and the slowest unit.
# Usage: scripts/fuzz-deep.sh [RUNS] [SECONDS] [TARGET...]
#   RUNS     executions per target (default 10000000; 0 = no limit)
#   SECONDS  time limit per target (default 1800)
# Findings land in build-fuzz/findings/TARGET; keep each one in the target's
# seed corpus once mended.
source "$(dirname "$0")/common.sh"
cd "$ROOT"
RUNS=${1:-10000000}
SECONDS_EACH=${2:-1800}
shift $(($# > 2 ? 2 : $#))

CC=clang CXX=clang++ configure_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTALLYSCOPE_WIDGETS=OFF -DTALLYSCOPE_BENCH=OFF -DTALLYSCOPE_FUZZ=ON
nice cmake --build build-fuzz -j"$JOBS" --target fuzzers

# Target name and seed corpus, as registered with tallyscope_add_fuzzer.
mapfile -t TESTS < <(ctest --test-dir build-fuzz -N -L fuzz | sed -n 's/^ *Test *#[0-9]*: //p')
if [ $# -gt 0 ]; then TESTS=("$@"); fi

printf '%-22s %12s %8s %10s %s\n' target executions crashes slowest_s status
for T in "${TESTS[@]}"; do
  BIN=$(find build-fuzz/tests -type f -name "$T" -perm -u+x | head -1)
  SEEDS=$(ctest --test-dir build-fuzz -R "^$T\$" --show-only=json-v1 |
    python3 -c 'import json,sys; print(json.load(sys.stdin)["tests"][0]["command"][-1])')
  WORK=build-fuzz/deep/$T
  FIND=build-fuzz/findings/$T
  LOG=build-fuzz/deep/$T.log
  mkdir -p "$WORK" "$FIND"
  START=$(date +%s)
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 QT_QPA_PLATFORM=offscreen \
    nice -n 19 "$BIN" -runs="$RUNS" -max_total_time="$SECONDS_EACH" -timeout=1 -rss_limit_mb=2048 \
    -max_len=65536 -report_slow_units=1 -print_final_stats=1 -artifact_prefix="$FIND/" \
    "$WORK" "$SEEDS" >"$LOG" 2>&1 && RC=0 || RC=$?
  EXECS=$(sed -n 's/^stat::number_of_executed_units: *//p' "$LOG" | tail -1)
  SLOW=$(sed -n 's/.*Slowest unit: \([0-9]*\) s.*/\1/p' "$LOG" | sort -n | tail -1)
  CRASHES=$(find "$FIND" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  STATUS=ok
  [ $RC -ne 0 ] && STATUS="failed (rc $RC, see $LOG)"
  printf '%-22s %12s %8s %10s %s (%ss)\n' "$T" "${EXECS:-?}" "$CRASHES" "${SLOW:-<1}" "$STATUS" $(($(date +%s) - START))
done

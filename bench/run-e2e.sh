#!/usr/bin/env bash
# End-to-end benchmark: pseudo-terminal to receive view, the program's window
# shown under Xvfb, hex display with the default options. Builds a Release
# tree in build-bench/, runs each workload in a process of its own (so the
# resident memory is that workload's), with the receive view's word wrap off
# and then on, and prints a summary. Every run also checks on the screen that
# the last received line is drawn (while the stream arrives and at the end).
# Exit status 1 when a target is missed or a view is not drawn.
#
#   bench/run-e2e.sh [--quick] [--target mainform|pipeline] [--wrap off|on|both] [a b c d e]
#
# --quick runs every workload for 3 s (the burst 2 MiB): a smoke run whose
# figures are only indicative. --target pipeline drives the monitoring core
# and the receive view without the main window, for comparison.
source "$(dirname "$0")/../scripts/common.sh"
quick=()
target=mainform
wraps=(off on)
workloads=()
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=(--quick) ;;
    --target) target="$2"; shift ;;
    --wrap) case "$2" in off|on) wraps=("$2") ;; both) wraps=(off on) ;; *) set -- help ;; esac; shift ;;
    [a-e]) workloads+=("$1") ;;
    *) echo "usage: $0 [--quick] [--target mainform|pipeline] [--wrap off|on|both] [a b c d e]" >&2; exit 2 ;;
  esac
  shift
done
[ ${#workloads[@]} -gt 0 ] || workloads=(a b c d e)

bash "$ROOT/scripts/setup.sh"
configure_build build-bench -DCMAKE_BUILD_TYPE=Release
cmake --build "$ROOT/build-bench" -j"$JOBS" --target E2EBench >/dev/null

out="$(mktemp)"
trap 'rm -f "$out"' EXIT
status=0
for w in "${workloads[@]}"; do
  for wrap in "${wraps[@]}"; do
    xvfb-run -a -s "-screen 0 1280x1024x24" \
      "$ROOT/build-bench/bench/E2EBench" --workload "$w" --target "$target" --wrap "$wrap" "${quick[@]}" \
      2> >(grep -v 'XDG_RUNTIME_DIR' >&2) | tee -a "$out" | grep -v '^RESULT' || status=1
    echo
  done
done

echo "Summary ($target${quick:+, quick}):"
printf '%-3s %-4s %12s %12s %9s %9s %9s %9s %8s %9s %6s  %s\n' \
  run wrap written shown 'p50 ms' 'p99 ms' 'max ms' 'CPU s' 'RSS MB' 'MB/s' drawn verdict
grep '^RESULT' "$out" | while read -r _ id _ rest; do
  declare -A f=()
  for kv in $rest; do f[${kv%%=*}]=${kv#*=}; done
  printf '(%s) %-4s %12s %12s %9s %9s %9s %9s %8s %9s %6s  %s\n' "$id" "${f[wrap]}" "${f[written]}" "${f[shown]}" \
    "${f[p50]}" "${f[p99]}" "${f[max]}" "${f[cpu]}" "${f[rss]}" "${f[rate]}" "${f[drawn]}" "${f[verdict]}"
done
grep -q 'verdict=FAIL' "$out" && status=1
[ "$(grep -c '^RESULT' "$out")" -eq $((${#workloads[@]} * ${#wraps[@]})) ] || status=1
exit $status

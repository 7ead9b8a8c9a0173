#!/usr/bin/env bash
# The print preview and printing benchmark (bench/PreviewBench.cpp) in a
# 1280x1024 Xvfb screen, printing to a raw queue of a private CUPS scheduler
# that keeps each job's PDF.
# Usage: bash bench/run-preview.sh [--quick] (after building PreviewBench)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=${PREVIEW_BENCH:-$root/build/bench/PreviewBench}
source "$root/tests/support/private-cups.sh"
lpadmin -p Tallyscope -v "file://$cups_dir/out.pdf" -E
lpadmin -d Tallyscope
TALLYSCOPE_CUPS_SPOOL=$cups_dir/spool xvfb-run -a -s "-screen 0 1280x1024x24" "$bench" "$@"

#!/usr/bin/env bash
# Prints through a private CUPS scheduler (tests/support/private-cups.sh).
# The queue is raw and ends in a file; the scheduler keeps each job's file,
# so the test reads every job the program sent.
# Usage: print-cups.sh PATH-TO-tst_printcups
set -euo pipefail
test_exe=$1
source "$(dirname "$0")/../support/private-cups.sh"

# No queue at all: the program says so.
"$test_exe" noPrinterIsReported

lpadmin -p Tallyscope -v "file://$cups_dir/out.pdf" -E
lpadmin -d Tallyscope
TALLYSCOPE_CUPS_SPOOL=$cups_dir/spool "$test_exe" printsRangeCopiesAndAllPages
TALLYSCOPE_CUPS_SPOOL=$cups_dir/spool "$test_exe" printingKeepsTheProgramRunningAndStopsWhenTheTextMoves

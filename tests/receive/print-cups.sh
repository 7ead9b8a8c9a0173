#!/usr/bin/env bash
# Prints through a private CUPS scheduler: its own configuration, spool and
# socket in a temporary folder, nothing of the machine's printing touched.
# The queue is raw and ends in a file; the scheduler keeps each job's file,
# so the test reads every job the program sent.
# Usage: print-cups.sh PATH-TO-tst_printcups
set -euo pipefail
test_exe=$1
dir=$(mktemp -d /tmp/tallyscope-cups.XXXXXX)
chmod 755 "$dir"
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
mkdir -p "$dir"/{spool,cache,state,log,tmp,conf/ppd}
chmod 1777 "$dir/tmp" "$dir/spool"
cat > "$dir/conf/cupsd.conf" <<CONF
Listen $dir/cups.sock
LogLevel warn
WebInterface No
Browsing No
PreserveJobFiles Yes
PreserveJobHistory Yes
MaxJobs 0
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat > "$dir/conf/cups-files.conf" <<CONF
ServerRoot $dir/conf
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
FileDevice Yes
Sandboxing Relaxed
CONF
export CUPS_SERVER=$dir/cups.sock
/usr/sbin/cupsd -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" &
pid=$!
for _ in $(seq 100); do
  [ -S "$dir/cups.sock" ] && lpstat -r >/dev/null 2>&1 && break
  sleep 0.1
done
lpstat -r

# No queue at all: the program says so.
"$test_exe" noPrinterIsReported

lpadmin -p Tallyscope -v "file://$dir/out.pdf" -E
lpadmin -d Tallyscope
TALLYSCOPE_CUPS_SPOOL=$dir/spool "$test_exe" printsRangeCopiesAndAllPages

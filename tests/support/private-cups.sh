# Sourced by the printing scripts: starts a private CUPS scheduler, its own
# configuration, spool and socket in a temporary folder, nothing of the
# machine's printing touched. Sets cups_dir (removed on exit with the
# scheduler) and exports CUPS_SERVER. The scheduler keeps each job's file.
cups_dir=$(mktemp -d /tmp/tallyscope-cups.XXXXXX)
chmod 755 "$cups_dir"
cups_pid=
stop_private_cups() {
  [ -n "$cups_pid" ] && kill "$cups_pid" 2>/dev/null && wait "$cups_pid" 2>/dev/null || true
  rm -rf "$cups_dir"
}
trap stop_private_cups EXIT
mkdir -p "$cups_dir"/{spool,cache,state,log,tmp,conf/ppd}
chmod 1777 "$cups_dir/tmp" "$cups_dir/spool"
cat > "$cups_dir/conf/cupsd.conf" <<CONF
Listen $cups_dir/cups.sock
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
cat > "$cups_dir/conf/cups-files.conf" <<CONF
ServerRoot $cups_dir/conf
RequestRoot $cups_dir/spool
CacheDir $cups_dir/cache
StateDir $cups_dir/state
TempDir $cups_dir/tmp
AccessLog $cups_dir/log/access_log
ErrorLog $cups_dir/log/error_log
PageLog $cups_dir/log/page_log
FileDevice Yes
Sandboxing Relaxed
CONF
export CUPS_SERVER=$cups_dir/cups.sock
/usr/sbin/cupsd -f -c "$cups_dir/conf/cupsd.conf" -s "$cups_dir/conf/cups-files.conf" &
cups_pid=$!
for _ in $(seq 100); do
  [ -S "$cups_dir/cups.sock" ] && lpstat -r >/dev/null 2>&1 && break
  sleep 0.1
done
lpstat -r

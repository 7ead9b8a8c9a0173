#!/usr/bin/env bash
# Builds the Debian package and checks it as a user meets it: apt installs it with the dependencies dpkg-shlibdeps
# found, its files land in their standard places (desktop entry and metainfo valid, the shell completion where
# bash-completion looks), man shows its manual page, the installed program answers --version without a display and,
# under Xvfb, shows its window with a file given on the command line, and apt purge leaves none of its files behind.
# It installs into this machine, so it needs root (or sudo) and stops when a tallyscope package is already installed;
# runs on one machine take turns.
#   bash scripts/test-deb.sh [BUILD_DIR]    BUILD_DIR defaults to build/; the screenshot goes to BUILD_DIR/installed.png
# shellcheck source=scripts/common.sh
source "$(dirname "$0")/common.sh"
cd "$ROOT" || exit 1
dir=${1:-build}
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
apt_get() { $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 -y -qq "$@" >/dev/null; }
id=$(sed -n 's/^set(TALLYSCOPE_APP_ID \(.*\))$/\1/p' CMakeLists.txt)
work=$(mktemp -d)
chmod 755 "$work" # apt reads the package as its own unprivileged user
trap 'rm -rf "$work"' EXIT

[ -f "$dir/CMakeCache.txt" ] || configure_build "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$dir" -j"$JOBS" --target tallyscope manpage >/dev/null
(cd "$dir" && cpack -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; exit 1; }
deb=$(echo "$work"/pkg/tallyscope_*.deb)
version=$(dpkg-deb -f "$deb" Version)
echo "$(basename "$deb"), Depends: $(dpkg-deb -f "$deb" Depends)"

expected="/usr/bin/tallyscope
/usr/share/applications/$id.desktop
/usr/share/metainfo/$id.metainfo.xml"
for size in 16 22 24 32 48 64 128 256; do
  expected+=$'\n'"/usr/share/icons/hicolor/${size}x${size}/apps/tallyscope.png"
done
expected+=$'\n'"/usr/share/icons/hicolor/scalable/apps/tallyscope.svg"
expected+=$'\n'"/usr/share/man/man1/tallyscope.1.gz"
expected+=$'\n'"$(pkg-config --variable=completionsdir bash-completion)/tallyscope"
packaged=$(dpkg-deb -c "$deb" | awk '$1 ~ /^-/ { sub(/^\./, "", $6); print $6 }' | sort)
if [ "$packaged" != "$(sort <<<"$expected")" ]; then
  echo "the package holds other files than expected:" >&2
  diff <(sort <<<"$expected") <(echo "$packaged") >&2 || true
  exit 1
fi

exec 9>/tmp/tallyscope-test-deb.lock
flock 9
if dpkg-query -W tallyscope >/dev/null 2>&1; then
  echo "a tallyscope package is already installed here; remove it first (apt purge tallyscope)" >&2
  exit 2
fi
apt_get install "$deb"
trap 'apt_get purge tallyscope || true; rm -rf "$work"' EXIT
[ "$(dpkg-query -W -f '${Status} ${Version}' tallyscope)" = "install ok installed $version" ]
while read -r f; do [ -f "$f" ] || { echo "not installed: $f" >&2; exit 1; }; done <<<"$expected"
echo "installed $version, files in place"

desktop-file-validate "/usr/share/applications/$id.desktop" && echo "desktop entry: valid"
appstreamcli validate --no-net "/usr/share/metainfo/$id.metainfo.xml"
grep -q "<release version=\"$version\"" "/usr/share/metainfo/$id.metainfo.xml" ||
  { echo "the metainfo's newest release is not $version" >&2; exit 1; }
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/tallyscope --version)" = "tallyscope $version" ]
# The manual page as a user asks for it, by name.
MANWIDTH=80 man tallyscope >"$work/man.txt" 2>"$work/man.err" && grep -q -- "--log-dir=DIR" "$work/man.txt" &&
  [ ! -s "$work/man.err" ] ||
  { echo "man tallyscope does not show the installed page" >&2; cat "$work/man.err" >&2; exit 1; }
echo "man tallyscope: shown"
# bash-completion loads the completion by the command's name when it is first completed.
# shellcheck disable=SC2016 # expanded by the inner shell
bash -c 'source /usr/share/bash-completion/bash_completion && __load_completion tallyscope && complete -p tallyscope' \
  >"$work/complete.txt" 2>&1 && grep -q -- "-F _tallyscope tallyscope" "$work/complete.txt" ||
  { echo "bash-completion does not load the installed completion" >&2; cat "$work/complete.txt" >&2; exit 1; }
echo "bash completion: loaded"

# The installed program, with its own empty data folder and a message file to show, must show its window and still
# be running a few seconds later.
echo "Shown from the command line by the installed package." >"$work/message.txt"
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" SHOT="$ROOT/$dir/installed.png" MESSAGE="$work/message.txt"
# shellcheck disable=SC2016 # expanded by the inner shell
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  /usr/bin/tallyscope "$MESSAGE" &
  pid=$!
  for _ in $(seq 50); do
    xwininfo -root -tree | grep -q "\"Corvane Tallyscope\": (\"tallyscope\"" && break
    sleep 0.2
  done
  sleep 2
  import -window root "$SHOT"
  kill -0 "$pid" || { echo "the installed program ended by itself" >&2; exit 1; }
  xwininfo -root -tree | grep -q "\"Corvane Tallyscope\": (\"tallyscope\"" ||
    { echo "the installed program shows no main window" >&2; kill "$pid"; exit 1; }
  kill "$pid"
  wait "$pid" || true'
echo "ran under Xvfb; screenshot: $SHOT"

apt_get purge tallyscope
trap 'rm -rf "$work"' EXIT
if dpkg-query -W tallyscope >/dev/null 2>&1; then
  echo "dpkg still knows tallyscope after purge" >&2
  exit 1
fi
while read -r f; do [ ! -e "$f" ] || { echo "left behind: $f" >&2; exit 1; }; done <<<"$expected"
echo "purged, nothing left"

#!/usr/bin/env bash
# The bash completion as bash-completion runs it: options, their values, and
# --port completed with the ports the program lists.
#   completion.sh PATH/TO/tallyscope PATH/TO/completion-script
set -u
program="$1"
# shellcheck source=/dev/null
source /usr/share/bash-completion/bash_completion
# shellcheck source=/dev/null
source "$2"
status=0
# complete WORD... : what completing the last word offers, one a line, sorted.
complete_words() {
  COMP_WORDS=("$program" "$@")
  COMP_CWORD=$#
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _tallyscope "$program" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort
}
expect() {
  local want="$1"; shift
  local got
  got=$(complete_words "$@" | paste -sd' ')
  if [ "$got" != "$want" ]; then
    echo "tallyscope $*<TAB>: got '$got', expected '$want'"; status=1
  fi
}
expect "--parity --port" --p
expect "--data-bits" -o --da
expect "even" --parity e
expect "mark" --parity=m
expect "1 1.5" --stop-bits 1
expect "5 6 7 8" --data-bits ""
expect "115200" -b 1152
expect "--ascii" --a

ports=$("$program" --list-ports | sort | paste -sd' ')
expect "$ports" --port ""
expect "$ports" -o -p ""

# With ports to list: a stand-in for the program that lists two.
dir=$(mktemp -d)
printf '#!/bin/sh\n[ "$1" = --list-ports ] && printf "%%s\\n" /dev/serial/by-id/usb-Tallyscope_Test-if00-port0 ttyS0\n' \
  >"$dir/tallyscope"
chmod +x "$dir/tallyscope"
real=$program
program="$dir/tallyscope"
expect "/dev/serial/by-id/usb-Tallyscope_Test-if00-port0 ttyS0" --port ""
expect "ttyS0" -p tty
expect "/dev/serial/by-id/usb-Tallyscope_Test-if00-port0" --port=/dev/serial/by-id/usb-Tallyscope
program=$real
mkdir "$dir/logs" && touch "$dir/logfile"
expect "$dir/logs" --log-dir "$dir/log"
rm -rf "$dir"

[ $status = 0 ] && echo "completion: options, values and ports as expected"
exit $status

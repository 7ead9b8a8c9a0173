#!/usr/bin/env bash
# Fails when a tracked C++ file differs from the house style in .clang-format.
# Mend with: clang-format -i FILE
source "$(dirname "$0")/common.sh"
cd "$ROOT"
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run -Werror "${files[@]}" 2>/tmp/tallyscope-format.$$; then
  grep -o '^[^:]*:[0-9]*' /tmp/tallyscope-format.$$ | sort -u | head -n 20
  rm -f /tmp/tallyscope-format.$$
  echo "Not in the house style (see above); run clang-format -i on these files." >&2
  exit 1
fi
rm -f /tmp/tallyscope-format.$$
echo "format: ${#files[@]} files in the house style"

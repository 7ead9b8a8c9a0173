# Sourced by the scripts: where builds go and how they are configured.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc)"
# configure_build DIR [cmake options...]
configure_build() {
  local dir="$1"; shift
  cmake -S "$ROOT" -B "$ROOT/$dir" -G Ninja -Wno-dev "$@" >/dev/null
}

#!/usr/bin/env bash
# Sets up, builds and starts Tallyscope. Arguments go to the program.
source "$(dirname "$0")/common.sh"
bash "$ROOT/scripts/setup.sh"
configure_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$ROOT/build" -j"$JOBS" --target tallyscope
exec "$ROOT/build/src/shell/tallyscope" "$@"

#!/usr/bin/env bash
# Configures (once) and builds the given targets in build/ on two cores. Used by main.sh and test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${VIRL_BUILD_DIR:-build}"
# Paths relative to the checkout in ccache's eyes: a fresh clone elsewhere reuses the same objects.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release ${VIRL_CMAKE_ARGS:-}
fi
cmake --build "$build" -j2 --target "$@"
